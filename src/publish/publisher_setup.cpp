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
    QStringList mistakes;
    // The command line's id is checked as it is parsed; both ways in give the same topics.
    QString id = idOption.isEmpty() ? MqttSettings::usableId(mistakes) : MqttTopics::cleanId(idOption);
    if (id.isEmpty())
        id = MqttTopics::defaultId(QSysInfo::machineHostName(), portName,
                                   serialNumberOf(PortCatalog::present(), portName));
    const QByteArray password = qgetenv("VANTRO_MQTT_PASSWORD");
    if (!password.isEmpty() && address->user.isEmpty())
        mistakes << QStringLiteral("VANTRO_MQTT_PASSWORD is not sent: MQTT sends a password only with a user "
                                   "name, and the broker's address names none (%1://USER@%2)")
                        .arg(address->tls ? QLatin1String("mqtts") : QLatin1String("mqtt"),
                             address->display());
    auto publisher = std::make_unique<ReadingPublisher>(*address, id, password);
    HomeAssistantOptions homeAssistant = MqttSettings::homeAssistant(mistakes);
    homeAssistant.version = QCoreApplication::applicationVersion();
    publisher->setHomeAssistant(homeAssistant, mistakes);
    return publisher;
}
