#include "server_process.h"

#include <pwd.h>
#include <unistd.h>

QString hostPath(const QString &path)
{
    return path;
}

QString hostUserName()
{
    return QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
}
