#include "station.h"

#include "protocol/reading_output.h"
#include "publish/mqtt_settings.h"
#include "publish/publisher_setup.h"
#include "record/recording_settings.h"
#include "settings/calibration_settings.h"
#include "settings/http_settings.h"
#include "settings/metrics_settings.h"
#include "settings/zorva_store.h"
#include "vantro_version.h"

#include <QtCore/QDir>

#include <chrono>

namespace {
// Where the port's recorded files are read from; empty for a relative folder, which is refused for
// recording and so for reading.
QString recordedFolder()
{
    const QString folder = RecordingSettings::folder();
    return QDir::isAbsolutePath(folder) ? folder : QString();
}
} // namespace

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
    connect(this, &Station::problemsChanged, this, &Station::tellStationChanged);
    connect(&m_historyLoader, &HistoryLoader::loaded, this,
            [this](const ReadingHistory::LoadReport &report) { m_historyReport = report; });
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
    m_offsetHundredths = offsetHundredths;
    m_controller.setCalibration(offsetHundredths);
    tellStationChanged();
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

bool Station::startHttp(const QString &http, const QString &metrics, QString &error)
{
    const QString site = http.isEmpty() ? HttpSettings::listen() : http;
    const QString metricsOnly = metrics.isEmpty() ? MetricsSettings::listen() : metrics;
    MetricsRequest request;
    request.listen = site.isEmpty() ? metricsOnly : site;
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
    if (!site.isEmpty())
        request.site = siteSource();
    m_http = ::startMetrics(request, error);
    if (!m_http)
        m_httpProblem =
            (site.isEmpty() ? QStringLiteral("No metrics: ") : QStringLiteral("No web page: ")) + error;
    else if (!site.isEmpty() && !metricsOnly.isEmpty() && metricsOnly != site)
        m_httpProblem = QStringLiteral("The metrics are served with the web page at %1, not at %2")
                            .arg(site, metricsOnly);
    emit problemsChanged();
    if (!m_http)
        return false;
    addOutput(*m_http);
    if (request.site) {
        m_servingSite = true;
        keepHistory();
        loadHistory();
    }
    return true;
}

bool Station::loadHistory()
{
    if (!m_keepHistory)
        return false;
    const QString port = portName();
    if (port == m_historyPort)
        return m_historyLoader.isLoading();
    if (!m_historyPort.isNull())
        m_history.clear();
    m_historyPort = port;
    m_historyReport = {};
    if (const QString folder = recordedFolder(); !folder.isEmpty())
        m_historyLoader.start(folder, port);
    return m_historyLoader.isLoading();
}

const ReadingHistory::LoadReport &Station::historyReport() const
{
    return m_historyReport;
}

SiteSource Station::siteSource()
{
    SiteSource source;
    source.state = [this] { return pageState(); };
    source.history = &m_history;
    source.recordFolder = recordedFolder;
    source.portName = [this] { return portName(); };
    return source;
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
    m_lastReading = reading;
    m_repliedSinceOpen = true;
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
    m_repliedSinceOpen = false;
    if (!open) {
        m_silence.stop();
        setBoardUp(false);
    } else if (m_servingSite) {
        loadHistory(); // another port's, if the window opened another
    }
    tellStationChanged();
}

void Station::setBoardUp(bool up)
{
    if (up == m_boardUp)
        return;
    m_boardUp = up;
    for (ReadingOutput *output : m_outputs)
        output->setBoardUp(up);
}

void Station::tellStationChanged()
{
    for (ReadingOutput *output : m_outputs)
        output->stationChanged();
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
    if (!m_httpProblem.isEmpty())
        lines << m_httpProblem;
    return lines;
}
