// Measures recording and the trend, as the program runs them:
//   record_bench write COUNT      the time of one recorded reading (its write, without the periodic sync)
//   record_bench stream SECONDS steady|changing [--no-record]   replies at the line's full rate (240 a
//   second) through the window with
//                                 recording on: CPU, and readings shown against lines in the file
//   record_bench make-week FOLDER 7 days of recorded files at one reading a second
//   record_bench week FOLDER      opening the Trend window on those 7 days, to the paint once they are
//                                 read, and repainting it
//   record_bench week-memory FOLDER  the memory that history takes, over the same window with no history
//   record_bench history FOLDER   opening the Trend window on "All" over long recorded files (ttyACM0, as
//                                 scripts/sample-readings.py writes them) while a virtual board sends 10
//                                 replies a second through a pseudo-terminal: the time to the paint that
//                                 shows them all, the longest the event loop was held up, the peak memory
//                                 and the replies the board sent that were not taken as readings
#include "app/form1.h"
#include "bench_support.h"
#include "link/link_controller.h"
#include "link/link_state.h"
#include "link/reply_recognition.h"
#include "protocol/reading_csv.h"
#include "record/reading_history.h"
#include "record/reading_recorder.h"
#include "trend/trend_chart.h"
#include "trend/trend_window.h"

#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QProcess>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtCore/QTimer>
#include <QtGui/QMouseEvent>
#include <QtWidgets/QAbstractButton>
#include <QtWidgets/QApplication>
#include <QtWidgets/QComboBox>
#include <QtWidgets/QLabel>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;

double usBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::micro>(to - from).count();
}

const QString WeekPort = QStringLiteral("/dev/ttyACM0");

void setRecording(const QString &folder, bool enabled)
{
    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZORVA"));
    settings.setValue(QStringLiteral("Recording/Enabled"), enabled);
    settings.setValue(QStringLiteral("Recording/Folder"), folder);
}

void showSevenDays(Form1 &form)
{
    form.showTrend();
    form.trendWindow()
        ->findChild<QComboBox *>(QStringLiteral("span"))
        ->setCurrentText(QStringLiteral("7 days"));
}

// Runs the event loop until a paint of `widget` finds `done` true; returns the ms `since` had then.
qint64 msUntilPaintedWhen(QWidget &widget, const QElapsedTimer &since, const std::function<bool()> &done)
{
    struct PaintWatch final : QObject
    {
        std::function<void()> painted;
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint)
                QTimer::singleShot(0, this, painted);
            return false;
        }
    } watch;
    qint64 paintedMs = -1;
    watch.painted = [&] {
        if (paintedMs < 0 && done())
            paintedMs = since.elapsed();
    };
    widget.installEventFilter(&watch);
    while (paintedMs < 0)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    widget.removeEventFilter(&watch);
    return paintedMs;
}

qint64 lineCount(const QString &folder)
{
    qint64 lines = 0;
    for (const QFileInfo &info : QDir(folder).entryInfoList(QDir::Files)) {
        QFile file(info.filePath());
        if (file.open(QIODevice::ReadOnly))
            lines += file.readAll().count('\n') - 1; // less the header
    }
    return lines;
}

int write(int count, const QString &folder)
{
    ReadingRecorder recorder;
    if (!recorder.start(folder))
        return 1;
    std::vector<double> samples;
    samples.reserve(size_t(count));
    const qint64 start = QDateTime::currentMSecsSinceEpoch();
    for (int i = 0; i < count; ++i) {
        const Reading reading = Reading::fromRaw(start + i, int16_t(40 + i % 20));
        const auto before = Clock::now();
        recorder.takeReading(reading, QStringLiteral("/dev/ttyACM0"));
        samples.push_back(usBetween(before, Clock::now()));
    }
    std::sort(samples.begin(), samples.end());
    std::printf("record_one samples=%d median_us=%.2f p99_us=%.2f worst_us=%.2f\n", count,
                samples[samples.size() / 2], samples[samples.size() * 99 / 100], samples.back());
    return 0;
}

// The window's own path for a reply: recognised into the window, then handed to every listener of the link,
// at the line's full rate.
int stream(int seconds, const QString &folder, bool changing, bool recording)
{
    setRecording(folder, recording);
    Form1 form;
    form.show();
    LinkState state;
    ReplyStream replies([&](qint64 n) {
        // A room's temperature moves a step a second at most; the worst case is a new one every reply.
        const auto low = uint8_t(40 + (changing ? n : n / ReplyStream::RepliesPerSecond) % 20);
        const uint8_t reply[8] = {0x16, 0x05, low, 0, 0x21, 0, 0, 0};
        if (auto reading = recogniseReply(state, reply, 8, form, QDateTime::currentMSecsSinceEpoch()))
            emit form.controller().readingTaken(*reading);
    });
    const double cpuBefore = cpuSeconds();
    replies.start();
    runFor(seconds * 1000);
    const double wall = replies.seconds();
    const double cpu = cpuSeconds() - cpuBefore;
    const qint64 sent = replies.sent();
    form.recorder().stop();
    std::printf("stream readings=%s recording=%s seconds=%.1f replies=%lld recorded=%lld cpu_percent=%.2f\n",
                changing ? "changing" : "steady", recording ? "on" : "off", wall,
                static_cast<long long>(sent), static_cast<long long>(lineCount(folder)), 100 * cpu / wall);
    return 0;
}

// The lines of the port's recorded files but their headers, read a piece at a time.
qint64 recordedReadings(const QString &folder, const QString &stem)
{
    qint64 lines = 0;
    std::vector<char> piece(1 << 20);
    for (const QFileInfo &info :
         QDir(folder).entryInfoList({QStringLiteral("*_") + stem + QStringLiteral(".csv")}, QDir::Files)) {
        QFile file(info.filePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (qint64 n; (n = file.read(piece.data(), qint64(piece.size()))) > 0;)
            lines += std::count(piece.begin(), piece.begin() + n, '\n');
        --lines;
    }
    return lines;
}

// The time between ticks of a 10 ms timer, as the receive poll's: how long the event loop was held up.
class StallWatch final
{
public:
    StallWatch()
    {
        m_tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&m_tick, &QTimer::timeout,
                         [this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_tick.start(10);
    }
    qint64 longestMs() const
    {
        return m_longest;
    }

private:
    QTimer m_tick;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
};

int history(const QString &folder)
{
    setRecording(folder, false);
    const qint64 recorded = recordedReadings(folder, QStringLiteral("ttyACM0"));
    // The board's port under a name whose files are the folder's.
    QTemporaryDir portFolder;
    const QString port = portFolder.filePath(QStringLiteral("ttyACM0"));
    QProcess board;
    board.start(QStringLiteral(VBOARD_PATH),
                {QStringLiteral("--interval"), QStringLiteral("100"), QStringLiteral("--link"), port});
    if (!board.waitForStarted() || !board.waitForReadyRead(5000))
        return 1;

    Form1 form;
    form.setText(TextBox::TCOM, port);
    form.show();
    qint64 taken = 0;
    QObject::connect(&form.controller(), &LinkController::readingTaken, [&] { ++taken; });
    form.findChild<QAbstractButton *>(QStringLiteral("cmdInitialize"))->click();
    runFor(1000);

    const long rssBefore = residentKb();
    StallWatch stalls;
    QElapsedTimer opening;
    opening.start();
    form.showTrend();
    TrendWindow &trend = *form.trendWindow();
    trend.findChild<QComboBox *>(QStringLiteral("span"))->setCurrentText(QStringLiteral("All"));
    const qint64 shownMs = msUntilPaintedWhen(trend.chart(), opening,
                                              [&] { return trend.chart().statistics().count >= recorded; });
    const long peak = peakResidentKb();
    runFor(1000);

    const qint64 longestStall = stalls.longestMs();
    board.terminate();
    board.waitForFinished();
    runFor(100);
    const qint64 replies = board.readAllStandardError().count("reply ");
    std::printf("history readings=%lld open_to_full_paint_ms=%lld longest_stall_ms=%lld rss_before_mb=%.1f "
                "peak_mb=%.1f rss_after_mb=%.1f replies=%lld taken=%lld lost=%lld\n",
                static_cast<long long>(trend.chart().statistics().count), static_cast<long long>(shownMs),
                static_cast<long long>(longestStall), double(rssBefore) / 1024, double(peak) / 1024,
                double(residentKb()) / 1024, static_cast<long long>(replies), static_cast<long long>(taken),
                static_cast<long long>(replies - taken));

    // What a new reading costs on "All": its columns over the whole history, and a paint.
    std::vector<double> redraw;
    for (int i = 0; i < 20; ++i) {
        const auto before = Clock::now();
        trend.chart().historyChanged();
        trend.chart().repaint();
        redraw.push_back(usBetween(before, Clock::now()) / 1000);
    }
    printFigures("history_redraw", redraw);
    return 0;
}

// Written by a process of its own: writing them here would leave the heap strewn with the text.
int makeWeek(const QString &folder)
{
    QDir().mkpath(folder);
    const qint64 end = QDateTime::currentMSecsSinceEpoch();
    constexpr qint64 Readings = 7 * 24 * 3600;
    QMap<int, QByteArray> days;
    for (qint64 i = 0; i < Readings; ++i) {
        const Reading reading = Reading::fromRaw(end - (Readings - i) * 1000, int16_t(40 + (i / 600) % 20));
        days[ReadingCsv::localDay(reading.timeMs)] += ReadingCsv::line(reading);
    }
    for (auto day = days.cbegin(); day != days.cend(); ++day) {
        QFile file(folder + QLatin1Char('/') + ReadingCsv::fileName(day.key(), WeekPort));
        if (file.open(QIODevice::WriteOnly))
            file.write(ReadingCsv::Header + day.value());
    }
    return 0;
}

int week(const QString &folder)
{
    setRecording(folder, false);
    // The files are fresh in the page cache, as a week of recording would leave them.
    Form1 form;
    form.setText(TextBox::TCOM, WeekPort);
    form.show();
    runFor(200);

    // To the end of the first paint of the chart on "7 days" once the files are read, which the note that
    // they are being read going away tells.
    QElapsedTimer opening;
    opening.start();
    showSevenDays(form);
    TrendWindow &trend = *form.trendWindow();
    const auto *reading = trend.findChild<QLabel *>(QStringLiteral("damagedLines"));
    const qint64 paintedMs = msUntilPaintedWhen(trend.chart(), opening, [&] { return reading->isHidden(); });
    const qsizetype readings = trend.chart().statistics().count;

    std::vector<double> hover;
    std::vector<double> resize;
    TrendChart &chart = trend.chart();
    for (int i = 0; i < 100; ++i) {
        const QPoint at(60 + i * 6, chart.height() / 2);
        QMouseEvent move(QEvent::MouseMove, at, chart.mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        auto before = Clock::now();
        QApplication::sendEvent(&chart, &move);
        chart.repaint();
        hover.push_back(usBetween(before, Clock::now()) / 1000);

        before = Clock::now();
        trend.resize(trend.width() + (i % 2 ? 7 : -7), trend.height());
        QCoreApplication::processEvents(); // the layout hands the chart its new size
        chart.repaint();
        resize.push_back(usBetween(before, Clock::now()) / 1000);
    }
    std::printf("week readings=%lld open_to_first_paint_ms=%lld\n", static_cast<long long>(readings),
                static_cast<long long>(paintedMs));
    printFigures("repaint_hover", hover);
    printFigures("repaint_resize", resize);
    return 0;
}

// The Trend window open on a port with no readings, then on the week's port: what the history adds.
int weekMemory(const QString &folder)
{
    setRecording(folder, false);
    Form1 form;
    form.setText(TextBox::TCOM, QStringLiteral("/dev/ttyNOTHING"));
    form.show();
    showSevenDays(form);
    runFor(1000);
    const long withoutKb = residentKb();
    form.setText(TextBox::TCOM, WeekPort);
    form.showTrend();
    runFor(1000);
    const qsizetype readings = form.trendWindow()->chart().statistics().count;
    std::printf(
        "week_memory readings=%lld rss_without_kb=%ld rss_with_kb=%ld history_bytes_per_reading=%.1f\n",
        static_cast<long long>(readings), withoutKb, residentKb(),
        double(residentKb() - withoutKb) * 1024 / double(readings));
    return 0;
}
} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const ThrowawayHome home;
    const QString folder = home.filePath(QStringLiteral("readings"));
    const QStringList arguments = app.arguments();
    const int amount = arguments.size() > 2 ? arguments.at(2).toInt() : 0;
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("write") && amount > 0)
        return write(amount, folder);
    if (arguments.size() >= 4 && arguments.at(1) == QLatin1String("stream") && amount > 0)
        return stream(amount, folder, arguments.at(3) == QLatin1String("changing"),
                      arguments.value(4) != QLatin1String("--no-record"));
    // The week's files: make-week FOLDER writes them, week FOLDER and week-memory FOLDER read them.
    const QString weekFolder = arguments.value(2);
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("make-week"))
        return makeWeek(weekFolder);
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("week"))
        return week(weekFolder);
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("week-memory"))
        return weekMemory(weekFolder);
    if (arguments.size() == 3 && arguments.at(1) == QLatin1String("history"))
        return history(weekFolder);
    std::fprintf(stderr, "usage: record_bench write COUNT | stream SECONDS steady|changing [--no-record] | "
                         "make-week FOLDER | week FOLDER | "
                         "week-memory FOLDER | history FOLDER\n");
    return 2;
}
