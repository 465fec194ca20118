#include "board_options.h"
#include "virtual_board.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int quitPipe[2] = {-1, -1};

void requestQuit(int)
{
    const char byte = 'q';
    [[maybe_unused]] const ssize_t ignored = ::write(quitPipe[1], &byte, 1);
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantro-vboard"));

    BoardOptions options;
    QString error;
    if (!BoardOptions::parse(app.arguments(), options, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 2;
    }

    // Ctrl-C and kill end the event loop so that the symlink is removed on the way out.
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, quitPipe) != 0)
        return 1;
    QSocketNotifier quitNotifier(quitPipe[0], QSocketNotifier::Read);
    QObject::connect(&quitNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, requestQuit);
    std::signal(SIGTERM, requestQuit);

    VirtualBoard board(options, stderr);
    if (!board.start(error)) {
        std::fprintf(stderr, "vboard: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%s\n", qPrintable(options.linkPath.isEmpty() ? board.portPath() : options.linkPath));
    std::fflush(stdout);
    std::fprintf(stderr, "vboard: playing the board on %s; open that port at 19200 8N1\n",
                 qPrintable(board.portPath()));
    return app.exec();
}
