#pragma once

#include <QtCore/QByteArray>

class LineOutput;

enum OutputStream
{
    StandardOutput = 1,
    StandardError = 2
};

// Hands a whole line to the stream at once, unbuffered, so that a reader sees it as it happens and a killed
// program leaves no half-written buffer behind. While a LineRoute holds the stream, the line goes through
// its LineOutput, which never waits for the reader. False when the stream is closed or broken.
bool writeLine(OutputStream stream, const QByteArray &line);

// While it lives, lines written to `stream` go through `output`, which must outlive it.
class LineRoute final
{
    Q_DISABLE_COPY_MOVE(LineRoute)

public:
    LineRoute(OutputStream stream, LineOutput &output);
    ~LineRoute();

private:
    OutputStream m_stream;
};
