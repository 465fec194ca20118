#pragma once

#include <QtCore/QSettings>
#include <QtCore/QStringList>

#include <memory>

// The user's ZORVA.conf, under the user's configuration folder; a system-wide file never supplies a value.
// A ZORVA.conf that cannot be read (a FIFO, a folder, a file that is not readable) is never opened, since
// opening a FIFO waits for ever: every setting reads as absent, writes go nowhere, and zorvaStoreProblem()
// says why. On Windows the same names live in the registry, under HKEY_CURRENT_USER\Software\ZORVA: one
// file per platform.

// Opened at one group.
std::unique_ptr<QSettings> openZorvaStore(const QString &group);

// A text setting as written, by a person or by the program: see IniText. `absent` when it is not there.
// QSettings alone would read "/data/a,b" as a list and cut "/data/a;b" at the semicolon.
QString zorvaText(const QString &group, const QString &key, const QString &absent = {});

// ZORVA.conf's path; on Windows the registry key.
QString zorvaStorePath();
// The store as a person knows it, for sentences: ZORVA.conf, or the registry key on Windows.
QString zorvaStoreName();
// One setting as a person finds it: "ZORVA.conf [Alerts] High", or the registry value on Windows.
QString zorvaSettingName(const QString &group, const QString &key);
// Why ZORVA.conf cannot be read, beginning with its path; empty when it can be, or does not exist yet.
QString zorvaStoreProblem();
// The settings whose text is not UTF-8, and so are not used, one line each; or one line for a whole file
// in UTF-16. Empty where the store keeps text of its own (the registry).
QStringList zorvaEncodingMistakes();
