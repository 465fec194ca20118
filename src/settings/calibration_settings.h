#pragma once

#include <QtCore/QString>

#include <cstdint>
#include <optional>

// The board's calibration offset, added to each temperature it reports, kept in ZORVA.conf, group
// Calibration, key Offset: degrees with a "." and at most two decimals ("0.5", "-1.25", "+0.3"). Absent or
// empty is no offset.
namespace CalibrationSettings {
// An offset as a person writes it: a sign or none, digits 0-9, and a point with one or two decimals or
// none; spaces around it are ignored. `decimalPoint`, the locale's, is taken as well as ".". In hundredths;
// for anything else (a comma where the point is ".", a third decimal, letters, beyond 50 degrees either way)
// nothing, with why in `mistake`.
std::optional<int32_t> parse(const QString &text, const QString &decimalPoint, QString &mistake);
// As above with a "." only, as ZORVA.conf and the command line write it.
std::optional<int32_t> parse(const QString &text, QString &mistake);

// The offset in ZORVA.conf, in hundredths. A mistake there is no offset, and `mistake` says so in one line
// that names the setting.
int32_t offset(QString &mistake);
int32_t offset();
void setOffset(int32_t hundredths);
} // namespace CalibrationSettings
