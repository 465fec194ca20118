#include "hosts_file.h"

#include <cerrno>
#include <cstring>
#include <sched.h>
#include <sys/mount.h>

namespace {
const char SystemHosts[] = "/etc/hosts";

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

// Mounts made from now on stay in this process; the threads it starts later share them.
QString ownMountNamespace()
{
    static const QString failure = [] {
        if (::unshare(CLONE_NEWNS) != 0)
            return systemError("unshare");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return systemError("mount --make-rprivate /");
        return QString();
    }();
    return failure;
}
} // namespace

HostsFile::HostsFile(const QByteArray &lines)
{
    m_failure = ownMountNamespace();
    if (!m_failure.isEmpty())
        return;
    if (!m_file.open() || m_file.write(lines) != lines.size() || !m_file.flush()) {
        m_failure = m_file.errorString();
        return;
    }
    if (::mount(QFile::encodeName(m_file.fileName()).constData(), SystemHosts, nullptr, MS_BIND, nullptr) !=
        0)
        m_failure = systemError("mount --bind");
}

HostsFile::~HostsFile()
{
    if (m_failure.isEmpty())
        ::umount2(SystemHosts, MNT_DETACH);
}

QString HostsFile::failure() const
{
    return m_failure;
}
