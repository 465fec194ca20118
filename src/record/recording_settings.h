#pragma once

#include <QtCore/QString>

// Whether readings are recorded and where, kept in ZORVA.conf, group Recording: Enabled (off when absent;
// see ZorvaFlag) and Folder (empty or absent: $XDG_DATA_HOME/vantro/readings).
namespace RecordingSettings {
// Off, and why in `mistake`, for a value that is neither on nor off.
bool enabled(QString &mistake);
bool enabled();
void setEnabled(bool enabled);
// The folder to record into: Folder as written, a leading "~/" meaning the home folder, or the default when
// it is empty. A relative folder is returned as it is, for the recorder to refuse.
QString folder();
QString defaultFolder();
} // namespace RecordingSettings
