#pragma once

#include <QtCore/QObject>
#include <QtCore/QStringList>
#include <QtCore/QTimer>

struct PendingLookup;

// Finds every address of a host name without holding up the event loop. The connection asks this and
// nothing else, so that the library never resolves a name itself.
class AddressLookup : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AddressLookup)

public:
    explicit AddressLookup(QObject *parent = nullptr);
    ~AddressLookup() override;

    // A lookup already under way is abandoned.
    virtual void start(const QString &host) = 0;

signals:
    // Every address found, as digits (2001:db8::7, 192.0.2.7), in the order the resolver prefers.
    void found(const QStringList &addresses);
    void failed(const QString &reason);
};

// The system's resolver, working on its own while this looks in on it every PollMs until it has answered.
// A broker named by a host name whose name server does not answer must not freeze the window every time
// the connection is tried again.
class HostLookup final : public AddressLookup
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostLookup)

public:
    static constexpr int PollMs = 20;

    explicit HostLookup(QObject *parent = nullptr);
    ~HostLookup() override;

    void start(const QString &host) override;

private:
    void poll();
    void abandon();

    PendingLookup *m_pending = nullptr;
    QTimer m_poll;
};
