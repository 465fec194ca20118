#include "undelivered_summary.h"

#include "publish/reading_publisher.h"

QString undeliveredSummary(const ReadingPublisher &publisher)
{
    const qint64 undelivered = publisher.waitingReadings() + publisher.droppedReadings();
    if (undelivered <= 0)
        return {};
    return QStringLiteral("%1 readings were not delivered to the broker").arg(undelivered);
}
