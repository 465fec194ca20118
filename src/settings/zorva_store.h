#pragma once

#include <QtCore/QSettings>

#include <memory>

// The user's ZORVA.conf, under the user's configuration folder, opened at one group.
// A system-wide file never supplies a value.
std::unique_ptr<QSettings> openZorvaStore(const QString &group);
