#include "publisher_setup.h"

#include "publish/mqtt_settings.h"

// The Windows build has no MQTT library: a broker asked for is said to be out of reach, and the program goes
// on without publishing.
std::unique_ptr<ReadingPublisher> setUpPublisher(const QString &urlOption, const QString &, const QString &,
                                                 QString &error)
{
    if (urlOption.isEmpty() && MqttSettings::url().isEmpty())
        return nullptr;
    error = QStringLiteral("MQTT is not available in this build");
    return nullptr;
}
