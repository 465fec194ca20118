#include "ini_text.h"

#include <QtCore/QStringDecoder>

namespace {
bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && isBlank(text.front()))
        text = text.sliced(1);
    while (!text.isEmpty() && isBlank(text.back()))
        text.chop(1);
    return text;
}

int digitValue(char c, int base)
{
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// The escape whose backslash stands before `at`; returns where the text goes on.
qsizetype unescape(QByteArrayView raw, qsizetype at, QString &text)
{
    static constexpr char Named[][2] = {{'a', '\a'}, {'b', '\b'},  {'f', '\f'}, {'n', '\n'},
                                        {'r', '\r'}, {'t', '\t'},  {'v', '\v'}, {'"', '"'},
                                        {'?', '?'},  {'\'', '\''}, {'\\', '\\'}};
    if (at >= raw.size())
        return at;
    const char c = raw[at++];
    for (const auto &named : Named) {
        if (c == named[0]) {
            text += QLatin1Char(named[1]);
            return at;
        }
    }
    // \x with hex digits or a run of octal digits is one UTF-16 unit; any other escaped character is dropped.
    const int base = c == 'x' ? 16 : 8;
    if (base == 8 && digitValue(c, 8) < 0)
        return at;
    char16_t unit = base == 8 ? char16_t(digitValue(c, 8)) : 0;
    bool digits = base == 8;
    for (; at < raw.size() && digitValue(raw[at], base) >= 0; ++at) {
        unit = char16_t(unit * base + digitValue(raw[at], base));
        digits = true;
    }
    if (digits)
        text += QChar(unit);
    return at;
}
} // namespace

void IniText::forEachLine(QByteArrayView file,
                          const std::function<void(const QString &, const QString &, QByteArrayView)> &line)
{
    if (file.startsWith("\xEF\xBB\xBF"))
        file = file.sliced(3);
    QString group;
    while (!file.isEmpty()) {
        const qsizetype end = file.indexOf('\n');
        QByteArrayView text = trimmed(end < 0 ? file : file.first(end));
        file = end < 0 ? QByteArrayView() : file.sliced(end + 1);
        if (text.endsWith('\r'))
            text = trimmed(text.chopped(1));
        if (text.startsWith('[')) {
            const qsizetype close = text.lastIndexOf(']');
            group = close > 0 ? QString::fromUtf8(trimmed(text.sliced(1, close - 1))) : QString();
            continue;
        }
        const qsizetype equals = text.indexOf('=');
        if (equals > 0 && !group.isNull())
            line(group, QString::fromUtf8(trimmed(text.first(equals))), text.sliced(equals + 1));
    }
}

std::optional<QString> IniText::find(QByteArrayView file, QStringView group, QStringView key)
{
    std::optional<QByteArrayView> found;
    forEachLine(file, [&](const QString &lineGroup, const QString &lineKey, QByteArrayView raw) {
        if (lineGroup == group && lineKey == key)
            found = raw;
    });
    if (!found || !isUtf8(*found))
        return std::nullopt;
    return decode(*found);
}

bool IniText::isUtf16(QByteArrayView file)
{
    if (file.startsWith("\xFF\xFE") || file.startsWith("\xFE\xFF"))
        return true;
    // Without a byte order mark: a first character in ASCII, with its other byte zero.
    return file.size() >= 2 && (file[0] == 0) != (file[1] == 0) && uchar(file[0] | file[1]) < 0x80;
}

bool IniText::isUtf8(QByteArrayView raw)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString text = decoder.decode(raw);
    return !decoder.hasError();
}

QString IniText::decode(QByteArrayView raw)
{
    raw = trimmed(raw);
    QString text;
    bool inQuotes = false;
    qsizetype i = 0;
    while (i < raw.size()) {
        if (raw[i] == '\\') {
            i = unescape(raw, i + 1, text);
        } else if (raw[i] == '"') {
            inQuotes = !inQuotes;
            ++i;
            // As QSettings reads it: blanks after a closing quote are not part of the text.
            while (!inQuotes && i < raw.size() && isBlank(raw[i]))
                ++i;
        } else {
            qsizetype run = i + 1;
            while (run < raw.size() && raw[run] != '\\' && raw[run] != '"')
                ++run;
            text += QString::fromUtf8(raw.sliced(i, run - i));
            i = run;
        }
    }
    // QSettings writes a text that begins with "@" with a second one, to tell it from its typed values.
    return text.startsWith(QLatin1String("@@")) ? text.sliced(1) : text;
}
