#include "port_name_setting.h"

#include "settings/zorva_store.h"

#include <QtCore/QSaveFile>

namespace {
const QString Group = QStringLiteral("SENSORE_TEMP");
const QString Key = QStringLiteral("TCOM");

std::unique_ptr<QSettings> openStore()
{
    return openZorvaStore(Group);
}

// QSettings says only that it failed; a trial write says why, without touching the file.
// Empty when the file can be written.
QString whyNotWritable(const QString &fileName)
{
    QSaveFile probe(fileName);
    if (!probe.open(QIODevice::WriteOnly))
        return probe.errorString();
    probe.cancelWriting();
    return {};
}
} // namespace

QString PortNameSetting::load()
{
    return zorvaText(Group, Key, QString::fromLatin1(DefaultName));
}

bool PortNameSetting::save(const QString &name, QString &failure)
{
    failure = zorvaStoreProblem();
    if (!failure.isEmpty())
        return false;
    const auto settings = openStore();
    settings->setValue(Key, name);
    settings->sync();
    const QSettings::Status status = settings->status();
    if (status == QSettings::NoError)
        return true;
    // A damaged file reports a format error even though the write replaced it with a sound one;
    // only a file that cannot be written means the name was not kept.
    const QString reason = whyNotWritable(settings->fileName());
    if (status == QSettings::FormatError && reason.isEmpty())
        return true;
    failure = settings->fileName() + QStringLiteral(": ") +
              (reason.isEmpty() ? QStringLiteral("the file could not be written") : reason);
    return false;
}

QString PortNameSetting::fileName()
{
    return zorvaStorePath();
}
