#include "board_line.h"

#include <QtCore/QProcess>
#include <QtTest/QtTest>

#include <windows.h>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000"); // 24.41 degrees
constexpr int FrameBytes = 6;
// A program's first start in a Wine prefix loads Qt's libraries for the first time.
constexpr int StartMs = 30000;

// `vantro` as a shell would start it, in a process group of its own so that a console event can be
// sent to it alone.
struct Program
{
    QProcess process;

    explicit Program(const QStringList &arguments)
    {
        process.setCreateProcessArgumentsModifier(
            [](QProcess::CreateProcessArguments *create) { create->flags |= CREATE_NEW_PROCESS_GROUP; });
        process.start(QStringLiteral(VANTRO_PATH), arguments);
    }
    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool endedWith(int status)
    {
        if (!process.waitForFinished(StartMs))
            return false;
        if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != status) {
            qWarning("ended with %d (%s); stderr: %s", process.exitCode(),
                     process.exitStatus() == QProcess::NormalExit ? "normal" : "crashed",
                     process.readAllStandardError().constData());
            return false;
        }
        return true;
    }
    // Waits for stdout to have taken in `text`.
    bool printed(const QByteArray &text)
    {
        QDeadlineTimer deadline(10000);
        while (!m_stdout.contains(text) && !deadline.hasExpired() && process.state() == QProcess::Running) {
            process.waitForReadyRead(100);
            m_stdout += process.readAllStandardOutput();
        }
        return m_stdout.contains(text);
    }

private:
    QByteArray m_stdout;
};

// The board answers the start frame once with `Reply`.
bool answerStartFrame(BoardLine &board)
{
    const QByteArray frame = board.read(FrameBytes, StartMs);
    if (frame.size() != FrameBytes || frame.left(3) != QByteArray::fromHex("0B0647"))
        return false;
    board.write(Reply);
    return true;
}
} // namespace

class TestHeadlessWin32 : public QObject
{
    Q_OBJECT

private slots:
    void versionSaysThePlatform();
    void readingIsPrintedOnStdout_data();
    void readingIsPrintedOnStdout();
    void consoleBreakEndsTheRun();
    void closedStdoutEndsTheRun();
};

void TestHeadlessWin32::versionSaysThePlatform()
{
    Program program({QStringLiteral("--version")});
    QVERIFY(program.endedWith(0));
    QCOMPARE(program.process.readAllStandardOutput().trimmed(), QByteArray("vantro 1.00 (Windows x86_64)"));
}

void TestHeadlessWin32::readingIsPrintedOnStdout_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QByteArray>("printed");
    QTest::newRow("csv") << QStringLiteral("csv") << QByteArray(",24.41,");
    QTest::newRow("json") << QStringLiteral("json") << QByteArray("\"celsius\":24.41");
}

void TestHeadlessWin32::readingIsPrintedOnStdout()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, printed);
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath(),
                     QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--format"), format});
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.endedWith(0));
    const QByteArray out = program.process.readAllStandardOutput();
    QVERIFY2(out.contains(printed), out.constData());
    QCOMPARE(out.count('\n'), 1);
}

void TestHeadlessWin32::consoleBreakEndsTheRun()
{
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath()});
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.printed("24.41"));
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, DWORD(program.process.processId())))
        QSKIP(qPrintable(QStringLiteral("no console to send Ctrl+Break through: %1")
                             .arg(qt_error_string(int(GetLastError())))));
    QVERIFY(program.endedWith(0));
}

void TestHeadlessWin32::closedStdoutEndsTheRun()
{
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath()});
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.printed("24.41"));
    program.process.closeReadChannel(QProcess::StandardOutput);
    // The next reading finds no one reading it.
    board.write(Reply);
    QVERIFY(program.endedWith(0));
}

QTEST_GUILESS_MAIN(TestHeadlessWin32)
#include "tst_headless_win32.moc"
