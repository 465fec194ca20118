#include "desktop_notifier.h"

// Windows has no notification service on a bus: an alert goes straight to the window, which shows it as the
// tray icon's message, Windows' own notification.
DesktopNotifier::DesktopNotifier(QObject *parent) : QObject(parent) {}

DesktopNotifier::~DesktopNotifier() = default;

void DesktopNotifier::notify(const QString &summary, const QString &body)
{
    // Queued, as the bus's answer would be: never from inside the caller's own handler.
    QMetaObject::invokeMethod(
        this, [this, summary, body] { emit unanswered(summary, body); }, Qt::QueuedConnection);
}
