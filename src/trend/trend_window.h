#pragma once

#include "record/reading_history.h"

#include <QtCore/QTimer>
#include <QtWidgets/QWidget>

class AlertWatch;
struct AlertEvent;
class QCheckBox;
class QLineEdit;
class QComboBox;
class QLabel;
class QPushButton;
class ReadingRecorder;
class TrendChart;

// The "Trend" window: the chart of the readings over a chosen span with its figures, the "Record" switch,
// the saving of the span shown as CSV or as an image, the alert limits and the board's calibration offset.
class TrendWindow final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendWindow)

public:
    TrendWindow(const ReadingHistory &history, ReadingRecorder &recorder, AlertWatch &alerts,
                QWidget *parent = nullptr);
    ~TrendWindow() override;

    // The history gained a reading; the chart follows within a fraction of a second.
    void readingAdded();
    // The recorded files are being read; the readings of this session are shown meanwhile.
    void historyLoading();
    // The history was (re)loaded from the recorded files.
    void historyLoaded(const ReadingHistory::LoadReport &report);

    TrendChart &chart();
    // Write the span shown; on failure return false with the reason in `failure`.
    bool saveCsv(const QString &path, QString &failure);
    bool saveImage(const QString &path, QString &failure);

signals:
    // The user ticked or unticked "Record".
    void recordToggled(bool on);
    // The user set another calibration offset, in hundredths of a degree; it is saved already.
    void offsetChanged(int32_t hundredths);

private:
    void showStatistics();
    void showRecordingState();
    void showLimits();
    void takeLimit(QLineEdit *edit);
    void showOffset();
    void takeOffset();
    void showMistakes();
    void showAlert(const AlertEvent &event);
    void askAndSave(const QString &title, const QString &filter,
                    bool (TrendWindow::*save)(const QString &, QString &));

    const ReadingHistory &m_history;
    ReadingRecorder &m_recorder;
    AlertWatch &m_alerts;
    TrendChart *m_chart = nullptr;
    QComboBox *m_span = nullptr;
    QPushButton *m_now = nullptr;
    QCheckBox *m_record = nullptr;
    QLabel *m_nowValue = nullptr;
    QLabel *m_min = nullptr;
    QLabel *m_max = nullptr;
    QLabel *m_mean = nullptr;
    QLabel *m_recording = nullptr;
    QLabel *m_damaged = nullptr;
    QLineEdit *m_high = nullptr;
    QLineEdit *m_low = nullptr;
    QLineEdit *m_offset = nullptr;
    int32_t m_offsetHundredths = 0;
    QLabel *m_alert = nullptr;
    QLabel *m_limitMistakes = nullptr;
    QTimer m_refresh;
};
