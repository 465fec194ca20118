#include "app/form1.h"
#include "board_line.h"
#include "link/link_controller.h"
#include "window_probe.h"

#include <QtCore/QProcess>
#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>
#include <QtWidgets/QLineEdit>

using namespace WindowProbe;

// Another program holds the board's port: the window says so and why, and takes the port as soon
// as the other program lets go.
class TestPortHeld : public QObject
{
    Q_OBJECT

private slots:
    void opensOnceTheOtherProgramLetsGo_data();
    void opensOnceTheOtherProgramLetsGo();
};

void TestPortHeld::opensOnceTheOtherProgramLetsGo_data()
{
    QTest::addColumn<bool>("crash");
    QTest::newRow("the other program quits") << false;
    QTest::newRow("the other program is killed") << true;
}

void TestPortHeld::opensOnceTheOtherProgramLetsGo()
{
    QFETCH(bool, crash);
    BoardLine board;

    // The holder is a second copy of this program, with a settings folder of its own.
    QTemporaryDir otherHome;
    QSettings otherSettings(otherHome.filePath(QStringLiteral("ZORVA.conf")), QSettings::IniFormat);
    otherSettings.setValue(QStringLiteral("SENSORE_TEMP/TCOM"), board.portPath());
    otherSettings.sync();
    QProcess other;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), otherHome.path());
    other.setProcessEnvironment(environment);
    other.start(QStringLiteral(VANTRO_PATH), {});
    QVERIFY(other.waitForStarted());
    // It has the port once its start command reaches the board.
    QByteArray frame;
    QVERIFY(QTest::qWaitFor([&] { return (frame += board.readPending()).size() >= 6; }, 10000));

    QTemporaryDir home;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, home.path());
    Form1 form;
    qobject_cast<QLineEdit *>(control(form, "TCOM"))->setText(board.portPath());
    form.controller().openAttempt();
    QCOMPARE(lampColour(form), QColor(Qt::red));
    const QString prefix = QStringLiteral("Cannot open ") + board.portPath() + QStringLiteral(": ");
    QVERIFY2(lampToolTip(form).startsWith(prefix), qPrintable(lampToolTip(form)));
    QVERIFY2(lampToolTip(form).size() > prefix.size() + 10, qPrintable(lampToolTip(form)));
    // Held, not forbidden: no advice about the dialout group.
    QVERIFY(!lampToolTip(form).contains(QStringLiteral("dialout")));

    if (crash) {
        other.kill();
    } else {
        other.terminate();
    }
    QVERIFY(other.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(lampColour(form), QColor(Qt::green), LinkTimers::TimerPortaMs + 500);
    frame.clear();
    QVERIFY(QTest::qWaitFor([&] { return (frame += board.readPending()).size() >= 6; }, 2000));
    QCOMPARE(frame.left(3), QByteArray::fromHex("0B0647"));
}

QTEST_MAIN(TestPortHeld)
#include "tst_port_held.moc"
