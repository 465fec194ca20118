#pragma once

#include <QtCore/QObject>
#include <QtCore/QSocketNotifier>

#include <memory>

// Turns SIGINT and SIGTERM into a signal on the event loop, so that the program can close the port and
// flush before it exits. The handler only writes a byte to a socket that the loop watches, and never
// waits on it. On Windows the console's events do the same (Ctrl+C, Ctrl+Break, its window closed, the
// user logging off, the system shutting down), queued to the loop from the thread Windows runs them on.
class QuitSignals final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QuitSignals)

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
