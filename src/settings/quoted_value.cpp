#include "quoted_value.h"

namespace {
// Enough for any sound path, address or id.
constexpr qsizetype LongestShown = 80;

void appendEscaped(QString &text, QChar c)
{
    switch (c.unicode()) {
    case u'\n':
        text += QLatin1String("\\n");
        return;
    case u'\r':
        text += QLatin1String("\\r");
        return;
    case u'\t':
        text += QLatin1String("\\t");
        return;
    case u'\\':
        text += QLatin1String("\\\\");
        return;
    case u'"':
        text += QLatin1String("\\\"");
        return;
    }
    // C0, DEL and C1 controls, and the line and paragraph separators.
    const char16_t unit = c.unicode();
    if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0) || unit == 0x2028 || unit == 0x2029)
        text += QStringLiteral("\\x%1").arg(unit, unit > 0xFF ? 4 : 2, 16, QLatin1Char('0'));
    else
        text += c;
}
} // namespace

QString quotedValue(QStringView value)
{
    qsizetype shown = std::min(value.size(), LongestShown);
    if (shown < value.size() && value[shown - 1].isHighSurrogate())
        --shown; // not half a character
    QString text(u'"');
    for (const QChar c : value.first(shown))
        appendEscaped(text, c);
    text += u'"';
    if (value.size() > LongestShown)
        text += QStringLiteral("... (%1 characters)").arg(value.size());
    return text;
}
