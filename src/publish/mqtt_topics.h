#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstdint>

struct Reading;

// What a board's readings look like on the broker: the topics under vantro/<id>/ and their payloads.
namespace MqttTopics {
// The board's USB serial number where its port has one, which follows the board from machine to machine and
// tells two boards apart on machines of the same name; else host-port: lab3-ttyacm0. Lower-cased, every
// character other than a-z, 0-9, "_" and "-" replaced by "_".
QString defaultId(const QString &hostName, const QString &portName, const QString &serialNumber = {});
// Longer than any serial number or host and port name; the topics built on it stay far below MQTT's limit.
inline constexpr int LongestId = 128;
// The same rule for an id given by the user, so that it cannot reach into other topics, and so that ZV0042A
// and zv0042a are one board.
QString cleanId(const QString &id);
// Whether an id given by the user can be used as it stands, but for its case: at most LongestId characters.
bool isUsableId(const QString &id);
// The MQTT client id of the board's session: vantro-<id>-<8 hex digits>, the digits from the machine's id,
// so that the same board id on two machines does not make two sessions that take each other's place.
QString clientId(const QString &id, const QByteArray &machineId);

QByteArray temperature(const QString &id);
QByteArray reading(const QString &id);
QByteArray availability(const QString &id);
QByteArray alert(const QString &id);
// The board link: "online" while the port is open and the board's replies arrive, else "offline".
QByteArray board(const QString &id);
// How many readings wait to be handed to the broker.
QByteArray waiting(const QString &id);

QByteArray temperaturePayload(const Reading &reading); // 21.97, always with a "."
QByteArray readingPayload(const Reading &reading);     // the JSON line of --format json, without its break
// {"time":...,"celsius":...,"limit":"high"|"low","threshold":...}
QByteArray alertPayload(const Reading &reading, bool high, int32_t thresholdHundredths);

inline constexpr char Online[] = "online";
inline constexpr char Offline[] = "offline";
} // namespace MqttTopics
