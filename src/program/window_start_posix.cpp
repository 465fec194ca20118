#include "window_start.h"

#include "headless/output_line.h"

#include <QtCore/QByteArray>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <unistd.h>

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
