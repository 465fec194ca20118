#include "reading_printer.h"

#include "headless/output_line.h"
#include "protocol/reading_csv.h"
#include "protocol/reading_influx.h"

ReadingPrinter::ReadingPrinter(CommandLine::Format format) : m_format(format) {}

ReadingPrinter::~ReadingPrinter() = default;

bool ReadingPrinter::start()
{
    return m_format != CommandLine::Format::Csv || writeLine(StandardOutput, ReadingCsv::Header);
}

void ReadingPrinter::takeReading(const Reading &reading, const QString &port)
{
    switch (m_format) {
    case CommandLine::Format::Csv:
        writeLine(StandardOutput, ReadingCsv::line(reading));
        break;
    case CommandLine::Format::Json:
        writeLine(StandardOutput, ReadingCsv::jsonLine(reading));
        break;
    case CommandLine::Format::Influx:
        writeLine(StandardOutput, ReadingInflux::line(reading, port));
        break;
    }
    ++m_printed;
}

qint64 ReadingPrinter::printed() const
{
    return m_printed;
}
