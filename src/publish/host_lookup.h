#pragma once

#include <QtCore/QObject>
#include <QtCore/QTimer>

struct PendingLookup;

// Finds a host's address without holding up the event loop: the system's resolver works on its own, and
// this looks in on it every PollMs until it has answered. A broker named by a host name whose name server
// does not answer must not freeze the window every time the connection is tried again.
class HostLookup final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostLookup)

public:
    static constexpr int PollMs = 20;

    explicit HostLookup(QObject *parent = nullptr);
    ~HostLookup() override;

    // A lookup already under way is abandoned.
    void start(const QString &host);

signals:
    // The first address found, as digits (192.0.2.7, 2001:db8::7).
    void found(const QString &address);
    void failed(const QString &reason);

private:
    void poll();
    void abandon();

    PendingLookup *m_pending = nullptr;
    QTimer m_poll;
};
