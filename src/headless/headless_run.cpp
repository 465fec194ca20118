#include "headless_run.h"

#include "headless/undelivered_summary.h"
#include "publish/publisher_setup.h"
#include "record/reading_csv.h"
#include "record/recording_settings.h"
#include "settings/zorva_store.h"

#include <QtCore/QCoreApplication>

#include <csignal>

namespace {
void say(const QString &line)
{
    writeLine(StandardError, (line + u'\n').toLocal8Bit());
}
} // namespace

HeadlessRun::HeadlessRun(const CommandLine &line, QObject *parent)
    : QObject(parent), m_stdout(StandardOutput), m_stderr(StandardError),
      m_stdoutRoute(StandardOutput, m_stdout), m_stderrRoute(StandardError, m_stderr), m_line(line),
      m_controller(m_view), m_timers(m_controller.port())
{
    m_view.attachTimers(m_timers);
    m_controller.attachTimers(m_timers);
    connect(&m_controller, &LinkController::readingTaken, this, &HeadlessRun::print);
    connect(&m_recorder, &ReadingRecorder::failed, this, [](const QString &reason) {
        writeLine(StandardError, (ReadingRecorder::faultText(reason) + u'\n').toLocal8Bit());
    });
    connect(&m_recorder, &ReadingRecorder::resumed, this, [](const QString &path, qint64 missed) {
        writeLine(StandardError, (ReadingRecorder::resumedText(path, missed) + u'\n').toLocal8Bit());
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
    AlertLimitMistakes mistakes;
    m_alerts.setLimits(AlertLimits::load(mistakes));
    for (const QString &mistake : {mistakes.high, mistakes.low}) {
        if (!mistake.isEmpty())
            say(mistake);
    }
    connect(&m_alerts, &AlertWatch::alerted, this, [this](const AlertEvent &event) {
        const bool back = event.kind == AlertEvent::Kind::BackWithin;
        writeLine(StandardError,
                  ((back ? QString() : QStringLiteral("Alert: ")) + event.text(QStringLiteral(".")) + u'\n')
                      .toLocal8Bit());
        if (m_publisher)
            m_publisher->publishAlert(event);
    });
}

HeadlessRun::~HeadlessRun() = default;

void HeadlessRun::start()
{
    // A reader that goes away is an ordinary end, seen as a failed write, not a reason to die unannounced.
    std::signal(SIGPIPE, SIG_IGN);
    m_clock.start();
    m_controller.formLoad();
    if (!m_line.port.isEmpty())
        m_view.setText(TextBox::TCOM, m_line.port);
    startPublishing();
    if (m_line.format == CommandLine::Format::Csv && !writeLine(StandardOutput, ReadingCsv::Header))
        return; // the end is on its way from the stream
    // --record for one run, or Recording/Enabled for every run, as a system service has no box to tick.
    const bool record = m_line.record || RecordingSettings::enabled();
    if (record && !m_recorder.start(RecordingSettings::folder()))
        writeLine(StandardError,
                  QStringLiteral("Not recording: %1\n").arg(m_recorder.failure()).toLocal8Bit());
    m_timers.startUp();
    // With no one waiting at a window, there is no reason to wait for the first tick.
    m_controller.openAttempt();
}

void HeadlessRun::startPublishing()
{
    QString error;
    m_publisher = setUpPublisher(m_line.mqttUrl, m_line.mqttId, m_view.text(TextBox::TCOM), error);
    if (!error.isEmpty())
        writeLine(
            StandardError,
            QStringLiteral("Not publishing: the MQTT Url in ZORVA.conf: %1\n").arg(error).toLocal8Bit());
    if (!m_publisher)
        return;
    connect(m_publisher.get(), &ReadingPublisher::said, this,
            [](const QString &line) { writeLine(StandardError, (line + u'\n').toLocal8Bit()); });
    connect(&m_controller, &LinkController::portOpenChanged, m_publisher.get(),
            &ReadingPublisher::setPortOpen);
    connect(m_publisher.get(), &ReadingPublisher::finished, this, [this] {
        m_publisherFinished = true;
        exitWhenDone();
    });
    m_publisher->start();
}

void HeadlessRun::print(const Reading &reading)
{
    if (m_finished)
        return;
    m_recorder.record(reading, m_controller.portName());
    if (m_publisher)
        m_publisher->publishReading(reading);
    const QByteArray line = m_line.format == CommandLine::Format::Json ? ReadingCsv::jsonLine(reading)
                                                                       : ReadingCsv::line(reading);
    writeLine(StandardOutput, line);
    m_alerts.check(reading);
    if (m_line.count > 0 && ++m_printed >= m_line.count)
        finish();
}

void HeadlessRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_publisher)
        m_publisher->finish(); // done once the broker has heard that the board is offline
    m_controller.releasePort();
    m_recorder.stop();
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
    if (m_stdout.waitingLines() > 0 || (m_publisher && !m_publisherFinished))
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
    if (m_publisher) {
        const QString undelivered = undeliveredSummary(*m_publisher);
        if (!undelivered.isEmpty())
            say(undelivered);
    }
    QCoreApplication::exit(m_exitCode);
}
