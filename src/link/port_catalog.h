#pragma once

#include <QtCore/QList>
#include <QtCore/QString>

// A serial port present on this machine, as the user would tell it apart from the others.
struct PresentPort
{
    QString name;     // ttyACM0, COM3
    QString location; // /dev/ttyACM0, \\.\COM3
    QString byId;     // /dev/serial/by-id/..., the name that survives a replug; empty where there is none
    QString description;
    QString manufacturer;
    QString serialNumber;
    bool usb = false;
};

// What the system says differs by platform: port_catalog_qt.cpp (QSerialPortInfo and /dev/serial/by-id),
// port_catalog_win32.cpp (SetupAPI and the registry); the rest is port_catalog.cpp.
namespace PortCatalog {
// The ports present now, read afresh on every call. The by-id folder is Linux's; Windows has none.
QList<PresentPort> present(const QString &byIdFolder = QStringLiteral("/dev/serial/by-id"));
// Whether the name typed for the port names `port`.
bool isNamed(const PresentPort &port, const QString &named);
// Whether the name typed stands for something the system has now, a listed port or not (a link, /dev/null).
bool exists(const QString &named);
// One port a line, tab-separated: name, by-id path, description, manufacturer, serial number.
QString listLine(const PresentPort &port);
// "ttyACM0  USB description, manufacturer, serial number", for a list to pick from.
QString caption(const PresentPort &port);
// When the port named is not present and exactly one USB serial port is, that port: the likely board.
QString likelyBoard(const QList<PresentPort> &present, const QString &named);
} // namespace PortCatalog
