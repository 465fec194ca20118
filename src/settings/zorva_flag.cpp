#include "zorva_flag.h"

#include "settings/quoted_value.h"
#include "settings/zorva_store.h"

#include <QtCore/QStringList>

std::optional<bool> ZorvaFlag::parse(const QString &text)
{
    static const QStringList Yes{QStringLiteral("true"), QStringLiteral("yes"), QStringLiteral("on"),
                                 QStringLiteral("1")};
    static const QStringList No{QStringLiteral("false"), QStringLiteral("no"), QStringLiteral("off"),
                                QStringLiteral("0")};
    const QString written = text.trimmed();
    if (Yes.contains(written, Qt::CaseInsensitive))
        return true;
    if (No.contains(written, Qt::CaseInsensitive))
        return false;
    return std::nullopt;
}

bool ZorvaFlag::read(const QString &group, const QString &key, bool absent, const QString &absentMeans,
                     QString &mistake)
{
    const QString written = zorvaText(group, key).trimmed();
    if (written.isEmpty())
        return absent;
    if (const std::optional<bool> flag = parse(written))
        return *flag;
    mistake = QStringLiteral("%1: %2 is neither true nor false (yes/no, on/off, 1/0); %3")
                  .arg(zorvaSettingName(group, key), quotedValue(written), absentMeans);
    return absent;
}
