#pragma once

#include <QtCore/QDate>
#include <QtCore/QString>

#include <vector>

// The days recorded for a port: its files YYYY-MM-DD_<port>.csv in the readings folder. A day is found by
// its date among them, so that nothing a client sends becomes part of a path.
struct RecordedDay
{
    QDate day;
    qint64 bytes = 0;
    QString path;
};

namespace RecordedDays {
// Newest first.
std::vector<RecordedDay> list(const QString &folder, const QString &portName);
// The recorded day named YYYY-MM-DD, or none (an empty path).
RecordedDay find(const QString &folder, const QString &portName, const QString &date);
} // namespace RecordedDays
