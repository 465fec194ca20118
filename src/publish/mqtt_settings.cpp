#include "mqtt_settings.h"

#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("MQTT");
} // namespace

QString MqttSettings::url()
{
    return zorvaText(Group, QStringLiteral("Url")).trimmed();
}

QString MqttSettings::id()
{
    return zorvaText(Group, QStringLiteral("Id")).trimmed();
}
