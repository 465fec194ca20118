#pragma once

#include "trend/chart_data.h"

#include <QtCore/QPoint>
#include <QtGui/QPainter>
#include <QtWidgets/QWidget>

#include <memory>

class AlertWatch;
class ReadingHistory;

// Temperature against wall-clock time, drawn from at most one column per pixel. It follows the newest
// reading until the user drags or scrolls back in time; followNewest() returns to it.
class TrendChart final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TrendChart)

public:
    static constexpr qint64 AllSpan = 0;
    // Readings further apart than this many usual intervals are not joined: the board was away.
    static constexpr int GapIntervals = 5;

    explicit TrendChart(const ReadingHistory &history, QWidget *parent = nullptr);
    ~TrendChart() override;

    // The length of time shown, in ms, or AllSpan.
    void setSpan(qint64 spanMs);
    qint64 span() const;
    void followNewest();
    bool isFollowing() const;
    // The history gained readings.
    void historyChanged();
    // Draw the alert limits and mark the crossings; nothing when null.
    void setAlerts(const AlertWatch *alerts);

    qint64 viewFrom() const;
    qint64 viewTo() const;
    const SpanStatistics &statistics() const;
    // The text the pointer shows at a point of the widget; empty where there is no reading.
    QString hoverText(int x) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // What is shown changed: another span, another position or new readings.
    void viewChanged();
    void followingChanged(bool following);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    QRect plotRect() const;
    void recompute();
    void moveEndTo(qint64 endMs);
    void setFollowing(bool following);
    qint64 timeAtX(int x) const;
    double yOf(int32_t hundredths) const;
    void paintAlerts(QPainter &p, const QRect &plot) const;

    const ReadingHistory &m_history;
    // The span's readings one by one, read again from the files where the history keeps minutes of them.
    std::unique_ptr<ReadingHistory> m_fine;
    const ReadingHistory *m_shown = &m_history;
    const AlertWatch *m_alerts = nullptr;
    qint64 m_span = 60 * 60 * 1000;
    qint64 m_end = 0; // the view's end while not following
    bool m_following = true;
    qint64 m_from = 0;
    qint64 m_to = 0;
    int32_t m_low = 0; // the Y axis, in hundredths
    int32_t m_high = 0;
    ChartData m_data;
    int m_hoverX = -1;
    bool m_dragging = false;
    QPoint m_dragStart;
    qint64 m_dragStartEnd = 0;
};
