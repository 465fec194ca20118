#pragma once

#include <QtCore/QString>

// The system and processor this program was built for, such as "Linux x86_64" or "Windows x86_64".
QString buildPlatform();
