#include "metrics_text.h"

#include "protocol/temperature_text.h"

namespace {
void family(QByteArray &text, const char *name, const char *type, const char *help)
{
    text += "# HELP ";
    text += name;
    text += ' ';
    text += help;
    text += "\n# TYPE ";
    text += name;
    text += ' ';
    text += type;
    text += '\n';
}

void sample(QByteArray &text, const char *name, const QByteArray &labels, const QByteArray &value)
{
    text += name;
    text += labels;
    text += ' ';
    text += value;
    text += '\n';
}

QByteArray label(const char *name, const QString &value)
{
    return '{' + QByteArray(name) + "=\"" + escapedLabelValue(value) + "\"}";
}
} // namespace

QByteArray escapedLabelValue(const QString &value)
{
    QByteArray escaped;
    const QByteArray utf8 = value.toUtf8();
    escaped.reserve(utf8.size());
    for (const char c : utf8) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}

QByteArray metricsText(const MetricsState &state)
{
    QByteArray text;
    text.reserve(1536);
    if (state.lastReading && state.temperatureFresh) {
        family(text, "vantro_temperature_celsius", "gauge",
               "The board's temperature, from its latest reading; left out once the board has been "
               "silent too long.");
        sample(text, "vantro_temperature_celsius", label("port", state.port),
               hundredthsText(state.lastReading->hundredths, QStringLiteral(".")).toLatin1());
    }
    if (state.lastReading) {
        family(text, "vantro_last_reading_timestamp_seconds", "gauge",
               "When the latest reading was taken, in seconds since the epoch.");
        sample(text, "vantro_last_reading_timestamp_seconds", {},
               QByteArray::number(double(state.lastReading->timeMs) / 1000.0, 'f', 3));
    }
    family(text, "vantro_board_up", "gauge",
           "1 while the board's port is open and its replies arrive, else 0.");
    sample(text, "vantro_board_up", {}, state.boardUp ? "1" : "0");
    family(text, "vantro_readings_total", "counter", "Readings taken since the program started.");
    sample(text, "vantro_readings_total", {}, QByteArray::number(state.readings));
    family(text, "vantro_replies_rejected_total", "counter",
           "Replies from the board that could not be read as a temperature.");
    sample(text, "vantro_replies_rejected_total", {}, QByteArray::number(state.rejectedReplies));
    if (state.waitingReadings) {
        family(text, "vantro_mqtt_waiting_readings", "gauge",
               "Readings taken and not yet delivered to the MQTT broker.");
        sample(text, "vantro_mqtt_waiting_readings", {}, QByteArray::number(*state.waitingReadings));
    }
    family(text, "vantro_build_info", "gauge", "The program's version, in its label; always 1.");
    sample(text, "vantro_build_info", label("version", state.version), "1");
    return text;
}
