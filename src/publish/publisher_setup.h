#pragma once

#include "publish/reading_publisher.h"

#include <memory>

// The publisher that the command line or, failing it, ZORVA.conf asks for: none when neither names a
// broker. A broker address that cannot be used gives none and the reason in `error`.
std::unique_ptr<ReadingPublisher> setUpPublisher(const QString &urlOption, const QString &idOption,
                                                 const QString &portName, QString &error);
