#pragma once

#include "alert/alert_watch.h"
#include "app/command_line.h"
#include "app/link_controller.h"
#include "headless/clock_watch.h"
#include "headless/headless_view.h"
#include "headless/line_output.h"
#include "headless/output_line.h"
#include "headless/quit_signals.h"
#include "link/link_timers.h"
#include "publish/reading_publisher.h"
#include "record/reading_recorder.h"

#include <QtCore/QObject>

#include <memory>

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
    void print(const Reading &reading);
    void finish();
    void quit();
    void stdoutFailed(const QString &reason);
    void startPublishing();
    void exitWhenDone();
    void exit();

    // First in, last out: whatever the others say on their way out still goes through them.
    LineOutput m_stdout;
    LineOutput m_stderr;
    LineRoute m_stdoutRoute;
    LineRoute m_stderrRoute;
    CommandLine m_line;
    HeadlessView m_view;
    LinkController m_controller;
    LinkTimers m_timers;
    ReadingRecorder m_recorder;
    QuitSignals m_quitSignals;
    AlertWatch m_alerts;
    ClockWatch m_clock;
    std::unique_ptr<ReadingPublisher> m_publisher;
    qint64 m_printed = 0;
    int m_exitCode = 0;
    bool m_finished = false;
    bool m_publisherFinished = false;
    bool m_exited = false;
};
