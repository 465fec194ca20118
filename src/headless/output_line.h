#pragma once

#include <QtCore/QByteArray>

enum OutputStream
{
    StandardOutput = 1,
    StandardError = 2
};

// Hands a whole line to the stream at once, unbuffered, so that a reader sees it as it happens and a killed
// program leaves no half-written buffer behind. False when the stream is closed or broken.
bool writeLine(OutputStream stream, const QByteArray &line);
