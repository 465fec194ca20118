#include "port_catalog.h"

#include <QtCore/QStringList>

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
    if (exists(named))
        return {};
    QStringList usb;
    for (const PresentPort &port : present) {
        if (isNamed(port, named))
            return {};
        if (port.usb)
            usb << port.name;
    }
    return usb.size() == 1 ? usb.first() : QString();
}
