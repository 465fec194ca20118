#pragma once

#include "publish/home_assistant_config.h"

#include <QtCore/QString>
#include <QtCore/QStringList>

// The broker to publish to, kept in ZORVA.conf, group MQTT: Url (absent or empty: publish nowhere) and Id
// (absent or empty: the host and port's name).
namespace MqttSettings {
QString url();
QString id();
// How the board is announced to Home Assistant, from the same group: Discovery (on when absent; false, 0,
// no or off turn it off), DiscoveryPrefix (homeassistant when absent; cleaned as
// HomeAssistantConfig::cleanPrefix says) and ExpireAfter (whole seconds from 0, never, to 86400; 120 when
// absent). A value that cannot be used as written is said in `mistakes`, one line naming the setting and
// saying why and what is used instead. The version is left empty.
HomeAssistantOptions homeAssistant(QStringList &mistakes);
} // namespace MqttSettings
