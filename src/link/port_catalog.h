#pragma once

#include <QtCore/QList>
#include <QtCore/QString>

// A serial port present on this machine, as the user would tell it apart from the others.
struct PresentPort
{
    QString name;     // ttyACM0
    QString location; // /dev/ttyACM0
    QString byId;     // /dev/serial/by-id/..., the name that survives a replug; empty where there is none
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool usb = false;
};

namespace PortCatalog {
// The ports present now, read afresh on every call.
QList<PresentPort> present(const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));
// One port a line, tab-separated: name, by-id path, description, manufacturer, serial number.
QString listLine(const PresentPort &port);
// "ttyACM0  USB description, manufacturer, serial number", for a list to pick from.
QString caption(const PresentPort &port);
// When the port named is not present and exactly one USB serial port is, that port: the likely board.
QString likelyBoard(const QList<PresentPort> &present, const QString &named);
} // namespace PortCatalog
