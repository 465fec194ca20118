#include "trend_chart.h"

#include "alert/alert_watch.h"
#include "protocol/temperature_text.h"
#include "record/plausible_time.h"
#include "record/reading_history.h"
#include "trend/time_axis.h"

#include <QtCore/QDateTime>
#include <QtCore/QLocale>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QWheelEvent>

#include <cmath>

namespace {
constexpr qint64 Second = 1000;
constexpr qint64 Minute = 60 * Second;
constexpr qint64 Hour = 60 * Minute;
constexpr int MarginLeft = 56;
constexpr int MarginRight = 12;
constexpr int MarginTop = 10;
constexpr int MarginBottom = 24;
constexpr int MinLabelSpacing = 90;

// A tick step of 1, 2 or 5 times a power of ten hundredths, for about five labels.
int32_t valueStep(int32_t range)
{
    int32_t step = 1;
    while (true) {
        for (int32_t m : {1, 2, 5}) {
            if (range / (step * m) <= 5)
                return step * m;
        }
        step *= 10;
    }
}

QString degrees(int32_t hundredths)
{
    return hundredthsText(hundredths, localeDecimalPoint()) + QStringLiteral(" \u00B0C");
}
} // namespace

TrendChart::TrendChart(const ReadingHistory &history, QWidget *parent) : QWidget(parent), m_history(history)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(QStringLiteral("Temperature trend"));
}

TrendChart::~TrendChart() = default;

void TrendChart::setSpan(qint64 spanMs)
{
    m_span = spanMs;
    recompute();
}

qint64 TrendChart::span() const
{
    return m_span;
}

void TrendChart::followNewest()
{
    setFollowing(true);
    recompute();
}

bool TrendChart::isFollowing() const
{
    return m_following;
}

void TrendChart::historyChanged()
{
    recompute();
}

qint64 TrendChart::viewFrom() const
{
    return m_from;
}

qint64 TrendChart::viewTo() const
{
    return m_to;
}

const SpanStatistics &TrendChart::statistics() const
{
    return m_data.statistics;
}

QString TrendChart::hoverText(int x) const
{
    const QRect plot = plotRect();
    const ReadingHistory &shown = *m_shown;
    if (x < plot.left() || x > plot.right())
        return {};
    // The reading nearest the pointer, if it is within a column of it; where the older days are kept as
    // minutes, the minute's mean.
    const qint64 t = timeAtX(x);
    const qint64 columnMs = qMax<qint64>(1, (m_to - m_from) / qMax(1, plot.width()));
    const auto near = [&](qint64 at) { return qAbs(at - t) <= columnMs && at >= m_from && at < m_to; };
    if (shown.size() > 0) {
        qsizetype i = shown.lowerBound(t);
        if (i == shown.size() || (i > 0 && t - shown.timeAt(i - 1) < shown.timeAt(i) - t))
            --i;
        if (near(shown.timeAt(i))) {
            const QDateTime local = QDateTime::fromMSecsSinceEpoch(shown.timeAt(i));
            return QLocale().toString(local, QStringLiteral("ddd d MMM HH:mm:ss")) + QStringLiteral("  ") +
                   degrees(shown.hundredthsAt(i));
        }
    }
    const MinuteSummary *minute = shown.olderMinutes().nearest(t);
    if (!minute || !near(minute->startMs()))
        return {};
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(minute->startMs());
    return QLocale().toString(local, QStringLiteral("ddd d MMM HH:mm")) + QStringLiteral("  ") +
           degrees(int32_t(std::lround(minute->span().mean())));
}

QSize TrendChart::sizeHint() const
{
    return {720, 360};
}

QSize TrendChart::minimumSizeHint() const
{
    return {240, 140};
}

QRect TrendChart::plotRect() const
{
    return rect().adjusted(MarginLeft, MarginTop, -MarginRight, -MarginBottom);
}

void TrendChart::recompute()
{
    const qsizetype n = m_history.size();
    const qint64 newest = n > 0 ? m_history.timeAt(n - 1) + 1 : QDateTime::currentMSecsSinceEpoch();
    if (m_span == AllSpan) {
        // From the oldest to the newest reading with a plausible time, if any: readings from a clock not
        // yet set are kept, and shown by the spans that reach them, but do not stretch "All" over decades.
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        qsizetype first = m_history.lowerBound(PlausibleTime::earliestMs());
        qsizetype last = m_history.lowerBound(PlausibleTime::latestMs(now) + 1);
        if (first == last) {
            first = 0;
            last = n;
        }
        qint64 allNewest = n > 0 ? m_history.timeAt(last - 1) + 1 : newest;
        qint64 oldest = n > 0 ? m_history.timeAt(first) : newest - Hour;
        const std::vector<MinuteSummary> &older = m_history.olderMinutes().minutes();
        if (!older.empty()) {
            oldest = n > 0 ? qMin(oldest, older.front().span().firstTime) : older.front().span().firstTime;
            allNewest =
                n > 0 ? qMax(allNewest, older.back().span().lastTime + 1) : older.back().span().lastTime + 1;
        }
        m_to = m_following ? allNewest : m_end;
        m_from = m_following ? oldest : m_end - (allNewest - oldest);
        if (m_to - m_from < Minute)
            m_from = m_to - Minute;
    } else {
        m_to = m_following ? newest : m_end;
        m_from = m_to - m_span;
    }
    const int width = qMax(1, plotRect().width());
    m_shown = &m_history.fineFor(m_from, m_to, (m_to - m_from) / width, m_fine);
    m_data = chartData(*m_shown, m_from, m_to, width, GapIntervals * m_history.usualIntervalMs());

    bool any = false;
    for (const ChartColumn &c : m_data.columns) {
        if (!c.hasData)
            continue;
        m_low = any ? qMin(m_low, c.min) : c.min;
        m_high = any ? qMax(m_high, c.max) : c.max;
        any = true;
    }
    if (!any) {
        m_low = 0;
        m_high = 3000;
    }
    // A little room above and below, and never less than a degree from top to bottom.
    const int32_t pad = qMax<int32_t>(50, (m_high - m_low) / 20);
    m_low -= pad;
    m_high += pad;
    update();
    emit viewChanged();
}

void TrendChart::moveEndTo(qint64 endMs)
{
    setFollowing(false);
    m_end = endMs;
    recompute();
}

void TrendChart::setFollowing(bool following)
{
    if (m_following == following)
        return;
    if (!following)
        m_end = m_to;
    m_following = following;
    emit followingChanged(following);
}

qint64 TrendChart::timeAtX(int x) const
{
    const QRect plot = plotRect();
    return m_from + qint64(double(x - plot.left()) * double(m_to - m_from) / double(qMax(1, plot.width())));
}

double TrendChart::yOf(int32_t hundredths) const
{
    const QRect plot = plotRect();
    return plot.bottom() - double(hundredths - m_low) * plot.height() / double(qMax(1, m_high - m_low));
}

void TrendChart::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRect plot = plotRect();
    const QColor grid = palette().mid().color();
    const QColor text = palette().text().color();

    // Value axis.
    const int32_t vStep = valueStep(m_high - m_low);
    p.setPen(text);
    for (int32_t v = (m_low / vStep + (m_low > 0 ? 1 : 0)) * vStep; v <= m_high; v += vStep) {
        const int y = int(std::lround(yOf(v)));
        p.setPen(grid);
        p.drawLine(plot.left(), y, plot.right(), y);
        p.setPen(text);
        p.drawText(QRect(0, y - 8, MarginLeft - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                   hundredthsText(v, localeDecimalPoint()).chopped(vStep >= 100 ? 3 : 0));
    }
    p.drawText(QRect(0, 0, MarginLeft - 6, MarginTop + 2), Qt::AlignRight | Qt::AlignTop,
               QStringLiteral("\u00B0C"));

    // Time axis, on round local clock times.
    const qint64 span = m_to - m_from;
    const TimeAxis::Step tStep = TimeAxis::step(span, plot.width(), MinLabelSpacing);
    for (qint64 t : TimeAxis::ticks(m_from, m_to, tStep)) {
        const int x = plot.left() + int(double(t - m_from) * plot.width() / double(span));
        p.setPen(grid);
        p.drawLine(x, plot.top(), x, plot.bottom());
        p.setPen(text);
        p.drawText(QRect(x - MinLabelSpacing / 2, plot.bottom() + 4, MinLabelSpacing, MarginBottom - 4),
                   Qt::AlignHCenter | Qt::AlignTop, TimeAxis::label(t, tStep, span));
    }
    p.setPen(text);
    p.drawRect(plot.adjusted(0, 0, -1, -1));

    // The readings: a vertical stroke per column from its lowest to its highest, joined to the column before
    // unless a gap lies between.
    std::vector<QLineF> lines;
    lines.reserve(m_data.columns.size() * 2);
    std::vector<QPointF> dots;
    int previous = -1;
    for (int x = 0; x < int(m_data.columns.size()); ++x) {
        const ChartColumn &c = m_data.columns[size_t(x)];
        if (!c.hasData)
            continue;
        const double px = plot.left() + x + 0.5;
        if (c.joinsPrevious && previous >= 0) {
            const ChartColumn &before = m_data.columns[size_t(previous)];
            lines.emplace_back(plot.left() + previous + 0.5, yOf(before.last), px, yOf(c.first));
        }
        if (c.min != c.max)
            lines.emplace_back(px, yOf(c.min), px, yOf(c.max));
        else if (!c.joinsPrevious)
            dots.emplace_back(px, yOf(c.min));
        previous = x;
    }
    p.setClipRect(plot);
    p.setPen(QPen(palette().highlight().color(), 1.5));
    p.drawLines(lines.data(), int(lines.size()));
    p.drawPoints(dots.data(), int(dots.size()));
    paintAlerts(p, plot);

    // What lies under the pointer.
    const QString hover = m_dragging ? QString() : hoverText(m_hoverX);
    if (!hover.isEmpty()) {
        p.setPen(grid);
        p.drawLine(m_hoverX, plot.top(), m_hoverX, plot.bottom());
        const QRect box = p.fontMetrics().boundingRect(hover).adjusted(-6, -3, 6, 3);
        QRect placed(QPoint(m_hoverX + 8, plot.top() + 6), box.size());
        if (placed.right() > plot.right())
            placed.moveRight(m_hoverX - 8);
        p.fillRect(placed, palette().toolTipBase());
        p.setPen(palette().toolTipText().color());
        p.drawText(placed, Qt::AlignCenter, hover);
    }
}

void TrendChart::setAlerts(const AlertWatch *alerts)
{
    m_alerts = alerts;
    update();
}

void TrendChart::paintAlerts(QPainter &p, const QRect &plot) const
{
    if (!m_alerts)
        return;
    const QColor highColour(0xC0, 0x20, 0x20);
    const QColor lowColour(0x20, 0x50, 0xC0);
    const AlertLimits limits = m_alerts->limits();
    for (const auto &[limit, colour] :
         {std::pair{limits.high, highColour}, std::pair{limits.low, lowColour}}) {
        if (limit && *limit >= m_low && *limit <= m_high) {
            p.setPen(QPen(colour, 1, Qt::DashLine));
            p.drawLine(QPointF(plot.left(), yOf(*limit)), QPointF(plot.right(), yOf(*limit)));
        }
    }
    // A crossing is a small triangle at its reading, pointing the way the temperature went.
    const qint64 span = std::max<qint64>(1, m_to - m_from);
    p.setPen(Qt::NoPen);
    for (const AlertEvent &event : m_alerts->events()) {
        if (event.kind == AlertEvent::Kind::BackWithin || event.reading.timeMs < m_from ||
            event.reading.timeMs > m_to)
            continue;
        const bool high = event.kind == AlertEvent::Kind::High;
        const double x = plot.left() + double(event.reading.timeMs - m_from) * plot.width() / double(span);
        const double y = yOf(event.reading.hundredths);
        const double way = high ? -1 : 1; // up the screen for a high crossing
        const QPointF triangle[] = {{x, y + 10 * way}, {x - 5, y + 2 * way}, {x + 5, y + 2 * way}};
        p.setBrush(high ? highColour : lowColour);
        p.drawPolygon(triangle, 3);
    }
}

void TrendChart::resizeEvent(QResizeEvent *)
{
    recompute();
}

void TrendChart::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_dragStart = event->position().toPoint();
    m_dragStartEnd = m_to;
}

void TrendChart::mouseMoveEvent(QMouseEvent *event)
{
    m_hoverX = event->position().toPoint().x();
    if (m_dragging) {
        const int dx = event->position().toPoint().x() - m_dragStart.x();
        if (dx != 0) {
            const double msPerPixel = double(m_to - m_from) / double(qMax(1, plotRect().width()));
            moveEndTo(m_dragStartEnd - qint64(dx * msPerPixel));
        }
    }
    update();
}

void TrendChart::mouseReleaseEvent(QMouseEvent *)
{
    m_dragging = false;
    update();
}

void TrendChart::wheelEvent(QWheelEvent *event)
{
    // A notch moves a tenth of the span; up or left goes back in time.
    const QPoint delta = event->angleDelta();
    const int steps = delta.y() != 0 ? delta.y() : delta.x();
    if (steps == 0)
        return;
    moveEndTo(m_to - qint64(double(m_to - m_from) * steps / 1200.0));
    event->accept();
}

void TrendChart::leaveEvent(QEvent *)
{
    m_hoverX = -1;
    update();
}
