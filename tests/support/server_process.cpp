#include "server_process.h"

#include <QtCore/QDeadlineTimer>
#include <QtNetwork/QTcpServer>
#include <QtTest/QSignalSpy>

#include <memory>
#include <vector>

QList<quint16> freePorts(int count)
{
    // Held together, so that the system cannot give the same port twice.
    std::vector<std::unique_ptr<QTcpServer>> held;
    QList<quint16> ports;
    for (int i = 0; i < count; ++i) {
        held.push_back(std::make_unique<QTcpServer>());
        held.back()->listen(QHostAddress::LocalHost, 0);
        ports << held.back()->serverPort();
    }
    return ports;
}

bool waitUntilReady(TestProcess &process, const std::function<bool()> &ready, int timeoutMs, int pollMs)
{
    if (!process.waitForStarted())
        return false;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && process.state() == QProcess::Running) {
        if (ready())
            return true;
        QSignalSpy(&process, &TestProcess::finished).wait(pollMs);
    }
    return false;
}

void stopServer(TestProcess &process, int graceMs)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(graceMs))
        process.kill();
    process.waitForFinished(2000);
}
