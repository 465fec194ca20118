#include "port_name_setting.h"

#include <QtCore/QSaveFile>
#include <QtCore/QSettings>

#include <memory>

namespace {
const QString Group = QStringLiteral("SENSORE_TEMP");
const QString Key = QStringLiteral("TCOM");

std::unique_ptr<QSettings> openStore()
{
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZORVA"));
    // A system-wide file must never supply the name.
    settings->setFallbacksEnabled(false);
    settings->beginGroup(Group);
    return settings;
}

// QSettings says only that it failed; a trial write says why, without touching the file.
QString whyNotWritable(const QString &fileName)
{
    QSaveFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly))
        return probe.errorString();
    probe.cancelWriting();
    return QStringLiteral("the file could not be written");
}
} // namespace

QString PortNameSetting::load()
{
    return openStore()->value(Key, QString::fromLatin1(DefaultName)).toString();
}

bool PortNameSetting::save(const QString &name, QString &failure)
{
    const auto settings = openStore();
    settings->setValue(Key, name);
    settings->sync();
    if (settings->status() == QSettings::NoError)
        return true;
    failure = settings->fileName() + QStringLiteral(": ") + whyNotWritable(settings->fileName());
    return false;
}

QString PortNameSetting::fileName()
{
    return openStore()->fileName();
}
