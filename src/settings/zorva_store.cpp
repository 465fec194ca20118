#include "zorva_store.h"

std::unique_ptr<QSettings> openZorvaStore(const QString &group)
{
    auto settings =
        std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ZORVA"));
    settings->setFallbacksEnabled(false);
    settings->beginGroup(group);
    return settings;
}
