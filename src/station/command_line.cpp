#include "command_line.h"

#include "build_platform.h"
#include "publish/broker_address.h"
#include "publish/mqtt_topics.h"
#include "settings/calibration_settings.h"
#include "settings/quoted_value.h"
#include "vantro_version.h"

#include <QtCore/QCommandLineParser>

#include <algorithm>

namespace {
// In a value's place, "--count" or "-h" is the next option and the value was left out; a minus before a
// digit, as in an offset of -1.5, begins a value.
bool looksLikeOption(const QString &argument)
{
    return argument.startsWith(QLatin1String("--")) ||
           (argument.size() > 1 && argument.at(0) == u'-' && argument.at(1).isLetter());
}

// What is wrong with the first option that takes a value written apart from it, as in "--metrics 9101", and
// has none; empty if each has its own. Written as "--metrics=VALUE", the value is what follows the sign.
QString missingValue(const QStringList &arguments, const QList<QCommandLineOption> &options)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        const auto option = std::find_if(options.cbegin(), options.cend(), [&](const QCommandLineOption &o) {
            return !o.valueName().isEmpty() && argument.startsWith(QLatin1String("--")) &&
                   o.names().contains(argument.sliced(2));
        });
        if (option == options.cend())
            continue;
        if (i + 1 == arguments.size() || looksLikeOption(arguments.at(i + 1)))
            return QStringLiteral("%1 needs a value: %2").arg(argument, option->valueName());
        ++i;
    }
    return {};
}
} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the temperature of the ZORVA sensor board; with --headless, prints it."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and exit."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("The board's port for this run, instead of the saved name "
                                                 "(ttyACM0, or a path such as /dev/serial/by-id/...)."),
                                  QStringLiteral("NAME"));
    const QCommandLineOption headless(
        QStringLiteral("headless"), QStringLiteral("Run with no window: one line per reading on stdout, one "
                                                   "line per change of the port's state on stderr."));
    const QCommandLineOption format(
        QStringLiteral("format"),
        QStringLiteral("With --headless: csv (the default), json, or influx (InfluxDB line "
                       "protocol, for Telegraf's execd input)."),
        QStringLiteral("FORMAT"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("With --headless: exit after N readings."),
                                   QStringLiteral("N"));
    const QCommandLineOption record(QStringLiteral("record"),
                                    QStringLiteral("With --headless: also record to the daily CSV files."));
    const QCommandLineOption listPorts(
        QStringLiteral("list-ports"),
        QStringLiteral("List the serial ports present, one a line, tab-separated: name, "
                       "by-id path, description, manufacturer, serial number."));
    const QCommandLineOption mqtt(
        QStringLiteral("mqtt"),
        QStringLiteral("Publish the readings to an MQTT broker: mqtt://[user@]host[:port] or mqtts://... "
                       "The password, if any, comes from the environment variable VANTRO_MQTT_PASSWORD."),
        QStringLiteral("URL"));
    const QCommandLineOption mqttId(
        QStringLiteral("mqtt-id"),
        QStringLiteral(
            "The board's name in the topics vantro/<ID>/... (letters, digits, _ and -); by default "
            "the board's USB serial number, or else the host's name and the port's, such as lab3-ttyacm0."),
        QStringLiteral("ID"));
    const QCommandLineOption offset(
        QStringLiteral("offset"),
        QStringLiteral("The board's calibration for this run, in degrees added to every temperature, such as "
                       "0.5 or -1.25, instead of Offset in the Calibration group of ZORVA.conf."),
        QStringLiteral("DEGREES"));
    const QCommandLineOption metricsOption(
        QStringLiteral("metrics"),
        QStringLiteral("Serve Prometheus metrics at http://ADDRESS:PORT/metrics, instead of Listen in the "
                       "Metrics group of ZORVA.conf; the address is 127.0.0.1 unless named (0.0.0.0 for "
                       "every interface)."),
        QStringLiteral("[ADDRESS:]PORT"));
    const QList<QCommandLineOption> options{help,   version,   port, headless, format, count,
                                            record, listPorts, mqtt, mqttId,   offset, metricsOption};
    parser.addOptions(options);

    CommandLine line;
    const auto fail = [&line](const QString &why) {
        line.exitCode = 2;
        line.message = QStringLiteral("vantro: %1 (see vantro --help)\n").arg(why);
        return line;
    };
    if (const QString why = missingValue(arguments, options); !why.isEmpty())
        return fail(why);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(quotedValue(parser.positionalArguments().first())));
    if (parser.isSet(help)) {
        line.exitCode = 0;
        line.message =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("vantro"));
        return line;
    }
    if (parser.isSet(version)) {
        line.exitCode = 0;
        line.message =
            QStringLiteral("vantro %1 (%2)\n").arg(QLatin1String(VantroVersion::Number), buildPlatform());
        return line;
    }

    line.listPorts = parser.isSet(listPorts);
    line.headless = parser.isSet(headless);
    for (const QCommandLineOption *headlessOnly : {&format, &count, &record}) {
        if (parser.isSet(*headlessOnly) && !line.headless)
            return fail(QStringLiteral("--%1 needs --headless").arg(headlessOnly->names().constFirst()));
    }
    if (parser.isSet(port)) {
        line.port = parser.value(port);
        if (line.port.trimmed().isEmpty())
            return fail(QStringLiteral("--port needs a name"));
    }
    if (parser.isSet(format)) {
        const QString value = parser.value(format);
        if (value == QLatin1String("json"))
            line.format = Format::Json;
        else if (value == QLatin1String("influx"))
            line.format = Format::Influx;
        else if (value != QLatin1String("csv"))
            return fail(QStringLiteral("--format is csv, json or influx, not %1").arg(quotedValue(value)));
    }
    if (parser.isSet(count)) {
        bool ok = false;
        line.count = parser.value(count).toLongLong(&ok);
        if (!ok || line.count < 1)
            return fail(QStringLiteral("--count takes a whole number from 1 up, not %1")
                            .arg(quotedValue(parser.value(count))));
    }
    line.record = parser.isSet(record);
    if (parser.isSet(mqtt)) {
        QString why;
        line.mqttUrl = parser.value(mqtt);
        if (!BrokerAddress::parse(line.mqttUrl, why))
            return fail(QStringLiteral("--mqtt: ") + why);
    }
    if (parser.isSet(mqttId)) {
        line.mqttId = parser.value(mqttId);
        if (!MqttTopics::isUsableId(line.mqttId))
            return fail(QStringLiteral("--mqtt-id takes up to %1 letters, digits, _ and -, not %2")
                            .arg(MqttTopics::LongestId)
                            .arg(quotedValue(line.mqttId)));
    }
    if (parser.isSet(metricsOption)) {
        line.metrics = parser.value(metricsOption).trimmed();
        if (line.metrics.isEmpty())
            return fail(QStringLiteral("--metrics needs a port, or an address and a port"));
    }
    if (parser.isSet(offset)) {
        QString mistake;
        line.offset = CalibrationSettings::parse(parser.value(offset), mistake);
        if (!line.offset)
            return fail(QStringLiteral("--offset: ") + mistake);
    }
    return line;
}
