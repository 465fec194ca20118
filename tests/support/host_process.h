#pragma once

#include <QtCore/QObject>
#include <QtCore/QProcess>
#include <QtNetwork/QTcpSocket>

// A Linux program that the line host (vantro-wine-lines) runs for a test under Wine, which cannot wait on
// one itself: its output comes back over the helper's socket. The part of QProcess's interface that the
// tests' servers and clients use.
class HostProcess final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostProcess)

public:
    HostProcess();
    ~HostProcess() override;

    // `program` by name, found on the Linux side's PATH; arguments as given (paths through hostPath()).
    void start(const QString &program, const QStringList &arguments);
    // The line host drops what the programs it runs say on stderr: there is nothing to redirect.
    void setStandardErrorFile(const QString &);
    bool waitForStarted(int timeoutMs = 30000);
    QProcess::ProcessState state() const;
    qint64 processId() const;
    QByteArray readAllStandardOutput();
    bool waitForReadyRead(int timeoutMs);
    bool waitForFinished(int timeoutMs = 30000);
    int exitCode() const;
    void terminate();
    void kill();
    // Runs it to its end; its exit code, or -2 if it could not be run.
    static int execute(const QString &program, const QStringList &arguments);

signals:
    void readyReadStandardOutput();
    void finished(int exitCode);

private:
    void take();
    bool waitFor(const std::function<bool()> &done, int timeoutMs);

    QTcpSocket m_link;
    QByteArray m_output;
    qint64 m_pid = 0;
    int m_exitCode = -1;
    QProcess::ProcessState m_state = QProcess::NotRunning;
};
