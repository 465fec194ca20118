#include "http_settings.h"

#include "settings/zorva_store.h"

QString HttpSettings::listen()
{
    return zorvaText(QStringLiteral("HTTP"), QStringLiteral("Listen")).trimmed();
}
