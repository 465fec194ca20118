#include "mqtt_settings.h"

#include "publish/mqtt_topics.h"
#include "settings/quoted_value.h"
#include "settings/zorva_flag.h"
#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("MQTT");

QString mistake(const QString &key, const QString &why)
{
    return QStringLiteral("%1: %2").arg(zorvaSettingName(Group, key), why);
}

bool discovery(QStringList &mistakes)
{
    QString why;
    const bool on =
        ZorvaFlag::read(Group, QStringLiteral("Discovery"), true, QStringLiteral("discovery stays on"), why);
    if (!why.isEmpty())
        mistakes << why;
    return on;
}

QString prefix(QStringList &mistakes)
{
    const QString written = zorvaText(Group, QStringLiteral("DiscoveryPrefix")).trimmed();
    const QString key = QStringLiteral("DiscoveryPrefix");
    if (written.size() > HomeAssistantOptions::LongestPrefix) {
        mistakes << mistake(key, QStringLiteral("%1 is longer than %2 characters; using \"%3\"")
                                     .arg(quotedValue(written))
                                     .arg(HomeAssistantOptions::LongestPrefix)
                                     .arg(QLatin1String(HomeAssistantOptions::DefaultPrefix)));
        return QString::fromLatin1(HomeAssistantOptions::DefaultPrefix);
    }
    const QString clean = HomeAssistantConfig::cleanPrefix(written);
    if (!written.isEmpty() && clean != written)
        mistakes << mistake(key, QStringLiteral("%1 is not a plain topic prefix; using %2")
                                     .arg(quotedValue(written), quotedValue(clean)));
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
    mistakes << mistake(QStringLiteral("ExpireAfter"),
                        QStringLiteral("%1 is not a whole number of seconds from 0 (never) to %2; using %3")
                            .arg(quotedValue(written))
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

QString MqttSettings::usableId(QStringList &mistakes)
{
    const QString written = id();
    const QString key = QStringLiteral("Id");
    if (written.size() > MqttTopics::LongestId) {
        mistakes << mistake(key, QStringLiteral("%1 is longer than %2 characters; using the default id")
                                     .arg(quotedValue(written))
                                     .arg(MqttTopics::LongestId));
        return {};
    }
    const QString clean = MqttTopics::cleanId(written);
    if (!MqttTopics::isUsableId(written) && !written.isEmpty())
        mistakes << mistake(key, QStringLiteral("%1 may hold only letters, digits, _ and -; using %2")
                                     .arg(quotedValue(written), quotedValue(clean)));
    return clean;
}

HomeAssistantOptions MqttSettings::homeAssistant(QStringList &mistakes)
{
    HomeAssistantOptions options;
    options.discovery = discovery(mistakes);
    options.prefix = prefix(mistakes);
    options.expireAfterSeconds = expireAfterSeconds(mistakes);
    return options;
}
