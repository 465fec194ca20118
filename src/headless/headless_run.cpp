#include "headless_run.h"

#include "headless/undelivered_summary.h"
#include "record/recording_settings.h"
#include "settings/zorva_store.h"

#include <QtCore/QCoreApplication>

namespace {
void say(const QString &line)
{
    writeLine(StandardError, (line + u'\n').toLocal8Bit());
}
} // namespace

HeadlessRun::HeadlessRun(const CommandLine &line, QObject *parent)
    : QObject(parent), m_stdout(StandardOutput), m_stderr(StandardError),
      m_stdoutRoute(StandardOutput, m_stdout), m_stderrRoute(StandardError, m_stderr), m_line(line),
      m_station(m_view), m_printer(line.format)
{
    m_view.attachTimers(m_station.timers());
    connect(&m_station, &Station::readingTaken, this, &HeadlessRun::countReading);
    connect(&m_station, &Station::said, this, &say);
    connect(&m_station, &Station::alerted, this, &HeadlessRun::sayAlert);
    connect(&m_station, &Station::finished, this, [this] {
        m_stationFinished = true;
        exitWhenDone();
    });
    connect(&m_quitSignals, &QuitSignals::quitRequested, this, &HeadlessRun::quit);
    // Queued: a write that fails in the middle of taking a reading ends the run after it, not inside it.
    connect(&m_stdout, &LineOutput::readerLeft, this, &HeadlessRun::finish, Qt::QueuedConnection);
    connect(&m_stdout, &LineOutput::failed, this, &HeadlessRun::stdoutFailed, Qt::QueuedConnection);
    connect(&m_stdout, &LineOutput::droppingBegun, this, [] {
        say(QStringLiteral("stdout is not being read: keeping the newest %1 lines, dropping older ones")
                .arg(LineOutput::DefaultCapacity));
    });
    connect(&m_stdout, &LineOutput::drained, this, [this] {
        if (m_finished)
            exitWhenDone();
    });
    connect(&m_clock, &ClockWatch::said, this, &say);
    if (const QString problem = zorvaStoreProblem(); !problem.isEmpty())
        say(QStringLiteral("Settings not read, the defaults are in use: %1").arg(problem));
    const QString calibrationMistake = line.offset ? QString() : m_station.calibrationMistake();
    for (const QString &mistake : QStringList{m_station.alertLimitMistakes().high,
                                              m_station.alertLimitMistakes().low, calibrationMistake} +
                                      m_station.settingMistakes()) {
        if (!mistake.isEmpty())
            say(mistake);
    }
    if (line.offset)
        m_station.setCalibration(*line.offset);
}

HeadlessRun::~HeadlessRun() = default;

void HeadlessRun::start()
{
    StreamEnd::ignoreReaderLossSignal();
    // Before anything is said: an address that cannot be had ends the run with that one line.
    if (QString error; !m_station.startHttp(m_line.http, m_line.metrics, error)) {
        say(QStringLiteral("vantro: ") + error);
        m_exitCode = 2;
        // Once the event loop runs: an exit asked for before it starts would be lost.
        QMetaObject::invokeMethod(this, &HeadlessRun::finish, Qt::QueuedConnection);
        return;
    }
    m_clock.start();
    m_station.controller().formLoad();
    if (!m_line.port.isEmpty())
        m_view.setText(TextBox::TCOM, m_line.port);
    // The page shows the port's recorded readings from the start, not once the board is first there.
    m_station.loadHistory();
    startPublishing();
    if (!m_printer.start())
        return; // the end is on its way from the stream
    m_station.addOutput(m_printer);
    // --record for one run, or Recording/Enabled for every run, as a system service has no box to tick.
    const bool record = m_line.record || RecordingSettings::enabled();
    if (record && !m_station.startRecording(RecordingSettings::folder()))
        say(QStringLiteral("Not recording: %1").arg(m_station.recorder().failure()));
    m_station.timers().startUp();
    // With no one waiting at a window, there is no reason to wait for the first tick.
    m_station.controller().openAttempt();
}

void HeadlessRun::startPublishing()
{
    m_station.startPublishing(m_line.mqttUrl, m_line.mqttId);
    const QString failure = m_station.publishingFailure();
    if (failure.isEmpty())
        return;
    // A broker named on the command line is not the settings' fault.
    const QString where =
        m_line.mqttUrl.isEmpty() ? QStringLiteral("the MQTT Url in %1: ").arg(zorvaStoreName()) : QString();
    say(QStringLiteral("Not publishing: ") + where + failure);
}

void HeadlessRun::countReading()
{
    if (m_line.count > 0 && m_printer.printed() >= m_line.count)
        finish();
}

void HeadlessRun::sayAlert(const AlertEvent &event)
{
    const bool back = event.kind == AlertEvent::Kind::BackWithin;
    say((back ? QString() : QStringLiteral("Alert: ")) + event.text(QStringLiteral(".")));
}

void HeadlessRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    m_station.finish();
    exitWhenDone();
}

void HeadlessRun::quit()
{
    // Asked to stop, the run does not wait for a reader that is behind.
    m_stdout.abandon();
    if (m_finished)
        exitWhenDone();
    else
        finish();
}

void HeadlessRun::stdoutFailed(const QString &reason)
{
    say(QStringLiteral("Cannot write to stdout: %1").arg(reason));
    m_exitCode = 1;
    finish();
}

void HeadlessRun::exitWhenDone()
{
    // The last lines still reach a reader that is reading, however slowly.
    if (m_stdout.waitingLines() > 0 || !m_stationFinished)
        return;
    exit();
}

void HeadlessRun::exit()
{
    if (m_exited)
        return;
    m_exited = true;
    if (m_stdout.droppedLines() > 0)
        say(QStringLiteral("%1 lines were not written to stdout: it was not being read")
                .arg(m_stdout.droppedLines()));
    // What the broker never had is said last, so that a gap in its records has an explanation.
    if (const ReadingPublisher *publisher = m_station.publisher()) {
        const QString undelivered = undeliveredSummary(*publisher);
        if (!undelivered.isEmpty())
            say(undelivered);
    }
    QCoreApplication::exit(m_exitCode);
}
