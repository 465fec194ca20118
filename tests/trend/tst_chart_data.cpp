#include "record/reading_history.h"
#include "trend/chart_data.h"

#include <QtTest/QtTest>

namespace {
constexpr qint64 Start = 1796638953000;
constexpr qint64 Week = 7 * 24 * 3600 * 1000LL;
constexpr int Width = 800;
} // namespace

class TestChartData : public QObject
{
    Q_OBJECT

private slots:
    void aWeekKeepsItsSpikeAndItsGap();
    void theHighestAndLowestOfASpan_data();
    void theHighestAndLowestOfASpan();
    void columnsAgreeWithEveryReading_data();
    void columnsAgreeWithEveryReading();
};

// A week at one reading a second, one reading of a spike and half an hour with the board away.
void TestChartData::aWeekKeepsItsSpikeAndItsGap()
{
    ReadingHistory history;
    const qint64 spikeAt = Start + 3 * 24 * 3600 * 1000LL + 777;
    const qint64 gapFrom = Start + 5 * 24 * 3600 * 1000LL;
    const qint64 gapTo = gapFrom + 30 * 60 * 1000;
    for (qint64 t = Start; t < Start + Week; t += 1000) {
        if (t < gapFrom || t >= gapTo)
            history.add(Reading::fromRaw(t, int16_t(45 + (t / 1000) % 2)));
    }
    history.add(Reading::fromRaw(spikeAt, 200));

    const ChartData data = chartData(history, Start, Start + Week, Width, 5 * history.usualIntervalMs());
    QCOMPARE(int(data.columns.size()), Width);
    const auto column = [](qint64 t) { return size_t((t - Start) * Width / Week); };
    QCOMPARE(data.columns[column(spikeAt)].max, Reading::fromRaw(0, 200).hundredths);
    QCOMPARE(data.statistics.max, Reading::fromRaw(0, 200).hundredths);
    QCOMPARE(data.statistics.maxTime, spikeAt);
    QCOMPARE(data.statistics.min, Reading::fromRaw(0, 45).hundredths);

    // The gap is not bridged: the first column after it is not joined to the last before it.
    QVERIFY(!data.columns[column(gapTo)].joinsPrevious);
    QVERIFY(data.columns[column(gapTo) + 1].joinsPrevious);
    for (size_t x = column(gapFrom) + 1; x < column(gapTo); ++x)
        QVERIFY(!data.columns[x].hasData);
    QCOMPARE(data.statistics.count, history.size());
}

void TestChartData::theHighestAndLowestOfASpan_data()
{
    QTest::addColumn<QList<int>>("raws"); // one a second from Start
    QTest::addColumn<int>("highest");     // the index of the highest reading, the first if it repeats
    QTest::addColumn<int>("lowest");
    QTest::newRow("all below zero") << QList<int>{-300, -40, -41, -200} << 1 << 0;
    QTest::newRow("all below zero, the highest last") << QList<int>{-300, -200, -41, -2} << 3 << 0;
    QTest::newRow("one below zero") << QList<int>{-3} << 0 << 0;
    QTest::newRow("across zero") << QList<int>{-10, 5, 0, -20} << 1 << 3;
    QTest::newRow("all above zero, the lowest last") << QList<int>{40, 45, 41, 3} << 1 << 3;
    QTest::newRow("all the same") << QList<int>{-7, -7, -7} << 0 << 0;
}

void TestChartData::theHighestAndLowestOfASpan()
{
    QFETCH(QList<int>, raws);
    QFETCH(int, highest);
    QFETCH(int, lowest);
    ReadingHistory history;
    for (int i = 0; i < raws.size(); ++i)
        history.add(Reading::fromRaw(Start + i * 1000, int16_t(raws[i])));
    const ChartData data = chartData(history, Start, Start + 60000, Width, 5000);
    const SpanStatistics &s = data.statistics;
    QCOMPARE(s.count, raws.size());
    QCOMPARE(s.max, Reading::fromRaw(0, int16_t(raws[highest])).hundredths);
    QCOMPARE(s.maxTime, Start + highest * 1000);
    QCOMPARE(s.min, Reading::fromRaw(0, int16_t(raws[lowest])).hundredths);
    QCOMPARE(s.minTime, Start + lowest * 1000);
    QCOMPARE(s.now, Reading::fromRaw(0, int16_t(raws.last())).hundredths);
}

void TestChartData::columnsAgreeWithEveryReading_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("skip");     // readings before the span
    QTest::addColumn<int>("leave");    // readings after it
    QTest::addColumn<int>("interval"); // ms between readings; a second's have a gap one time in twenty
    QTest::newRow("a few in one column") << 5 << 1 << 0 << 0 << 1000;
    QTest::newRow("blocks in one column") << 3000 << 1 << 17 << 300 << 1000;
    QTest::newRow("fewer than the columns") << 300 << 700 << 0 << 0 << 1000;
    QTest::newRow("as far apart as the gap allows") << 300 << 700 << 0 << 0 << 5000;
    QTest::newRow("blocks across columns") << 20000 << 7 << 255 << 257 << 1000;
    QTest::newRow("many per column") << 100000 << 700 << 1000 << 1 << 1000;
    // A reading at every millisecond stands on each column's first time.
    QTest::newRow("every millisecond") << 3000 << 7 << 0 << 0 << 1;
    QTest::newRow("every millisecond, columns of whole milliseconds") << 3500 << 7 << 0 << 0 << 1;
}

// Against each reading taken one by one: the columns and the figures of a span are the same whichever way
// they are summed up, ties to the first reading.
void TestChartData::columnsAgreeWithEveryReading()
{
    QFETCH(int, count);
    QFETCH(int, width);
    QFETCH(int, skip);
    QFETCH(int, leave);
    QFETCH(int, interval);
    QRandomGenerator random(quint32(count + width));
    ReadingHistory history;
    qint64 t = Start;
    for (int i = 0; i < count; ++i) {
        t += interval > 1 && random.bounded(20) == 0 ? random.bounded(1, 60000) : interval;
        history.add(Reading::fromRaw(t, int16_t(random.bounded(40, 48))));
    }
    const qint64 from = history.timeAt(skip);
    const qint64 to = history.timeAt(count - 1 - leave) + 1;
    const qint64 gap = 5000;
    const ChartData data = chartData(history, from, to, width, gap);

    std::vector<ChartColumn> columns(static_cast<size_t>(width));
    SpanStatistics expected;
    double sum = 0;
    for (qsizetype i = history.lowerBound(from); i < history.lowerBound(to); ++i) {
        const qint64 at = history.timeAt(i);
        const int32_t value = history.hundredthsAt(i);
        ChartColumn &c = columns[size_t((at - from) * width / (to - from))];
        if (!c.hasData)
            c = {value, value, value, value, at, true, i > 0 && at - history.timeAt(i - 1) <= gap};
        c.min = qMin(c.min, value);
        c.max = qMax(c.max, value);
        c.last = value;
        if (expected.count == 0 || value < expected.min)
            std::tie(expected.min, expected.minTime) = std::pair{value, at};
        if (expected.count == 0 || value > expected.max)
            std::tie(expected.max, expected.maxTime) = std::pair{value, at};
        std::tie(expected.now, expected.nowTime) = std::pair{value, at};
        sum += value;
        ++expected.count;
    }
    for (size_t x = 0; x < columns.size(); ++x) {
        const ChartColumn &a = data.columns[x];
        const ChartColumn &b = columns[x];
        QVERIFY2(a.hasData == b.hasData && a.min == b.min && a.max == b.max && a.first == b.first &&
                     a.last == b.last && a.firstTime == b.firstTime && a.joinsPrevious == b.joinsPrevious,
                 qPrintable(QStringLiteral("column %1").arg(x)));
    }
    const SpanStatistics &s = data.statistics;
    QCOMPARE(s.count, expected.count);
    QCOMPARE(s.min, expected.min);
    QCOMPARE(s.minTime, expected.minTime);
    QCOMPARE(s.max, expected.max);
    QCOMPARE(s.maxTime, expected.maxTime);
    QCOMPARE(s.now, expected.now);
    QCOMPARE(s.nowTime, expected.nowTime);
    QCOMPARE(s.mean, sum / double(expected.count));
}

QTEST_GUILESS_MAIN(TestChartData)
#include "tst_chart_data.moc"
