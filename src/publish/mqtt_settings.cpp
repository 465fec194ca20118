#include "mqtt_settings.h"

#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("MQTT");
} // namespace

QString MqttSettings::url()
{
    return openZorvaStore(Group)->value(QStringLiteral("Url")).toString().trimmed();
}

QString MqttSettings::id()
{
    return openZorvaStore(Group)->value(QStringLiteral("Id")).toString().trimmed();
}
