#pragma once

#include <QtCore/QList>
#include <QtCore/QProcess>

#include <functional>

// What the tests' real servers (a broker, a Prometheus, an InfluxDB) share: ports, readiness and the end.
// Ports on 127.0.0.1 that were free a moment ago, all different.
QList<quint16> freePorts(int count);
// Waits while `process` runs until `ready` says so, asking again every `pollMs`; false once `timeoutMs` has
// passed or the process has ended.
bool waitUntilReady(QProcess &process, const std::function<bool()> &ready, int timeoutMs, int pollMs);
// Asks the server to end, and ends it after `graceMs` if it has not.
void stopServer(QProcess &process, int graceMs);
