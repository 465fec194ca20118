#pragma once

#include <QtCore/QString>
#include <QtCore/QStringList>

#include <optional>

// What the program was asked to do on its command line.
struct CommandLine
{
    enum class Format
    {
        Csv,
        Json,
        Influx
    };

    bool headless = false;
    QString port; // empty: the saved name
    Format format = Format::Csv;
    qint64 count = 0; // readings before a headless run ends; 0: no end
    bool record = false;
    bool listPorts = false;
    QString mqttUrl;               // empty: the saved broker, if any
    QString mqttId;                // empty: the saved id, or the host's and port's names
    QString metrics;               // [ADDRESS:]PORT; empty: the saved address, if any
    QString http;                  // [ADDRESS:]PORT of the web page; empty: the saved address, if any
    std::optional<int32_t> offset; // hundredths of a degree; none: the saved calibration

    // With no option the program is the window. Where parsing ends the program (--help, --version, a
    // mistake), `exitCode` is 0 or 2 and `message` is what to print: on stdout for 0, on stderr for 2.
    int exitCode = -1;
    QString message;

    static CommandLine parse(const QStringList &arguments);
};
