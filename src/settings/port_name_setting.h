#pragma once

#include <QtCore/QString>

// The one remembered value: the name of the port to open, per user, in ZORVA.conf
// under the user's configuration folder, group SENSORE_TEMP, key TCOM.
namespace PortNameSetting {
inline constexpr char DefaultName[] = "COM1";

// The stored name exactly as saved, or COM1 when none was ever saved.
QString load();
// Stores the name exactly as typed; a damaged file is replaced by a sound one. On failure returns false with
// the file and the reason in `failure`.
bool save(const QString &name, QString &failure);
// Where the name is kept.
QString fileName();
} // namespace PortNameSetting
