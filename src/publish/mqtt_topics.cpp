#include "mqtt_topics.h"

#include "protocol/reading.h"
#include "protocol/reading_csv.h"
#include "protocol/temperature_text.h"

#include <QtCore/QCryptographicHash>

namespace {
QByteArray topic(const QString &id, const char *leaf)
{
    return "vantro/" + id.toUtf8() + '/' + leaf;
}

QByteArray decimal(int32_t hundredths)
{
    return hundredthsText(hundredths, QStringLiteral(".")).toLatin1();
}
} // namespace

QString MqttTopics::cleanId(const QString &id)
{
    QString clean = id.toLower();
    for (QChar &c : clean) {
        const bool kept = (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'-';
        if (!kept)
            c = u'_';
    }
    return clean;
}

QString MqttTopics::defaultId(const QString &hostName, const QString &portName, const QString &serialNumber)
{
    const QString id = serialNumber.trimmed().isEmpty() ? hostName + u'-' + portName.section(u'/', -1)
                                                        : serialNumber.trimmed();
    return cleanId(id.left(LongestId));
}

bool MqttTopics::isUsableId(const QString &id)
{
    return !id.isEmpty() && id.size() <= LongestId && cleanId(id) == id.toLower();
}

QString MqttTopics::clientId(const QString &id, const QByteArray &machineId)
{
    const QString prefix = QStringLiteral("vantro-") + id;
    if (machineId.isEmpty())
        return prefix;
    // A hash, not the machine's id itself, which is not to be shown to others.
    const QByteArray hash = QCryptographicHash::hash("vantro:" + machineId, QCryptographicHash::Sha256);
    return prefix + u'-' + QString::fromLatin1(hash.toHex().left(8));
}

QByteArray MqttTopics::temperature(const QString &id)
{
    return topic(id, "temperature");
}

QByteArray MqttTopics::reading(const QString &id)
{
    return topic(id, "reading");
}

QByteArray MqttTopics::availability(const QString &id)
{
    return topic(id, "availability");
}

QByteArray MqttTopics::alert(const QString &id)
{
    return topic(id, "alert");
}

QByteArray MqttTopics::board(const QString &id)
{
    return topic(id, "board");
}

QByteArray MqttTopics::waiting(const QString &id)
{
    return topic(id, "waiting");
}

QByteArray MqttTopics::temperaturePayload(const Reading &reading)
{
    return decimal(reading.hundredths);
}

QByteArray MqttTopics::readingPayload(const Reading &reading)
{
    return ReadingCsv::jsonLine(reading).chopped(1);
}

QByteArray MqttTopics::alertPayload(const Reading &reading, bool high, int32_t thresholdHundredths)
{
    // The reading's own JSON up to its celsius, then the limit it crossed.
    const QByteArray json = readingPayload(reading);
    const QByteArray head = json.left(json.indexOf(",\"low\""));
    return head + ",\"limit\":\"" + (high ? "high" : "low") +
           "\",\"threshold\":" + decimal(thresholdHundredths) + '}';
}
