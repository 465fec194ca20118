#include "host_process.h"

#include "server_process.h"

#include <QtCore/QDeadlineTimer>
#include <QtCore/QDir>

#include <windows.h>

namespace {
// Where the line host takes requests to run programs: VANTRO_WINE_PROCESSES, set by scripts/windows-tests.sh.
quint16 hostPort()
{
    return quint16(qEnvironmentVariableIntValue("VANTRO_WINE_PROCESSES"));
}

QByteArray encoded(const QString &text)
{
    return text.toUtf8().toBase64();
}
} // namespace

HostProcess::HostProcess()
{
    connect(&m_link, &QTcpSocket::readyRead, this, &HostProcess::take);
}

HostProcess::~HostProcess()
{
    kill();
}

void HostProcess::start(const QString &program, const QStringList &arguments)
{
    m_link.connectToHost(QHostAddress::LocalHost, hostPort());
    if (!m_link.waitForConnected(5000)) {
        qWarning("host process: no line host on port %d (VANTRO_WINE_PROCESSES)", hostPort());
        return;
    }
    QByteArray request = "run " + encoded(program);
    for (const QString &argument : arguments)
        request += ' ' + encoded(argument);
    m_link.write(request + '\n');
    m_state = QProcess::Starting;
}

void HostProcess::setStandardErrorFile(const QString &) {}

bool HostProcess::waitForStarted(int timeoutMs)
{
    return waitFor([this] { return m_state != QProcess::Starting; }, timeoutMs) && m_pid > 0;
}

QProcess::ProcessState HostProcess::state() const
{
    return m_state;
}

qint64 HostProcess::processId() const
{
    return m_pid;
}

QByteArray HostProcess::readAllStandardOutput()
{
    take();
    return std::exchange(m_output, {});
}

bool HostProcess::waitForReadyRead(int timeoutMs)
{
    return waitFor([this] { return !m_output.isEmpty() || m_state == QProcess::NotRunning; }, timeoutMs) &&
           !m_output.isEmpty();
}

bool HostProcess::waitForFinished(int timeoutMs)
{
    return waitFor([this] { return m_state == QProcess::NotRunning; }, timeoutMs);
}

int HostProcess::exitCode() const
{
    return m_exitCode;
}

void HostProcess::terminate()
{
    if (m_state != QProcess::NotRunning)
        m_link.write("terminate\n");
}

void HostProcess::kill()
{
    if (m_state != QProcess::NotRunning) {
        m_link.write("kill\n");
        waitForFinished(2000);
    }
}

int HostProcess::execute(const QString &program, const QStringList &arguments)
{
    HostProcess process;
    process.start(program, arguments);
    return process.waitForStarted() && process.waitForFinished() ? process.exitCode() : -2;
}

// Answers, one a line: "started PID", "out BASE64", "exit CODE", "error WHY".
void HostProcess::take()
{
    bool output = false;
    bool ended = false;
    while (m_link.canReadLine()) {
        const QList<QByteArray> words = m_link.readLine().trimmed().split(' ');
        if (words[0] == "started") {
            m_pid = words.value(1).toLongLong();
            m_state = QProcess::Running;
        } else if (words[0] == "out") {
            m_output += QByteArray::fromBase64(words.value(1));
            output = true;
        } else if (words[0] == "exit" || words[0] == "error") {
            m_exitCode = words[0] == "exit" ? words.value(1).toInt() : -2;
            ended = m_state != QProcess::NotRunning;
            m_state = QProcess::NotRunning;
        }
    }
    if (output)
        emit readyReadStandardOutput();
    if (ended)
        emit finished(m_exitCode);
}

bool HostProcess::waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired() && m_link.state() == QAbstractSocket::ConnectedState) {
        m_link.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
        take();
    }
    return done();
}

// Wine's own call for the Linux path of a Windows one.
QString hostPath(const QString &path)
{
    using UnixName = char *(CDECL *)(const wchar_t *);
    static const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName)
        return path;
    const std::wstring windows = QDir::toNativeSeparators(path).toStdWString();
    char *unix = unixName(windows.c_str());
    if (!unix)
        return path;
    const QString found = QString::fromLocal8Bit(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return found;
}

QString hostUserName()
{
    HostProcess id;
    id.start(QStringLiteral("id"), {QStringLiteral("-un")});
    id.waitForFinished(5000);
    return QString::fromLocal8Bit(id.readAllStandardOutput()).trimmed();
}
