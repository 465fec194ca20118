#include "alert_limits.h"

#include "protocol/temperature_text.h"
#include "settings/quoted_value.h"
#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("Alerts");
const QString HighKey = QStringLiteral("High");
const QString LowKey = QStringLiteral("Low");

QString fileText(const std::optional<int32_t> &limit)
{
    return limit ? hundredthsText(*limit, QStringLiteral(".")) : QString();
}

// Digits with at most one separator, in hundredths with the third decimal rounded; nothing for anything else.
// `tooLarge` is set past the largest limit.
std::optional<int64_t> unsignedHundredths(QStringView digits, bool &tooLarge)
{
    int64_t whole = 0;
    int64_t fraction = 0;
    int decimals = -1; // none before the separator
    bool any = false;
    bool roundUp = false;
    for (const QChar c : digits) {
        if (c == u'.' || c == u',') {
            if (decimals >= 0)
                return std::nullopt;
            decimals = 0;
            continue;
        }
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c.unicode() - u'0';
        any = true;
        if (decimals < 0)
            whole = std::min<int64_t>(whole * 10 + digit, AlertLimits::LargestHundredths + 1);
        else if (decimals < 2)
            fraction = fraction * 10 + digit;
        else if (decimals == 2)
            roundUp = digit >= 5;
        decimals += decimals >= 0 ? 1 : 0;
    }
    for (int d = std::max(decimals, 0); d < 2; ++d)
        fraction *= 10;
    if (!any)
        return std::nullopt;
    const int64_t hundredths = whole * 100 + fraction + (roundUp ? 1 : 0);
    tooLarge = hundredths > AlertLimits::LargestHundredths;
    return hundredths;
}
} // namespace

AlertLimits AlertLimits::load(AlertLimitMistakes &mistakes)
{
    const QString dot = QStringLiteral(".");
    AlertLimits limits;
    QString why;
    if (!read(zorvaText(Group, HighKey), dot, limits.high, why))
        mistakes.high =
            QStringLiteral("%1: %2; the high limit is off").arg(zorvaSettingName(Group, HighKey), why);
    if (!read(zorvaText(Group, LowKey), dot, limits.low, why))
        mistakes.low =
            QStringLiteral("%1: %2; the low limit is off").arg(zorvaSettingName(Group, LowKey), why);
    if (limits.outOfOrder()) {
        mistakes.low = QStringLiteral("%1: %2 is above High, %3; both limits are off")
                           .arg(zorvaSettingName(Group, LowKey), hundredthsText(*limits.low, dot),
                                hundredthsText(*limits.high, dot));
        limits = {};
    }
    return limits;
}

AlertLimits AlertLimits::load()
{
    AlertLimitMistakes ignored;
    return load(ignored);
}

void AlertLimits::save() const
{
    const auto store = openZorvaStore(Group);
    store->setValue(HighKey, fileText(high));
    store->setValue(LowKey, fileText(low));
}

bool AlertLimits::read(const QString &text, const QString &decimalPoint, std::optional<int32_t> &limit,
                       QString &mistake)
{
    QString plain = text.trimmed();
    if (plain.isEmpty()) {
        limit.reset();
        return true;
    }
    if (decimalPoint != QLatin1String(".") && decimalPoint != QLatin1String(","))
        plain.replace(decimalPoint, QStringLiteral("."));
    // A minus sign as typography writes it is a minus too.
    const bool negative = plain.front() == u'-' || plain.front() == QChar(0x2212);
    const qsizetype sign = negative || plain.front() == u'+' ? 1 : 0;
    bool tooLarge = false;
    const std::optional<int64_t> hundredths = unsignedHundredths(QStringView(plain).sliced(sign), tooLarge);
    if (!hundredths) {
        mistake = QStringLiteral("%1 is not a temperature (digits 0-9 with one point or comma)")
                      .arg(quotedValue(text.trimmed()));
        return false;
    }
    if (tooLarge) {
        mistake = QStringLiteral("%1 is beyond 10000 degrees").arg(quotedValue(text.trimmed()));
        return false;
    }
    limit = int32_t(negative ? -*hundredths : *hundredths);
    return true;
}

std::optional<int32_t> AlertLimits::parse(const QString &text, const QString &decimalPoint)
{
    std::optional<int32_t> limit;
    QString mistake;
    read(text, decimalPoint, limit, mistake);
    return limit;
}

bool AlertLimits::outOfOrder() const
{
    return high && low && *low > *high;
}
