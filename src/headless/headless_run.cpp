#include "headless_run.h"

#include "headless/output_line.h"
#include "publish/publisher_setup.h"
#include "record/reading_csv.h"
#include "record/recording_settings.h"
#include "settings/zorva_store.h"

#include <QtCore/QCoreApplication>

#include <csignal>

HeadlessRun::HeadlessRun(const CommandLine &line, QObject *parent)
    : QObject(parent), m_line(line), m_controller(m_view), m_timers(m_controller.port())
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
    connect(&m_quitSignals, &QuitSignals::quitRequested, this, &HeadlessRun::finish);
    if (const QString problem = zorvaStoreProblem(); !problem.isEmpty())
        writeLine(
            StandardError,
            QStringLiteral("Settings not read, the defaults are in use: %1\n").arg(problem).toLocal8Bit());
    AlertLimitMistakes mistakes;
    m_alerts.setLimits(AlertLimits::load(mistakes));
    for (const QString &mistake : {mistakes.high, mistakes.low}) {
        if (!mistake.isEmpty())
            writeLine(StandardError, (mistake + u'\n').toLocal8Bit());
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
    m_controller.formLoad();
    if (!m_line.port.isEmpty())
        m_view.setText(TextBox::TCOM, m_line.port);
    startPublishing();
    if (m_line.format == CommandLine::Format::Csv && !writeLine(StandardOutput, ReadingCsv::Header)) {
        QMetaObject::invokeMethod(this, &HeadlessRun::finish, Qt::QueuedConnection);
        return;
    }
    if (m_line.record && !m_recorder.start(RecordingSettings::folder()))
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
    connect(m_publisher.get(), &ReadingPublisher::finished, this, &HeadlessRun::exit);
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
    const bool printed = writeLine(StandardOutput, line);
    m_alerts.check(reading);
    if (!printed || (m_line.count > 0 && ++m_printed >= m_line.count))
        finish();
}

void HeadlessRun::finish()
{
    if (m_finished)
        return;
    m_finished = true;
    if (m_publisher)
        m_publisher->finish(); // exits once the broker has heard that the board is offline
    m_controller.releasePort();
    m_recorder.stop();
    if (!m_publisher)
        exit();
}

void HeadlessRun::exit()
{
    // What the broker never had is said last, so that a gap in its records has an explanation.
    const qint64 undelivered =
        m_publisher ? m_publisher->waitingReadings() + m_publisher->droppedReadings() : 0;
    if (undelivered > 0)
        writeLine(
            StandardError,
            QStringLiteral("%1 readings were not delivered to the broker\n").arg(undelivered).toLocal8Bit());
    QCoreApplication::exit(0);
}
