#include "station.h"

#include "metrics/metrics_loader.h"
#include "protocol/reading_output.h"
#include "publish/mqtt_settings.h"
#include "publish/publisher_setup.h"
#include "record/recording_settings.h"
#include "settings/calibration_settings.h"
#include "settings/metrics_settings.h"
#include "settings/zorva_store.h"
#include "vantro_version.h"

#include <chrono>

Station::Station(LinkView &view, QObject *parent)
    : QObject(parent), m_view(view), m_controller(view), m_timers(m_controller.port()),
      m_settingsProblem(zorvaStoreProblem()), m_settingMistakes(zorvaEncodingMistakes())
{
    QString recordingMistake;
    RecordingSettings::enabled(recordingMistake);
    if (!recordingMistake.isEmpty())
        m_settingMistakes << recordingMistake;
    m_controller.attachTimers(m_timers);
    m_silence.setSingleShot(true);
    QStringList mistakes; // said by the publisher, which reads the same settings
    setSilenceLimit(MqttSettings::homeAssistant(mistakes).expireAfterSeconds);
    connect(&m_silence, &QTimer::timeout, this, [this] { setBoardUp(false); });
    connect(&m_controller, &LinkController::readingTaken, this, &Station::takeReading);
    connect(&m_controller, &LinkController::replyRejected, this, &Station::rejectReply);
    connect(&m_controller, &LinkController::portOpenChanged, this, &Station::portOpenChanged);
    addOutput(m_recorder);
    connect(&m_recorder, &ReadingRecorder::stateChanged, this, &Station::problemsChanged);
    connect(&m_recorder, &ReadingRecorder::failed, this,
            [this](const QString &reason) { emit said(ReadingRecorder::faultText(reason)); });
    connect(&m_recorder, &ReadingRecorder::resumed, this, [this](const QString &path, qint64 missed) {
        emit said(ReadingRecorder::resumedText(path, missed));
    });
    m_alerts.setLimits(AlertLimits::load(m_limitMistakes));
    setCalibration(CalibrationSettings::offset(m_calibrationMistake));
    connect(&m_alerts, &AlertWatch::alerted, this, [this](const AlertEvent &event) {
        if (m_publisher)
            m_publisher->publishAlert(event);
        emit alerted(event);
    });
}

Station::~Station() = default;

void Station::addOutput(ReadingOutput &output)
{
    m_outputs.push_back(&output);
    output.setBoardUp(m_boardUp);
}

void Station::keepHistory()
{
    m_keepHistory = true;
}

void Station::setSilenceLimit(int seconds)
{
    m_silenceLimitS = seconds;
    m_silence.setInterval(std::chrono::seconds(seconds));
}

void Station::setCalibration(int32_t offsetHundredths)
{
    m_controller.setCalibration(offsetHundredths);
}

bool Station::startRecording(const QString &folder)
{
    const bool started = m_recorder.start(folder);
    emit problemsChanged();
    return started;
}

void Station::stopRecording()
{
    m_recorder.stop();
}

void Station::startPublishing(const QString &urlOption, const QString &idOption)
{
    m_publisher = setUpPublisher(urlOption, idOption, portName(), m_publishingFailure);
    if (m_publisher) {
        connect(m_publisher.get(), &ReadingPublisher::said, this, &Station::said);
        connect(m_publisher.get(), &ReadingPublisher::said, this, &Station::problemsChanged);
        connect(m_publisher.get(), &ReadingPublisher::finished, this, &Station::finished);
        connect(&m_controller, &LinkController::portOpenChanged, m_publisher.get(),
                &ReadingPublisher::setPortOpen);
        m_publisher->setPortOpen(m_controller.port().isOpen());
        addOutput(*m_publisher);
        m_publisher->start();
    }
    emit problemsChanged();
}

bool Station::startMetrics(const QString &listen, QString &error)
{
    MetricsRequest request;
    request.listen = listen.isEmpty() ? MetricsSettings::listen() : listen;
    if (request.listen.isEmpty())
        return true;
    request.version = QString::fromLatin1(VantroVersion::Number);
    request.expireAfterSeconds = m_silenceLimitS;
    // Asked at each scrape: publishing may start after the endpoint.
    request.waitingReadings = [this]() -> std::optional<qint64> {
        if (!m_publisher)
            return std::nullopt;
        return m_publisher->waitingReadings();
    };
    m_metrics = ::startMetrics(request, error);
    m_metricsFailure = error;
    emit problemsChanged();
    if (!m_metrics)
        return false;
    addOutput(*m_metrics);
    return true;
}

void Station::finish()
{
    if (m_finishing)
        return;
    m_finishing = true;
    m_controller.releasePort();
    m_recorder.stop();
    if (m_publisher)
        m_publisher->finish(); // done once the broker has heard that the board is offline
    else
        emit finished();
}

void Station::takeReading(const Reading &reading)
{
    if (m_finishing)
        return;
    if (m_keepHistory)
        m_history.add(reading);
    // The link is up before its reading goes out, so that no output has a reading from a board it thinks
    // down.
    if (m_silenceLimitS > 0)
        m_silence.start();
    setBoardUp(true);
    const QString port = m_controller.portName();
    for (ReadingOutput *output : m_outputs)
        output->takeReading(reading, port);
    m_alerts.check(reading);
    emit readingTaken(reading);
}

void Station::portOpenChanged(bool open)
{
    if (!open) {
        m_silence.stop();
        setBoardUp(false);
    }
}

void Station::setBoardUp(bool up)
{
    if (up == m_boardUp)
        return;
    m_boardUp = up;
    for (ReadingOutput *output : m_outputs)
        output->setBoardUp(up);
}

void Station::rejectReply()
{
    for (ReadingOutput *output : m_outputs)
        output->replyRejected();
}

LinkController &Station::controller()
{
    return m_controller;
}

LinkTimers &Station::timers()
{
    return m_timers;
}

ReadingHistory &Station::history()
{
    return m_history;
}

HistoryLoader &Station::historyLoader()
{
    return m_historyLoader;
}

ReadingRecorder &Station::recorder()
{
    return m_recorder;
}

AlertWatch &Station::alerts()
{
    return m_alerts;
}

ReadingPublisher *Station::publisher() const
{
    return m_publisher.get();
}

QString Station::publishingFailure() const
{
    return m_publishingFailure;
}

const AlertLimitMistakes &Station::alertLimitMistakes() const
{
    return m_limitMistakes;
}

QString Station::calibrationMistake() const
{
    return m_calibrationMistake;
}

QStringList Station::settingMistakes() const
{
    return m_settingMistakes;
}

QString Station::portName() const
{
    return m_controller.portName().isEmpty() ? m_view.text(TextBox::TCOM) : m_controller.portName();
}

bool Station::isBoardUp() const
{
    return m_boardUp;
}

QStringList Station::problems() const
{
    QStringList lines;
    const QString failure = m_recorder.failure();
    if (!failure.isEmpty() && m_recorder.isOn())
        lines << ReadingRecorder::faultText(failure);
    else if (!failure.isEmpty())
        lines << QStringLiteral("Recording stopped: ") + failure;
    if (!m_settingsProblem.isEmpty())
        lines << QStringLiteral("Settings not read, the defaults are in use: ") + m_settingsProblem;
    lines << m_settingMistakes;
    if (m_publisher && !m_publisher->state().isEmpty())
        lines << m_publisher->state();
    if (!m_publishingFailure.isEmpty())
        lines << QStringLiteral("Not publishing: ") + m_publishingFailure;
    if (!m_metricsFailure.isEmpty())
        lines << QStringLiteral("No metrics: ") + m_metricsFailure;
    return lines;
}
