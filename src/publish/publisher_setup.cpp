#include "publisher_setup.h"

#include "publish/mqtt_settings.h"
#include "publish/mqtt_topics.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSysInfo>

std::unique_ptr<ReadingPublisher> setUpPublisher(const QString &urlOption, const QString &idOption,
                                                 const QString &portName, QString &error)
{
    const QString url = urlOption.isEmpty() ? MqttSettings::url() : urlOption;
    if (url.isEmpty())
        return nullptr;
    const std::optional<BrokerAddress> address = BrokerAddress::parse(url, error);
    if (!address)
        return nullptr;
    QString id = idOption.isEmpty() ? MqttTopics::cleanId(MqttSettings::id()) : idOption;
    if (id.isEmpty())
        id = MqttTopics::defaultId(QSysInfo::machineHostName(), portName,
                                   serialNumberOf(PortCatalog::present(), portName));
    auto publisher = std::make_unique<ReadingPublisher>(*address, id, qgetenv("VANTRO_MQTT_PASSWORD"));
    QStringList mistakes;
    HomeAssistantOptions homeAssistant = MqttSettings::homeAssistant(mistakes);
    homeAssistant.version = QCoreApplication::applicationVersion();
    publisher->setHomeAssistant(homeAssistant, mistakes);
    return publisher;
}
