#include "publisher_setup.h"

#include <QtCore/QFileInfo>

QString serialNumberOf(const QList<PresentPort> &present, const QString &portName)
{
    const QString device = QFileInfo(portName).canonicalFilePath();
    for (const PresentPort &port : present) {
        const bool named = port.name == portName || port.location == portName ||
                           (!port.byId.isEmpty() && port.byId == portName) ||
                           (!device.isEmpty() && port.location == device);
        if (named)
            return port.serialNumber;
    }
    return QString();
}
