#include "broker_address.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QUrl>

namespace {
const QString PortRange = QStringLiteral("the broker's port must be from 1 to 65535");

// QUrl refuses a port above 65535 as it refuses a malformed address: where the address holds without its
// port, the port is what is wrong, as port 0 is.
bool portAboveRange(const QString &url)
{
    static const QRegularExpression port(QStringLiteral("^(mqtts?://[^/?#]*:)[0-9]+([/?#].*)?$"),
                                         QRegularExpression::CaseInsensitiveOption |
                                             QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = port.match(url);
    return match.hasMatch() && QUrl(match.captured(1) + match.captured(2), QUrl::StrictMode).isValid();
}
} // namespace

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
        error = portAboveRange(url)
                    ? PortRange
                    : QStringLiteral(
                          "the broker's address must look like mqtt://[user@]host[:port] or mqtts://...");
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
        error = PortRange;
        return std::nullopt;
    }
    return address;
}
