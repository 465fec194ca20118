#pragma once

#include "pseudo_terminal.h"

#include <QtCore/QByteArray>

// The board's end of a real pseudo-terminal, for tests that play the board by hand.
class BoardLine final
{
public:
    QString portPath() const;
    void write(const QByteArray &bytes);
    // Reads until `count` bytes have come or `timeoutMs` has passed.
    QByteArray read(int count, int timeoutMs = 2000);
    // Whatever the program has sent and the board has not read yet, without waiting.
    QByteArray readPending();
    void hangUp();

private:
    PseudoTerminal m_line;
};

// The whole of a file, or nothing when it cannot be read.
QByteArray fileContents(const QString &path);
// Open file descriptors of this process, to show that nothing leaks.
int openDescriptorCount();
// CPU time this process has used, in milliseconds.
double processCpuMs();
