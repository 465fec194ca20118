#pragma once

#include "protocol/reading_output.h"
#include "station/command_line.h"

// The headless run's stdout: one line per reading in the format asked for, through the run's line queue.
class ReadingPrinter final : public ReadingOutput
{
    Q_DISABLE_COPY_MOVE(ReadingPrinter)

public:
    explicit ReadingPrinter(CommandLine::Format format);
    ~ReadingPrinter() override;

    // The header line, for formats that have one; false when stdout has already failed.
    bool start();
    void takeReading(const Reading &reading, const QString &port) override;
    qint64 printed() const;

private:
    CommandLine::Format m_format;
    qint64 m_printed = 0;
};
