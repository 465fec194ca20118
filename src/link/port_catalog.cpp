#include "port_catalog.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtSerialPort/QSerialPortInfo>

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

QString PortCatalog::listLine(const PresentPort &port)
{
    return QStringList{port.name, port.byId, port.description, port.manufacturer, port.serialNumber}.join(
        QLatin1Char('\t'));
}

QString PortCatalog::caption(const PresentPort &port)
{
    QStringList details{port.description, port.manufacturer, port.serialNumber};
    details.removeAll(QString());
    return details.isEmpty() ? port.name
                             : port.name + QStringLiteral("  ") + details.join(QStringLiteral(", "));
}

QString PortCatalog::likelyBoard(const QList<PresentPort> &present, const QString &named)
{
    const QString wanted =
        QFileInfo(named.contains(QLatin1Char('/')) ? named : QStringLiteral("/dev/") + named)
            .absoluteFilePath();
    if (QFileInfo::exists(wanted))
        return {};
    QStringList usb;
    for (const PresentPort &port : present) {
        if (port.location == wanted || port.byId == wanted || port.name == named)
            return {};
        if (port.usb)
            usb << port.name;
    }
    return usb.size() == 1 ? usb.first() : QString();
}
