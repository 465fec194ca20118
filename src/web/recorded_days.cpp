#include "recorded_days.h"

#include "protocol/reading_csv.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

std::vector<RecordedDay> RecordedDays::list(const QString &folder, const QString &portName)
{
    std::vector<RecordedDay> days;
    if (folder.isEmpty() || portName.isEmpty())
        return days;
    const QString suffix = u'_' + ReadingCsv::portStem(portName) + QStringLiteral(".csv");
    const QFileInfoList files =
        QDir(folder).entryInfoList({QStringLiteral("*") + suffix}, QDir::Files, QDir::Name | QDir::Reversed);
    for (const QFileInfo &file : files) {
        const QString name = file.fileName();
        const QDate day = QDate::fromString(name.left(10), Qt::ISODate);
        if (name.size() == 10 + suffix.size() && day.isValid())
            days.push_back({day, file.size(), file.filePath()});
    }
    return days;
}

RecordedDay RecordedDays::find(const QString &folder, const QString &portName, const QString &date)
{
    const QDate day = QDate::fromString(date, Qt::ISODate);
    if (date.size() != 10 || !day.isValid())
        return {};
    for (RecordedDay &recorded : list(folder, portName)) {
        if (recorded.day == day)
            return recorded;
    }
    return {};
}
