#include "trend_window.h"

#include "alert/alert_watch.h"
#include "protocol/reading_csv.h"
#include "protocol/temperature_text.h"
#include "record/plausible_time.h"
#include "record/reading_recorder.h"
#include "settings/calibration_settings.h"
#include "trend/trend_chart.h"

#include <QtCore/QDateTime>
#include <QtCore/QLocale>
#include <QtCore/QSaveFile>
#include <QtWidgets/QBoxLayout>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>

namespace {
constexpr qint64 Minute = 60 * 1000;
constexpr qint64 Hour = 60 * Minute;
constexpr qint64 Day = 24 * Hour;
// New readings are drawn at most this often, however fast they come.
constexpr int RefreshMs = 200;

QString degrees(int32_t hundredths)
{
    return hundredthsText(hundredths, localeDecimalPoint()) + QStringLiteral(" \u00B0C");
}

QString clockTime(qint64 timeMs)
{
    return QLocale().toString(QDateTime::fromMSecsSinceEpoch(timeMs), QStringLiteral("ddd d MMM HH:mm:ss"));
}

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}
} // namespace

TrendWindow::TrendWindow(const ReadingHistory &history, ReadingRecorder &recorder, AlertWatch &alerts,
                         QWidget *parent)
    : QWidget(parent, Qt::Window), m_history(history), m_recorder(recorder), m_alerts(alerts)
{
    setWindowTitle(QStringLiteral("Trend"));
    m_chart = named(new TrendChart(history, this), "chart");

    m_span = named(new QComboBox(this), "span");
    const struct
    {
        const char *label;
        qint64 span;
    } spans[] = {{"10 min", 10 * Minute}, {"1 h", Hour},       {"6 h", 6 * Hour},
                 {"24 h", Day},           {"7 days", 7 * Day}, {"All", TrendChart::AllSpan}};
    for (const auto &s : spans)
        m_span->addItem(QString::fromUtf8(s.label), s.span);
    m_span->setCurrentIndex(1);
    m_span->setAccessibleName(QStringLiteral("Span"));
    m_now = named(new QPushButton(QStringLiteral("Now"), this), "now");
    m_now->setEnabled(false);
    m_record = named(new QCheckBox(QStringLiteral("Record"), this), "record");
    auto *saveCsvButton = named(new QPushButton(QStringLiteral("Save CSV..."), this), "saveCsv");
    auto *saveImageButton = named(new QPushButton(QStringLiteral("Save image..."), this), "saveImage");

    auto *controls = new QHBoxLayout;
    controls->addWidget(m_span);
    controls->addWidget(m_now);
    controls->addStretch();
    controls->addWidget(m_record);
    controls->addWidget(saveCsvButton);
    controls->addWidget(saveImageButton);

    auto *figures = new QHBoxLayout;
    for (auto [label, name] : {std::pair{&m_nowValue, "nowValue"}, std::pair{&m_min, "min"},
                               std::pair{&m_max, "max"}, std::pair{&m_mean, "mean"}}) {
        *label = named(new QLabel(this), name);
        (*label)->setTextInteractionFlags(Qt::TextSelectableByMouse);
        figures->addWidget(*label);
    }
    figures->addStretch();

    m_recording = named(new QLabel(this), "recordingState");
    m_recording->setWordWrap(true);
    m_damaged = named(new QLabel(this), "damagedLines");

    auto *limits = new QHBoxLayout;
    limits->addWidget(new QLabel(QStringLiteral("Alert above"), this));
    m_high = named(new QLineEdit(this), "alertHigh");
    limits->addWidget(m_high);
    limits->addWidget(new QLabel(QStringLiteral("\u00B0C or below"), this));
    m_low = named(new QLineEdit(this), "alertLow");
    limits->addWidget(m_low);
    limits->addWidget(new QLabel(QStringLiteral("\u00B0C"), this));
    limits->addSpacing(12);
    limits->addWidget(new QLabel(QStringLiteral("Calibration offset"), this));
    m_offset = named(new QLineEdit(this), "offset");
    m_offset->setMaximumWidth(80);
    m_offset->setAccessibleName(QStringLiteral("Calibration offset"));
    m_offset->setPlaceholderText(hundredthsText(0, localeDecimalPoint()));
    connect(m_offset, &QLineEdit::editingFinished, this, &TrendWindow::takeOffset);
    limits->addWidget(m_offset);
    limits->addWidget(new QLabel(QStringLiteral("\u00B0C"), this));
    for (QLineEdit *limit : {m_high, m_low}) {
        limit->setPlaceholderText(QStringLiteral("off"));
        limit->setMaximumWidth(80);
        limit->setAccessibleName(limit == m_high ? QStringLiteral("High limit")
                                                 : QStringLiteral("Low limit"));
        connect(limit, &QLineEdit::editingFinished, this, [this, limit] { takeLimit(limit); });
    }
    m_alert = named(new QLabel(this), "alertState");
    limits->addWidget(m_alert, 1);
    m_limitMistakes = named(new QLabel(this), "limitMistakes");

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_chart, 1);
    layout->addLayout(figures);
    layout->addLayout(limits);
    layout->addWidget(m_limitMistakes);
    layout->addWidget(m_recording);
    layout->addWidget(m_damaged);

    m_refresh.setSingleShot(true);
    m_refresh.setInterval(RefreshMs);
    connect(&m_refresh, &QTimer::timeout, m_chart, &TrendChart::historyChanged);
    connect(m_span, &QComboBox::currentIndexChanged, this,
            [this] { m_chart->setSpan(m_span->currentData().toLongLong()); });
    connect(m_now, &QPushButton::clicked, m_chart, &TrendChart::followNewest);
    connect(m_chart, &TrendChart::followingChanged, this,
            [this](bool following) { m_now->setEnabled(!following); });
    connect(m_chart, &TrendChart::viewChanged, this, &TrendWindow::showStatistics);
    connect(m_record, &QCheckBox::toggled, this, &TrendWindow::recordToggled);
    connect(&m_recorder, &ReadingRecorder::stateChanged, this, &TrendWindow::showRecordingState);
    connect(saveCsvButton, &QPushButton::clicked, this, [this] {
        askAndSave(QStringLiteral("Save CSV"), QStringLiteral("CSV files (*.csv)"), &TrendWindow::saveCsv);
    });
    connect(saveImageButton, &QPushButton::clicked, this, [this] {
        askAndSave(QStringLiteral("Save image"), QStringLiteral("PNG images (*.png)"),
                   &TrendWindow::saveImage);
    });

    connect(&m_alerts, &AlertWatch::alerted, this, &TrendWindow::showAlert);

    m_chart->setSpan(m_span->currentData().toLongLong());
    m_chart->setAlerts(&m_alerts);
    showRecordingState();
    // A mistake in the file is said at the field until the limits are set here.
    AlertLimitMistakes mistakes;
    AlertLimits::load(mistakes);
    m_high->setToolTip(mistakes.high);
    m_low->setToolTip(mistakes.low);
    QString offsetMistake;
    m_offsetHundredths = CalibrationSettings::offset(offsetMistake);
    m_offset->setToolTip(offsetMistake);
    showLimits();
    showOffset();
    if (!m_alerts.events().isEmpty())
        showAlert(m_alerts.events().constLast());
}

void TrendWindow::showLimits()
{
    const AlertLimits limits = m_alerts.limits();
    m_high->setText(limits.high ? hundredthsText(*limits.high, localeDecimalPoint()) : QString());
    m_low->setText(limits.low ? hundredthsText(*limits.low, localeDecimalPoint()) : QString());
    showMistakes();
}

void TrendWindow::showOffset()
{
    m_offset->setText(hundredthsText(m_offsetHundredths, localeDecimalPoint()));
    showMistakes();
}

void TrendWindow::takeOffset()
{
    // As with the limits: a mistake keeps the offset as it was, and is said at the field. Empty is none.
    QString mistake;
    const QString text = m_offset->text();
    const std::optional<int32_t> hundredths =
        text.trimmed().isEmpty() ? std::optional<int32_t>(0)
                                 : CalibrationSettings::parse(text, localeDecimalPoint(), mistake);
    if (!hundredths) {
        m_offset->setToolTip(QStringLiteral("Calibration offset: ") + mistake);
    } else {
        m_offset->setToolTip(QString());
        if (*hundredths != m_offsetHundredths) {
            m_offsetHundredths = *hundredths;
            CalibrationSettings::setOffset(m_offsetHundredths);
            emit offsetChanged(m_offsetHundredths);
        }
    }
    showOffset();
}

void TrendWindow::showMistakes()
{
    QStringList mistakes;
    for (const QLineEdit *field : {m_high, m_low, m_offset}) {
        if (!field->toolTip().isEmpty())
            mistakes << field->toolTip();
    }
    m_limitMistakes->setText(mistakes.join(u'\n'));
    m_limitMistakes->setVisible(!mistakes.isEmpty());
}

void TrendWindow::takeLimit(QLineEdit *edit)
{
    // A mistake leaves the limits as they were, and is said at the field until a limit is taken.
    AlertLimits limits = m_alerts.limits();
    std::optional<int32_t> &limit = edit == m_high ? limits.high : limits.low;
    const QString name = edit == m_high ? QStringLiteral("High limit: ") : QStringLiteral("Low limit: ");
    QString mistake;
    if (!AlertLimits::read(edit->text(), localeDecimalPoint(), limit, mistake)) {
        edit->setToolTip(name + mistake);
    } else if (limits.outOfOrder()) {
        edit->setToolTip(name + (edit == m_high ? QStringLiteral("%2 would be below the low limit, %1")
                                                : QStringLiteral("%1 would be above the high limit, %2"))
                                    .arg(degrees(*limits.low), degrees(*limits.high)));
    } else {
        edit->setToolTip(QString());
        if (limits != m_alerts.limits()) {
            // Both limits are saved, so what was wrong in the file is gone.
            m_high->setToolTip(QString());
            m_low->setToolTip(QString());
            m_alerts.setLimits(limits);
            limits.save();
            m_chart->update();
        }
    }
    showLimits();
}

void TrendWindow::showAlert(const AlertEvent &event)
{
    m_alert->setText(clockTime(event.reading.timeMs) + QStringLiteral(": ") +
                     event.text(localeDecimalPoint()));
    m_chart->update();
}

TrendWindow::~TrendWindow() = default;

void TrendWindow::readingAdded()
{
    if (!m_refresh.isActive())
        m_refresh.start();
}

void TrendWindow::historyLoading()
{
    m_damaged->setText(QStringLiteral("Reading the recorded files..."));
    m_damaged->setVisible(true);
}

void TrendWindow::historyLoaded(const ReadingHistory::LoadReport &report)
{
    QStringList notes;
    if (report.damagedLines > 0) {
        QString note =
            QStringLiteral("%1 damaged lines in the recorded files were skipped").arg(report.damagedLines);
        if (report.implausibleTimes > 0)
            note += QStringLiteral(", %1 of them with a time %2")
                        .arg(report.implausibleTimes)
                        .arg(QLatin1String(PlausibleTime::Description));
        notes << note;
    }
    notes << report.unreadable;
    m_damaged->setText(notes.join(QLatin1Char('\n')));
    m_damaged->setVisible(!notes.isEmpty());
    m_chart->historyChanged();
}

TrendChart &TrendWindow::chart()
{
    return *m_chart;
}

bool TrendWindow::saveCsv(const QString &path, QString &failure)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        failure = file.errorString();
        return false;
    }
    file.write(ReadingCsv::Header);
    // A day at a time, so that older days kept as minutes are read again from their files one by one.
    constexpr qint64 Day = 24 * 60 * 60 * 1000LL;
    std::unique_ptr<ReadingHistory> fine;
    for (qint64 from = m_chart->viewFrom(), to = m_chart->viewTo(); from < to; from += Day) {
        const qint64 until = qMin(to, from + Day);
        const ReadingHistory &readings = m_history.fineFor(from, until, 0, fine);
        if (!readings.isFineFor(from, until, 0)) {
            failure = QStringLiteral("the recorded files of %1 are too large to read again")
                          .arg(QDateTime::fromMSecsSinceEpoch(from).date().toString(Qt::ISODate));
            return false;
        }
        const qsizetype end = readings.lowerBound(until);
        for (qsizetype i = readings.lowerBound(from); i < end; ++i)
            file.write(ReadingCsv::line(readings.readingAt(i)));
    }
    if (!file.commit()) {
        failure = file.errorString();
        return false;
    }
    return true;
}

bool TrendWindow::saveImage(const QString &path, QString &failure)
{
    if (m_chart->grab().save(path, "PNG"))
        return true;
    failure = QStringLiteral("the image could not be written");
    return false;
}

void TrendWindow::showStatistics()
{
    const SpanStatistics &s = m_chart->statistics();
    if (s.count == 0) {
        m_nowValue->setText(QStringLiteral("Now: -"));
        m_min->setText(QStringLiteral("Min: -"));
        m_max->setText(QStringLiteral("Max: -"));
        m_mean->setText(QStringLiteral("Mean: -"));
        return;
    }
    m_nowValue->setText(QStringLiteral("Now: %1").arg(degrees(s.now)));
    m_min->setText(QStringLiteral("Min: %1 at %2").arg(degrees(s.min), clockTime(s.minTime)));
    m_max->setText(QStringLiteral("Max: %1 at %2").arg(degrees(s.max), clockTime(s.maxTime)));
    m_mean->setText(QStringLiteral("Mean: %1").arg(degrees(int32_t(qRound64(s.mean)))));
}

void TrendWindow::showRecordingState()
{
    const QSignalBlocker quiet(m_record);
    // While recording retries after a fault the box stays ticked.
    m_record->setChecked(m_recorder.isOn());
    if (m_recorder.isRecording()) {
        const QString file = m_recorder.filePath();
        m_recording->setText(file.isEmpty() ? QStringLiteral("Recording into %1").arg(m_recorder.folder())
                                            : QStringLiteral("Recording to %1").arg(file));
    } else if (m_recorder.isOn()) {
        m_recording->setText(ReadingRecorder::faultText(m_recorder.failure()));
    } else if (!m_recorder.failure().isEmpty()) {
        m_recording->setText(QStringLiteral("Recording stopped: %1").arg(m_recorder.failure()));
    } else {
        m_recording->setText(QStringLiteral("Not recording"));
    }
}

void TrendWindow::askAndSave(const QString &title, const QString &filter,
                             bool (TrendWindow::*save)(const QString &, QString &))
{
    const QString path = QFileDialog::getSaveFileName(this, title, QString(), filter);
    QString failure;
    if (!path.isEmpty() && !(this->*save)(path, failure))
        QMessageBox::warning(this, windowTitle(), QStringLiteral("Cannot save %1: %2").arg(path, failure));
}
