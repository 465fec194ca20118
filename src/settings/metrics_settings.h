#pragma once

#include <QtCore/QString>

// The metrics endpoint in ZORVA.conf, group Metrics: Listen, [ADDRESS:]PORT (absent or empty: no endpoint).
namespace MetricsSettings {
QString listen();
} // namespace MetricsSettings
