#include "app/desktop_notifier.h"
#include "app/form1.h"

#include <QtDBus/QDBusConnection>
#include <QtTest/QtTest>

// An alert on the desktop, through a notification service that this test puts on its own session bus
// (the test runs under dbus-run-session).
namespace {
class NotificationService final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList shown;
    QList<uint> replaced;

public slots:
    uint Notify(const QString &, uint replacesId, const QString &, const QString &summary,
                const QString &body, const QStringList &, const QVariantMap &, int)
    {
        shown << summary + QStringLiteral(": ") + body;
        replaced << replacesId;
        return 7;
    }
};
} // namespace

class TstAlertNotification final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void withNoServiceTheWindowIsTold();
    void alertsReachTheDesktop();

private:
    QTemporaryDir m_home;
};

void TstAlertNotification::initTestCase()
{
    qputenv("XDG_CONFIG_HOME", m_home.path().toLocal8Bit());
    QVERIFY2(QDBusConnection::sessionBus().isConnected(), "run under dbus-run-session");
}

void TstAlertNotification::withNoServiceTheWindowIsTold()
{
    DesktopNotifier notifier;
    QSignalSpy unanswered(&notifier, &DesktopNotifier::unanswered);
    notifier.notify(QStringLiteral("Temperature alert"), QStringLiteral("hot"));
    QVERIFY(unanswered.wait());
    QCOMPARE(unanswered.first().at(1).toString(), QStringLiteral("hot"));
}

void TstAlertNotification::alertsReachTheDesktop()
{
    NotificationService service;
    QDBusConnection bus = QDBusConnection::sessionBus();
    QVERIFY(bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &service,
                               QDBusConnection::ExportAllSlots));
    QVERIFY(bus.registerService(QStringLiteral("org.freedesktop.Notifications")));

    Form1 form;
    form.alerts().setLimits({3000, std::nullopt});
    const auto take = [&form](int hundredths) {
        emit form.controller().readingTaken(Reading{1796640000000, 0, 0, hundredths});
    };
    take(2900);
    take(3100);
    take(3200);
    QTRY_COMPARE(service.shown.size(), 1);
    take(2949);
    QTRY_COMPARE(service.shown.size(), 2);
    QCOMPARE(service.shown.size(), 2);
    QVERIFY2(service.shown[0].startsWith(QStringLiteral(
                 "Temperature alert: 31.00 \u00B0C is above the high limit of 30.00 \u00B0C on")),
             qPrintable(service.shown[0]));
    QVERIFY(service.shown[1].startsWith(QStringLiteral("Temperature back within limits: 29.49")));

    // A later alert replaces the one shown instead of piling up beside it.
    DesktopNotifier notifier;
    QSignalSpy shown(&notifier, &DesktopNotifier::shown);
    notifier.notify(QStringLiteral("Temperature alert"), QStringLiteral("hot"));
    QVERIFY(shown.wait());
    notifier.notify(QStringLiteral("Temperature back within limits"), QStringLiteral("fine"));
    QTRY_COMPARE(service.replaced.mid(2), (QList<uint>{0, 7}));
}

QTEST_MAIN(TstAlertNotification)
#include "tst_alert_notification.moc"
