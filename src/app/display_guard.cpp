#include "display_guard.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {
struct HeldMessage
{
    QtMsgType type;
    QByteArray file;
    int line;
    QByteArray function;
    QByteArray category;
    QString text;
};

std::vector<HeldMessage> held;
QtMessageHandler passOn = nullptr;

QByteArray failureLine()
{
    const QByteArray x11 = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    const QByteArray which = x11.isEmpty() && wayland.isEmpty()
                                 ? QByteArray("a display: neither DISPLAY nor WAYLAND_DISPLAY is set")
                                 : "the display " + (wayland.isEmpty() ? x11 : wayland);
    return "vantro: cannot open " + which + "; vantro --headless runs without one\n";
}

void holdOrFail(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtFatalMsg) {
        std::fputs(failureLine().constData(), stderr);
        std::fflush(stderr);
        std::_Exit(1);
    }
    held.push_back({type, context.file, context.line, context.function, context.category, text});
}
} // namespace

DisplayGuard::DisplayGuard()
{
    passOn = qInstallMessageHandler(holdOrFail);
}

DisplayGuard::~DisplayGuard()
{
    release();
}

void DisplayGuard::release()
{
    if (!m_holding)
        return;
    m_holding = false;
    qInstallMessageHandler(passOn);
    for (const HeldMessage &message : held) {
        const QMessageLogContext context(message.file.isNull() ? nullptr : message.file.constData(),
                                         message.line,
                                         message.function.isNull() ? nullptr : message.function.constData(),
                                         message.category.isNull() ? nullptr : message.category.constData());
        passOn(message.type, context, message.text);
    }
    held.clear();
}
