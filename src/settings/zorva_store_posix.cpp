#include "zorva_store.h"

#include "settings/ini_text.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

namespace {
// Far more than any settings file; a larger one is not read into memory.
constexpr qint64 LargestFile = 1024 * 1024;

QString problemWith(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isFile())
        return QStringLiteral("%1: it is not a regular file").arg(path);
    if (info.size() > LargestFile)
        return QStringLiteral("%1: it is larger than 1 MiB").arg(path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("%1: %2").arg(path, file.errorString());
    return {};
}

QByteArray storeContents()
{
    const QString path = zorvaStorePath();
    QFile file(path);
    if (!problemWith(path).isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return file.read(LargestFile);
}
} // namespace

std::unique_ptr<QSettings> openZorvaStore(const QString &group)
{
    // With no file name, QSettings reads nothing and keeps nothing.
    auto settings = zorvaStoreProblem().isEmpty()
                        ? std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                                      QStringLiteral("ZORVA"))
                        : std::make_unique<QSettings>(QString(), QSettings::IniFormat);
    settings->setFallbacksEnabled(false);
    settings->beginGroup(group);
    return settings;
}

QString zorvaText(const QString &group, const QString &key, const QString &absent)
{
    return IniText::find(storeContents(), group, key).value_or(absent);
}

QStringList zorvaEncodingMistakes()
{
    const QByteArray contents = storeContents();
    if (IniText::isUtf16(contents))
        return {QStringLiteral("%1 is in UTF-16, not UTF-8: none of its settings are read; save it as UTF-8")
                    .arg(zorvaStorePath())};
    QStringList mistakes;
    IniText::forEachLine(contents, [&](const QString &group, const QString &key, QByteArrayView raw) {
        const QString mistake =
            QStringLiteral("%1: it is not UTF-8 text, and is not used").arg(zorvaSettingName(group, key));
        if (!IniText::isUtf8(raw) && !mistakes.contains(mistake))
            mistakes << mistake;
    });
    return mistakes;
}

QString zorvaStorePath()
{
    // Asked of a name that is never written: asking for ZORVA itself would open ZORVA.conf, which has to be
    // checked first.
    const QSettings elsewhere(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZORVA.path"));
    return QFileInfo(elsewhere.fileName()).dir().filePath(QStringLiteral("ZORVA.conf"));
}

QString zorvaStoreProblem()
{
    return problemWith(zorvaStorePath());
}

QString zorvaStoreName()
{
    return QStringLiteral("ZORVA.conf");
}

QString zorvaSettingName(const QString &group, const QString &key)
{
    return QStringLiteral("ZORVA.conf [%1] %2").arg(group, key);
}
