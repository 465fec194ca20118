#include "line_probe.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {
QString onOff(bool on)
{
    return on ? QStringLiteral("on") : QStringLiteral("off");
}

QString baud(speed_t speed)
{
    switch (speed) {
    case B9600:
        return QStringLiteral("9600");
    case B19200:
        return QStringLiteral("19200");
    default:
        return QStringLiteral("other");
    }
}

int dataBits(tcflag_t cflag)
{
    switch (cflag & CSIZE) {
    case CS7:
        return 7;
    case CS8:
        return 8;
    default:
        return 0;
    }
}
} // namespace

QString lineSettings(const QString &portPath)
{
    const int fd = ::open(QFile::encodeName(portPath).constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return {};
    termios s{};
    const bool read = tcgetattr(fd, &s) == 0;
    ::close(fd);
    if (!read)
        return {};
    const bool raw = (s.c_lflag & (ICANON | ECHO | ISIG)) == 0 && (s.c_oflag & OPOST) == 0 &&
                     (s.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP)) == 0;
    return QStringLiteral("baud=%1 bits=%2 parity=%3 stop=%4 rtscts=%5 xonxoff=%6 raw=%7")
        .arg(cfgetispeed(&s) == cfgetospeed(&s) ? baud(cfgetospeed(&s)) : QStringLiteral("split"))
        .arg(dataBits(s.c_cflag))
        .arg((s.c_cflag & PARENB) ? QStringLiteral("on") : QStringLiteral("none"))
        .arg((s.c_cflag & CSTOPB) ? 2 : 1)
        .arg(onOff(s.c_cflag & CRTSCTS), onOff(s.c_iflag & (IXON | IXOFF)), onOff(raw));
}

void missetLine(const QString &portPath)
{
    const int fd = ::open(QFile::encodeName(portPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return;
    termios s{};
    tcgetattr(fd, &s);
    s.c_cflag |= CSTOPB | CRTSCTS;
    s.c_iflag |= IXON | IXOFF | ICRNL;
    cfsetispeed(&s, B9600);
    cfsetospeed(&s, B9600);
    tcsetattr(fd, TCSANOW, &s);
    ::close(fd);
}

int openCount(const QString &devicePath)
{
    int count = 0;
    const QStringList processes = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &process : processes) {
        bool isProcess = false;
        process.toInt(&isProcess);
        if (!isProcess)
            continue;
        const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(process));
        for (const QFileInfo &descriptor : descriptors.entryInfoList(QDir::System | QDir::NoDotAndDotDot)) {
            if (descriptor.symLinkTarget() == devicePath)
                ++count;
        }
    }
    return count;
}
