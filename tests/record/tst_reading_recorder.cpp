#include "board_line.h"
#include "record/reading_csv.h"
#include "record/reading_recorder.h"

#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <sys/stat.h>

// Runs under TZ=Europe/Rome.
namespace {
// 2026-12-07 11:22:33.456 local time.
constexpr qint64 Morning = 1796638953456;
const QString Port = QStringLiteral("/dev/ttyACM0");

Reading at(qint64 timeMs, int raw)
{
    return Reading::fromRaw(timeMs, int16_t(raw));
}

} // namespace

class TestReadingRecorder : public QObject
{
    Q_OBJECT

private slots:
    void appendsAfterARestartAndMendsABrokenLine();
    void aReadingAtMidnightStartsTheNextDaysFile();
    void faultsStopRecordingWithTheReason_data();
    void faultsStopRecordingWithTheReason();
};

void TestReadingRecorder::appendsAfterARestartAndMendsABrokenLine()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("new/readings"));
    const QString file = folder + QStringLiteral("/2026-12-07_ttyACM0.csv");
    const QByteArray first = "2026-12-07T11:22:33.456+01:00,21.97,45,0\n";
    {
        ReadingRecorder recorder;
        QVERIFY(recorder.start(folder));
        recorder.record(at(Morning, 45), Port);
        QCOMPARE(recorder.filePath(), file);
        // Each reading is in the file as soon as it is recorded, not when the recorder closes.
        QCOMPARE(fileContents(file), QByteArray("time,celsius,low,high\n") + first);
    }
    {
        QFile cut(file);
        QVERIFY(cut.open(QIODevice::Append));
        cut.write("2026-12-07T11:2"); // the power failed in the middle of a line
    }
    ReadingRecorder recorder;
    QVERIFY(recorder.start(folder));
    recorder.record(at(Morning + 1000, 46), Port);
    QCOMPARE(fileContents(file), QByteArray("time,celsius,low,high\n") + first +
                                     "2026-12-07T11:2\n2026-12-07T11:22:34.456+01:00,22.46,46,0\n");
}

void TestReadingRecorder::aReadingAtMidnightStartsTheNextDaysFile()
{
    QTemporaryDir dir;
    ReadingRecorder recorder;
    QVERIFY(recorder.start(dir.path()));
    const qint64 midnight = 1796684400000; // 2026-12-08 00:00:00.000 local time
    recorder.record(at(midnight - 1, 45), Port);
    recorder.record(at(midnight, 46), Port);
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"))),
             QByteArray("time,celsius,low,high\n2026-12-07T23:59:59.999+01:00,21.97,45,0\n"));
    QCOMPARE(fileContents(dir.filePath(QStringLiteral("2026-12-08_ttyACM0.csv"))),
             QByteArray("time,celsius,low,high\n2026-12-08T00:00:00.000+01:00,22.46,46,0\n"));
}

void TestReadingRecorder::faultsStopRecordingWithTheReason_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder cannot be created") << "folder under a file"
                                              << "cannot be created";
    QTest::newRow("file cannot be opened") << "file is a folder"
                                           << "Is a directory";
    QTest::newRow("disk full") << "disk full"
                               << "No space left on device";
    QTest::newRow("file deleted") << "deleted"
                                  << "the file was deleted";
    QTest::newRow("file made read-only") << "read-only"
                                         << "the file was made read-only";
}

void TestReadingRecorder::faultsStopRecordingWithTheReason()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QString folder = dir.path();
    const QString file = dir.filePath(QStringLiteral("2026-12-07_ttyACM0.csv"));
    if (fault == QLatin1String("folder under a file")) {
        QFile plain(dir.filePath(QStringLiteral("plain")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        folder = plain.fileName() + QStringLiteral("/readings");
    } else if (fault == QLatin1String("file is a folder")) {
        QVERIFY(QDir().mkpath(file));
    } else if (fault == QLatin1String("disk full")) {
        // Every write to /dev/full fails as a full disk does.
        QVERIFY(QFile::link(QStringLiteral("/dev/full"), file));
    }

    ReadingRecorder recorder;
    QSignalSpy failed(&recorder, &ReadingRecorder::failed);
    const bool started = recorder.start(folder);
    QCOMPARE(started, fault != QLatin1String("folder under a file"));
    if (started) {
        recorder.record(at(Morning, 45), Port);
        if (fault == QLatin1String("deleted") || fault == QLatin1String("read-only")) {
            QVERIFY(recorder.isRecording());
            QVERIFY(fault == QLatin1String("deleted") ? QFile::remove(file)
                                                      : QFile::setPermissions(file, QFile::ReadOwner));
            recorder.record(at(Morning + 1000, 46), Port);
        }
        QCOMPARE(failed.count(), 1);
    }
    QVERIFY(!recorder.isRecording());
    QVERIFY2(recorder.failure().contains(reason), qPrintable(recorder.failure()));
    QVERIFY2(recorder.failure().startsWith(started ? file : folder), qPrintable(recorder.failure()));

    // Later readings are dropped quietly, with no second report.
    recorder.record(at(Morning + 2000, 47), Port);
    QCOMPARE(failed.count(), started ? 1 : 0);

    // Once the fault is mended, recording again works.
    QVERIFY(dir.remove() && QDir().mkpath(dir.path()));
    QVERIFY(recorder.start(dir.path()));
    recorder.record(at(Morning + 3000, 48), Port);
    QVERIFY(fileContents(file).endsWith("2026-12-07T11:22:36.456+01:00,23.44,48,0\n"));
    QVERIFY(recorder.failure().isEmpty());
}

QTEST_GUILESS_MAIN(TestReadingRecorder)
#include "tst_reading_recorder.moc"
