#include "alert_limits.h"

#include "protocol/temperature_text.h"
#include "settings/zorva_store.h"

#include <cmath>

namespace {
const QString Group = QStringLiteral("Alerts");
const QString HighKey = QStringLiteral("High");
const QString LowKey = QStringLiteral("Low");
// Far beyond anything the board can report, and far from overflowing.
constexpr double LargestDegrees = 10000;

QString fileText(const std::optional<int32_t> &limit)
{
    return limit ? hundredthsText(*limit, QStringLiteral(".")) : QString();
}
} // namespace

AlertLimits AlertLimits::load()
{
    const auto store = openZorvaStore(Group);
    const QString dot = QStringLiteral(".");
    return {parse(store->value(HighKey).toString(), dot), parse(store->value(LowKey).toString(), dot)};
}

void AlertLimits::save() const
{
    const auto store = openZorvaStore(Group);
    store->setValue(HighKey, fileText(high));
    store->setValue(LowKey, fileText(low));
}

std::optional<int32_t> AlertLimits::parse(const QString &text, const QString &decimalPoint)
{
    QString plain = text.trimmed();
    if (decimalPoint != QLatin1String("."))
        plain.replace(decimalPoint, QStringLiteral("."));
    // Digits with at most one point and a sign in front: no exponents, no "inf".
    const qsizetype signs = plain.startsWith(u'-') || plain.startsWith(u'+') ? 1 : 0;
    bool digits = false;
    for (qsizetype i = signs; i < plain.size(); ++i) {
        if (!plain.at(i).isDigit() && plain.at(i) != u'.')
            return std::nullopt;
        digits = digits || plain.at(i).isDigit();
    }
    bool ok = false;
    const double degrees = plain.toDouble(&ok);
    if (!digits || !ok || std::abs(degrees) > LargestDegrees)
        return std::nullopt;
    return int32_t(std::lround(degrees * 100));
}
