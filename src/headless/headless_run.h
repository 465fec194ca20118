#pragma once

#include "headless/clock_watch.h"
#include "headless/headless_view.h"
#include "headless/line_output.h"
#include "headless/output_line.h"
#include "headless/quit_signals.h"
#include "headless/reading_printer.h"
#include "station/command_line.h"
#include "station/station.h"

#include <QtCore/QObject>

// `vantro --headless`: the window's link and controller with no screen. It opens the port at once and then
// every 2 s until the board is there, prints each reading on stdout as it arrives and each change of the
// port's state on stderr, and records when asked. It ends with status 0 after --count readings, on SIGINT or
// SIGTERM, or when stdout is closed, always closing the port first; a stdout that fails otherwise is said
// and ends it with status 1. A reader that stops reading holds up nothing: its lines wait, up to a bound.
// With a broker named, it publishes too, and says the broker's changes on stderr. A reading that crosses
// an alert limit is said on stderr too, and so is a system clock that is not synchronised.
class HeadlessRun final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HeadlessRun)

public:
    explicit HeadlessRun(const CommandLine &line, QObject *parent = nullptr);
    ~HeadlessRun() override;

    void start();

private:
    void countReading();
    void finish();
    void quit();
    void stdoutFailed(const QString &reason);
    void startPublishing();
    void sayAlert(const AlertEvent &event);
    void exitWhenDone();
    void exit();

    // First in, last out: whatever the others say on their way out still goes through them.
    LineOutput m_stdout;
    LineOutput m_stderr;
    LineRoute m_stdoutRoute;
    LineRoute m_stderrRoute;
    CommandLine m_line;
    HeadlessView m_view;
    Station m_station;
    ReadingPrinter m_printer;
    QuitSignals m_quitSignals;
    ClockWatch m_clock;
    int m_exitCode = 0;
    bool m_finished = false;
    bool m_stationFinished = false;
    bool m_exited = false;
};
