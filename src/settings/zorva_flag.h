#pragma once

#include <QtCore/QString>

#include <optional>

// A setting that is on or off, as people write it: true/false, yes/no, on/off or 1/0, in any case.
namespace ZorvaFlag {
// Nothing for any other text.
std::optional<bool> parse(const QString &text);
// The setting in ZORVA.conf; `absent` when it is not there or empty. Any other text is `absent` too, and
// `mistake` says so in one line that names the setting; `absentMeans` ends that line ("recording stays off").
bool read(const QString &group, const QString &key, bool absent, const QString &absentMeans,
          QString &mistake);
} // namespace ZorvaFlag
