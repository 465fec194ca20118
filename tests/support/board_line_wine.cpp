#include "board_line.h"

#include <QtCore/QProcessEnvironment>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QTest>

#include <windows.h>

// Under Wine, the board's end of the line lives on the Linux side: vantro-wine-lines makes the
// pseudo-terminal, maps it into the Wine prefix as COMn and plays it on our word, over a local socket
// whose port VANTRO_WINE_LINES names.
struct BoardLine::Line
{
    QTcpSocket link;
    QString portName;

    QByteArray answer(int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!link.canReadLine() && !deadline.hasExpired() &&
               link.state() == QAbstractSocket::ConnectedState)
            link.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        return link.readLine().trimmed();
    }
    // The answer after "ok", or nothing, with the failure said, when the helper refused.
    QByteArray ask(const QByteArray &command, int timeoutMs = 5000)
    {
        link.write(command + '\n');
        link.flush();
        const QByteArray said = answer(timeoutMs);
        if (said != "ok" && !said.startsWith("ok ")) {
            qWarning("wine-lines: %s: %s", command.constData(),
                     said.isEmpty() ? "no answer" : said.constData());
            return {};
        }
        return said.mid(3);
    }
};

BoardLine::BoardLine() : m_line(std::make_unique<Line>())
{
    const int port = qEnvironmentVariableIntValue("VANTRO_WINE_LINES");
    m_line->link.connectToHost(QHostAddress::LocalHost, quint16(port));
    if (port <= 0 || !m_line->link.waitForConnected(5000)) {
        qWarning("wine-lines: no helper on port %d (VANTRO_WINE_LINES); scripts/windows-tests.sh starts it",
                 port);
        return;
    }
    m_line->portName = QString::fromLatin1(m_line->answer(5000));
}

BoardLine::~BoardLine() = default;

QString BoardLine::portPath() const
{
    return m_line->portName;
}

void BoardLine::write(const QByteArray &bytes)
{
    m_line->ask("write " + bytes.toHex());
}

QByteArray BoardLine::read(int count, int timeoutMs)
{
    return QByteArray::fromHex(m_line->ask(
        "read " + QByteArray::number(count) + ' ' + QByteArray::number(timeoutMs), timeoutMs + 5000));
}

QByteArray BoardLine::readPending()
{
    return QByteArray::fromHex(m_line->ask("pending"));
}

QList<BoardLine::Burst> BoardLine::bursts()
{
    QList<Burst> bursts;
    for (const QByteArray &burst : m_line->ask("bursts").split(' ')) {
        const QList<QByteArray> parts = burst.split(':');
        if (parts.size() == 2)
            bursts << Burst{parts.first().toLongLong(), parts.last().toInt()};
    }
    return bursts;
}

int BoardLine::holders()
{
    return m_line->ask("holders").toInt();
}

void BoardLine::stopReading()
{
    m_line->ask("stop");
}

void BoardLine::hangUp()
{
    m_line->ask("hangup");
}

QString BoardLine::settings()
{
    return QString::fromLatin1(m_line->ask("settings"));
}

int openDescriptorCount()
{
    DWORD handles = 0;
    GetProcessHandleCount(GetCurrentProcess(), &handles);
    return int(handles);
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

double processCpuMs()
{
    FILETIME created{};
    FILETIME exited{};
    FILETIME kernel{};
    FILETIME user{};
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ticks = [](const FILETIME &time) {
        return double((quint64(time.dwHighDateTime) << 32) | time.dwLowDateTime);
    };
    // FILETIME counts in 100 ns.
    return (ticks(kernel) + ticks(user)) / 1e4;
}
