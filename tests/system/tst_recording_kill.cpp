#include "board_line.h"
#include "protocol/reading_csv.h"

#include <QtCore/QProcess>
#include <QtCore/QRandomGenerator>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <csignal>

// The real program records a stream of replies and is killed with SIGKILL in the middle of it: what it
// wrote must be whole lines, in order, with nothing missing that it had time to show.
class TestRecordingKill : public QObject
{
    Q_OBJECT

private slots:
    void killedInTheMiddleOfAStream();
};

void TestRecordingKill::killedInTheMiddleOfAStream()
{
    // One reply every 50 ms, each read alone by a 10 ms poll; anything sent half a second before the kill
    // has been shown.
    constexpr int ReplyEveryMs = 50;
    constexpr qint64 ShownWithinMs = 500;
    BoardLine board;
    QTemporaryDir home;
    const QString folder = home.filePath(QStringLiteral("readings"));
    {
        QSettings settings(home.filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat);
        settings.setValue(QStringLiteral("SENSORE_TEMP/TCOM"), board.portPath());
        settings.setValue(QStringLiteral("Recording/Enabled"), true);
        settings.setValue(QStringLiteral("Recording/Folder"), folder);
    }
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(VANTRO_PATH), {});
    QVERIFY(program.waitForStarted());
    QByteArray frame;
    QVERIFY(QTest::qWaitFor([&] { return (frame += board.readPending()).size() >= 6; }, 10000));

    // Raw values 1, 2, 3, ... so that each line tells which reply it was.
    QList<qint64> sentAt;
    QElapsedTimer clock;
    clock.start();
    const int killAfter = 20 + int(QRandomGenerator::global()->bounded(20));
    QTimer pace;
    connect(&pace, &QTimer::timeout, this, [&] {
        if (sentAt.size() == killAfter) {
            // Somewhere between two replies, not on one.
            QTimer::singleShot(int(QRandomGenerator::global()->bounded(ReplyEveryMs)), this, [&] {
                ::kill(pid_t(program.processId()), SIGKILL);
                sentAt << clock.elapsed(); // the moment of the kill
            });
            pace.stop();
            return;
        }
        const int raw = int(sentAt.size()) + 1;
        board.write(QByteArray::fromHex("1605") + char(raw) + QByteArray::fromHex("0021000000"));
        sentAt << clock.elapsed();
    });
    QSignalSpy finished(&program, &QProcess::finished);
    pace.start(ReplyEveryMs);
    QVERIFY(finished.wait(10000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    const qint64 killedAt = sentAt.takeLast();

    const QStringList names = QDir(folder).entryList(QDir::Files);
    QCOMPARE(names.size(), 1);
    QFile file(folder + QLatin1Char('/') + names.first());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QList<QByteArray> lines = bytes.split('\n');
    QCOMPARE(lines.takeFirst(), QByteArray("time,celsius,low,high"));
    // A line break ends the file unless the kill fell inside the one write of the last line.
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    int expected = 1;
    for (const QByteArray &line : lines) {
        const auto row = ReadingCsv::parseLine(line.constBegin(), line.constEnd());
        QVERIFY2(row, line.constData());
        // In order, and none skipped that had time to be shown.
        while (expected < row->raw) {
            QVERIFY2(killedAt - sentAt[expected - 1] < ShownWithinMs, qPrintable(QString::number(expected)));
            ++expected;
        }
        QCOMPARE(int(row->raw), expected++);
    }
    for (; expected <= sentAt.size(); ++expected)
        QVERIFY2(killedAt - sentAt[expected - 1] < ShownWithinMs, qPrintable(QString::number(expected)));
}

QTEST_GUILESS_MAIN(TestRecordingKill)
#include "tst_recording_kill.moc"
