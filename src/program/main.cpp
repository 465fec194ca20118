#include "headless/headless_run.h"
#include "headless/output_line.h"
#include "link/port_catalog.h"
#include "station/command_line.h"
#include "vantro_version.h"

#include <QtCore/QCoreApplication>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>

namespace {
// The window is a program of its own, so that a headless run never loads the window system's libraries.
int startWindow(char *argv[])
{
    char self[PATH_MAX] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string folder = length > 0 ? std::string(self, std::size_t(length)) : std::string(argv[0]);
    const std::string bin = folder.substr(0, folder.rfind('/') + 1);
    // Beside this program in the build tree; in the library-executables folder once installed.
    for (const std::string &path : {bin + "vantro-window", bin + VANTRO_WINDOW_FROM_BIN}) {
        if (access(path.c_str(), X_OK) == 0) {
            execv(path.c_str(), argv);
            break;
        }
    }
    writeLine(StandardError, QByteArray("vantro: cannot start the window: ") + std::strerror(errno) + '\n');
    return 1;
}
} // namespace

int main(int argc, char *argv[])
{
    // Read before any application object exists: --help, --version and mistakes need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = CommandLine::parse(arguments);
    if (line.exitCode >= 0) {
        writeLine(line.exitCode == 0 ? StandardOutput : StandardError, line.message.toLocal8Bit());
        return line.exitCode;
    }

    if (line.listPorts) {
        QByteArray list;
        for (const PresentPort &port : PortCatalog::present())
            list += PortCatalog::listLine(port).toLocal8Bit() + '\n';
        return writeLine(StandardOutput, list) ? 0 : 1;
    }

    if (!line.headless)
        return startWindow(argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VantroVersion::Number));
    HeadlessRun run(line);
    run.start();
    return app.exec();
}
