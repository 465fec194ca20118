#include "port_lock.h"

#include <QtCore/QFile>

#include <climits>
#include <unistd.h>

namespace {
// Qt locks a port with a file named LCK.. and the port's name, each '/' written as '_', in /var/lock or,
// where it may not write there, in one of a few others such as /tmp.
constexpr const char *LockFolders[] = {"/var/lock", "/run/lock", "/tmp"};
const QString LockPrefix = QStringLiteral("LCK..");

long longestFileName()
{
    for (const char *folder : LockFolders) {
        const long longest = ::pathconf(folder, _PC_NAME_MAX);
        if (longest > 0)
            return longest;
    }
    return NAME_MAX;
}
} // namespace

QString portLockProblem(const QString &lockedName)
{
    // Each '/' becomes one '_': the count of bytes stays.
    const qsizetype bytes = QFile::encodeName(lockedName).size();
    const long fitting = longestFileName() - LockPrefix.size();
    if (bytes <= fitting)
        return {};
    return QStringLiteral("The name is too long for the port's lock file (%1 bytes, at most %2 fit); "
                          "use a shorter name or link")
        .arg(bytes)
        .arg(fitting);
}
