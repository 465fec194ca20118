#pragma once

#include <QtCore/QString>

// Why QSerialPort could not lock the port named `lockedName` (QSerialPort::portName()), where the system can
// say more than Qt's "Permission error"; empty when it cannot. One implementation per platform
// (port_lock_posix.cpp).
QString portLockProblem(const QString &lockedName);
