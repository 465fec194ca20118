#pragma once

#include <QtCore/QObject>

// Shows an alert as a desktop notification through org.freedesktop.Notifications on the session bus,
// without waiting for it. When no notification service answers, `unanswered` gives the window the
// chance to show it another way.
class DesktopNotifier final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DesktopNotifier)

public:
    explicit DesktopNotifier(QObject *parent = nullptr);
    ~DesktopNotifier() override;

    void notify(const QString &summary, const QString &body);

signals:
    void shown();
    void unanswered(const QString &summary, const QString &body);

private:
    uint m_shown = 0; // the notification to replace, so that alerts do not pile up
};
