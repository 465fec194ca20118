#include "quit_signals.h"

#include <QtCore/QMetaObject>

#include <mutex>
#include <windows.h>

namespace {
// The console's handler runs on a thread of its own, which Windows starts for each event.
std::mutex watcherMutex;
QuitSignals *watcher = nullptr;
HANDLE loopEnded = nullptr; // set once the watcher is gone, that is, once the run has ended

BOOL WINAPI onConsoleControl(DWORD event)
{
    {
        const std::lock_guard lock(watcherMutex);
        if (!watcher)
            return FALSE;
        QMetaObject::invokeMethod(watcher, &QuitSignals::quitRequested, Qt::QueuedConnection);
    }
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT)
        return TRUE;
    // Windows ends the process as soon as this returns, and at the latest some 5 s after a console
    // closes: the port and the files are closed first, then the program's own return ends the process
    // with its status, while this thread waits.
    WaitForSingleObject(loopEnded, INFINITE);
    Sleep(INFINITE);
    return TRUE;
}
} // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    const std::lock_guard lock(watcherMutex);
    watcher = this;
    if (!loopEnded)
        loopEnded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(loopEnded);
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

QuitSignals::~QuitSignals()
{
    const std::lock_guard lock(watcherMutex);
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    watcher = nullptr;
    SetEvent(loopEnded);
}
