#include "record/reading_csv.h"
#include "record/reading_history.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {
constexpr qint64 Start = 1796638953000;

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}
} // namespace

class TestReadingHistory : public QObject
{
    Q_OBJECT

private slots:
    void damagedLinesAreSkippedAndCounted();
    void aReadingInTheFileAndTheSessionIsKeptOnce();
    void onlyTheFilesOfThePort();
    void aClockSetBackStillReadsInTimeOrder();
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

QTEST_GUILESS_MAIN(TestReadingHistory)
#include "tst_reading_history.moc"
