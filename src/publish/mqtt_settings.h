#pragma once

#include "publish/home_assistant_config.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

// The broker to publish to, kept in ZORVA.conf, group MQTT: Url (absent or empty: publish nowhere) and Id
// (absent or empty: the host and port's name).
namespace MqttSettings {
QString url();
// As written.
QString id();
// As the topics use it: lower case, any other character than a-z, 0-9, _ and - made "_" (said in
// `mistakes`), and empty for the default id when it is longer than MqttTopics::LongestId (said too).
QString usableId(QStringList &mistakes);
// How the board is announced to Home Assistant, from the same group: Discovery (on when absent; see
// ZorvaFlag), DiscoveryPrefix (homeassistant when absent or longer than LongestPrefix; cleaned as
// HomeAssistantConfig::cleanPrefix says) and ExpireAfter (whole seconds from 0, never, to 86400; 120 when
// absent). A value that cannot be used as written is said in `mistakes`, one line naming the setting and
// saying why and what is used instead. The version is left empty.
HomeAssistantOptions homeAssistant(QStringList &mistakes);
} // namespace MqttSettings
