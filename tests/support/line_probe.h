#pragma once

#include <QtCore/QString>

// A serial line's settings as the system keeps them, in words that a test on any platform can compare:
// "baud=19200 bits=8 parity=none stop=1 rtscts=off xonxoff=off raw=on", baud=split when the two directions
// differ; empty when they cannot be read.
QString lineSettings(const QString &portPath);
// Sets the line up as another program might have left it, 9600 baud, two stop bits, both kinds of flow
// control and CR turned into LF: only a program's own settings make it what it needs. (A pseudo-terminal
// stays 8 bits without parity whatever it is told.)
void missetLine(const QString &portPath);
// Descriptors open on the device, in every process here.
int openCount(const QString &devicePath);
