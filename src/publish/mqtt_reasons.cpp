#include "mqtt_reasons.h"

#include "publish/mosquitto_library.h"
#include "publish/socket_probe.h"

#include <mqtt_protocol.h>

namespace {
// An MQTT 3.1.1 CONNACK return code as the MQTT 5 reason code of the same meaning.
int asReasonCode(int returnCode)
{
    switch (returnCode) {
    case CONNACK_REFUSED_PROTOCOL_VERSION:
        return MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION;
    case CONNACK_REFUSED_IDENTIFIER_REJECTED:
        return MQTT_RC_CLIENTID_NOT_VALID;
    case CONNACK_REFUSED_SERVER_UNAVAILABLE:
        return MQTT_RC_SERVER_UNAVAILABLE;
    case CONNACK_REFUSED_BAD_USERNAME_PASSWORD:
        return MQTT_RC_BAD_USERNAME_OR_PASSWORD;
    case CONNACK_REFUSED_NOT_AUTHORIZED:
        return MQTT_RC_NOT_AUTHORIZED;
    default:
        return MQTT_RC_UNSPECIFIED;
    }
}

QString ownWords(int reasonCode)
{
    switch (reasonCode) {
    case MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION:
        return QStringLiteral("it does not speak this version of MQTT");
    case MQTT_RC_CLIENTID_NOT_VALID:
        return QStringLiteral("it does not accept the client id");
    case MQTT_RC_BAD_USERNAME_OR_PASSWORD:
        return QStringLiteral("wrong user name or password");
    case MQTT_RC_NOT_AUTHORIZED:
        return QStringLiteral("not authorised");
    case MQTT_RC_SERVER_UNAVAILABLE:
        return QStringLiteral("it is unavailable");
    case MQTT_RC_SERVER_BUSY:
        return QStringLiteral("it is busy");
    case MQTT_RC_BANNED:
        return QStringLiteral("this client is banned");
    case MQTT_RC_QUOTA_EXCEEDED:
        return QStringLiteral("over its quota");
    case MQTT_RC_TOPIC_NAME_INVALID:
        return QStringLiteral("the topic is not valid");
    default:
        return QString();
    }
}

// The library's sentences end with a full stop and begin with a capital; here they go inside a sentence.
QString phrase(const QString &sentence)
{
    QString text = sentence.trimmed();
    while (text.endsWith(u'.'))
        text.chop(1);
    if (text.size() > 1 && text[0].isUpper() && text[1].isLower())
        text[0] = text[0].toLower();
    return text;
}

QString reasonText(const MosquittoLibrary &library, int reasonCode)
{
    const QString own = ownWords(reasonCode);
    return own.isEmpty() ? phrase(QString::fromUtf8(library.mosquitto_reason_string(reasonCode))) : own;
}
} // namespace

QString MqttReasons::refusal(const MosquittoLibrary &library, int code, bool mqtt5)
{
    return reasonText(library, mqtt5 ? code : asReasonCode(code));
}

QString MqttReasons::messageRefusal(const MosquittoLibrary &library, int reasonCode)
{
    return reasonText(library, reasonCode);
}

QString MqttReasons::failure(const MosquittoLibrary &library, int code, int errorNumber)
{
    switch (code) {
    case MOSQ_ERR_ERRNO:
        // The library's own sentence for it is "Error in the system"; the system's is better.
        return phrase(SocketProbe::errorText(errorNumber));
    case MOSQ_ERR_KEEPALIVE:
        return noAnswer();
    default:
        return phrase(QString::fromUtf8(library.mosquitto_strerror(code)));
    }
}

QString MqttReasons::timedOut()
{
    return QStringLiteral("connection timed out");
}

QString MqttReasons::noAnswer()
{
    return QStringLiteral("the broker did not answer");
}
