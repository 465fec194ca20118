#include "summary_cache.h"

#include <QtCore/QCryptographicHash>
#include <QtCore/QDateTime>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QStandardPaths>

#include <cstring>

namespace {
static_assert(sizeof(MinuteSummary) == 40, "the cache's records are the summaries' bytes");

constexpr char Magic[8] = {'V', 'N', 'T', 'R', 'M', 'I', 'N', '1'};

// What the day's file was when its summary was made, and what reading it found.
struct Header
{
    char magic[8];
    qint64 daySize;
    qint64 dayModifiedMs;
    qint64 readings;
    qint64 damagedLines;
    qint64 implausibleTimes;
    qint64 minutes;
};

QByteArray digestOf(const char *data, qint64 size)
{
    return QCryptographicHash::hash(QByteArrayView(data, size), QCryptographicHash::Sha1);
}

Header headerFor(const QFileInfo &day, const DaySummary &summary)
{
    Header header{};
    std::memcpy(header.magic, Magic, sizeof Magic);
    header.daySize = day.size();
    header.dayModifiedMs = day.lastModified().toMSecsSinceEpoch();
    header.readings = summary.readings;
    header.damagedLines = summary.damagedLines;
    header.implausibleTimes = summary.implausibleTimes;
    header.minutes = summary.minutes.size();
    return header;
}
} // namespace

SummaryCache::SummaryCache(QString folder) : m_folder(std::move(folder)) {}

QString SummaryCache::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
           QStringLiteral("/vantro/summaries");
}

QString SummaryCache::pathFor(const QFileInfo &day) const
{
    const QByteArray name =
        QCryptographicHash::hash(day.absoluteFilePath().toUtf8(), QCryptographicHash::Sha1).toHex();
    return m_folder + u'/' + QString::fromLatin1(name) + QStringLiteral(".minutes");
}

std::optional<DaySummary> SummaryCache::load(const QFileInfo &day) const
{
    if (m_folder.isEmpty())
        return std::nullopt;
    QFile file(pathFor(day));
    // Far more than a day holds: a minute a reading of a day at 1 Hz is 3.5 MB.
    constexpr qint64 Largest = qint64(1) << 24;
    if (!file.open(QIODevice::ReadOnly) || file.size() > Largest)
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    Header header{};
    if (bytes.size() < qsizetype(sizeof header) + 20)
        return std::nullopt;
    std::memcpy(&header, bytes.constData(), sizeof header);
    const qint64 minutesBytes = header.minutes * qint64(sizeof(MinuteSummary));
    if (std::memcmp(header.magic, Magic, sizeof Magic) != 0 || header.minutes < 0 ||
        bytes.size() != qsizetype(sizeof header) + minutesBytes + 20 || header.daySize != day.size() ||
        header.dayModifiedMs != day.lastModified().toMSecsSinceEpoch() ||
        digestOf(bytes.constData(), bytes.size() - 20) != bytes.right(20))
        return std::nullopt;
    DaySummary summary;
    summary.readings = header.readings;
    summary.damagedLines = header.damagedLines;
    summary.implausibleTimes = header.implausibleTimes;
    std::vector<MinuteSummary> &minutes = summary.minutes.minutes();
    minutes.resize(size_t(header.minutes));
    std::memcpy(static_cast<void *>(minutes.data()), bytes.constData() + sizeof header, size_t(minutesBytes));
    return summary;
}

void SummaryCache::store(const QFileInfo &day, const DaySummary &summary) const
{
    if (m_folder.isEmpty() || !QDir().mkpath(m_folder))
        return;
    const Header header = headerFor(day, summary);
    QByteArray bytes(reinterpret_cast<const char *>(&header), sizeof header);
    bytes.append(reinterpret_cast<const char *>(summary.minutes.minutes().data()),
                 qsizetype(summary.minutes.size()) * qsizetype(sizeof(MinuteSummary)));
    bytes += digestOf(bytes.constData(), bytes.size());
    // Written whole under another name, then put in place; not synced to the disk, as a summary lost to a
    // crash is only made again, and a sync would hold the readings up.
    const QString path = pathFor(day);
    QFile file(path + QStringLiteral(".part"));
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
    file.close();
    QFile::remove(path); // a file in the way is not replaced on Windows
    if (!written || !file.rename(path))
        file.remove();
}
