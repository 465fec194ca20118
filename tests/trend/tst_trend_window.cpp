#include "alert/alert_limits.h"
#include "app/form1.h"
#include "board_line.h"
#include "protocol/reading_csv.h"
#include "protocol/temperature_text.h"
#include "record/history_loader.h"
#include "settings/calibration_settings.h"
#include "trend/trend_chart.h"
#include "trend/trend_window.h"
#include "window_probe.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QPushButton>

using namespace WindowProbe;

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000"); // 24.41 degrees

void sendMouse(QWidget &widget, QEvent::Type type, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, at, widget.mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&widget, &event);
}

QStringList files(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files);
}
} // namespace

class TestTrendWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void trendOpensOneSeparateWindow();
    void recordsOnlyOnceTicked();
    void aFaultUnticksRecordAndSaysWhy();
    void showsAndSavesTheSpanAndPausesWhenDraggedBack();
    void alertLimitsAreKeptAndWatched();
    void damagedLinesSayWhyTheirTimesWereSkipped_data();
    void damagedLinesSayWhyTheirTimesWereSkipped();
    void aReadingTakenWhileALongHistoryIsReadIsKept();
    void aFaultKeepsRecordTickedAndIsShownUntilRecordingResumes();
    void limitMistakesAreSaidAtTheField();
    void limitsInTheLocalesWay();
    void offsetIsTypedAndKept_data();
    void offsetIsTypedAndKept();
    void offsetInTheLocalesWay();
    void olderDaysShowAsMinutesAndAreSavedWhole();

private:
    void openOnBoard();
    QString folder() const;
    void writeRecorded(const QString &port, const QList<Reading> &readings, const QByteArray &extra = {});
    void writeStore(const QByteArray &text);
    QVariant stored(const QString &key) const;

    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<BoardLine> m_board;
    std::unique_ptr<Form1> m_form;
};

void TestTrendWindow::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
    qputenv("XDG_DATA_HOME", m_home->filePath(QStringLiteral("data")).toUtf8());
    qputenv("XDG_CACHE_HOME", m_home->filePath(QStringLiteral("cache")).toUtf8());
    m_board = std::make_unique<BoardLine>();
    m_form = std::make_unique<Form1>();
    m_form->show();
}

void TestTrendWindow::cleanup()
{
    m_form.reset();
    m_board.reset();
}

void TestTrendWindow::openOnBoard()
{
    qobject_cast<QLineEdit *>(control(*m_form, "TCOM"))->setText(m_board->portPath());
    m_form->controller().openAttempt();
    QByteArray frame;
    QTRY_COMPARE((frame += m_board->readPending()).size(), 6);
}

QString TestTrendWindow::folder() const
{
    return m_home->filePath(QStringLiteral("data/vantro/readings"));
}

// Recorded files of a port, one per local day, with `extra` lines at the end of the last.
void TestTrendWindow::writeRecorded(const QString &port, const QList<Reading> &readings,
                                    const QByteArray &extra)
{
    QVERIFY(QDir().mkpath(folder()));
    QMap<int, QByteArray> days;
    for (const Reading &reading : readings)
        days[ReadingCsv::localDay(reading.timeMs)] += ReadingCsv::line(reading);
    days.last() += extra;
    for (auto day = days.cbegin(); day != days.cend(); ++day) {
        QFile file(folder() + QLatin1Char('/') + ReadingCsv::fileName(day.key(), port));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ReadingCsv::Header + day.value());
    }
}

void TestTrendWindow::writeStore(const QByteArray &text)
{
    QFile store(m_home->filePath(QStringLiteral("ZORVA.conf")));
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write(text);
}

QVariant TestTrendWindow::stored(const QString &key) const
{
    return QSettings(m_home->filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat).value(key);
}

void TestTrendWindow::trendOpensOneSeparateWindow()
{
    QStringList menu;
    for (QAction *action : m_form->menuBar()->actions())
        menu << action->text();
    QCOMPARE(menu, (QStringList{"Conf", "info", "Trend"}));
    const QSize mainSize = m_form->size();

    m_form->findChild<QAction *>(QStringLiteral("Trend"))->trigger();
    TrendWindow *trend = m_form->trendWindow();
    QVERIFY(trend && trend->isVisible() && trend->isWindow());
    QCOMPARE(trend->windowTitle(), QStringLiteral("Trend"));
    QVERIFY(!trend->isModal());
    QVERIFY(trend->minimumSize() != trend->maximumSize());
    QCOMPARE(m_form->size(), mainSize);

    trend->close();
    m_form->showTrend();
    QCOMPARE(m_form->trendWindow(), trend);
    QVERIFY(trend->isVisible());
}

void TestTrendWindow::recordsOnlyOnceTicked()
{
    openOnBoard();
    m_board->write(Reply);
    QTRY_COMPARE(temperatureCaption(*m_form), QStringLiteral("24.41"));
    // Left alone, the program writes no file.
    QVERIFY(!QFileInfo::exists(folder()));

    m_form->showTrend();
    auto *record = m_form->trendWindow()->findChild<QCheckBox *>(QStringLiteral("record"));
    record->click();
    QVERIFY(m_form->recorder().isRecording());
    QCOMPARE(QSettings(m_home->filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat)
                 .value(QStringLiteral("Recording/Enabled")),
             QVariant(QStringLiteral("true")));
    m_board->write(QByteArray::fromHex("1605330021000000"));
    QTRY_COMPARE(temperatureCaption(*m_form), QStringLiteral("24.90"));
    const QStringList written = files(folder());
    QCOMPARE(written.size(), 1);
    QFile file(folder() + QLatin1Char('/') + written.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[1].endsWith(",24.90,51,0"));
    QCOMPARE(written.first(), ReadingCsv::fileName(ReadingCsv::localDay(QDateTime::currentMSecsSinceEpoch()),
                                                   m_board->portPath()));
}

void TestTrendWindow::aFaultUnticksRecordAndSaysWhy()
{
    QFile plain(m_home->filePath(QStringLiteral("plain")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    QSettings(m_home->filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat)
        .setValue(QStringLiteral("Recording/Folder"), plain.fileName() + QStringLiteral("/readings"));
    openOnBoard();
    m_form->showTrend();
    auto *record = m_form->trendWindow()->findChild<QCheckBox *>(QStringLiteral("record"));
    record->click();
    QVERIFY(!record->isChecked());
    const QString state =
        m_form->trendWindow()->findChild<QLabel *>(QStringLiteral("recordingState"))->text();
    QVERIFY2(state.contains(plain.fileName()) && state.contains(QStringLiteral("cannot be created")),
             qPrintable(state));
    QVERIFY2(lampToolTip(*m_form).contains(QStringLiteral("Recording stopped: ") + plain.fileName()),
             qPrintable(lampToolTip(*m_form)));
    // The link runs on.
    m_board->write(Reply);
    QTRY_COMPARE(temperatureCaption(*m_form), QStringLiteral("24.41"));
    QVERIFY(lampToolTip(*m_form).startsWith(m_board->portPath() + QStringLiteral(" is open")));
}

void TestTrendWindow::showsAndSavesTheSpanAndPausesWhenDraggedBack()
{
    // Twenty minutes recorded before this run, one reading a minute; the last is 45 s old.
    QVERIFY(QDir().mkpath(folder()));
    const QString port = QStringLiteral("/dev/ttyFAKE0");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QMap<int, QByteArray> days;
    for (int i = 0; i < 20; ++i) {
        const Reading reading = Reading::fromRaw(now - 45000 - (19 - i) * 60000, int16_t(40 + i));
        days[ReadingCsv::localDay(reading.timeMs)] += ReadingCsv::line(reading);
    }
    for (auto day = days.cbegin(); day != days.cend(); ++day) {
        QFile file(folder() + QLatin1Char('/') + ReadingCsv::fileName(day.key(), port));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ReadingCsv::Header + day.value());
    }
    qobject_cast<QLineEdit *>(control(*m_form, "TCOM"))->setText(port);
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    trend->findChild<QComboBox *>(QStringLiteral("span"))->setCurrentText(QStringLiteral("10 min"));

    // The last ten minutes hold the last ten readings: raw 50 to 59.
    const SpanStatistics &figures = trend->chart().statistics();
    QCOMPARE(figures.count, 10);
    const auto label = [trend](const char *name) { return trend->findChild<QLabel *>(name)->text(); };
    QCOMPARE(label("nowValue"), QStringLiteral("Now: 28.81 \u00B0C"));
    QVERIFY(label("min").startsWith(QStringLiteral("Min: 24.41 \u00B0C at ")));
    QCOMPARE(label("mean"), QStringLiteral("Mean: 26.61 \u00B0C")); // 26.6113..
    QString failure;
    const QString saved = m_home->filePath(QStringLiteral("span.csv"));
    QVERIFY(trend->saveCsv(saved, failure));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 11);
    QCOMPARE(lines.first() + '\n', QByteArray(ReadingCsv::Header));
    QVERIFY(lines.last().endsWith(",28.81,59,0"));
    QVERIFY(trend->saveImage(m_home->filePath(QStringLiteral("span.png")), failure));
    QVERIFY(!QImage(m_home->filePath(QStringLiteral("span.png"))).isNull());

    // Dragging towards the future looks back in time and stops following; "Now" returns.
    TrendChart &chart = trend->chart();
    auto *nowButton = trend->findChild<QPushButton *>(QStringLiteral("now"));
    QVERIFY(chart.isFollowing() && !nowButton->isEnabled());
    const QPoint middle = chart.rect().center();
    const QPoint later = middle + QPoint(chart.width() / 4, 0);
    sendMouse(chart, QEvent::MouseButtonPress, middle, Qt::LeftButton);
    sendMouse(chart, QEvent::MouseMove, later, Qt::LeftButton);
    sendMouse(chart, QEvent::MouseButtonRelease, later, Qt::NoButton);
    QVERIFY(!chart.isFollowing() && nowButton->isEnabled());
    const int32_t newest = Reading::fromRaw(0, 59).hundredths;
    QVERIFY(figures.now < newest);
    nowButton->click();
    QVERIFY(chart.isFollowing());
    QCOMPARE(figures.now, newest);
}

void TestTrendWindow::alertLimitsAreKeptAndWatched()
{
    m_form->showTrend();
    auto *high = m_form->trendWindow()->findChild<QLineEdit *>(QStringLiteral("alertHigh"));
    auto *low = m_form->trendWindow()->findChild<QLineEdit *>(QStringLiteral("alertLow"));
    high->setText(QStringLiteral("30.5"));
    emit high->editingFinished();
    low->setText(QStringLiteral("warm")); // not a temperature: stays off
    emit low->editingFinished();
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{3050, std::nullopt}));
    QCOMPARE(AlertLimits::load(), m_form->alerts().limits());
    QCOMPARE(low->text(), QString());

    emit m_form->controller().readingTaken(Reading{QDateTime::currentMSecsSinceEpoch(), 0, 0, 3100});
    QVERIFY(m_form->trendWindow()
                ->findChild<QLabel *>(QStringLiteral("alertState"))
                ->text()
                .endsWith(QStringLiteral("31.00 \u00B0C is above the high limit of 30.50 \u00B0C")));
}

void TestTrendWindow::damagedLinesSayWhyTheirTimesWereSkipped_data()
{
    const qint64 year9999 = 253383854400000; // 9999-06-01T12:00:00Z
    const QByteArray unset = ReadingCsv::line(Reading::fromRaw(5000, 46));
    const QByteArray farOff = ReadingCsv::line(Reading::fromRaw(year9999, 47));
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("said");
    QTest::newRow("damaged only") << QByteArray("garbage\n")
                                  << "1 damaged lines in the recorded files were skipped";
    QTest::newRow("a clock not yet set") << unset + "garbage\n"
                                         << "2 damaged lines in the recorded files were skipped, 1 of them "
                                            "with a time not between 2000 and ten years from now";
    QTest::newRow("far off both ways") << unset + "garbage\n" + farOff
                                       << "3 damaged lines in the recorded files were skipped, 2 of them "
                                          "with a time not between 2000 and ten years from now";
}

void TestTrendWindow::damagedLinesSayWhyTheirTimesWereSkipped()
{
    QFETCH(QByteArray, lines);
    QFETCH(QString, said);
    const QString port = QStringLiteral("/dev/ttyFAKE0");
    writeRecorded(port, {Reading::fromRaw(QDateTime::currentMSecsSinceEpoch() - 1000, 45)}, lines);
    qobject_cast<QLineEdit *>(control(*m_form, "TCOM"))->setText(port);
    m_form->showTrend();
    QCOMPARE(m_form->trendWindow()->findChild<QLabel *>(QStringLiteral("damagedLines"))->text(), said);
}

// Ten days of files take many turns of the event loop to read: the window shows that they are being read,
// and a reading the board sends meanwhile is taken and kept with them.
void TestTrendWindow::aReadingTakenWhileALongHistoryIsReadIsKept()
{
    openOnBoard();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<Reading> recorded;
    for (qint64 i = 10 * 86400; i > 0; --i)
        recorded << Reading::fromRaw(now - i * 1000, 45);
    writeRecorded(m_board->portPath(), recorded);
    m_board->write(Reply);
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    trend->findChild<QComboBox *>(QStringLiteral("span"))->setCurrentText(QStringLiteral("All"));
    auto *note = trend->findChild<QLabel *>(QStringLiteral("damagedLines"));
    QCOMPARE(note->text(), QStringLiteral("Reading the recorded files..."));
    QTRY_COMPARE(temperatureCaption(*m_form), QStringLiteral("24.41"));
    QTRY_VERIFY(note->isHidden());
    QCOMPARE(trend->chart().statistics().count, recorded.size() + 1);
    QCOMPARE(trend->chart().statistics().now, Reading::fromRaw(0, 0x32).hundredths);
}

void TestTrendWindow::aFaultKeepsRecordTickedAndIsShownUntilRecordingResumes()
{
    openOnBoard();
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    auto *record = trend->findChild<QCheckBox *>(QStringLiteral("record"));
    auto *state = trend->findChild<QLabel *>(QStringLiteral("recordingState"));
    record->click();
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    emit m_form->controller().readingTaken(Reading::fromRaw(now, 45));
    const QString file = m_form->recorder().filePath();
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(QDir(folder()).removeRecursively());

    emit m_form->controller().readingTaken(Reading::fromRaw(now + 1000, 46));
    const QString fault =
        QStringLiteral("Recording failed, trying again: %1: the file was deleted").arg(file);
    QVERIFY(record->isChecked());
    QCOMPARE(state->text(), fault);
    QVERIFY2(lampToolTip(*m_form).endsWith(u'\n' + fault), qPrintable(lampToolTip(*m_form)));

    // Still said while a reading too soon after the fault is not recorded.
    emit m_form->controller().readingTaken(Reading::fromRaw(now + 2000, 47));
    QCOMPARE(state->text(), fault);
    QVERIFY(!QFileInfo::exists(file));
    emit m_form->controller().readingTaken(Reading::fromRaw(now + 3000, 48));
    QVERIFY(QFileInfo::exists(file));
    QVERIFY(record->isChecked());
    QCOMPARE(state->text(), QStringLiteral("Recording to %1").arg(file));
    QVERIFY(!lampToolTip(*m_form).contains(QStringLiteral("Recording")));

    // Unticked, it stops for good.
    record->click();
    QVERIFY(!m_form->recorder().isOn());
    QCOMPARE(state->text(), QStringLiteral("Not recording"));
}

void TestTrendWindow::limitMistakesAreSaidAtTheField()
{
    {
        QFile store(m_home->filePath(QStringLiteral("ZORVA.conf")));
        QVERIFY(store.open(QIODevice::WriteOnly));
        store.write("[Alerts]\nHigh=inf\nLow=10\n");
    }
    m_form = std::make_unique<Form1>();
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    auto *high = trend->findChild<QLineEdit *>(QStringLiteral("alertHigh"));
    auto *low = trend->findChild<QLineEdit *>(QStringLiteral("alertLow"));
    auto *mistakes = trend->findChild<QLabel *>(QStringLiteral("limitMistakes"));
    const QString fromTheFile =
        QStringLiteral("ZORVA.conf [Alerts] High: \"inf\" is not a temperature (digits 0-9 "
                       "with one point or comma); the high limit is off");
    QCOMPARE(high->toolTip(), fromTheFile);
    QCOMPARE(mistakes->text(), fromTheFile);
    QVERIFY(mistakes->isVisibleTo(trend));

    high->setText(QStringLiteral("1e308"));
    emit high->editingFinished();
    const QString typed =
        QStringLiteral("High limit: \"1e308\" is not a temperature (digits 0-9 with one point "
                       "or comma)");
    QCOMPARE(high->toolTip(), typed);
    QCOMPARE(mistakes->text(), typed);
    QCOMPARE(high->text(), QString());

    // Low above High is refused the same way, and changes nothing.
    high->setText(QStringLiteral("20"));
    emit high->editingFinished();
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{2000, 1000}));
    QVERIFY(high->toolTip().isEmpty() && mistakes->isHidden());
    low->setText(QStringLiteral("30"));
    emit low->editingFinished();
    QCOMPARE(low->toolTip(),
             QStringLiteral("Low limit: 30.00 \u00B0C would be above the high limit, 20.00 \u00B0C"));
    QCOMPARE(mistakes->text(), low->toolTip());
    QCOMPARE(low->text(), QStringLiteral("10.00"));
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{2000, 1000}));
    QCOMPARE(AlertLimits::load(), (AlertLimits{2000, 1000}));

    low->setText(QStringLiteral("19,5"));
    emit low->editingFinished();
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{2000, 1950}));
    QVERIFY(low->toolTip().isEmpty() && mistakes->isHidden());
    high->setText(QStringLiteral("15"));
    emit high->editingFinished();
    QCOMPARE(mistakes->text(),
             QStringLiteral("High limit: 15.00 \u00B0C would be below the low limit, 19.50 \u00B0C"));
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{2000, 1950}));
}

void TestTrendWindow::limitsInTheLocalesWay()
{
    // Run once more under LC_ALL=it_IT.UTF-8, where the separator is a comma.
    const QString point = localeDecimalPoint();
    if (qEnvironmentVariable("LC_ALL").startsWith(QLatin1String("it_IT")))
        QCOMPARE(point, QStringLiteral(","));
    m_form->showTrend();
    auto *high = m_form->trendWindow()->findChild<QLineEdit *>(QStringLiteral("alertHigh"));
    high->setText(QStringLiteral("30") + point + QStringLiteral("5"));
    emit high->editingFinished();
    QCOMPARE(m_form->alerts().limits(), (AlertLimits{3050, std::nullopt}));
    QCOMPARE(high->text(), QStringLiteral("30") + point + QStringLiteral("50"));
    QVERIFY(high->toolTip().isEmpty());
    // The file keeps a point whatever the locale.
    QCOMPARE(QSettings(m_home->filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat)
                 .value(QStringLiteral("Alerts/High")),
             QVariant(QStringLiteral("30.50")));
}

void TestTrendWindow::offsetIsTypedAndKept_data()
{
    QTest::addColumn<QByteArray>("store");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("mistake");
    const QByteArray none;
    const QByteArray half("[Calibration]\nOffset=0.50\n");
    const QString notAnOffset = QStringLiteral("Calibration offset: \"%1\" is not an offset in degrees "
                                               "(digits 0-9, a point and at most two decimals)");
    QTest::newRow("a point") << none << " 0.5 " << 50 << "0.50" << QString();
    QTest::newRow("below zero") << none << "-1.25" << -125 << "-1.25" << QString();
    QTest::newRow("empty is none") << half << "" << 0 << "0.00" << QString();
    QTest::newRow("the same again") << half << "0.5" << 50 << "0.50" << QString();
    QTest::newRow("a comma") << half << "1,5" << 50 << "0.50" << notAnOffset.arg("1,5");
    QTest::newRow("beyond 50 degrees") << none << "50.01" << 0 << "0.00"
                                       << "Calibration offset: \"50.01\" is beyond 50 degrees either way";
}

// The offset is typed beside the limits, kept in ZORVA.conf and announced once when it changes; a mistake
// keeps it as it was and is said at the field.
void TestTrendWindow::offsetIsTypedAndKept()
{
    QFETCH(QByteArray, store);
    QFETCH(QString, typed);
    QFETCH(int, offset);
    QFETCH(QString, shown);
    QFETCH(QString, mistake);
    writeStore(store);
    const int32_t before = CalibrationSettings::offset();
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    auto *field = trend->findChild<QLineEdit *>(QStringLiteral("offset"));
    QCOMPARE(field->text(), hundredthsText(before, QStringLiteral(".")));
    QSignalSpy changed(trend, &TrendWindow::offsetChanged);
    field->setText(typed);
    emit field->editingFinished();

    QCOMPARE(field->text(), shown);
    QCOMPARE(field->toolTip(), mistake);
    auto *mistakes = trend->findChild<QLabel *>(QStringLiteral("limitMistakes"));
    QCOMPARE(mistakes->text(), mistake);
    QCOMPARE(mistakes->isVisibleTo(trend), !mistake.isEmpty());
    QCOMPARE(CalibrationSettings::offset(), offset);
    QCOMPARE(changed.size(), offset == before ? 0 : 1);
    if (offset != before) {
        QCOMPARE(changed.first().first().value<int32_t>(), offset);
        QCOMPARE(stored(QStringLiteral("Calibration/Offset")), QVariant(shown));
    }
}

void TestTrendWindow::offsetInTheLocalesWay()
{
    // Run once more under LC_ALL=it_IT.UTF-8, where the separator is a comma.
    const QString point = localeDecimalPoint();
    writeStore("[Calibration]\nOffset=abc\n");
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    auto *field = trend->findChild<QLineEdit *>(QStringLiteral("offset"));
    const QString fromTheFile = QStringLiteral("ZORVA.conf [Calibration] Offset: \"abc\" is not an offset in "
                                               "degrees (digits 0-9, a point and at most two decimals); no "
                                               "offset is applied");
    QCOMPARE(field->toolTip(), fromTheFile);
    QCOMPARE(trend->findChild<QLabel *>(QStringLiteral("limitMistakes"))->text(), fromTheFile);
    QCOMPARE(field->text(), QStringLiteral("0") + point + QStringLiteral("00"));

    QSignalSpy changed(trend, &TrendWindow::offsetChanged);
    field->setText(QStringLiteral("-0") + point + QStringLiteral("5"));
    emit field->editingFinished();
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.first().first().value<int32_t>(), -50);
    QCOMPARE(field->text(), QStringLiteral("-0") + point + QStringLiteral("50"));
    QVERIFY(field->toolTip().isEmpty());
    // The file keeps a point whatever the locale.
    QCOMPARE(stored(QStringLiteral("Calibration/Offset")), QVariant(QStringLiteral("-0.50")));
}

// Days past those kept reading by reading are kept as minutes: "All" still counts and averages every
// reading, the pointer reads them, and the span saved holds every reading, read again from the files.
void TestTrendWindow::olderDaysShowAsMinutesAndAreSavedWhole()
{
    const QString port = QStringLiteral("/dev/ttyFAKE0");
    constexpr qint64 Day = 24 * 3600 * 1000LL;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QList<Reading> readings;
    QByteArray lines = ReadingCsv::Header;
    qint64 sum = 0;
    QList<qint64> times;
    for (qint64 t = now - (HistoryLoader::DetailedDays + 2) * Day; t < now - 60000; t += 90000)
        times << t;
    times << times.first() + Day - 1; // the last moment of the first day saved
    std::sort(times.begin(), times.end());
    for (const qint64 t : times) {
        readings << Reading::fromRaw(t, int16_t(40 + readings.size() % 9));
        sum += readings.last().hundredths;
        lines += ReadingCsv::line(readings.last());
    }
    writeRecorded(port, readings);
    qobject_cast<QLineEdit *>(control(*m_form, "TCOM"))->setText(port);
    m_form->showTrend();
    TrendWindow *trend = m_form->trendWindow();
    trend->findChild<QComboBox *>(QStringLiteral("span"))->setCurrentText(QStringLiteral("All"));
    const SpanStatistics &figures = trend->chart().statistics();
    QTRY_COMPARE(figures.count, readings.size());
    QCOMPARE(figures.mean, double(sum) / double(readings.size()));
    QVERIFY(!trend->chart().hoverText(trend->chart().width() / 8).isEmpty());

    QString failure;
    const QString saved = m_home->filePath(QStringLiteral("all.csv"));
    QVERIFY2(trend->saveCsv(saved, failure), qPrintable(failure));
    QFile file(saved);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), lines);
    QCOMPARE(QDir(m_home->filePath(QStringLiteral("cache/vantro/summaries"))).entryList(QDir::Files).size(),
             3);
}

QTEST_MAIN(TestTrendWindow)
#include "tst_trend_window.moc"
