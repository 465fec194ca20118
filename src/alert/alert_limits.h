#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <optional>

// The high and low limits in hundredths of a degree, each off when absent. Kept in ZORVA.conf, group
// Alerts, keys High and Low, with a "." whatever the locale; absent or empty means off.
struct AlertLimits
{
    std::optional<int32_t> high;
    std::optional<int32_t> low;

    friend bool operator==(const AlertLimits &, const AlertLimits &) = default;

    static AlertLimits load();
    void save() const;
    // "38.5", "-2", "21.97" -> hundredths; nothing for empty or anything else. `decimalPoint` is "." in
    // the file and the locale's in the Trend window.
    static std::optional<int32_t> parse(const QString &text, const QString &decimalPoint);
};
