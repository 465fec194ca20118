#pragma once

#include "link/port_catalog.h"
#include "publish/reading_publisher.h"

#include <memory>

// The publisher that the command line or, failing it, ZORVA.conf asks for: none when neither names a
// broker. A broker address that cannot be used gives none and the reason in `error`. Its announcement to
// Home Assistant follows ZORVA.conf (see MqttSettings::homeAssistant), with the application's version.
std::unique_ptr<ReadingPublisher> setUpPublisher(const QString &urlOption, const QString &idOption,
                                                 const QString &portName, QString &error);

// The USB serial number of the port named as the user names it (ttyACM0, /dev/ttyACM0, a by-id path or
// another link to it), among the ports present; empty when it is absent or has none.
QString serialNumberOf(const QList<PresentPort> &present, const QString &portName);
