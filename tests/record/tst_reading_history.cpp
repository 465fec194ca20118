#include "protocol/calibration.h"
#include "protocol/reading_csv.h"
#include "record/history_loader.h"
#include "record/plausible_time.h"
#include "record/reading_history.h"
#include "record/recorded_files.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
constexpr qint64 Start = 1796638953000;

constexpr qint64 Day = 24 * 3600 * 1000LL;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// One reading a second, or a step, from `from`, in one file per local day of port ttyACM0, as the recorder
// writes them.
void writeSeconds(const QString &folder, qint64 from, qint64 count, qint64 stepMs = 1000)
{
    QMap<int, QByteArray> days;
    for (qint64 i = 0; i < count; ++i) {
        const Reading reading = Reading::fromRaw(from + i * stepMs, int16_t(40 + i % 7));
        days[ReadingCsv::localDay(reading.timeMs)] += ReadingCsv::line(reading);
    }
    for (auto day = days.cbegin(); day != days.cend(); ++day)
        writeFile(folder + QLatin1Char('/') + ReadingCsv::fileName(day.key(), QStringLiteral("ttyACM0")),
                  ReadingCsv::Header + day.value());
}

qint64 utc(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODateWithMs).toMSecsSinceEpoch();
}

// Loads as the station does: the older days as minutes, through the cache.
ReadingHistory::LoadReport loadInTurns(ReadingHistory &history, const QString &folder)
{
    HistoryLoader loader(history);
    QSignalSpy loaded(&loader, &HistoryLoader::loaded);
    loader.start(folder, QStringLiteral("ttyACM0"));
    if (loaded.isEmpty() && !loaded.wait(20000))
        return {};
    return loaded.first().first().value<ReadingHistory::LoadReport>();
}

// Days older than those kept reading by reading: a reading every 7 s, so that minutes hold several.
constexpr int OlderDays = 3;
constexpr qint64 Every = 7000;
constexpr qint64 Recorded = (HistoryLoader::DetailedDays + OlderDays) * Day / Every;

// The readings of a history, to compare whole.
QList<Reading> readings(const ReadingHistory &history)
{
    QList<Reading> all;
    for (qsizetype i = 0; i < history.size(); ++i)
        all << history.readingAt(i);
    return all;
}
} // namespace

class TestReadingHistory : public QObject
{
    Q_OBJECT

private slots:
    void damagedLinesAreSkippedAndCounted();
    void temperaturesAreKeptAsRecorded_data();
    void temperaturesAreKeptAsRecorded();
    void aReadingInTheFileAndTheSessionIsKeptOnce();
    void onlyTheFilesOfThePort();
    void aClockSetBackStillReadsInTimeOrder();
    void aClockSetBackInAnyOrder_data();
    void aClockSetBackInAnyOrder();
    void theFilesAndTheSessionMergeInTimeOrder_data();
    void theFilesAndTheSessionMergeInTimeOrder();
    void aSpreadsheetsCrlfFileHasNoDamagedLines();
    void implausibleTimesAreDamagedAndSaidSo_data();
    void implausibleTimesAreDamagedAndSaidSo();
    void aFileTooLargeForADayIsRefusedUnread();
    void linesRunningAcrossPiecesAreRead();
    void theReadingsAreStoredInOneAllocation();
    void summariesOfLoadedReadingsAgreeWithThem_data();
    void summariesOfLoadedReadingsAgreeWithThem();
    void aLoadedHistoryOverTheSessionLimitIsKept();
    void readingsArrivingWhileLoadingAreKept();
    void startingAgainDropsTheLoadInProgress();
    void olderDaysAreKeptAsMinutesThatAgreeWithTheirReadings();
    void aDaysSummaryIsTakenOnlyWhileTheDayIsUnchanged_data();
    void aDaysSummaryIsTakenOnlyWhileTheDayIsUnchanged();
};

void TestReadingHistory::damagedLinesAreSkippedAndCounted()
{
    QTemporaryDir dir;
    QByteArray bytes = ReadingCsv::Header;
    bytes += ReadingCsv::line(Reading::fromRaw(Start, 45));
    bytes += "garbage\n2026-12-07T11:22:34.456+01:00,21.97\n";
    bytes += QByteArray(300, '\0') + '\n';
    bytes += QByteArray(1 << 20, 'x') + '\n';
    bytes += ReadingCsv::line(Reading::fromRaw(Start + 1000, 46));
    bytes += "2026-12-07T11:2"; // cut short at the end
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);

    ReadingHistory history;
    const auto report = history.loadRecorded(dir.path(), QStringLiteral("/dev/ttyACM0"));
    QCOMPARE(report.files, 1);
    QCOMPARE(report.damagedLines, 5);
    QCOMPARE(history.size(), 2);
    QCOMPARE(history.readingAt(0), Reading::fromRaw(Start, 45));
    QCOMPARE(history.readingAt(1), Reading::fromRaw(Start + 1000, 46));
}

void TestReadingHistory::temperaturesAreKeptAsRecorded_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<bool>("kept");
    QTest::newRow("none") << 0 << true;
    QTest::newRow("up") << 50 << true;
    QTest::newRow("down, below zero") << -2500 << true;
    QTest::newRow("largest up") << Calibration::LargestOffset << true;
    QTest::newRow("largest down") << -Calibration::LargestOffset << true;
    QTest::newRow("beyond up") << Calibration::LargestOffset + 1 << false;
    QTest::newRow("beyond down") << -Calibration::LargestOffset - 1 << false;
}

// A reading recorded under a calibration offset keeps its temperature, from the files as from the session,
// beside one recorded with none; one further from its raw bytes than any offset is damaged.
void TestReadingHistory::temperaturesAreKeptAsRecorded()
{
    QFETCH(int, offset);
    QFETCH(bool, kept);
    const Reading taken = calibrated(Reading::fromRaw(Start, 45), offset);
    const Reading plain = Reading::fromRaw(Start + 1000, 46);
    const QList<Reading> expected = kept ? QList{taken, plain} : QList{plain};
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")),
              ReadingCsv::Header + ReadingCsv::line(taken) + ReadingCsv::line(plain));

    ReadingHistory recorded;
    QCOMPARE(recorded.loadRecorded(dir.path(), QStringLiteral("ttyACM0")).damagedLines, kept ? 0 : 1);
    ReadingHistory session;
    session.add(taken);
    session.add(plain);
    for (const ReadingHistory *history : {&recorded, &session}) {
        QCOMPARE(readings(*history), expected);
        const ReadingSummaries::Summary summary = history->summary(0, history->size());
        QCOMPARE(summary.min, std::min(expected.first().hundredths, plain.hundredths));
        QCOMPARE(summary.sum, expected.first().hundredths + (kept ? plain.hundredths : 0));
    }
}

void TestReadingHistory::aReadingInTheFileAndTheSessionIsKeptOnce()
{
    QTemporaryDir dir;
    ReadingHistory history;
    QByteArray bytes = ReadingCsv::Header;
    for (int i = 0; i < 10; ++i) {
        const Reading reading = Reading::fromRaw(Start + i * 1000, int16_t(40 + i));
        bytes += ReadingCsv::line(reading);
        if (i >= 5)
            history.add(reading); // recorded and seen in this session
    }
    history.add(Reading::fromRaw(Start + 10000, 60)); // seen after the file was read
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);

    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(history.size(), 11);
    for (int i = 0; i < 11; ++i)
        QCOMPARE(history.timeAt(i), Start + i * 1000);
    QCOMPARE(history.rawAt(10), 60);
}

void TestReadingHistory::onlyTheFilesOfThePort()
{
    QTemporaryDir dir;
    const QByteArray one = QByteArray(ReadingCsv::Header) + ReadingCsv::line(Reading::fromRaw(Start, 45));
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), one);
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM1.csv")), one);
    writeFile(dir.filePath(QStringLiteral("2026-12-07_x_ttyACM0.csv")), one);
    writeFile(dir.filePath(QStringLiteral("notes_ttyACM0.csv")), one);

    ReadingHistory history;
    QCOMPARE(history.loadRecorded(dir.path(), QStringLiteral("ttyACM0")).files, 1);
    QCOMPARE(history.size(), 1);
}

void TestReadingHistory::aClockSetBackStillReadsInTimeOrder()
{
    QTemporaryDir dir;
    QByteArray bytes = ReadingCsv::Header;
    for (qint64 t : {Start + 2000, Start + 3000, Start, Start + 1000})
        bytes += ReadingCsv::line(Reading::fromRaw(t, int16_t(t / 1000 % 100)));
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);
    ReadingHistory history;
    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(history.size(), 4);
    for (int i = 0; i < 4; ++i)
        QCOMPARE(history.readingAt(i), Reading::fromRaw(Start + i * 1000, int16_t((Start / 1000 + i) % 100)));
}

void TestReadingHistory::aClockSetBackInAnyOrder_data()
{
    QTest::addColumn<QList<int>>("seconds");
    QTest::newRow("one cycle of three") << QList<int>{2, 0, 1};
    QTest::newRow("reversed") << QList<int>{5, 4, 3, 2, 1, 0};
    QTest::newRow("two cycles and one in place") << QList<int>{1, 0, 2, 4, 5, 3};
    QTest::newRow("the same reading twice") << QList<int>{3, 1, 2, 1, 0};
}

void TestReadingHistory::aClockSetBackInAnyOrder()
{
    QFETCH(QList<int>, seconds);
    QTemporaryDir dir;
    QByteArray bytes = ReadingCsv::Header;
    for (int s : seconds)
        bytes += ReadingCsv::line(Reading::fromRaw(Start + s * 1000, int16_t(40 + s)));
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);
    ReadingHistory history;
    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    const int count = *std::max_element(seconds.begin(), seconds.end()) + 1;
    QCOMPARE(history.size(), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE(history.readingAt(i), Reading::fromRaw(Start + i * 1000, int16_t(40 + i)));
}

// Each reading once, in time order; at the same time, this session's reading before the file's.
void TestReadingHistory::theFilesAndTheSessionMergeInTimeOrder_data()
{
    QTest::addColumn<QList<int>>("file");    // seconds after Start, raw 40 + second
    QTest::addColumn<QList<int>>("session"); // the same; a negative second is that second with raw 99
    QTest::addColumn<QList<int>>("merged");

    QTest::newRow("the session newest")
        << QList<int>{0, 1, 2, 3} << QList<int>{2, 3, 4, 5} << QList<int>{0, 1, 2, 3, 4, 5};
    QTest::newRow("the session oldest")
        << QList<int>{4, 5, 6} << QList<int>{0, 1} << QList<int>{0, 1, 4, 5, 6};
    QTest::newRow("between each other")
        << QList<int>{0, 2, 4, 6} << QList<int>{1, 2, 3, 7} << QList<int>{0, 1, 2, 3, 4, 6, 7};
    QTest::newRow("all of the session in the file")
        << QList<int>{0, 1, 2, 3} << QList<int>{1, 2} << QList<int>{0, 1, 2, 3};
    QTest::newRow("another reading at the same time")
        << QList<int>{1, 2, 3} << QList<int>{-2} << QList<int>{1, -2, 2, 3};
    QTest::newRow("nothing recorded") << QList<int>{} << QList<int>{3, 4} << QList<int>{3, 4};
}

void TestReadingHistory::theFilesAndTheSessionMergeInTimeOrder()
{
    QFETCH(QList<int>, file);
    QFETCH(QList<int>, session);
    QFETCH(QList<int>, merged);
    const auto reading = [](int s) {
        return s < 0 ? Reading::fromRaw(Start - s * 1000, 99)
                     : Reading::fromRaw(Start + s * 1000, int16_t(40 + s));
    };
    QTemporaryDir dir;
    QByteArray bytes = ReadingCsv::Header;
    for (int s : file)
        bytes += ReadingCsv::line(reading(s));
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);
    ReadingHistory history;
    for (int s : session)
        history.add(reading(s));
    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QList<Reading> expected;
    for (int s : merged)
        expected << reading(s);
    QCOMPARE(readings(history), expected);
}

// Saved again by a spreadsheet, every line ends in CR LF, the header's too.
void TestReadingHistory::aSpreadsheetsCrlfFileHasNoDamagedLines()
{
    QTemporaryDir dir;
    QByteArray bytes = ReadingCsv::Header;
    for (int i = 0; i < 3; ++i)
        bytes += ReadingCsv::line(Reading::fromRaw(Start + i * 1000, int16_t(45 + i)));
    bytes.replace("\n", "\r\n");
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);
    ReadingHistory history;
    const auto report = history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(report.damagedLines, 0);
    QCOMPARE(report.readings, 3);
    QCOMPARE(history.size(), 3);
    QCOMPARE(history.readingAt(2), Reading::fromRaw(Start + 2000, 47));
}

void TestReadingHistory::implausibleTimesAreDamagedAndSaidSo_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<bool>("plausible");
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QTest::newRow("a clock not yet set") << qint64(12345) << false;
    QTest::newRow("the last moment of 1999") << utc("1999-12-31T23:59:59.999Z") << false;
    QTest::newRow("the first moment of 2000") << utc("2000-01-01T00:00:00.000Z") << true;
    QTest::newRow("nine years from now") << now + 9 * 365 * Day << true;
    QTest::newRow("eleven years from now") << now + 11 * 365 * Day << false;
    QTest::newRow("the year 9999") << utc("9999-06-01T12:00:00.000Z") << false;
}

void TestReadingHistory::implausibleTimesAreDamagedAndSaidSo()
{
    QFETCH(qint64, time);
    QFETCH(bool, plausible);
    QTemporaryDir dir;
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")),
              ReadingCsv::Header + ReadingCsv::line(Reading::fromRaw(Start, 45)) +
                  ReadingCsv::line(Reading::fromRaw(time, 46)));
    ReadingHistory history;
    const auto report = history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(report.damagedLines, plausible ? 0 : 1);
    QCOMPARE(report.implausibleTimes, plausible ? 0 : 1);
    QCOMPARE(history.size(), plausible ? 2 : 1);
    QCOMPARE(PlausibleTime::contains(time, QDateTime::currentMSecsSinceEpoch()), plausible);
}

// A sparse file named like a recording: it is said to be too large, and never read or allocated for.
void TestReadingHistory::aFileTooLargeForADayIsRefusedUnread()
{
    QTemporaryDir dir;
    QFile huge(dir.filePath(QStringLiteral("2026-12-06_ttyACM0.csv")));
    QVERIFY(huge.open(QIODevice::WriteOnly));
    if (!huge.resize(200LL << 30))
        QSKIP("this file system holds no sparse file of 200 GB");
    huge.close();
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")),
              ReadingCsv::Header + ReadingCsv::line(Reading::fromRaw(Start, 45)));
    ReadingHistory history;
    const auto report = history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(report.unreadable,
             QStringList{huge.fileName() + QStringLiteral(": larger than a day's recording can be")});
    QCOMPARE(report.files, 1);
    QCOMPARE(history.size(), 1);
}

void TestReadingHistory::linesRunningAcrossPiecesAreRead()
{
    // Two days, well over the piece the files are read in, with lines across each piece's end.
    QTemporaryDir dir;
    constexpr qint64 Count = 2 * 86400;
    writeSeconds(dir.path(), Start, Count);
    ReadingHistory history;
    const auto report = history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(report.damagedLines, 0);
    QCOMPARE(report.files, 3);
    QCOMPARE(history.size(), Count);
    for (qint64 i = 0; i < Count; i += 997)
        QCOMPARE(history.readingAt(i), Reading::fromRaw(Start + i * 1000, int16_t(40 + i % 7)));
}

// Counted first, the readings take one allocation of the lines that could be readings and the room asked
// for; lines written after they were counted are left to the session, which has them.
void TestReadingHistory::theReadingsAreStoredInOneAllocation()
{
    QTemporaryDir dir;
    QByteArray first = ReadingCsv::Header;
    for (int i = 0; i < 1000; ++i)
        first += ReadingCsv::line(Reading::fromRaw(Start + i * 1000, int16_t(i % 3 == 0 ? 0 : 45)));
    QCOMPARE(ReadingCsv::line(Reading::fromRaw(Start, 0)).size(), ReadingCsv::ShortestLine + 1);
    first += "garbage\n\n";
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), first);
    const QString second = dir.filePath(QStringLiteral("2026-12-08_ttyACM0.csv"));
    writeFile(second, ReadingCsv::Header + ReadingCsv::line(Reading::fromRaw(Start + Day, 45)));

    constexpr qsizetype Room = 5;
    RecordedFiles files(dir.path(), QStringLiteral("ttyACM0"), QDateTime::currentMSecsSinceEpoch(), Room);
    // A piece at a time: both files counted, the first parsed.
    for (int piece = 0; piece < 3; ++piece)
        QVERIFY(!files.read(1));
    QFile later(second);
    QVERIFY(later.open(QIODevice::Append));
    for (int i = 1; i < 1000; ++i)
        later.write(ReadingCsv::line(Reading::fromRaw(Start + Day + i * 1000, 45)));
    later.close();
    QVERIFY(files.read(1 << 30));
    QCOMPARE(files.times().size(), size_t(1001));
    QCOMPARE(files.times().capacity(), size_t(1001 + Room));
    QCOMPARE(files.temperatures().capacity(), size_t(1001 + Room));
    QCOMPARE(files.report().damagedLines, 1);
}

void TestReadingHistory::summariesOfLoadedReadingsAgreeWithThem_data()
{
    QTest::addColumn<bool>("clockSetBack");
    QTest::addColumn<int>("session");  // readings this session adds, some of them recorded as well
    QTest::addColumn<bool>("offsets"); // recorded and taken under calibration offsets
    QTest::newRow("in time order") << false << 0 << false;
    QTest::newRow("a clock set back") << true << 0 << false;
    QTest::newRow("with this session's readings") << false << 700 << false;
    QTest::newRow("under offsets, a clock set back") << true << 700 << true;
}

// The lowest, highest and sum of any run of a loaded history are those of its readings.
void TestReadingHistory::summariesOfLoadedReadingsAgreeWithThem()
{
    QFETCH(bool, clockSetBack);
    QFETCH(int, session);
    QFETCH(bool, offsets);
    QRandomGenerator random(7);
    const auto reading = [&](qint64 timeMs, int lowest, int highest) {
        const Reading raw = Reading::fromRaw(timeMs, int16_t(random.bounded(lowest, highest)));
        return offsets ? calibrated(raw, random.bounded(-1500, 1500)) : raw;
    };
    QTemporaryDir dir;
    constexpr int Recorded = 5000;
    QByteArray bytes = ReadingCsv::Header;
    for (int i = 0; i < Recorded; ++i) {
        const int second = clockSetBack && i >= Recorded / 2 ? i - Recorded / 2 : i + Recorded / 2;
        bytes += ReadingCsv::line(reading(Start + second * 1000, 40, 60));
    }
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv")), bytes);
    ReadingHistory history;
    for (int i = 0; i < session; ++i)
        history.add(reading(Start + (Recorded - session / 2 + i) * 1000 + 1, 30, 70));
    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(history.size(), Recorded + session);
    for (int run = 0; run < 200; ++run) {
        const auto from = qsizetype(random.bounded(int(history.size())));
        const auto to = from + qsizetype(random.bounded(int(history.size() - from)) + 1);
        ReadingSummaries::Summary expected;
        for (qsizetype i = from; i < to; ++i) {
            const int32_t value = history.hundredthsAt(i);
            if (i == from || value < expected.min)
                std::tie(expected.min, expected.minAt) = std::pair{value, i};
            if (i == from || value > expected.max)
                std::tie(expected.max, expected.maxAt) = std::pair{value, i};
            expected.sum += value;
        }
        const ReadingSummaries::Summary s = history.summary(from, to);
        QCOMPARE(s.count, to - from);
        QCOMPARE(s.min, expected.min);
        QCOMPARE(s.minAt, expected.minAt);
        QCOMPARE(s.max, expected.max);
        QCOMPARE(s.maxAt, expected.maxAt);
        QCOMPARE(s.sum, expected.sum);
    }
}

// More readings than this session may keep are loaded; the session adds its own up to its limit and past it.
void TestReadingHistory::aLoadedHistoryOverTheSessionLimitIsKept()
{
    QTemporaryDir dir;
    constexpr qint64 Loaded = ReadingHistory::SessionLimit + 10;
    writeSeconds(dir.path(), Start, Loaded);
    ReadingHistory history;
    history.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    QCOMPARE(history.size(), Loaded);

    const qint64 sessionStart = Start + Loaded * 1000;
    qint64 added = 0;
    const auto add = [&](qint64 count) {
        for (qint64 end = added + count; added < end; ++added)
            history.add(Reading::fromRaw(sessionStart + added * 1000, 50));
    };
    add(10);
    QCOMPARE(history.size(), Loaded + 10);
    add(ReadingHistory::SessionLimit + ReadingHistory::SessionLimit / 4);
    // Every loaded reading is kept; the session's own are bounded, its oldest dropped.
    QCOMPARE(history.timeAt(0), Start);
    QCOMPARE(history.lowerBound(sessionStart), Loaded);
    QCOMPARE(history.timeAt(history.size() - 1), sessionStart + (added - 1) * 1000);
    QVERIFY(history.size() - Loaded <= ReadingHistory::SessionLimit);
    QVERIFY(history.size() - Loaded > ReadingHistory::SessionLimit * 3 / 4);
}

// Three days take several turns of the event loop; readings that come meanwhile are all kept, each once.
void TestReadingHistory::readingsArrivingWhileLoadingAreKept()
{
    QTemporaryDir dir;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    constexpr qint64 Recorded = 3 * 86400;
    const qint64 from = now - (Recorded + 10) * 1000;
    writeSeconds(dir.path(), from, Recorded);

    ReadingHistory history;
    const Reading alsoRecorded =
        Reading::fromRaw(from + (Recorded - 1) * 1000, int16_t(40 + (Recorded - 1) % 7));
    history.add(alsoRecorded);
    HistoryLoader loader(history);
    QSignalSpy loaded(&loader, &HistoryLoader::loaded);
    qint64 arrived = 0;
    QTimer board;
    connect(&board, &QTimer::timeout, this, [&] { history.add(Reading::fromRaw(now + arrived++, 60)); });
    board.start(0);
    loader.start(dir.path(), QStringLiteral("/dev/ttyACM0"));
    QVERIFY(loader.isLoading());
    QVERIFY(loaded.isEmpty());
    QVERIFY(loaded.wait(20000));
    board.stop();
    QVERIFY2(arrived > 2, qPrintable(QString::number(arrived)));
    QVERIFY(!loader.isLoading());

    const auto report = loaded.first().first().value<ReadingHistory::LoadReport>();
    QCOMPARE(report.readings, Recorded);
    QCOMPARE(report.damagedLines, 0);
    QCOMPARE(history.size(), Recorded + arrived);
    QCOMPARE(history.timeAt(0), from);
    for (qint64 i = 0; i < arrived; ++i)
        QCOMPARE(history.readingAt(Recorded + i), Reading::fromRaw(now + i, 60));
}

void TestReadingHistory::startingAgainDropsTheLoadInProgress()
{
    QTemporaryDir dir;
    writeSeconds(dir.path(), Start, 3 * 86400);
    writeFile(dir.filePath(QStringLiteral("2026-12-07_ttyACM1.csv")),
              ReadingCsv::Header + ReadingCsv::line(Reading::fromRaw(Start, 45)));
    ReadingHistory history;
    HistoryLoader loader(history);
    QSignalSpy loaded(&loader, &HistoryLoader::loaded);
    loader.start(dir.path(), QStringLiteral("ttyACM0"));
    QVERIFY(loader.isLoading());
    history.clear();
    loader.start(dir.path(), QStringLiteral("ttyACM1"));
    QCOMPARE(loaded.size(), 1);
    QVERIFY(!loader.isLoading());
    QTest::qWait(100);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(history.size(), 1);
}

// Any span of whole minutes sums up alike, and one looked at reading by reading is read again whole.
void TestReadingHistory::olderDaysAreKeptAsMinutesThatAgreeWithTheirReadings()
{
    QTemporaryDir dir;
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    const qint64 from = Start - Recorded * Every;
    writeSeconds(dir.path(), from, Recorded, Every);
    ReadingHistory everything;
    everything.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    ReadingHistory kept;
    const ReadingHistory::LoadReport report = loadInTurns(kept, dir.path());
    QCOMPARE(report.readings, Recorded);
    QCOMPARE(report.files, HistoryLoader::DetailedDays + OlderDays + 1);
    QVERIFY(kept.size() < everything.size() * 3 / 4);
    QVERIFY(!kept.olderMinutes().isEmpty());

    QRandomGenerator random(11);
    const auto minutes = int(Recorded * Every / 60000);
    const auto same = [](const SpanSummary &a, const SpanSummary &b) {
        return std::tie(a.count, a.sum, a.min, a.minTime, a.max, a.maxTime, a.first, a.firstTime, a.last,
                        a.lastTime) == std::tie(b.count, b.sum, b.min, b.minTime, b.max, b.maxTime, b.first,
                                                b.firstTime, b.last, b.lastTime);
    };
    const qint64 firstMinute = from - from % 60000;
    for (int run = 0; run < 300; ++run) {
        const qint64 a = firstMinute + random.bounded(minutes) * 60000LL;
        const qint64 b = a + (random.bounded(minutes) + 1) * 60000LL;
        QVERIFY2(same(kept.spanSummary(a, b), everything.spanSummary(a, b)),
                 qPrintable(QString::number(run)));
        QCOMPARE(kept.timeBefore(a), everything.timeBefore(a));
    }
    // An hour of the oldest day, reading by reading.
    const qint64 hour = from + Day / 2;
    std::unique_ptr<ReadingHistory> holder;
    const ReadingHistory &fine = kept.fineFor(hour, hour + 3600000, 0, holder);
    QVERIFY(&fine == holder.get());
    QVERIFY(!kept.isFineFor(hour, hour + 3600000, 59999) && kept.isFineFor(hour, hour + 3600000, 60000));
    const qsizetype begin = everything.lowerBound(hour);
    const qsizetype count = everything.lowerBound(hour + 3600000) - begin;
    QCOMPARE(fine.lowerBound(hour + 3600000) - fine.lowerBound(hour), count);
    for (qsizetype i = 0; i < count; ++i)
        QCOMPARE(fine.readingAt(fine.lowerBound(hour) + i), everything.readingAt(begin + i));
    // This session's readings, not recorded, are among them too.
    const Reading unrecorded = Reading::fromRaw(Start + 1000, 77);
    kept.add(unrecorded);
    const ReadingHistory &wide = kept.fineFor(hour, Start + 2000, 0, holder);
    QCOMPARE(wide.size(), everything.size() + 1);
    QCOMPARE(wide.readingAt(wide.size() - 1), unrecorded);
}

void TestReadingHistory::aDaysSummaryIsTakenOnlyWhileTheDayIsUnchanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("taken");
    QTest::newRow("a reading changed, the file's size and time kept") << "reading" << true;
    QTest::newRow("the summary damaged") << "summary" << false;
    QTest::newRow("the summary cut short") << "short" << false;
    QTest::newRow("a reading changed since") << "touched" << false;
    QTest::newRow("the day grown since") << "grown" << false;
    QTest::newRow("the day grown, its time kept") << "grown, time kept" << false;
}

// The day's file stays the record: its summary is rebuilt once either has changed, never trusted.
void TestReadingHistory::aDaysSummaryIsTakenOnlyWhileTheDayIsUnchanged()
{
    QFETCH(QString, change);
    QFETCH(bool, taken);
    QTemporaryDir dir;
    QTemporaryDir cache;
    qputenv("XDG_CACHE_HOME", cache.path().toUtf8());
    constexpr qint64 Count = (HistoryLoader::DetailedDays + 1) * Day / Every;
    const qint64 from = Start - Count * Every;
    writeSeconds(dir.path(), from, Count, Every);
    const QString day = RecordedFiles::list(dir.path(), QStringLiteral("ttyACM0")).first();
    const auto older = [](const ReadingHistory &history) { return history.olderMinutes().summary(0, Start); };
    ReadingHistory first;
    loadInTurns(first, dir.path());
    const QString summary = SummaryCache(SummaryCache::defaultFolder()).pathFor(QFileInfo(day));
    QVERIFY(QFile::exists(summary));

    QFile file(change == "summary" || change == "short" ? summary : day);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QDateTime modified = file.fileTime(QFileDevice::FileModificationTime);
    QByteArray bytes = file.readAll();
    if (change.startsWith("grown"))
        bytes += ReadingCsv::line(Reading::fromRaw(from + 1, 99));
    else if (change == "short")
        bytes.chop(1);
    else
        bytes[bytes.size() - (change == "summary" ? 30 : 8)] ^= 1; // a raw byte's digit, or a minute
    QVERIFY(file.resize(0) && file.seek(0) && file.write(bytes) == bytes.size());
    if (change == "reading" || change.endsWith("time kept"))
        QVERIFY(file.setFileTime(modified, QFileDevice::FileModificationTime));
    else if (change == "touched")
        QVERIFY(file.setFileTime(modified.addSecs(1), QFileDevice::FileModificationTime));
    file.close();

    ReadingHistory again;
    const ReadingHistory::LoadReport report = loadInTurns(again, dir.path());
    ReadingHistory everything;
    everything.loadRecorded(dir.path(), QStringLiteral("ttyACM0"));
    const SpanSummary expected = taken ? older(first) : everything.spanSummary(0, older(first).lastTime + 1);
    QCOMPARE(older(again).count, expected.count);
    QCOMPARE(older(again).sum, expected.sum);
    QCOMPARE(report.readings, taken ? Count : everything.size());
    QVERIFY(older(first).sum != everything.spanSummary(0, older(first).lastTime + 1).sum ||
            change == "summary" || change == "short");
}

QTEST_GUILESS_MAIN(TestReadingHistory)
#include "tst_reading_history.moc"
