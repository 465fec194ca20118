#include "command_line.h"

#include "build_platform.h"
#include "publish/broker_address.h"
#include "publish/mqtt_topics.h"
#include "settings/calibration_settings.h"
#include "settings/quoted_value.h"
#include "vantro_version.h"

#include <QtCore/QCommandLineParser>

#include <algorithm>
#include <array>

namespace {
// Puts an option's value in its field. What is wrong with the value is said after the option's name, as in
// "--count" + " takes a whole number from 1 up, not ..."; empty when the value is good.
using ValueReader = QString (*)(CommandLine &line, const QString &value);

// One option as --help shows it and as the run takes it.
struct Option
{
    const char *name;
    const char *shortName = nullptr;
    const char *valueName = nullptr; // none: a switch
    const char *description = nullptr;
    bool CommandLine::*sets = nullptr; // the switch's field; --help and --version end the parse instead
    ValueReader read = nullptr;
    bool needsHeadless = false;
};

QString readPort(CommandLine &line, const QString &value)
{
    line.port = value;
    return value.trimmed().isEmpty() ? QStringLiteral(" needs a name") : QString();
}

QString readFormat(CommandLine &line, const QString &value)
{
    if (value == QLatin1String("json"))
        line.format = CommandLine::Format::Json;
    else if (value == QLatin1String("influx"))
        line.format = CommandLine::Format::Influx;
    else if (value != QLatin1String("csv"))
        return QStringLiteral(" is csv, json or influx, not %1").arg(quotedValue(value));
    return {};
}

QString readCount(CommandLine &line, const QString &value)
{
    bool ok = false;
    line.count = value.toLongLong(&ok);
    if (!ok || line.count < 1)
        return QStringLiteral(" takes a whole number from 1 up, not %1").arg(quotedValue(value));
    return {};
}

QString readMqttUrl(CommandLine &line, const QString &value)
{
    QString why;
    line.mqttUrl = value;
    if (!BrokerAddress::parse(value, why))
        return QStringLiteral(": ") + why;
    return {};
}

QString readMqttId(CommandLine &line, const QString &value)
{
    line.mqttId = value;
    if (!MqttTopics::isUsableId(value))
        return QStringLiteral(" takes up to %1 letters, digits, _ and -, not %2")
            .arg(MqttTopics::LongestId)
            .arg(quotedValue(value));
    return {};
}

QString readOffset(CommandLine &line, const QString &value)
{
    QString mistake;
    line.offset = CalibrationSettings::parse(value, mistake);
    if (!line.offset)
        return QStringLiteral(": ") + mistake;
    return {};
}

// [ADDRESS:]PORT of a listener. Only its presence is checked here: the endpoint, the one part that links the
// network, reads the address and the port when it starts listening, and says what it cannot have.
template <QString CommandLine::*Field> QString readListenAddress(CommandLine &line, const QString &value)
{
    line.*Field = value.trimmed();
    if ((line.*Field).isEmpty())
        return QStringLiteral(" needs a port, or an address and a port");
    return {};
}

// In --help's order. The manual page gives each its paragraph: tst_headless compares the two.
constexpr auto Options = std::to_array<Option>({
    {.name = "help", .shortName = "h", .description = "Show this help and exit."},
    {.name = "version", .description = "Show the version and exit."},
    {.name = "port",
     .valueName = "NAME",
     .description = "The board's port for this run, instead of the saved name (ttyACM0, or a path such as "
                    "/dev/serial/by-id/...).",
     .read = readPort},
    {.name = "headless",
     .description = "Run with no window: one line per reading on stdout, one line per change of the port's "
                    "state on stderr.",
     .sets = &CommandLine::headless},
    {.name = "format",
     .valueName = "FORMAT",
     .description = "With --headless: csv (the default), json, or influx (InfluxDB line protocol, for "
                    "Telegraf's execd input).",
     .read = readFormat,
     .needsHeadless = true},
    {.name = "count",
     .valueName = "N",
     .description = "With --headless: exit after N readings.",
     .read = readCount,
     .needsHeadless = true},
    {.name = "record",
     .description = "With --headless: also record to the daily CSV files.",
     .sets = &CommandLine::record,
     .needsHeadless = true},
    {.name = "list-ports",
     .description =
         "List the serial ports present, one a line, tab-separated: name, by-id path, description, "
         "manufacturer, serial number.",
     .sets = &CommandLine::listPorts},
    {.name = "mqtt",
     .valueName = "URL",
     .description = "Publish the readings to an MQTT broker: mqtt://[user@]host[:port] or mqtts://... The "
                    "password, if any, comes from the environment variable VANTRO_MQTT_PASSWORD.",
     .read = readMqttUrl},
    {.name = "mqtt-id",
     .valueName = "ID",
     .description =
         "The board's name in the topics vantro/<ID>/... (letters, digits, _ and -); by default the "
         "board's USB serial number, or else the host's name and the port's, such as lab3-ttyacm0.",
     .read = readMqttId},
    {.name = "offset",
     .valueName = "DEGREES",
     .description =
         "The board's calibration for this run, in degrees added to every temperature, such as 0.5 "
         "or -1.25, instead of Offset in the Calibration group of ZORVA.conf.",
     .read = readOffset},
    {.name = "metrics",
     .valueName = "[ADDRESS:]PORT",
     .description =
         "Serve Prometheus metrics at http://ADDRESS:PORT/metrics, instead of Listen in the Metrics "
         "group of ZORVA.conf; the address is 127.0.0.1 unless named (0.0.0.0 for every "
         "interface).",
     .read = readListenAddress<&CommandLine::metrics>},
    {.name = "http",
     .valueName = "[ADDRESS:]PORT",
     .description = "Serve the station's web page, its event stream and API, and the metrics, at "
                    "http://ADDRESS:PORT/, instead of Listen in the HTTP group of ZORVA.conf; the address is "
                    "127.0.0.1 unless named (0.0.0.0 for every interface).",
     .read = readListenAddress<&CommandLine::http>},
});

QList<QCommandLineOption> parserOptions()
{
    QList<QCommandLineOption> options;
    for (const Option &option : Options) {
        QStringList names{QLatin1String(option.name)};
        if (option.shortName)
            names.prepend(QLatin1String(option.shortName));
        options.append(QCommandLineOption(names, QString::fromUtf8(option.description),
                                          QString::fromUtf8(option.valueName)));
    }
    return options;
}

// In a value's place, "--count" or "-h" is the next option and the value was left out; a minus before a
// digit, as in an offset of -1.5, begins a value.
bool looksLikeOption(const QString &argument)
{
    return argument.startsWith(QLatin1String("--")) ||
           (argument.size() > 1 && argument.at(0) == u'-' && argument.at(1).isLetter());
}

// What is wrong with the first option that takes a value written apart from it, as in "--metrics 9101", and
// has none; empty if each has its own. Written as "--metrics=VALUE", the value is what follows the sign.
QString missingValue(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("--"))
            break;
        const auto option = std::find_if(Options.cbegin(), Options.cend(), [&](const Option &o) {
            return o.valueName && argument.startsWith(QLatin1String("--")) &&
                   argument.sliced(2) == QLatin1String(o.name);
        });
        if (option == Options.cend())
            continue;
        if (i + 1 == arguments.size() || looksLikeOption(arguments.at(i + 1)))
            return QStringLiteral("%1 needs a value: %2").arg(argument, QString::fromUtf8(option->valueName));
        ++i;
    }
    return {};
}

// Puts each option given in its field; what is wrong with the first refused, or empty. A headless-only
// option without --headless is said before any value.
QString readOptions(const QCommandLineParser &parser, CommandLine &line)
{
    for (const Option &option : Options) {
        if (option.sets)
            line.*option.sets = parser.isSet(QLatin1String(option.name));
    }
    for (const Option &option : Options) {
        if (option.needsHeadless && !line.headless && parser.isSet(QLatin1String(option.name)))
            return QStringLiteral("--%1 needs --headless").arg(QLatin1String(option.name));
    }
    for (const Option &option : Options) {
        const QString name = QLatin1String(option.name);
        if (!option.read || !parser.isSet(name))
            continue;
        if (const QString refusal = option.read(line, parser.value(name)); !refusal.isEmpty())
            return QStringLiteral("--") + name + refusal;
    }
    return {};
}
} // namespace

CommandLine CommandLine::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Shows the temperature of the ZORVA sensor board; with --headless, prints it."));
    parser.addOptions(parserOptions());

    CommandLine line;
    const auto fail = [&line](const QString &why) {
        line.exitCode = 2;
        line.message = QStringLiteral("vantro: %1 (see vantro --help)\n").arg(why);
        return line;
    };
    if (const QString why = missingValue(arguments); !why.isEmpty())
        return fail(why);
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("unexpected argument %1").arg(quotedValue(parser.positionalArguments().first())));
    if (parser.isSet(QStringLiteral("help"))) {
        line.exitCode = 0;
        line.message =
            parser.helpText().replace(QStringLiteral("<executable_name>"), QStringLiteral("vantro"));
        return line;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        line.exitCode = 0;
        line.message =
            QStringLiteral("vantro %1 (%2)\n").arg(QLatin1String(VantroVersion::Number), buildPlatform());
        return line;
    }
    if (const QString refusal = readOptions(parser, line); !refusal.isEmpty())
        return fail(refusal);
    return line;
}
