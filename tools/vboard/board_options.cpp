#include "board_options.h"

#include <QtCore/QCommandLineParser>

bool BoardOptions::parse(const QStringList &arguments, BoardOptions &options, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Plays the temperature-sensor board on a pseudo-terminal. Prints the port to open "
                       "on its first line of output, then reports every frame it receives on stderr."));
    parser.addHelpOption();
    const QCommandLineOption link(QStringLiteral("link"),
                                  QStringLiteral("Also make a symlink to the port at <path>."),
                                  QStringLiteral("path"));
    const QCommandLineOption interval(
        QStringLiteral("interval"),
        QStringLiteral("Milliseconds between temperature replies (default 1000)."), QStringLiteral("ms"),
        QStringLiteral("1000"));
    const QCommandLineOption raw(QStringLiteral("raw"),
                                 QStringLiteral("Raw reading to start from (default 45)."),
                                 QStringLiteral("value"), QStringLiteral("45"));
    const QCommandLineOption silent(QStringLiteral("silent"), QStringLiteral("Never answer."));
    const QCommandLineOption split(QStringLiteral("split"),
                                   QStringLiteral("Send each reply in two parts, half an interval apart."));
    const QCommandLineOption garbage(QStringLiteral("garbage"),
                                     QStringLiteral("Send random bytes between replies."));
    const QCommandLineOption highByte(QStringLiteral("high-byte"),
                                      QStringLiteral("Send replies whose high byte is 0x80 or more."));
    const QCommandLineOption flood(
        QStringLiteral("flood"),
        QStringLiteral("After the start command, send random bytes at the full 1920 bytes/s of 19200 8N1."));
    parser.addOptions({link, interval, raw, silent, split, garbage, highByte, flood});
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        error = parser.helpText();
        return false;
    }

    bool intervalOk = false;
    bool rawOk = false;
    options.linkPath = parser.value(link);
    options.intervalMs = parser.value(interval).toInt(&intervalOk);
    options.startRaw = parser.value(raw).toInt(&rawOk);
    options.silent = parser.isSet(silent);
    options.split = parser.isSet(split);
    options.garbage = parser.isSet(garbage);
    options.highByte = parser.isSet(highByte);
    options.flood = parser.isSet(flood);
    if (!intervalOk || options.intervalMs < 1) {
        error = QStringLiteral("--interval takes a whole number of milliseconds, 1 or more");
        return false;
    }
    if (!rawOk || options.startRaw < 0 || options.startRaw > 1023) {
        error = QStringLiteral("--raw takes a 10-bit reading, 0 to 1023");
        return false;
    }
    return true;
}
