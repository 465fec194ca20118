#pragma once

#include <QtCore/QString>

// The broker to publish to, kept in ZORVA.conf, group MQTT: Url (absent or empty: publish nowhere) and Id
// (absent or empty: the host and port's name).
namespace MqttSettings {
QString url();
QString id();
} // namespace MqttSettings
