#include "broker_address.h"

#include <QtCore/QUrl>

QString BrokerAddress::display() const
{
    // Not through arg(): an IPv6 zone such as %2 would be taken for a place to fill.
    const QString shown = host.contains(u':') ? u'[' + host + u']' : host;
    return shown + u':' + QString::number(port);
}

std::optional<BrokerAddress> BrokerAddress::parse(const QString &url, QString &error)
{
    const QUrl parsed(url, QUrl::StrictMode);
    const QString scheme = parsed.scheme();
    if (!parsed.isValid() || (scheme != QLatin1String("mqtt") && scheme != QLatin1String("mqtts"))) {
        error =
            QStringLiteral("the broker's address must look like mqtt://[user@]host[:port] or mqtts://...");
        return std::nullopt;
    }
    if (parsed.host().isEmpty()) {
        error = QStringLiteral("the broker's address names no host");
        return std::nullopt;
    }
    if (!parsed.password().isEmpty()) {
        error = QStringLiteral("the broker's password goes in VANTRO_MQTT_PASSWORD, not in the address");
        return std::nullopt;
    }
    if (!parsed.path().isEmpty() && parsed.path() != QLatin1String("/")) {
        error = QStringLiteral("the broker's address has a path; topics are chosen by the program");
        return std::nullopt;
    }
    BrokerAddress address;
    address.tls = scheme == QLatin1String("mqtts");
    address.user = parsed.userName();
    address.host = parsed.host();
    address.port = parsed.port(address.tls ? TlsPort : PlainPort);
    if (address.port <= 0) {
        error = QStringLiteral("the broker's port must be from 1 to 65535");
        return std::nullopt;
    }
    return address;
}
