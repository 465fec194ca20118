#include "record/plausible_time.h"
#include "record/reading_history.h"
#include "trend/time_axis.h"
#include "trend/trend_chart.h"

#include <QtCore/QDateTime>
#include <QtTest/QtTest>

// Runs under TZ=Europe/Rome: days of 23 and 25 hours where summer time begins and ends.
namespace {
using Unit = TimeAxis::Step::Unit;
constexpr int Spacing = 90;
constexpr qint64 Hour = 3600 * 1000LL;

qint64 local(const char *iso)
{
    return QDateTime::fromString(QString::fromLatin1(iso), Qt::ISODate).toMSecsSinceEpoch();
}

// The tick a step before.
qint64 stepBack(qint64 t, const TimeAxis::Step &step)
{
    const QDate date = QDateTime::fromMSecsSinceEpoch(t).date();
    switch (step.unit) {
    case Unit::Days:
        return date.addDays(-step.count).startOfDay().toMSecsSinceEpoch();
    case Unit::Months:
        return date.addMonths(-int(step.count)).startOfDay().toMSecsSinceEpoch();
    case Unit::Years:
        return date.addYears(-int(step.count)).startOfDay().toMSecsSinceEpoch();
    case Unit::Milliseconds:
        break;
    }
    return t - step.count;
}

// The calendar distance between two ticks, in the step's unit.
qint64 distance(qint64 from, qint64 to, Unit unit)
{
    const QDate a = QDateTime::fromMSecsSinceEpoch(from).date();
    const QDate b = QDateTime::fromMSecsSinceEpoch(to).date();
    switch (unit) {
    case Unit::Days:
        return a.daysTo(b);
    case Unit::Months:
        return (b.year() - a.year()) * 12 + b.month() - a.month();
    case Unit::Years:
        return b.year() - a.year();
    case Unit::Milliseconds:
        break;
    }
    return to - from;
}

// A tick stands on the round local time its step calls for.
bool isRound(qint64 t, const TimeAxis::Step &step)
{
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(t);
    const QTime time = at.time();
    switch (step.unit) {
    case Unit::Years:
        return at.date().month() == 1 && at.date().day() == 1 && time == QTime(0, 0) &&
               at.date().year() % step.count == 0;
    case Unit::Months:
        return at.date().day() == 1 && time == QTime(0, 0) && (at.date().month() - 1) % step.count == 0;
    case Unit::Days:
        return time == QTime(0, 0) && at.date().toJulianDay() % step.count == 0;
    case Unit::Milliseconds:
        break;
    }
    return (time.msecsSinceStartOfDay() % step.count) == 0;
}
} // namespace

class TestTrendAxis : public QObject
{
    Q_OBJECT

private slots:
    void ticksFollowTheStepAndFit_data();
    void ticksFollowTheStepAndFit();
    void labelsOfLongSteps();
    void allLeavesOutReadingsOfAClockNotYetSet();
    void allOfReadingsThatAreAllImplausibleShowsThem();
};

void TestTrendAxis::ticksFollowTheStepAndFit_data()
{
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("unit");
    QTest::addColumn<qint64>("count");

    const qint64 now = local("2026-12-07T11:22:33");
    QTest::newRow("10 min") << now - 600000 << now << 700 << int(Unit::Milliseconds) << 120000LL;
    QTest::newRow("1 h") << now - Hour << now << 700 << int(Unit::Milliseconds) << 600000LL;
    QTest::newRow("24 h") << now - 24 * Hour << now << 700 << int(Unit::Milliseconds) << 6 * Hour;
    QTest::newRow("7 days") << now - 168 * Hour << now << 700 << int(Unit::Days) << 1LL;
    QTest::newRow("30 days") << now - 720 * Hour << now << 700 << int(Unit::Days) << 7LL;
    QTest::newRow("30 days over the end of summer time")
        << local("2026-10-10T05:00:00") << local("2026-11-09T05:00:00") << 700 << int(Unit::Days) << 7LL;
    QTest::newRow("7 days on a narrow chart") << now - 168 * Hour << now << 300 << int(Unit::Days) << 7LL;
    // A day of 23 hours would bring daily labels too close together.
    QTest::newRow("7 days over the start of summer time")
        << local("2026-03-25T12:00:00") << local("2026-04-01T12:00:00") - Hour << 640 << int(Unit::Days)
        << 2LL;
    // So would February, for monthly ones.
    QTest::newRow("120 days over February")
        << local("2026-12-01T00:00:00") << local("2027-03-31T00:00:00") << 370 << int(Unit::Months) << 2LL;
    QTest::newRow("120 days") << now - 2880 * Hour << now << 700 << int(Unit::Months) << 1LL;
    QTest::newRow("a year") << now - 8760 * Hour << now << 700 << int(Unit::Months) << 2LL;
    QTest::newRow("a clock not yet set: 1970 to now") << 0LL << now << 700 << int(Unit::Years) << 10LL;
    QTest::newRow("now to the year 9999")
        << now << local("9999-12-31T23:59:59") << 700 << int(Unit::Years) << 2000LL;
    QTest::newRow("before 1970") << local("1969-12-31T23:55:50") << local("1970-01-01T00:05:50") << 700
                                 << int(Unit::Milliseconds) << 120000LL;
}

void TestTrendAxis::ticksFollowTheStepAndFit()
{
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, width);
    QFETCH(int, unit);
    QFETCH(qint64, count);

    const TimeAxis::Step step = TimeAxis::step(to - from, width, Spacing);
    QCOMPARE(int(step.unit), unit);
    QCOMPARE(step.count, count);
    const std::vector<qint64> ticks = TimeAxis::ticks(from, to, step);
    QVERIFY2(!ticks.empty() && ticks.size() <= size_t(width / Spacing + 1),
             qPrintable(QString::number(ticks.size())));
    // The first tick is the first round time of the span.
    QVERIFY(ticks.front() >= from && stepBack(ticks.front(), step) < from && ticks.back() < to);
    for (size_t i = 0; i < ticks.size(); ++i) {
        QVERIFY2(isRound(ticks[i], step), qPrintable(QDateTime::fromMSecsSinceEpoch(ticks[i]).toString()));
        if (i == 0)
            continue;
        QCOMPARE(distance(ticks[i - 1], ticks[i], step.unit), step.count);
        const double pixels = double(ticks[i] - ticks[i - 1]) * width / double(to - from);
        QVERIFY2(pixels >= Spacing, qPrintable(QString::number(pixels)));
    }
}

void TestTrendAxis::labelsOfLongSteps()
{
    const qint64 t = local("2030-01-01T00:00:00");
    QCOMPARE(TimeAxis::label(t, {Unit::Years, 10}, 0), QStringLiteral("2030"));
    QCOMPARE(TimeAxis::label(t, {Unit::Months, 2}, 0), QStringLiteral("Jan 2030"));
    QCOMPARE(TimeAxis::label(t, {Unit::Days, 7}, 0), QStringLiteral("Tue 1 Jan"));
    QCOMPARE(TimeAxis::label(t + 5 * Hour, {Unit::Milliseconds, Hour}, 25 * Hour),
             QStringLiteral("Tue 05:00"));
}

// A board read before the clock was set: its readings are kept, but "All" runs over the real history.
void TestTrendAxis::allLeavesOutReadingsOfAClockNotYetSet()
{
    ReadingHistory history;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (qint64 i = 30 * 24; i > 0; --i)
        history.add(Reading::fromRaw(now - i * Hour, 45));
    history.add(Reading::fromRaw(12000, 46));
    history.add(Reading::fromRaw(PlausibleTime::latestMs(now) + Hour, 47));
    TrendChart chart(history);
    chart.resize(800, 400);
    chart.setSpan(TrendChart::AllSpan);
    QCOMPARE(chart.viewFrom(), now - 30 * 24 * Hour);
    QCOMPARE(chart.viewTo(), now - Hour + 1);
    QCOMPARE(chart.statistics().count, 30 * 24);
    QVERIFY(!chart.grab().isNull());
    QCOMPARE(history.size(), 30 * 24 + 2);
}

void TestTrendAxis::allOfReadingsThatAreAllImplausibleShowsThem()
{
    ReadingHistory history;
    for (qint64 t = 0; t < 10; ++t)
        history.add(Reading::fromRaw(t * 1000, 45));
    history.add(Reading::fromRaw(local("9999-12-31T23:59:59"), 45));
    TrendChart chart(history);
    chart.resize(800, 400);
    chart.setSpan(TrendChart::AllSpan);
    QCOMPARE(chart.viewFrom(), 0);
    QCOMPARE(chart.statistics().count, 11);
    QVERIFY(!chart.grab().isNull());
}

QTEST_MAIN(TestTrendAxis)
#include "tst_trend_axis.moc"
