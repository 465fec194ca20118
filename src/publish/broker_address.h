#pragma once

#include <QtCore/QString>

#include <optional>

// Where to publish: mqtt://[user@]host[:port] (1883) or mqtts://[user@]host[:port] (8883, TLS checked
// against the system's certificate authorities). A password never comes from here.
struct BrokerAddress
{
    static constexpr int PlainPort = 1883;
    static constexpr int TlsPort = 8883;

    bool tls = false;
    QString user;
    QString host;
    int port = PlainPort;

    // host:port, as said to the user.
    QString display() const;

    // Nothing and a reason in `error` for anything but the form above.
    static std::optional<BrokerAddress> parse(const QString &url, QString &error);
};
