#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>

#include <memory>

// The board's end of a real serial line, for tests that play the board by hand: a pseudo-terminal pair
// (board_line.cpp), or for a Windows test under Wine a pseudo-terminal that a helper on the Linux side
// maps into the Wine prefix as a COM port (board_line_wine.cpp).
class BoardLine final
{
public:
    // Bytes that reached the board's end together, and when, in ms since the line was made.
    struct Burst
    {
        qint64 atMs;
        int bytes;
    };

    BoardLine();
    ~BoardLine();
    Q_DISABLE_COPY_MOVE(BoardLine)

    // The name the program opens: a device path, or COMn under Wine.
    QString portPath() const;
    void write(const QByteArray &bytes);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    QByteArray read(int count, int timeoutMs = 2000);
    // Whatever the program has sent and the board has not read yet, without waiting.
    QByteArray readPending();
    // How what the program sent came in so far. Here each burst is seen as it comes while the event loop
    // runs or a read waits; under Wine the helper sees them.
    QList<Burst> bursts();
    // The port's settings as the system keeps them, in the words of lineSettings().
    QString settings();
    // How many descriptors, in any process, hold the port open; the board's own end not counted.
    int holders();
    // The board takes no more bytes: what the program sends fills the line and then waits, as it does for a
    // USB device that hangs without going away.
    void stopReading();
    void hangUp();
#ifndef Q_OS_WIN
    // See PseudoTerminal::pullCable.
    void pullCable();
#endif

private:
    struct Line;
    std::unique_ptr<Line> m_line;
};

// The whole of a file, or nothing when it cannot be read.
QByteArray fileContents(const QString &path);
// Open file descriptors (handles on Windows) of this process, to show that nothing leaks.
int openDescriptorCount();
// Whether this Windows test runs under Wine, which leaves out some of what Windows does.
bool underWine();
// CPU time this process has used, in milliseconds.
double processCpuMs();
// The share of one core this process used while the event loop ran for `ms`: near 0 when nothing spins.
double cpuShareOver(int ms);
