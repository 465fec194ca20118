#pragma once

#include <QtCore/QString>

struct MosquittoLibrary;

// Why the broker could not be reached or would not take something, as a phrase that goes inside a sentence
// of the log: in the program's words for what a user meets, in the library's for the rest.
namespace MqttReasons {
// A refused connection, from the broker's CONNACK: an MQTT 5 reason code, or an MQTT 3.1.1 return code.
QString refusal(const MosquittoLibrary &library, int code, bool mqtt5);
// A message the broker would not take, from the MQTT 5 reason code of its acknowledgement.
QString messageRefusal(const MosquittoLibrary &library, int reasonCode);
// A failed or lost connection, from the library's error code and the errno that came with it.
QString failure(const MosquittoLibrary &library, int code, int errorNumber);

// The broker took the connection and did not answer it, or stopped answering.
QString noAnswer();
// An address whose connection was never made within its share of the round: said alike everywhere, as no
// system call failed to say it.
QString timedOut();
} // namespace MqttReasons
