#pragma once

#include <QtCore/QString>

// The station's web page, its event stream, API and metrics in ZORVA.conf, group HTTP: Listen,
// [ADDRESS:]PORT (absent or empty: not served).
namespace HttpSettings {
QString listen();
} // namespace HttpSettings
