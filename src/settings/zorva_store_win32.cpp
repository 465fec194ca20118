#include "zorva_store.h"

namespace {
const QString Key = QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA");
} // namespace

std::unique_ptr<QSettings> openZorvaStore(const QString &group)
{
    // The key itself: QSettings would keep a company's settings without a program's name in a subkey,
    // OrganizationDefaults.
    auto settings = std::make_unique<QSettings>(Key, QSettings::NativeFormat);
    settings->beginGroup(group);
    return settings;
}

// The registry keeps each text as it was written: there is no file to be damaged, nor a list or a comment
// to be taken for a value.
QString zorvaText(const QString &group, const QString &key, const QString &absent)
{
    const auto settings = openZorvaStore(group);
    return settings->contains(key) ? settings->value(key).toString() : absent;
}

QString zorvaStorePath()
{
    return Key;
}

// A registry key can always be read.
QString zorvaStoreProblem()
{
    return {};
}

QString zorvaStoreName()
{
    return Key;
}

// A group is a subkey and a setting a value in it, written as the registry's own tools show a path.
QString zorvaSettingName(const QString &group, const QString &key)
{
    return QStringLiteral("%1\\%2\\%3").arg(Key, group, key);
}

QStringList zorvaEncodingMistakes()
{
    return {};
}
