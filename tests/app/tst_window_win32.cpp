#include "board_line.h"
#include "zorva_registry.h"

#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtTest/QtTest>

#include <memory>
#include <string>
#include <windows.h>

namespace {
const QByteArray Reply = QByteArray::fromHex("1605320021000000"); // 24.41 degrees
constexpr int FrameBytes = 6;
// A window's first start in a Wine prefix loads Qt's libraries and the platform plugin for the first time.
constexpr int StartMs = 60000;
const wchar_t *const Title = L"ZORVA - Vantro V1.1";

// The programs of this build, or those that VANTRO_INSTALLED names the folder of: the installer's test runs
// the installed window against the same board.
QString program(const QString &name, const char *built)
{
    const QString installed = qEnvironmentVariable("VANTRO_INSTALLED");
    return installed.isEmpty() ? QString::fromUtf8(built) : installed + QLatin1Char('/') + name;
}

bool answerStartFrame(BoardLine &board)
{
    const QByteArray frame = board.read(FrameBytes, StartMs);
    if (frame.size() != FrameBytes || frame.left(3) != QByteArray::fromHex("0B0647"))
        return false;
    board.write(Reply);
    return true;
}

// Where a screenshot is to be taken from outside, the test says it is ready by making the file that
// VANTRO_SCREENSHOT_READY names, and waits until the taker removes it.
bool waitForScreenshot()
{
    const QString ready = qEnvironmentVariable("VANTRO_SCREENSHOT_READY");
    if (ready.isEmpty())
        return true;
    QFile file(ready);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.close();
    QDeadlineTimer deadline(60000);
    while (QFile::exists(ready) && !deadline.hasExpired())
        QTest::qWait(100);
    return !QFile::exists(ready);
}
} // namespace

class TestWindowWin32 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void bigDigitsShowTheBoardsTemperature();
    void vantroStartsTheWindowAndEnds_data();
    void vantroStartsTheWindowAndEnds();
};

void TestWindowWin32::bigDigitsShowTheBoardsTemperature()
{
    BoardLine board;
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("windows"));
    environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
    environment.insert(QStringLiteral("QT_LOGGING_RULES"),
                       QStringLiteral("vantro.window.temperature.info=true"));
    window.setProcessEnvironment(environment);
    window.start(program(QStringLiteral("vantro-window.exe"), VANTRO_WINDOW_PATH),
                 {QStringLiteral("--port"), board.portPath()});
    QVERIFY(answerStartFrame(board));
    QByteArray said;
    QDeadlineTimer deadline(15000);
    while (!said.contains("vantro.window.temperature: 24.41") && !deadline.hasExpired()) {
        window.waitForReadyRead(100);
        said += window.readAllStandardError();
    }
    QVERIFY2(said.contains("vantro.window.temperature: 24.41"), said.constData());
    QVERIFY(FindWindowW(nullptr, Title));
    QVERIFY(waitForScreenshot());

    // Closed as the title bar's cross closes it.
    window.terminate();
    QVERIFY(window.waitForFinished(15000));
    QCOMPARE(window.exitStatus(), QProcess::NormalExit);
    QCOMPARE(window.exitCode(), 0);
}

void TestWindowWin32::vantroStartsTheWindowAndEnds_data()
{
    // How the program's own name begins its command line: a shell quotes a folder with blanks.
    QTest::addColumn<bool>("quoted");
    QTest::newRow("bare name") << false;
    QTest::newRow("quoted name") << true;
}

void TestWindowWin32::vantroStartsTheWindowAndEnds()
{
    QFETCH(bool, quoted);
    BoardLine board;
    QProcess vantro;
    if (quoted) {
        // The command line lives in the modifier, which lives as long as the process object.
        auto commandLine = std::make_shared<std::wstring>();
        vantro.setCreateProcessArgumentsModifier([commandLine](QProcess::CreateProcessArguments *create) {
            *commandLine = create->arguments;
            if (commandLine->front() != L'"') {
                const std::size_t end = commandLine->find(L' ');
                *commandLine = L'"' + commandLine->substr(0, end) + L'"' + commandLine->substr(end);
            }
            create->arguments = commandLine->data();
        });
    }
    vantro.start(program(QStringLiteral("vantro.exe"), VANTRO_PATH),
                 {QStringLiteral("--port"), board.portPath()});
    QVERIFY(vantro.waitForFinished(StartMs));
    QCOMPARE(vantro.exitCode(), 0);
    // The window opens the port named on vantro's command line.
    QVERIFY(answerStartFrame(board));
    HWND window = nullptr;
    QTRY_VERIFY_WITH_TIMEOUT((window = FindWindowW(nullptr, Title)) != nullptr, 15000);
    PostMessageW(window, WM_CLOSE, 0, 0);
    QTRY_VERIFY_WITH_TIMEOUT(!FindWindowW(nullptr, Title), 15000);
}

void TestWindowWin32::init()
{
    // The programs read the settings of this Wine prefix: every one at its default here.
    clearZorvaRegistry();
}

QTEST_GUILESS_MAIN(TestWindowWin32)
#include "tst_window_win32.moc"
