#include "home_assistant_config.h"

#include "publish/mqtt_topics.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QStringList>

namespace {
QString text(const QByteArray &topic)
{
    return QString::fromUtf8(topic);
}

QJsonObject availabilityOf(const QByteArray &topic)
{
    return {{QStringLiteral("topic"), text(topic)},
            {QStringLiteral("payload_available"), QLatin1String(MqttTopics::Online)},
            {QStringLiteral("payload_not_available"), QLatin1String(MqttTopics::Offline)}};
}

QJsonObject entity(const QString &platform, const QString &name, const QString &id, const QString &what,
                   const QByteArray &stateTopic)
{
    return {
        {QStringLiteral("platform"), platform},
        {QStringLiteral("name"), name},
        {QStringLiteral("unique_id"), QStringLiteral("vantro_%1_%2").arg(id, what)},
        {QStringLiteral("default_entity_id"), platform + u'.' + HomeAssistantConfig::entityName(id, what)},
        {QStringLiteral("state_topic"), text(stateTopic)}};
}

QJsonObject temperatureSensor(const QString &id, int expireAfterSeconds)
{
    // The same unique id as when it was announced alone, so that Home Assistant keeps its history.
    QJsonObject sensor = entity(QStringLiteral("sensor"), QStringLiteral("Temperature"), id,
                                QStringLiteral("temperature"), MqttTopics::temperature(id));
    sensor.insert(QStringLiteral("device_class"), QStringLiteral("temperature"));
    sensor.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    sensor.insert(QStringLiteral("unit_of_measurement"), QStringLiteral("°C"));
    sensor.insert(QStringLiteral("suggested_display_precision"), 1);
    if (expireAfterSeconds > 0)
        sensor.insert(QStringLiteral("expire_after"), expireAfterSeconds);
    return sensor;
}

QJsonObject boardLink(const QString &id)
{
    QJsonObject link = entity(QStringLiteral("binary_sensor"), QStringLiteral("Board link"), id,
                              QStringLiteral("board"), MqttTopics::board(id));
    link.insert(QStringLiteral("device_class"), QStringLiteral("connectivity"));
    link.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    link.insert(QStringLiteral("payload_on"), QLatin1String(MqttTopics::Online));
    link.insert(QStringLiteral("payload_off"), QLatin1String(MqttTopics::Offline));
    // Its own availability, the program's alone: under the device's it could never show the link down.
    link.insert(QStringLiteral("availability"), QJsonArray{availabilityOf(MqttTopics::availability(id))});
    return link;
}

QJsonObject lastReading(const QString &id)
{
    QJsonObject time = entity(QStringLiteral("sensor"), QStringLiteral("Last reading"), id,
                              QStringLiteral("last_reading"), MqttTopics::reading(id));
    time.insert(QStringLiteral("device_class"), QStringLiteral("timestamp"));
    time.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    time.insert(QStringLiteral("enabled_by_default"), false);
    // The reading's time is ISO 8601 already, with milliseconds and its UTC offset.
    time.insert(QStringLiteral("value_template"), QStringLiteral("{{ value_json.time }}"));
    return time;
}

QJsonObject readingsWaiting(const QString &id)
{
    QJsonObject waiting = entity(QStringLiteral("sensor"), QStringLiteral("Readings waiting"), id,
                                 QStringLiteral("waiting"), MqttTopics::waiting(id));
    waiting.insert(QStringLiteral("entity_category"), QStringLiteral("diagnostic"));
    waiting.insert(QStringLiteral("state_class"), QStringLiteral("measurement"));
    return waiting;
}
} // namespace

QByteArray HomeAssistantConfig::deviceTopic(const QString &prefix, const QString &id)
{
    return prefix.toUtf8() + "/device/vantro_" + id.toUtf8() + "/config";
}

QByteArray HomeAssistantConfig::singleSensorTopic(const QString &prefix, const QString &id)
{
    return prefix.toUtf8() + "/sensor/vantro_" + id.toUtf8() + "/temperature/config";
}

QByteArray HomeAssistantConfig::statusTopic(const QString &prefix)
{
    return prefix.toUtf8() + "/status";
}

QByteArray HomeAssistantConfig::devicePayload(const QString &id, const HomeAssistantOptions &options)
{
    QJsonObject device{{QStringLiteral("identifiers"), QJsonArray{QStringLiteral("vantro_") + id}},
                       {QStringLiteral("name"), QStringLiteral("Vantro ") + id},
                       {QStringLiteral("manufacturer"), QStringLiteral("ZORVA")},
                       {QStringLiteral("model"), QStringLiteral("Vantro")}};
    QJsonObject origin{{QStringLiteral("name"), QStringLiteral("Vantro")}};
    if (!options.version.isEmpty()) {
        device.insert(QStringLiteral("sw_version"), options.version);
        origin.insert(QStringLiteral("sw"), options.version);
    }
    const QJsonObject components{
        {QStringLiteral("temperature"), temperatureSensor(id, options.expireAfterSeconds)},
        {QStringLiteral("board"), boardLink(id)},
        {QStringLiteral("last_reading"), lastReading(id)},
        {QStringLiteral("waiting"), readingsWaiting(id)}};
    // Shared by the components that do not say otherwise: up while the program has the port open and the
    // board answers.
    const QJsonArray availability{availabilityOf(MqttTopics::availability(id)),
                                  availabilityOf(MqttTopics::board(id))};
    const QJsonObject config{{QStringLiteral("dev"), device},
                             {QStringLiteral("o"), origin},
                             {QStringLiteral("availability"), availability},
                             {QStringLiteral("availability_mode"), QStringLiteral("all")},
                             {QStringLiteral("cmps"), components}};
    return QJsonDocument(config).toJson(QJsonDocument::Compact);
}

QByteArray HomeAssistantConfig::migratePayload()
{
    return QJsonDocument(QJsonObject{{QStringLiteral("migrate_discovery"), true}})
        .toJson(QJsonDocument::Compact);
}

QString HomeAssistantConfig::cleanPrefix(const QString &prefix)
{
    QStringList levels;
    for (QString level : prefix.trimmed().split(u'/', Qt::SkipEmptyParts)) {
        for (QChar &c : level) {
            const bool kept = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                              (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
            if (!kept)
                c = u'_';
        }
        levels << level;
    }
    return levels.isEmpty() ? QString::fromLatin1(HomeAssistantOptions::DefaultPrefix) : levels.join(u'/');
}

QString HomeAssistantConfig::entityName(const QString &id, const QString &what)
{
    QString name;
    for (const QChar c : QStringLiteral("vantro_%1_%2").arg(id, what).toLower()) {
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9');
        if (kept)
            name += c;
        else if (!name.isEmpty() && !name.endsWith(u'_'))
            name += u'_';
    }
    while (name.endsWith(u'_'))
        name.chop(1);
    return name;
}
