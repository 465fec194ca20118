#pragma once

#include <QtCore/QByteArray>
#include <QtCore/QString>
#include <QtCore/QtGlobal>

// A pseudo-terminal pair in raw mode. The board keeps both ends: holding the port end open
// keeps the line settings and lets the master read nothing, not an error, while no program has it open.
class PseudoTerminal final
{
    Q_DISABLE_COPY_MOVE(PseudoTerminal)

public:
    PseudoTerminal();
    ~PseudoTerminal();

    bool isValid() const;
    QString error() const;
    // The device a program opens as its serial port.
    QString portPath() const;
    int masterFd() const;

    // Writes what the line takes now; a full line drops the rest, as a board's UART would.
    void write(const QByteArray &bytes);
    // Closes both ends, as pulling the board's cable does; the port disappears for whoever holds it.
    void hangUp();
    // Hangs the line up first, as the kernel does to a USB serial device that goes away: whoever holds the
    // port then reads an end of file, not an error, and can write no more. Needs root.
    void pullCable();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_portPath;
    QString m_error;
};
