#pragma once

#include <QtCore/QList>
#include <QtCore/QProcess>
#include <QtCore/QString>

#include <functional>

#ifdef Q_OS_WIN
#include "host_process.h"
// Under Wine the servers and their clients are Linux programs: the line host runs them on the Linux side.
using TestProcess = HostProcess;
#else
using TestProcess = QProcess;
#endif

// What the tests' real servers (a broker, a Prometheus, an InfluxDB) share: ports, readiness and the end.
// Ports on 127.0.0.1 that were free a moment ago, all different.
QList<quint16> freePorts(int count);
// Waits while `process` runs until `ready` says so, asking again every `pollMs`; false once `timeoutMs` has
// passed or the process has ended.
bool waitUntilReady(TestProcess &process, const std::function<bool()> &ready, int timeoutMs, int pollMs);
// Asks the server to end, and ends it after `graceMs` if it has not.
void stopServer(TestProcess &process, int graceMs);
// A file's path as the servers see it: under Wine, the Linux path of a Windows one.
QString hostPath(const QString &path);
// The user the servers run as, whom a broker started by root is told to stay.
QString hostUserName();
