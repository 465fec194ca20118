#pragma once

#include <QtCore/QtGlobal>

// The times a reading can have: from 2000 to ten years after now. A time outside them comes from a clock
// that was not set yet, or from a damaged line.
namespace PlausibleTime {
inline constexpr char Description[] = "not between 2000 and ten years from now";

// 2000-01-01T00:00:00Z.
qint64 earliestMs();
qint64 latestMs(qint64 nowMs);
bool contains(qint64 timeMs, qint64 nowMs);
} // namespace PlausibleTime
