// Plays the board's end of serial lines for Windows tests that run under Wine. Each connection to it gets
// a pseudo-terminal of its own, mapped into the Wine prefix as a COM port (a dosdevices/comN link to the
// port end), and drives the board's end with one command a line:
//
//   write HEX | read COUNT MS | pending | bursts | settings | holders | stop | hangup
//
// each answered on one line, "ok ..." or "error ...". The first line of a connection names its port
// ("COM10"); closing the connection unplugs it.
//
// It also runs Linux programs for the tests (a broker, its clients), which a program under Wine can start
// but not wait on: on a second port, a connection asks "run PROGRAM ARGUMENT..." (each in base64), is told
// "started PID", then "out BASE64" for what the program writes and "exit CODE" when it ends; "terminate"
// and "kill" end it, and so does closing the connection.
//
// Prints both TCP ports on its first line of output: the lines', then the programs'.

#include "line_probe.h"
#include "pseudo_terminal.h"

#include <QtCore/QCommandLineParser>
#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {
class Line final
{
public:
    Line(QTcpSocket *client, const QString &link, const QString &portName) : m_client(client), m_link(link)
    {
        m_clock.start();
        missetLine(m_pty.portPath());
        QFile::remove(m_link);
        if (!m_pty.isValid() || !QFile::link(m_pty.portPath(), m_link)) {
            say(QStringLiteral("error cannot make the port: %1").arg(m_pty.error()));
            return;
        }
        m_watch = std::make_unique<QSocketNotifier>(m_pty.masterFd(), QSocketNotifier::Read);
        QObject::connect(m_watch.get(), &QSocketNotifier::activated, [this] { drain(); });
        m_readDeadline.setSingleShot(true);
        QObject::connect(&m_readDeadline, &QTimer::timeout, [this] { finishRead(); });
        std::fprintf(stderr, "wine-lines: %s is %s\n", qPrintable(portName), qPrintable(m_pty.portPath()));
        say(portName);
    }
    ~Line()
    {
        hangUp();
    }
    Q_DISABLE_COPY_MOVE(Line)

    void onCommand(const QByteArray &line)
    {
        const QList<QByteArray> words = line.trimmed().split(' ');
        const QByteArray verb = words.value(0);
        if (verb == "write") {
            m_pty.write(QByteArray::fromHex(words.value(1)));
            say(QStringLiteral("ok"));
        } else if (verb == "read") {
            m_wanted = words.value(1).toInt();
            m_readDeadline.start(words.value(2).toInt());
            drain();
        } else if (verb == "pending") {
            drain();
            say(QStringLiteral("ok ") + QString::fromLatin1(take(m_received.size()).toHex()));
        } else if (verb == "bursts") {
            drain();
            QStringList said;
            for (const auto &[atMs, bytes] : m_bursts)
                said << QStringLiteral("%1:%2").arg(atMs).arg(bytes);
            say(QStringLiteral("ok ") + said.join(QLatin1Char(' ')));
        } else if (verb == "settings") {
            const QString settings = lineSettings(m_pty.portPath());
            say(settings.isEmpty() ? QStringLiteral("error cannot read the settings")
                                   : QStringLiteral("ok ") + settings);
        } else if (verb == "holders") {
            // Its own port end aside: Wine's processes and its server hold the rest.
            say(QStringLiteral("ok %1").arg(openCount(m_pty.portPath()) - 1));
        } else if (verb == "stop") {
            // The board reads no more, and the line fills.
            m_reading = false;
            m_watch.reset();
            say(QStringLiteral("ok"));
        } else if (verb == "hangup") {
            hangUp();
            say(QStringLiteral("ok"));
        } else {
            say(QStringLiteral("error unknown command"));
        }
    }

private:
    void drain()
    {
        char buffer[256];
        ssize_t n = 0;
        while (m_reading && m_pty.masterFd() >= 0 &&
               (n = ::read(m_pty.masterFd(), buffer, sizeof buffer)) > 0) {
            m_received.append(buffer, n);
            m_bursts.append({m_clock.elapsed(), int(n)});
        }
        if (m_readDeadline.isActive() && m_received.size() >= m_wanted)
            finishRead();
    }
    void finishRead()
    {
        m_readDeadline.stop();
        say(QStringLiteral("ok ") + QString::fromLatin1(take(m_wanted).toHex()));
    }
    QByteArray take(qsizetype count)
    {
        const QByteArray taken = m_received.left(count);
        m_received.remove(0, taken.size());
        return taken;
    }
    // As a cable pulled: the port's device goes, and with it its name.
    void hangUp()
    {
        m_watch.reset();
        m_pty.hangUp();
        QFile::remove(m_link);
    }
    void say(const QString &answer)
    {
        m_client->write(answer.toLatin1() + '\n');
        m_client->flush();
    }

    QTcpSocket *m_client;
    QString m_link;
    PseudoTerminal m_pty;
    std::unique_ptr<QSocketNotifier> m_watch;
    QElapsedTimer m_clock;
    QByteArray m_received;
    QList<std::pair<qint64, int>> m_bursts;
    QTimer m_readDeadline;
    int m_wanted = 0;
    bool m_reading = true;
};

// One program run for a connection on the programs' port.
class HostRun final
{
public:
    explicit HostRun(QTcpSocket *client) : m_client(client)
    {
        m_process.setStandardErrorFile(QProcess::nullDevice());
        QObject::connect(&m_process, &QProcess::started,
                         [this] { say("started " + QByteArray::number(m_process.processId())); });
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                         [this] { say("out " + m_process.readAllStandardOutput().toBase64()); });
        QObject::connect(&m_process, &QProcess::finished, [this](int code, QProcess::ExitStatus status) {
            say("exit " + QByteArray::number(status == QProcess::NormalExit ? code : -1));
        });
        QObject::connect(&m_process, &QProcess::errorOccurred, [this](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                say("error " + m_process.errorString().toUtf8());
        });
    }
    ~HostRun()
    {
        m_process.disconnect();
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    Q_DISABLE_COPY_MOVE(HostRun)

    void onCommand(const QByteArray &line)
    {
        const QList<QByteArray> words = line.trimmed().split(' ');
        if (words.value(0) == "run" && m_process.state() == QProcess::NotRunning) {
            QStringList arguments;
            for (qsizetype i = 2; i < words.size(); ++i)
                arguments << QString::fromUtf8(QByteArray::fromBase64(words[i]));
            m_process.start(QString::fromUtf8(QByteArray::fromBase64(words.value(1))), arguments);
        } else if (words.value(0) == "terminate") {
            m_process.terminate();
        } else if (words.value(0) == "kill") {
            m_process.kill();
        }
    }

private:
    void say(const QByteArray &answer)
    {
        m_client->write(answer + '\n');
        m_client->flush();
    }

    QTcpSocket *m_client;
    QProcess m_process;
};

// Serves each connection of `server` with its own `Handler`, made with the connection, fed its lines and
// dropped with it.
template <typename Handler, typename Make> void serve(QTcpServer &server, Make make)
{
    QObject::connect(&server, &QTcpServer::newConnection, [&server, make] {
        while (QTcpSocket *client = server.nextPendingConnection()) {
            Handler *handler = make(client);
            QObject::connect(client, &QTcpSocket::readyRead, client, [client, handler] {
                while (client->canReadLine())
                    handler->onCommand(client->readLine());
            });
            QObject::connect(client, &QTcpSocket::disconnected, client, [client, handler] {
                delete handler;
                client->deleteLater();
            });
        }
    });
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serial lines for Windows tests under Wine."));
    parser.addHelpOption();
    const QCommandLineOption prefix(QStringLiteral("prefix"), QStringLiteral("The Wine prefix."),
                                    QStringLiteral("folder"));
    const QCommandLineOption first(QStringLiteral("first"),
                                   QStringLiteral("The first COM number to hand out (default 10)."),
                                   QStringLiteral("n"), QStringLiteral("10"));
    parser.addOptions({prefix, first});
    parser.process(app);
    const QString devices = QDir(parser.value(prefix)).filePath(QStringLiteral("dosdevices"));
    if (!parser.isSet(prefix) || !QDir(devices).exists()) {
        std::fprintf(stderr, "wine-lines: --prefix must name a Wine prefix that has a dosdevices folder\n");
        return 2;
    }

    QTcpServer server;
    QTcpServer programs;
    if (!server.listen(QHostAddress::LocalHost) || !programs.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "wine-lines: %s\n", qPrintable(server.errorString() + programs.errorString()));
        return 1;
    }
    int next = parser.value(first).toInt();
    serve<Line>(server, [&next, devices](QTcpSocket *client) {
        const int number = next++;
        return new Line(client, QDir(devices).filePath(QStringLiteral("com%1").arg(number)),
                        QStringLiteral("COM%1").arg(number));
    });
    serve<HostRun>(programs, [](QTcpSocket *client) { return new HostRun(client); });
    std::printf("%d %d\n", server.serverPort(), programs.serverPort());
    std::fflush(stdout);
    return app.exec();
}
