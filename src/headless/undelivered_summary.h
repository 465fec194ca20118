#pragma once

#include <QtCore/QString>

class ReadingPublisher;

// The line said at the end about the readings the broker never had, those still waiting and those
// dropped while it was away; empty when it had them all.
QString undeliveredSummary(const ReadingPublisher &publisher);
