#pragma once

#include <QtCore/QString>
#include <QtNetwork/QHostAddress>

#include <optional>

// Where the metrics endpoint listens: [ADDRESS:]PORT, such as 9101, 127.0.0.1:9101, 0.0.0.0:9101,
// [::1]:9101 or [::]:9101. Without an address it is 127.0.0.1, this machine alone. The address is numeric,
// or "localhost" for 127.0.0.1: a name the resolver would have to look up is refused, since it may stand
// for several addresses, or none while the network is still coming up.
struct ListenAddress
{
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = 0;

    // address:port, an IPv6 address in brackets, as said to the user.
    QString display() const;

    // Nothing and a reason in `error` for anything but the form above, or a port outside 1..65535.
    static std::optional<ListenAddress> parse(const QString &text, QString &error);
};
