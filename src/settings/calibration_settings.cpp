#include "calibration_settings.h"

#include "protocol/calibration.h"
#include "protocol/temperature_text.h"
#include "settings/quoted_value.h"
#include "settings/zorva_store.h"

namespace {
const QString Group = QStringLiteral("Calibration");
const QString OffsetKey = QStringLiteral("Offset");

// Digits, then a point and one or two decimals or nothing; in hundredths, at most one past the largest
// offset so that nothing overflows however many digits come.
std::optional<int32_t> unsignedHundredths(QStringView text)
{
    int32_t whole = 0;
    int32_t fraction = 0;
    qsizetype wholeDigits = 0;
    qsizetype at = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at, ++wholeDigits)
        whole = std::min(whole * 10 + (text[at].unicode() - u'0'), Calibration::LargestOffset + 1);
    if (wholeDigits == 0)
        return std::nullopt;
    if (at < text.size()) {
        const QStringView decimals = text.sliced(at + 1);
        if (text[at] != u'.' || decimals.isEmpty() || decimals.size() > 2)
            return std::nullopt;
        for (const QChar c : decimals) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        fraction = decimals.toInt() * (decimals.size() == 1 ? 10 : 1);
    }
    return std::min(whole * 100 + fraction, Calibration::LargestOffset + 1);
}
} // namespace

std::optional<int32_t> CalibrationSettings::parse(const QString &text, const QString &decimalPoint,
                                                  QString &mistake)
{
    const QString written = text.trimmed();
    QString plain = written;
    if (decimalPoint != QLatin1String("."))
        plain.replace(decimalPoint, QStringLiteral("."));
    // A minus sign as typography writes it is a minus too.
    const bool negative = plain.startsWith(u'-') || plain.startsWith(QChar(0x2212));
    const qsizetype sign = negative || plain.startsWith(u'+') ? 1 : 0;
    const std::optional<int32_t> hundredths = unsignedHundredths(QStringView(plain).sliced(sign));
    if (!hundredths) {
        mistake = QStringLiteral("%1 is not an offset in degrees (digits 0-9, a point and at most two "
                                 "decimals)")
                      .arg(quotedValue(written));
        return std::nullopt;
    }
    if (*hundredths > Calibration::LargestOffset) {
        mistake = QStringLiteral("%1 is beyond 50 degrees either way").arg(quotedValue(written));
        return std::nullopt;
    }
    return negative ? -*hundredths : *hundredths;
}

std::optional<int32_t> CalibrationSettings::parse(const QString &text, QString &mistake)
{
    return parse(text, QStringLiteral("."), mistake);
}

int32_t CalibrationSettings::offset(QString &mistake)
{
    const QString text = zorvaText(Group, OffsetKey);
    if (text.trimmed().isEmpty())
        return 0;
    QString why;
    const std::optional<int32_t> hundredths = parse(text, why);
    if (!hundredths) {
        mistake = QStringLiteral("%1: %2; no offset is applied").arg(zorvaSettingName(Group, OffsetKey), why);
        return 0;
    }
    return *hundredths;
}

int32_t CalibrationSettings::offset()
{
    QString ignored;
    return offset(ignored);
}

void CalibrationSettings::setOffset(int32_t hundredths)
{
    openZorvaStore(Group)->setValue(OffsetKey, hundredthsText(hundredths, QStringLiteral(".")));
}
