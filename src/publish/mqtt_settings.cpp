#include "mqtt_settings.h"

#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("MQTT");

const QStringList Yes{QStringLiteral("true"), QStringLiteral("1"), QStringLiteral("yes"),
                      QStringLiteral("on")};
const QStringList No{QStringLiteral("false"), QStringLiteral("0"), QStringLiteral("no"),
                     QStringLiteral("off")};

QString mistake(const QString &key, const QString &why)
{
    return QStringLiteral("%1: %2").arg(zorvaSettingName(Group, key), why);
}

bool discovery(QStringList &mistakes)
{
    const QString written = zorvaText(Group, QStringLiteral("Discovery")).trimmed();
    if (No.contains(written, Qt::CaseInsensitive))
        return false;
    if (!written.isEmpty() && !Yes.contains(written, Qt::CaseInsensitive))
        mistakes << mistake(
            QStringLiteral("Discovery"),
            QStringLiteral("\"%1\" is neither true nor false; discovery stays on").arg(written));
    return true;
}

QString prefix(QStringList &mistakes)
{
    const QString written = zorvaText(Group, QStringLiteral("DiscoveryPrefix")).trimmed();
    const QString clean = HomeAssistantConfig::cleanPrefix(written);
    if (!written.isEmpty() && clean != written)
        mistakes << mistake(
            QStringLiteral("DiscoveryPrefix"),
            QStringLiteral("\"%1\" is not a plain topic prefix; using \"%2\"").arg(written, clean));
    return clean;
}

int expireAfterSeconds(QStringList &mistakes)
{
    const QString written = zorvaText(Group, QStringLiteral("ExpireAfter")).trimmed();
    if (written.isEmpty())
        return HomeAssistantOptions::DefaultExpireAfterSeconds;
    bool number = false;
    const int seconds = written.toInt(&number);
    if (number && seconds >= 0 && seconds <= HomeAssistantOptions::LongestExpireAfterSeconds)
        return seconds;
    mistakes << mistake(
        QStringLiteral("ExpireAfter"),
        QStringLiteral("\"%1\" is not a whole number of seconds from 0 (never) to %2; using %3")
            .arg(written)
            .arg(HomeAssistantOptions::LongestExpireAfterSeconds)
            .arg(HomeAssistantOptions::DefaultExpireAfterSeconds));
    return HomeAssistantOptions::DefaultExpireAfterSeconds;
}
} // namespace

QString MqttSettings::url()
{
    return zorvaText(Group, QStringLiteral("Url")).trimmed();
}

QString MqttSettings::id()
{
    return zorvaText(Group, QStringLiteral("Id")).trimmed();
}

HomeAssistantOptions MqttSettings::homeAssistant(QStringList &mistakes)
{
    HomeAssistantOptions options;
    options.discovery = discovery(mistakes);
    options.prefix = prefix(mistakes);
    options.expireAfterSeconds = expireAfterSeconds(mistakes);
    return options;
}
