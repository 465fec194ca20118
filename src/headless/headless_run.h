#pragma once

#include "alert/alert_watch.h"
#include "app/command_line.h"
#include "app/link_controller.h"
#include "headless/headless_view.h"
#include "headless/quit_signals.h"
#include "link/link_timers.h"
#include "publish/reading_publisher.h"
#include "record/reading_recorder.h"

#include <QtCore/QObject>

#include <memory>

// `vantro --headless`: the window's link and controller with no screen. It opens the port at once and then
// every 2 s until the board is there, prints each reading on stdout as it arrives and each change of the
// port's state on stderr, and records when asked. It ends with status 0 after --count readings, on SIGINT or
// SIGTERM, or when stdout is closed, always closing the port first. With a broker named, it publishes too,
// and says the broker's changes on stderr. A reading that crosses an alert limit is said on stderr too.
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
    void startPublishing();
    void exit();

    CommandLine m_line;
    HeadlessView m_view;
    LinkController m_controller;
    LinkTimers m_timers;
    ReadingRecorder m_recorder;
    QuitSignals m_quitSignals;
    AlertWatch m_alerts;
    std::unique_ptr<ReadingPublisher> m_publisher;
    qint64 m_printed = 0;
    bool m_finished = false;
};
