#include "metrics_settings.h"

#include "settings/zorva_store.h"

QString MetricsSettings::listen()
{
    return zorvaText(QStringLiteral("Metrics"), QStringLiteral("Listen")).trimmed();
}
