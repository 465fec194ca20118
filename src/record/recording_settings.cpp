#include "recording_settings.h"

#include "settings/zorva_flag.h"
#include "settings/zorva_store.h"

#include <QtCore/QDir>
#include <QtCore/QStandardPaths>

namespace {
const QString Group = QStringLiteral("Recording");
const QString EnabledKey = QStringLiteral("Enabled");
const QString FolderKey = QStringLiteral("Folder");
} // namespace

bool RecordingSettings::enabled(QString &mistake)
{
    return ZorvaFlag::read(Group, EnabledKey, false, QStringLiteral("recording stays off"), mistake);
}

bool RecordingSettings::enabled()
{
    QString ignored;
    return enabled(ignored);
}

void RecordingSettings::setEnabled(bool enabled)
{
    openZorvaStore(Group)->setValue(EnabledKey, enabled);
}

QString RecordingSettings::folder()
{
    const QString folder = zorvaText(Group, FolderKey);
    if (folder.isEmpty())
        return defaultFolder();
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        return QDir::homePath() + folder.sliced(1);
    return folder;
}

QString RecordingSettings::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vantro/readings");
}
