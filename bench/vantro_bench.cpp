// Measures the window and its link in this process, as the program runs them, against a board on
// a pseudo-terminal:
//   vantro_bench latency SAMPLES  command and display latency, one line of figures per sample kind
//   vantro_bench presence SAMPLES the presence query's reply window, click to check: min, median, max
//   vantro_bench flood SECONDS    CPU, resident memory and log length under a flooding board
//   vantro_bench rate MS SECONDS  the board replying every MS ms through the pseudo-terminal into the real
//                                 link: replies sent against readings taken
#include "app/form1.h"
#include "bench_support.h"
#include "link/link_controller.h"
#include "pseudo_terminal.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QProcess>
#include <QtCore/QRandomGenerator>
#include <QtCore/QSettings>
#include <QtCore/QTimer>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <poll.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// The board's end: a thread that reads every byte the program sends the moment it arrives,
// so the time of the last byte of a frame is not held up by the program's own event loop.
class BoardReader final
{
public:
    explicit BoardReader(int masterFd) : m_fd(masterFd), m_thread([this] { run(); }) {}
    ~BoardReader()
    {
        m_stop = true;
        m_thread.join();
    }
    // Waits, running the program's event loop, until `count` bytes have come; returns the last one's time.
    Clock::time_point waitForBytes(size_t count)
    {
        QEventLoop loop;
        QTimer giveUp;
        QObject::connect(&giveUp, &QTimer::timeout, &loop, &QEventLoop::quit);
        giveUp.start(2000);
        {
            std::lock_guard lock(m_mutex);
            m_wanted = count;
            m_wake = &loop;
            if (m_times.size() >= count)
                return m_times[count - 1];
        }
        loop.exec();
        std::lock_guard lock(m_mutex);
        m_wake = nullptr;
        return m_times.size() >= count ? m_times[count - 1] : Clock::time_point{};
    }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_times.clear();
    }

private:
    void run()
    {
        while (!m_stop) {
            pollfd fd{m_fd, POLLIN, 0};
            if (::poll(&fd, 1, 50) <= 0)
                continue;
            char buffer[256];
            const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
            const Clock::time_point now = Clock::now();
            std::lock_guard lock(m_mutex);
            for (ssize_t i = 0; i < n; ++i)
                m_times.push_back(now);
            if (m_wake && m_times.size() >= m_wanted)
                QMetaObject::invokeMethod(m_wake, &QEventLoop::quit, Qt::QueuedConnection);
        }
    }

    int m_fd;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Clock::time_point> m_times;
    size_t m_wanted = 0;
    QEventLoop *m_wake = nullptr;
    std::thread m_thread;
};

template <typename T = QWidget> T *control(Form1 &form, const char *name)
{
    return form.findChild<T *>(QString::fromLatin1(name));
}

int latency(int samples)
{
    PseudoTerminal line;
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("SENSORE_TEMP/TCOM"), line.portPath());
    Form1 form;
    form.show();
    BoardReader board(line.masterFd());
    control<QAbstractButton>(form, "cmdInitialize")->click();
    if (board.waitForBytes(6) == Clock::time_point{}) {
        std::fprintf(stderr, "the port did not open\n");
        return 1;
    }

    // START clicked -> last byte of the frame read at the board.
    std::vector<double> command;
    auto *start = control<QAbstractButton>(form, "Command3");
    for (int i = 0; i < samples; ++i) {
        runFor(int(QRandomGenerator::global()->bounded(20, 40)));
        board.clear();
        const Clock::time_point clicked = Clock::now();
        start->click();
        const Clock::time_point last = board.waitForBytes(6);
        command.push_back(msBetween(clicked, last));
    }
    printFigures("command_latency", command);

    // Last reply byte written by the board -> LTemp shows the reading.
    std::vector<double> display;
    auto *temperature = control<QLabel>(form, "LTemp");
    Clock::time_point written;
    QEventLoop shown;
    QString before;
    QObject::connect(&form.receiveClock(), &ReceiveClock::timeout, [&] {
        if (temperature->text() != before) {
            display.push_back(msBetween(written, Clock::now()));
            shown.quit();
        }
    });
    for (int i = 0; i < samples; ++i) {
        // At a random moment, so the grid of the receive poll is met at every phase.
        runFor(int(QRandomGenerator::global()->bounded(20, 40)));
        before = temperature->text();
        const char raw = char(40 + i % 2);
        const char reply[] = {0x16, 0x05, raw, 0x00, 0x21, 0x00, 0x00, 0x00};
        written = Clock::now();
        line.write(QByteArray(reply, sizeof reply));
        QTimer::singleShot(2000, &shown, &QEventLoop::quit);
        shown.exec();
    }
    if (display.size() != size_t(samples)) {
        std::fprintf(stderr, "only %zu of %d replies were shown\n", display.size(), samples);
        return 1;
    }
    printFigures("display_latency", display);
    return 0;
}

// Starts the virtual board and names its port as the one the window will open.
bool startBoard(QProcess &board, const QStringList &arguments)
{
    board.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    board.start(QStringLiteral(VBOARD_PATH), arguments);
    if (!board.waitForStarted() || !board.waitForReadyRead(5000))
        return false;
    const QString port = QString::fromLocal8Bit(board.readLine()).trimmed();
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("SENSORE_TEMP/TCOM"), port);
    return true;
}

int flood(int seconds)
{
    QProcess board;
    if (!startBoard(board, {QStringLiteral("--flood")}))
        return 1;

    Form1 form;
    form.show();
    control<QCheckBox>(form, "Check1")->setChecked(true);
    qsizetype longestLog = 0;
    auto *log = control<QLineEdit>(form, "TextBin");
    QObject::connect(&form.receiveClock(), &ReceiveClock::timeout,
                     [&] { longestLog = std::max(longestLog, log->text().size()); });
    control<QAbstractButton>(form, "cmdInitialize")->click();

    // The first ten seconds settle the allocator and Qt's caches; growth is counted after them.
    runFor(10000);
    const long settledKb = residentKb();
    const double cpuAtSettled = cpuSeconds();
    const int32_t bytesAtSettled = form.controller().state().NByteRicevuti;
    QElapsedTimer measured;
    measured.start();
    runFor((seconds - 10) * 1000);
    const double wall = double(measured.elapsed()) / 1000;
    const double cpu = cpuSeconds() - cpuAtSettled;
    const int32_t bytes = form.controller().state().NByteRicevuti - bytesAtSettled;
    std::printf("flood seconds=%.1f cpu_percent=%.2f rss_settled_kb=%ld rss_growth_kb=%ld longest_log=%lld "
                "bytes_per_second=%.0f\n",
                wall, 100 * cpu / wall, settledKb, residentKb() - settledKb,
                static_cast<long long>(longestLog), bytes / wall);
    board.terminate();
    board.waitForFinished();
    return 0;
}

// The readings the link takes from a board that replies every `intervalMs`, through the real port: one reply
// is recognised per 10 ms receive poll, and a poll that finds more than one reply takes none.
int rate(int intervalMs, int seconds)
{
    QProcess board;
    board.start(QStringLiteral(VBOARD_PATH), {QStringLiteral("--interval"), QString::number(intervalMs)});
    if (!board.waitForStarted() || !board.waitForReadyRead(5000))
        return 1;
    const QString port = QString::fromLocal8Bit(board.readLine()).trimmed();
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("SENSORE_TEMP/TCOM"), port);
    Form1 form;
    form.show();
    qint64 taken = 0;
    QObject::connect(&form.controller(), &LinkController::readingTaken, [&] { ++taken; });
    QElapsedTimer elapsed;
    elapsed.start();
    control<QAbstractButton>(form, "cmdInitialize")->click();
    runFor(seconds * 1000);
    board.terminate();
    board.waitForFinished();
    runFor(100);
    const double wall = double(elapsed.elapsed() - 100) / 1000;
    const qint64 replies = board.readAllStandardError().count("reply ");
    std::printf("port_rate interval_ms=%d seconds=%.1f replies=%lld taken=%lld replies_per_second=%.1f "
                "readings_per_second=%.1f\n",
                intervalMs, wall, static_cast<long long>(replies), static_cast<long long>(taken),
                double(replies) / wall, double(taken) / wall);
    return 0;
}

// The presence query's reply window: from the click on PRESENZA  PIC to the reply check, against a board that
// answers every query and sends no temperature that could clear the count.
int presence(int samples)
{
    QProcess board;
    if (!startBoard(board, {QStringLiteral("--interval"), QStringLiteral("100000000")}))
        return 1;
    Form1 form;
    form.show();
    control<QAbstractButton>(form, "cmdInitialize")->click();
    runFor(100);

    std::vector<double> windows;
    Clock::time_point clicked;
    QObject::connect(&form.timer(LinkTimer::TimerRispostaInterrogazione), &QTimer::timeout,
                     [&] { windows.push_back(msBetween(clicked, Clock::now())); });
    auto *query = control<QAbstractButton>(form, "Command2");
    for (int i = 0; i < samples; ++i) {
        clicked = Clock::now();
        query->click();
        while (windows.size() <= size_t(i))
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        runFor(int(QRandomGenerator::global()->bounded(10, 40)));
    }
    std::sort(windows.begin(), windows.end());
    std::printf("presence_window samples=%d min_ms=%.2f median_ms=%.2f max_ms=%.2f\n", samples,
                windows.front(), windows[windows.size() / 2], windows.back());
    board.terminate();
    board.waitForFinished();
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const ThrowawayHome home;
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("rate") && arguments.at(2).toInt() > 0 &&
        arguments.at(3).toInt() > 0)
        return rate(arguments.at(2).toInt(), arguments.at(3).toInt());
    if (arguments.size() != 3) {
        std::fprintf(stderr, "usage: vantro_bench latency SAMPLES | presence SAMPLES | flood SECONDS | "
                             "rate MS SECONDS\n");
        return 2;
    }
    const int amount = arguments.at(2).toInt();
    if (arguments.at(1) == QLatin1String("latency"))
        return latency(amount);
    if (arguments.at(1) == QLatin1String("presence"))
        return presence(amount);
    if (arguments.at(1) == QLatin1String("flood") && amount > 10)
        return flood(amount);
    std::fprintf(stderr,
                 "usage: vantro_bench latency SAMPLES | presence SAMPLES | flood SECONDS (more than 10) | "
                 "rate MS SECONDS\n");
    return 2;
}
