#include "listen_address.h"

namespace {
const QString Form = QStringLiteral("[ADDRESS:]PORT, such as 9101, 0.0.0.0:9101 or [::1]:9101");

std::optional<quint16> portNumber(const QString &text)
{
    if (text.isEmpty() || text.size() > 5)
        return std::nullopt;
    int port = 0;
    for (const QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        port = port * 10 + (c.unicode() - u'0');
    }
    if (port < 1 || port > 65535)
        return std::nullopt;
    return quint16(port);
}

// A numeric address, or localhost; `bracketed` when it was written in brackets, where only IPv6 goes.
std::optional<QHostAddress> hostAddress(const QString &text, bool bracketed, QString &error)
{
    if (!bracketed && text.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return QHostAddress(QHostAddress::LocalHost);
    QHostAddress address;
    const bool ipv4 = address.setAddress(text) && address.protocol() == QHostAddress::IPv4Protocol;
    // QHostAddress also takes shorthands such as "127.1": only the four-part dotted form is an IPv4 address.
    if (ipv4 && !bracketed && address.toString() == text)
        return address;
    if (!ipv4 && !address.isNull() && bracketed)
        return address;
    if (bracketed)
        error = QStringLiteral("the metrics address [%1] is not an IPv6 address").arg(text);
    else
        error = QStringLiteral("the metrics address %1 is neither a numeric address nor localhost").arg(text);
    return std::nullopt;
}
} // namespace

QString ListenAddress::display() const
{
    const QString host = address.protocol() == QHostAddress::IPv6Protocol ? u'[' + address.toString() + u']'
                                                                          : address.toString();
    return host + u':' + QString::number(port);
}

std::optional<ListenAddress> ListenAddress::parse(const QString &text, QString &error)
{
    QString host;
    QString port = text;
    bool bracketed = false;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0 || text.mid(close + 1, 1) != QLatin1String(":")) {
            error = QStringLiteral("the metrics address must look like ") + Form;
            return std::nullopt;
        }
        host = text.mid(1, close - 1);
        port = text.mid(close + 2);
        bracketed = true;
    } else if (const qsizetype colon = text.lastIndexOf(u':'); colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (host.contains(u':')) {
            error = QStringLiteral("an IPv6 metrics address goes in brackets, as in [::1]:9101");
            return std::nullopt;
        }
        if (host.isEmpty()) {
            error = QStringLiteral("name the metrics address before the colon: 0.0.0.0:%1 for every "
                                   "interface, 127.0.0.1:%1 for this machine alone")
                        .arg(port);
            return std::nullopt;
        }
    }
    const std::optional<quint16> number = portNumber(port);
    if (!number) {
        error = QStringLiteral("the metrics port must be a number from 1 to 65535, in ") + Form;
        return std::nullopt;
    }
    ListenAddress where;
    where.port = *number;
    if (!host.isEmpty() || bracketed) {
        const std::optional<QHostAddress> address = hostAddress(host, bracketed, error);
        if (!address)
            return std::nullopt;
        where.address = *address;
    }
    return where;
}
