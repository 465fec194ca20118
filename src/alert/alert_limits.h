#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <optional>

// What is wrong with the limits as written: one line for each, naming the setting; empty when nothing is.
struct AlertLimitMistakes
{
    QString high;
    QString low;
};

// The high and low limits in hundredths of a degree, each off when absent. Kept in ZORVA.conf, group
// Alerts, keys High and Low, written with a "."; absent or empty means off.
struct AlertLimits
{
    // 10000 degrees: far beyond anything the board can report, and far from overflowing.
    static constexpr int32_t LargestHundredths = 1000000;

    std::optional<int32_t> high;
    std::optional<int32_t> low;

    friend bool operator==(const AlertLimits &, const AlertLimits &) = default;

    // A limit that is not a temperature is off, and so are both when Low is above High; `mistakes` says so.
    static AlertLimits load(AlertLimitMistakes &mistakes);
    static AlertLimits load();
    void save() const;
    // A limit as a person writes it: "38.5", "38,5", "-2", " +21.975 " (rounded to hundredths, half away
    // from zero); empty is off. `decimalPoint`, the locale's, is taken as well as "." and ",". Anything else
    // returns false with why in `mistake` and leaves `limit` as it was: letters, "nan", "inf", an exponent,
    // digits other than 0-9, a second separator, or beyond 10000 degrees either way.
    static bool read(const QString &text, const QString &decimalPoint, std::optional<int32_t> &limit,
                     QString &mistake);
    // As read(); nothing for a mistake.
    static std::optional<int32_t> parse(const QString &text, const QString &decimalPoint);
    // Whether Low stands above High; both must be set.
    bool outOfOrder() const;
};
