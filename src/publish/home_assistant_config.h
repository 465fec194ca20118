#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

// How the board is announced to Home Assistant through MQTT discovery.
struct HomeAssistantOptions
{
    static constexpr int DefaultExpireAfterSeconds = 120;
    static constexpr int LongestExpireAfterSeconds = 86400;
    static constexpr int LongestRebirthDelayMs = 5000;
    static constexpr char DefaultPrefix[] = "homeassistant";
    // Far beyond any real prefix, and far below the 65535 bytes a topic can hold.
    static constexpr int LongestPrefix = 256;

    bool discovery = true;
    QString prefix = QString::fromLatin1(DefaultPrefix);
    // After this long without a reading Home Assistant shows the temperature as unavailable; 0: never.
    int expireAfterSeconds = DefaultExpireAfterSeconds;
    // The program's version, for the device and the origin; empty: not said.
    QString version;
    // The longest wait, drawn at random, before announcing the board again to a Home Assistant that has come
    // back, so that many boards do not all answer at once.
    int rebirthDelayMs = LongestRebirthDelayMs;
};

// The discovery messages: one device, vantro_<id>, with the temperature, the board link, the time of the last
// reading and the readings waiting for the broker; available while the program has the port open and the
// board answers.
namespace HomeAssistantConfig {
QByteArray deviceTopic(const QString &prefix, const QString &id);
// Where the temperature alone was announced before the board became a device.
QByteArray singleSensorTopic(const QString &prefix, const QString &id);
// Where Home Assistant says "online" when it starts.
QByteArray statusTopic(const QString &prefix);
QByteArray devicePayload(const QString &id, const HomeAssistantOptions &options);
// Asks Home Assistant to keep an entity while its announcement moves to another topic.
QByteArray migratePayload();
// A prefix as a topic can hold it: levels of a-z, A-Z, 0-9, "_" and "-", every other character replaced
// by "_", empty levels dropped, so that it cannot reach into other topics; the default when nothing is left.
QString cleanPrefix(const QString &prefix);
// The part of an entity id after its domain: vantro_<id>_<what>, with only a-z, 0-9 and single "_".
QString entityName(const QString &id, const QString &what);

inline constexpr char Online[] = "online";
} // namespace HomeAssistantConfig
