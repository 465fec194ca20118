#include "zorva_store.h"

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
