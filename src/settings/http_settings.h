#pragma once

#include <QtCore/QString>

// The station's web page in ZORVA.conf, group HTTP: Listen, [ADDRESS:]PORT (absent or empty: no page).
namespace HttpSettings {
QString listen();
} // namespace HttpSettings
