#include "recording_settings.h"

#include "settings/zorva_store.h"

#include <QtCore/QStandardPaths>

namespace {
const QString Group = QStringLiteral("Recording");
const QString EnabledKey = QStringLiteral("Enabled");
const QString FolderKey = QStringLiteral("Folder");
} // namespace

bool RecordingSettings::enabled()
{
    return openZorvaStore(Group)->value(EnabledKey, false).toBool();
}

void RecordingSettings::setEnabled(bool enabled)
{
    openZorvaStore(Group)->setValue(EnabledKey, enabled);
}

QString RecordingSettings::folder()
{
    const QString folder = openZorvaStore(Group)->value(FolderKey).toString();
    return folder.isEmpty() ? defaultFolder() : folder;
}

QString RecordingSettings::defaultFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/vantro/readings");
}
