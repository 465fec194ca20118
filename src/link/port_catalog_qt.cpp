#include "port_catalog.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtSerialPort/QSerialPortInfo>

namespace {
// A bare name is looked up under /dev, as the port is opened.
QString wantedPath(const QString &named)
{
    return QFileInfo(named.contains(QLatin1Char('/')) ? named : QStringLiteral("/dev/") + named)
        .absoluteFilePath();
}
} // namespace

QList<PresentPort> PortCatalog::present(const QString &byIdFolder)
{
    const QFileInfoList links =
        QDir(byIdFolder).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot);
    QList<PresentPort> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        PresentPort port{info.portName(),           info.systemLocation(), {},
                         info.description(),        info.manufacturer(),   info.serialNumber(),
                         info.hasVendorIdentifier()};
        const QString device = QFileInfo(port.location).canonicalFilePath();
        for (const QFileInfo &link : links) {
            if (link.canonicalFilePath() == device)
                port.byId = link.absoluteFilePath();
        }
        ports << port;
    }
    return ports;
}

bool PortCatalog::isNamed(const PresentPort &port, const QString &named)
{
    const QString wanted = wantedPath(named);
    return port.location == wanted || port.byId == wanted || port.name == named;
}

bool PortCatalog::exists(const QString &named)
{
    return QFileInfo::exists(wantedPath(named));
}
