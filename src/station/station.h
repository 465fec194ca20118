#pragma once

#include "alert/alert_limits.h"
#include "alert/alert_watch.h"
#include "link/link_controller.h"
#include "link/link_timers.h"
#include "metrics/metrics_loader.h"
#include "publish/reading_publisher.h"
#include "record/history_loader.h"
#include "record/reading_history.h"
#include "record/reading_recorder.h"

#include <QtCore/QJsonObject>
#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <memory>
#include <optional>
#include <vector>

class LinkView;
class ReadingOutput;

// One board's session, whichever front end shows it: the link and its timers, the history, the recorder,
// the alert watch and the outputs. Each reading is taken once and handed to every output in the order
// they were added, then checked against the alert limits; the front end hears of it last.
class Station final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Station)

public:
    explicit Station(LinkView &view, QObject *parent = nullptr);
    ~Station() override;

    // Another place each reading goes. The station does not own it; it must outlive the station's use of it.
    void addOutput(ReadingOutput &output);
    // Keeps every reading in memory for the trend, from now on.
    void keepHistory();
    // How long the board may stay silent with its port open before its link counts as down; 0: for ever.
    // MQTT's ExpireAfter in ZORVA.conf, 120 s by default.
    void setSilenceLimit(int seconds);
    // Added to every temperature from the next reply on: shown, recorded, published, alerted and charted.
    void setCalibration(int32_t offsetHundredths);

    bool startRecording(const QString &folder);
    void stopRecording();
    // Publishes to the broker named by the option or, failing it, the settings; nothing when neither does.
    // The reason a named broker cannot be used is kept in publishingFailure().
    void startPublishing(const QString &urlOption, const QString &idOption);
    // Serves the web page with the metrics at `http`, or else the metrics alone at `metrics`, each
    // [ADDRESS:]PORT or, when empty, where the settings say, if they do: one listener serves both. False and
    // a one-line reason in `error` when it cannot.
    bool startHttp(const QString &http, const QString &metrics, QString &error);
    // Loads the recorded readings of the port in use into the history, unless they are its readings
    // already or no history is kept. True while they are being loaded.
    bool loadHistory();
    // What the last load of the recorded files found.
    const ReadingHistory::LoadReport &historyReport() const;
    // Releases the port, stops recording and says goodbye to the broker; `finished` follows once the broker
    // has heard it, or at once without one.
    void finish();

    LinkController &controller();
    LinkTimers &timers();
    ReadingHistory &history();
    HistoryLoader &historyLoader();
    ReadingRecorder &recorder();
    AlertWatch &alerts();
    ReadingPublisher *publisher() const;
    QString publishingFailure() const;
    // What was wrong with the alert limits in the settings, read when the station was made.
    const AlertLimitMistakes &alertLimitMistakes() const;
    // What was wrong with the calibration offset in the settings; then no offset is applied.
    QString calibrationMistake() const;
    // Settings that could not be read as written, beside the limits and the offset: text that is not UTF-8,
    // a recording switch that is neither on nor off. A line each, read when the station was made.
    QStringList settingMistakes() const;
    // The port of the link, or before any open the one the view names.
    QString portName() const;
    bool isBoardUp() const;
    // What the web page shows: the port, the link, the last reading, the broker, the limits and the offset.
    QJsonObject pageState();
    // What is wrong beside the link, a line each, for a tooltip: recording, settings, broker.
    QStringList problems() const;

signals:
    // After every output has the reading.
    void readingTaken(const Reading &reading);
    void alerted(const AlertEvent &event);
    // A change worth a line in a log: recording stopped or resumed, the broker's state.
    void said(const QString &line);
    // Something in problems() may have changed.
    void problemsChanged();
    void finished();

private:
    void takeReading(const Reading &reading);
    void portOpenChanged(bool open);
    void setBoardUp(bool up);
    void rejectReply();
    void tellStationChanged();
    SiteSource siteSource();

    LinkView &m_view;
    LinkController m_controller;
    LinkTimers m_timers;
    ReadingHistory m_history;
    HistoryLoader m_historyLoader{m_history};
    ReadingRecorder m_recorder;
    AlertWatch m_alerts;
    AlertLimitMistakes m_limitMistakes;
    QString m_calibrationMistake;
    std::unique_ptr<ReadingPublisher> m_publisher;
    std::unique_ptr<ReadingOutput> m_http;
    QString m_publishingFailure;
    QString m_httpProblem;
    QString m_historyPort; // whose readings the history holds; null: none yet
    ReadingHistory::LoadReport m_historyReport;
    std::optional<Reading> m_lastReading;
    int32_t m_offsetHundredths = 0;
    bool m_servingSite = false;
    bool m_repliedSinceOpen = false;
    QString m_settingsProblem;
    QStringList m_settingMistakes;
    std::vector<ReadingOutput *> m_outputs;
    QTimer m_silence; // the board link is down once it runs out
    int m_silenceLimitS = 0;
    bool m_keepHistory = false;
    bool m_boardUp = false;
    bool m_finishing = false;
};
