#include "board_line.h"
#include "zorva_registry.h"

#include <QtCore/QProcess>
#include <QtTest/QtTest>

#include <windows.h>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000"); // 24.41 degrees
constexpr int FrameBytes = 6;
// A program's first start in a Wine prefix loads Qt's libraries for the first time.
constexpr int StartMs = 30000;

// `vantro` as a shell would start it. With `ownStdout`, stdout is a pipe of the test's own, whose reading end
// the test can close (QProcess keeps reading its pipes to the end).
struct Program
{
    QProcess process;
    HANDLE stdoutReader = nullptr;

    explicit Program(const QStringList &arguments, bool ownStdout = false)
    {
        HANDLE writer = nullptr;
        if (ownStdout) {
            SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
            if (CreatePipe(&stdoutReader, &writer, &inherited, 0))
                SetHandleInformation(stdoutReader, HANDLE_FLAG_INHERIT, 0);
        }
        process.setCreateProcessArgumentsModifier([writer](QProcess::CreateProcessArguments *create) {
            if (writer)
                create->startupInfo->hStdOutput = writer;
        });
        process.start(QStringLiteral(VANTRO_PATH), arguments);
        if (writer)
            CloseHandle(writer);
    }
    ~Program()
    {
        closeStdout();
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    bool endedWith(int status)
    {
        if (!process.waitForFinished(StartMs)) {
            qWarning("still running; stderr: %s", process.readAllStandardError().constData());
            return false;
        }
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
            m_stdout += stdoutReader ? readOwnStdout() : process.readAllStandardOutput();
        }
        return m_stdout.contains(text);
    }
    void closeStdout()
    {
        if (stdoutReader)
            CloseHandle(stdoutReader);
        stdoutReader = nullptr;
    }

private:
    QByteArray readOwnStdout()
    {
        DWORD waiting = 0;
        if (!PeekNamedPipe(stdoutReader, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0)
            return {};
        QByteArray bytes(qsizetype(waiting), '\0');
        DWORD got = 0;
        ReadFile(stdoutReader, bytes.data(), waiting, &got, nullptr);
        bytes.truncate(qsizetype(got));
        return bytes;
    }

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
    void init();
    void versionSaysThePlatform();
    void readingIsPrintedOnStdout_data();
    void readingIsPrintedOnStdout();
    void consoleCtrlCEndsTheRun();
    void closedStdoutEndsTheRun();
    void brokerIsSaidOutOfReach_data();
    void brokerIsSaidOutOfReach();
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
    QTest::addColumn<int>("lines");
    QTest::newRow("csv, after its header") << QStringLiteral("csv") << QByteArray(",24.41,") << 2;
    QTest::newRow("json") << QStringLiteral("json") << QByteArray("\"celsius\":24.41") << 1;
}

void TestHeadlessWin32::readingIsPrintedOnStdout()
{
    QFETCH(QString, format);
    QFETCH(QByteArray, printed);
    QFETCH(int, lines);
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath(),
                     QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--format"), format});
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.endedWith(0));
    const QByteArray out = program.process.readAllStandardOutput();
    QVERIFY2(out.contains(printed), out.constData());
    QCOMPARE(out.count('\n'), lines);
}

void TestHeadlessWin32::consoleCtrlCEndsTheRun()
{
    // A console of the test's own, which the program shares; Ctrl+C goes to every process on it, and the
    // test itself ignores it. Without the program's handler, Ctrl+C would end it with 0xC000013A.
    FreeConsole();
    if (!AllocConsole())
        QSKIP(qPrintable(QStringLiteral("no console: %1").arg(qt_error_string(int(GetLastError())))));
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath()});
    // Only once the program runs: a child inherits the choice to ignore Ctrl+C.
    SetConsoleCtrlHandler(nullptr, TRUE);
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.printed("24.41"));
    QVERIFY(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    QVERIFY(program.endedWith(0));
}

void TestHeadlessWin32::closedStdoutEndsTheRun()
{
    BoardLine board;
    Program program({QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath()}, true);
    QVERIFY(answerStartFrame(board));
    QVERIFY(program.printed("24.41"));
    program.closeStdout();
    // The next reading finds no one reading it.
    board.write(Reply);
    QVERIFY(program.endedWith(0));
}

void TestHeadlessWin32::brokerIsSaidOutOfReach_data()
{
    // Where the broker was named, and what is said: the settings are blamed only for their own Url.
    QTest::addColumn<bool>("onCommandLine");
    QTest::addColumn<QByteArray>("said");
    QTest::newRow("--mqtt") << true << QByteArray("Not publishing: MQTT is not available in this build");
    QTest::newRow("the settings' Url")
        << false
        << QByteArray(
               "Not publishing: the MQTT Url in HKEY_CURRENT_USER\\Software\\ZORVA: MQTT is not available "
               "in this build");
}

void TestHeadlessWin32::brokerIsSaidOutOfReach()
{
    QFETCH(bool, onCommandLine);
    QFETCH(QByteArray, said);
    const QString broker = QStringLiteral("mqtt://127.0.0.1:1883");
    if (!onCommandLine)
        writeZorvaRegistry("[MQTT]\nUrl=" + broker.toLatin1() + '\n');
    BoardLine board;
    QStringList arguments{QStringLiteral("--headless"), QStringLiteral("--port"), board.portPath(),
                          QStringLiteral("--count"), QStringLiteral("1")};
    if (onCommandLine)
        arguments << QStringLiteral("--mqtt") << broker;
    Program program(arguments);
    QVERIFY(answerStartFrame(board));
    // The readings go on without a broker.
    QVERIFY(program.endedWith(0));
    QVERIFY(program.process.readAllStandardOutput().contains(",24.41,"));
    const QByteArray stderrText = program.process.readAllStandardError();
    QVERIFY2(stderrText.contains(said), stderrText.constData());
}

void TestHeadlessWin32::init()
{
    // The programs read the settings of this Wine prefix: every one at its default here.
    clearZorvaRegistry();
}

QTEST_GUILESS_MAIN(TestHeadlessWin32)
#include "tst_headless_win32.moc"
