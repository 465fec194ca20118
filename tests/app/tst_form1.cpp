#include "app/command_button.h"
#include "app/form1.h"
#include "app/status_lamp.h"
#include "board_line.h"
#include "link/port_catalog.h"
#include "local_broker.h"

#include <QtCore/QSettings>
#include <QtCore/QTemporaryDir>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QCompleter>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QMessageBox>

#include <sys/stat.h>

namespace {
// Answers every modal message as a user would, and remembers what it said.
class MessageWatcher : public QObject
{
public:
    MessageWatcher()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            texts << box->text();
            titles << box->windowTitle();
            icons << box->icon();
            buttonCounts << int(box->buttons().size());
            box->accept();
        });
        m_timer.start();
    }
    QStringList texts;
    QStringList titles;
    QList<QMessageBox::Icon> icons;
    QList<int> buttonCounts;

private:
    QTimer m_timer;
};

template <typename T = QWidget> T *control(Form1 &form, const char *name)
{
    return form.findChild<T *>(QString::fromLatin1(name));
}

QColor foreColour(QWidget *widget)
{
    return widget->palette().color(QPalette::WindowText);
}

QSize clientSize(Form1 &form)
{
    return form.centralWidget()->size();
}
} // namespace

class TestForm1 : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void controlsStandWhereTheTableSays_data();
    void controlsStandWhereTheTableSays();
    void fontsAndColours();
    void everyCaptionFits();
    void wideTemperaturesShrinkInsteadOfClipping_data();
    void wideTemperaturesShrinkInsteadOfClipping();
    void focusFollowsTheTabColumn();
    void confTogglesTheWidth();
    void infoShowsTheTitle();
    void startUpState();
    void sentLogHasNoLengthLimit();
    void runsTheBoardEndToEnd();
    void presenceQueryThroughTheWindow_data();
    void presenceQueryThroughTheWindow();
    void boardUnpluggedAndBack();
    void exitFreesThePort();
    void portBoxOffersThePortsPresent();
    void keysClickAFocusedButton_data();
    void keysClickAFocusedButton();
    void publishesToTheBrokerInTheSettings();
    void aSettingsFileThatIsAFifoIsLeftAlone();

private:
    std::unique_ptr<QTemporaryDir> m_home;
    std::unique_ptr<Form1> m_form;
};

void TestForm1::init()
{
    m_home = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_home->path());
    m_form = std::make_unique<Form1>();
    m_form->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
}

void TestForm1::cleanup()
{
    m_form.reset();
}

void TestForm1::controlsStandWhereTheTableSays_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("pixels");

    // Logical pixels: the twips of the layout divided by 15.
    QTest::newRow("Frame1") << "Frame1"
                            << "client"
                            << "QGroupBox"
                            << "Temperature" << QRect(8, 8, 217, 129);
    QTest::newRow("LTemp") << "LTemp"
                           << "Frame1"
                           << "QLabel"
                           << "-.--" << QRect(8, 32, 153, 73);
    QTest::newRow("LGrado") << "LGrado"
                            << "Frame1"
                            << "QLabel"
                            << "\u00B0" << QRect(168, 32, 17, 25);
    QTest::newRow("Command1") << "Command1"
                              << "client"
                              << "CommandButton"
                              << "CLOSE" << QRect(8, 144, 217, 105);
    QTest::newRow("SComsad") << "SComsad"
                             << "client"
                             << "QGroupBox"
                             << "USB PORT" << QRect(256, 8, 121, 49);
    QTest::newRow("TCOM") << "TCOM"
                          << "SComsad"
                          << "QLineEdit"
                          << "COM1" << QRect(8, 16, 41, 25);
    QTest::newRow("SCom") << "SCom"
                          << "SComsad"
                          << "StatusLamp"
                          << "" << QRect(50, 16, 25, 25);
    QTest::newRow("Command4") << "Command4"
                              << "SComsad"
                              << "CommandButton"
                              << "MEM" << QRect(80, 16, 33, 25);
    QTest::newRow("Check1") << "Check1"
                            << "client"
                            << "QCheckBox"
                            << "Check1" << QRect(368, 0, 73, 17);
    QTest::newRow("cmdInitialize") << "cmdInitialize"
                                   << "client"
                                   << "CommandButton"
                                   << "OPEN" << QRect(384, 16, 89, 41);
    QTest::newRow("Command2") << "Command2"
                              << "client"
                              << "CommandButton"
                              << "PRESENZA  PIC" << QRect(256, 64, 73, 33);
    QTest::newRow("Command3") << "Command3"
                              << "client"
                              << "CommandButton"
                              << "START" << QRect(328, 64, 49, 33);
    QTest::newRow("cmdClose") << "cmdClose"
                              << "client"
                              << "CommandButton"
                              << "CLOSE" << QRect(384, 64, 89, 33);
    QTest::newRow("Frame3") << "Frame3"
                            << "client"
                            << "QGroupBox"
                            << "Log" << QRect(256, 104, 217, 145);
    QTest::newRow("TTEMP") << "TTEMP"
                           << "Frame3"
                           << "QLineEdit"
                           << "" << QRect(112, 8, 89, 19);
    QTest::newRow("TextBin") << "TextBin"
                             << "Frame3"
                             << "QLineEdit"
                             << "" << QRect(8, 40, 193, 33);
    QTest::newRow("txtSend") << "txtSend"
                             << "Frame3"
                             << "QLineEdit"
                             << "" << QRect(8, 80, 193, 57);
}

void TestForm1::controlsStandWhereTheTableSays()
{
    QFETCH(QString, name);
    QFETCH(QString, parent);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(QRect, pixels);

    QWidget *widget = control(*m_form, name.toLatin1().constData());
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget()->objectName(), parent);
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), kind);
    QCOMPARE(widget->geometry(), pixels);
    QVERIFY(widget->isVisible());
    QString shown;
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        shown = box->title();
    else if (auto *label = qobject_cast<QLabel *>(widget))
        shown = label->text();
    else if (auto *button = qobject_cast<QAbstractButton *>(widget))
        shown = button->text();
    else if (auto *edit = qobject_cast<QLineEdit *>(widget))
        shown = edit->text();
    QCOMPARE(shown, caption);
}

void TestForm1::fontsAndColours()
{
    const struct
    {
        const char *name;
        qreal points;
    } big[] = {{"LTemp", 48}, {"LGrado", 21.75}, {"Command1", 14.25}};
    for (const auto &b : big) {
        const QFont font = control(*m_form, b.name)->font();
        QCOMPARE(font.family(), QStringLiteral("Times New Roman"));
        QVERIFY(font.bold());
        QCOMPARE(font.pointSizeF(), b.points);
    }
    for (const char *name : {"TCOM", "Command2", "Check1", "TextBin", "Frame1", "cmdInitialize"}) {
        const QFont font = control(*m_form, name)->font();
        QCOMPARE(font.pointSize(), 8);
        QVERIFY(font.family() != QStringLiteral("Times New Roman"));
    }
    QCOMPARE(foreColour(control(*m_form, "LTemp")), QColor(128, 128, 128));
    QCOMPARE(foreColour(control(*m_form, "LGrado")), QColor(128, 128, 128));
    QCOMPARE(control<QLabel>(*m_form, "LTemp")->alignment(), Qt::AlignRight | Qt::AlignTop);
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::white));
    // Check1 lies over the port frame's corner and must not be covered by it.
    QWidget *check = control(*m_form, "Check1");
    m_form->toggleLayout();
    QCOMPARE(m_form->centralWidget()->childAt(check->geometry().topLeft() + QPoint(2, 8)), check);
}

void TestForm1::everyCaptionFits()
{
    const auto buttons = m_form->findChildren<CommandButton *>();
    QCOMPARE(buttons.size(), 6);
    for (CommandButton *button : buttons) {
        const QRect room = button->captionRect();
        const QRect needed =
            QFontMetrics(button->font()).boundingRect(room, CommandButton::CaptionFlags, button->text());
        QVERIFY2(room.contains(needed), qPrintable(button->objectName()));
    }
    for (QLabel *label : m_form->findChildren<QLabel *>()) {
        const QFontMetrics metrics(label->font());
        const QRect glyphs = metrics.tightBoundingRect(label->text());
        QVERIFY2(metrics.horizontalAdvance(label->text()) <= label->contentsRect().width(),
                 qPrintable(label->objectName()));
        QVERIFY2(metrics.ascent() + glyphs.bottom() <= label->contentsRect().height(),
                 qPrintable(label->objectName()));
    }
    for (QGroupBox *frame : m_form->findChildren<QGroupBox *>())
        QVERIFY(QFontMetrics(frame->font()).horizontalAdvance(frame->title()) < frame->width());
    auto *check = control<QCheckBox>(*m_form, "Check1");
    QVERIFY(check->sizeHint().width() <= check->width());
    auto *port = control<QLineEdit>(*m_form, "TCOM");
    QVERIFY(QFontMetrics(port->font()).horizontalAdvance(port->text()) < port->width());
}

void TestForm1::wideTemperaturesShrinkInsteadOfClipping_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("fullSize");
    QTest::newRow("room temperature") << "24.41" << true;
    QTest::newRow("two-digit tens") << "99.61" << true;
    QTest::newRow("hundred") << "120.00" << false;
    QTest::newRow("10-bit top") << "499.51" << false;
    QTest::newRow("largest reading") << "15999.51" << false;
}

void TestForm1::wideTemperaturesShrinkInsteadOfClipping()
{
    QFETCH(QString, caption);
    QFETCH(bool, fullSize);
    m_form->setTemperatureCaption(QStringLiteral("499.51"));
    m_form->setTemperatureCaption(caption);
    auto *label = control<QLabel>(*m_form, "LTemp");
    QCOMPARE(label->text(), caption);
    QVERIFY(QFontMetrics(label->font()).horizontalAdvance(caption) <= label->contentsRect().width());
    QCOMPARE(label->font().pointSizeF() == 48, fullSize);
    // The largest size that fits: a quarter point more would not.
    QFont larger = label->font();
    larger.setPointSizeF(larger.pointSizeF() + 0.25);
    QVERIFY(fullSize || QFontMetrics(larger).horizontalAdvance(caption) > label->contentsRect().width());
}

void TestForm1::focusFollowsTheTabColumn()
{
    QTRY_COMPARE(QApplication::focusWidget(), control(*m_form, "Command1"));
    const QStringList expected{"Command1", "TCOM",     "TextBin",  "Command2", "cmdInitialize", "txtSend",
                               "Check1",   "cmdClose", "Command3", "TTEMP",    "Command4"};
    QStringList order;
    QWidget *widget = control(*m_form, "Command1");
    do {
        if (widget->focusPolicy() & Qt::TabFocus)
            order << widget->objectName();
        widget = widget->nextInFocusChain();
    } while (widget != control(*m_form, "Command1") && order.size() < 40);
    QCOMPARE(order, expected);
}

void TestForm1::confTogglesTheWidth()
{
    QCOMPARE(clientSize(*m_form), QSize(241, 254));
    QVERIFY(m_form->menuBar()->isVisible());
    QVERIFY(!m_form->menuBar()->isNativeMenuBar());
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());

    QAction *conf = m_form->findChild<QAction *>(QStringLiteral("Conf"));
    QVERIFY(conf);
    conf->trigger();
    QCOMPARE(clientSize(*m_form), QSize(488, 254));
    QCOMPARE(m_form->minimumSize(), m_form->maximumSize());
    conf->trigger();
    QCOMPARE(clientSize(*m_form), QSize(241, 254));
    // The narrow layout only narrows: the port controls are still there, beyond the edge.
    QVERIFY(control(*m_form, "cmdInitialize")->isVisible());
}

void TestForm1::infoShowsTheTitle()
{
    MessageWatcher watcher;
    m_form->findChild<QAction *>(QStringLiteral("info"))->trigger();
    // The title as it always was, then the platform built for.
    QCOMPARE(watcher.texts,
             QStringList{QStringLiteral("ZORVA - Vantro V1.1\nLinux ") + QSysInfo::buildCpuArchitecture()});
    QCOMPARE(watcher.titles, QStringList{QStringLiteral("ZORVA - Vantro V1.1")});
    QCOMPARE(watcher.icons, QList<QMessageBox::Icon>{QMessageBox::NoIcon});
    QCOMPARE(watcher.buttonCounts, QList<int>{1});
    QCOMPARE(m_form->windowTitle(), QStringLiteral("ZORVA - Vantro V1.1"));
    QVERIFY(!m_form->windowIcon().isNull());
    QCOMPARE(m_form->windowIcon().availableSizes(), (QList<QSize>{QSize(32, 32), QSize(16, 16)}));
}

void TestForm1::startUpState()
{
    const struct
    {
        LinkTimer which;
        const char *name;
        int interval;
        bool active;
    } timers[] = {{LinkTimer::TimerPorta, "TimerPorta", 2000, true},
                  {LinkTimer::TimerInvioChar, "TimerInvioChar", 1, false},
                  {LinkTimer::TimerRispostaInterrogazione, "TimerRispostaInterrogazione", 200, false}};
    for (const auto &t : timers) {
        QTimer &timer = m_form->timer(t.which);
        QCOMPARE(timer.objectName(), QString::fromLatin1(t.name));
        QCOMPARE(timer.interval(), t.interval);
        QCOMPARE(timer.isActive(), t.active);
    }
    QCOMPARE(m_form->timer(LinkTimer::TimerInvioChar).timerType(), Qt::PreciseTimer);
    QCOMPARE(m_form->receiveClock().objectName(), QStringLiteral("tmrReceive"));
    QCOMPARE(m_form->receiveClock().interval(), 10);
    QVERIFY(m_form->receiveClock().isActive());

    // The first attempt comes when TimerPorta ticks: red on failure, and it keeps trying.
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::white));
    QVERIFY(QMetaObject::invokeMethod(&m_form->timer(LinkTimer::TimerPorta), "timeout"));
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::red));
    QVERIFY(m_form->timer(LinkTimer::TimerPorta).isActive());
    QVERIFY(control(*m_form, "SCom")->toolTip().contains(QStringLiteral("COM1")));

    // Enabling a running timer leaves its period alone.
    const int remaining = m_form->timer(LinkTimer::TimerPorta).remainingTime();
    QTest::qWait(50);
    m_form->setTimerEnabled(LinkTimer::TimerPorta, true);
    QVERIFY(m_form->timer(LinkTimer::TimerPorta).remainingTime() < remaining);
}

void TestForm1::sentLogHasNoLengthLimit()
{
    const QString longLog(40000, QLatin1Char('-'));
    m_form->setText(TextBox::txtSend, longLog);
    QCOMPARE(m_form->text(TextBox::txtSend).size(), longLog.size());
}

void TestForm1::runsTheBoardEndToEnd()
{
    BoardLine board;
    control<QLineEdit>(*m_form, "TCOM")->setText(board.portPath());
    control<QCheckBox>(*m_form, "Check1")->setChecked(true);
    m_form->controller().openAttempt();
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::green));
    QVERIFY(!m_form->timer(LinkTimer::TimerPorta).isActive());

    QByteArray frame;
    QTRY_COMPARE((frame += board.readPending()).size(), 6);
    QCOMPARE(frame.left(3), QByteArray::fromHex("0B0647"));
    QTRY_COMPARE(m_form->text(TextBox::txtSend).count(QLatin1Char('-')), 6);

    board.write(QByteArray::fromHex("1605320021000000"));
    QTRY_COMPARE(control<QLabel>(*m_form, "LTemp")->text(), QStringLiteral("24.41"));
    QCOMPARE(m_form->text(TextBox::TTEMP), QStringLiteral("50-0"));
    QCOMPARE(m_form->text(TextBox::TextBin), QStringLiteral("-22-5-50-0-33-0-0-0"));
    QCOMPARE(foreColour(control(*m_form, "LTemp")), QColor(Qt::black));
    QCOMPARE(foreColour(control(*m_form, "LGrado")), QColor(Qt::black));

    QTest::mouseClick(control<QPushButton>(*m_form, "cmdClose"), Qt::LeftButton);
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::white));
    QVERIFY(!m_form->receiveClock().isActive());
    QVERIFY(!m_form->timer(LinkTimer::TimerPorta).isActive());
    QTest::mouseClick(control<QPushButton>(*m_form, "cmdInitialize"), Qt::LeftButton);
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::green));
}

void TestForm1::presenceQueryThroughTheWindow_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("five bytes") << QByteArray::fromHex("06064C7F21") << QStringList{};
    QTest::newRow("no answer") << QByteArray() << QStringList{QStringLiteral("RISPOSTA ERRATA")};
}

void TestForm1::presenceQueryThroughTheWindow()
{
    QFETCH(QByteArray, answer);
    QFETCH(QStringList, messages);

    BoardLine board;
    control<QLineEdit>(*m_form, "TCOM")->setText(board.portPath());
    m_form->controller().openAttempt();
    QByteArray got;
    QTRY_COMPARE((got += board.readPending()).size(), 6);

    MessageWatcher watcher;
    QTest::mouseClick(control<QPushButton>(*m_form, "Command2"), Qt::LeftButton);
    QVERIFY(m_form->timer(LinkTimer::TimerRispostaInterrogazione).isActive());
    got.clear();
    QTRY_COMPARE((got += board.readPending()).size(), 6);
    QCOMPARE(got.left(3), QByteArray::fromHex("0B064C"));
    board.write(answer);
    QTRY_VERIFY(!m_form->timer(LinkTimer::TimerRispostaInterrogazione).isActive());
    QTRY_COMPARE(watcher.texts, messages);
    QCOMPARE(watcher.titles.size(), messages.size());
}

void TestForm1::boardUnpluggedAndBack()
{
    auto board = std::make_unique<BoardLine>();
    control<QLineEdit>(*m_form, "TCOM")->setText(board->portPath());
    m_form->controller().openAttempt();
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::green));
    board->hangUp();
    QTRY_COMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::red));
    QVERIFY(m_form->timer(LinkTimer::TimerPorta).isActive());

    board = std::make_unique<BoardLine>();
    control<QLineEdit>(*m_form, "TCOM")->setText(board->portPath());
    m_form->controller().openAttempt(); // what the next TimerPorta tick does
    QCOMPARE(control<StatusLamp>(*m_form, "SCom")->colour(), QColor(Qt::green));
}

void TestForm1::exitFreesThePort()
{
    BoardLine board;
    control<QLineEdit>(*m_form, "TCOM")->setText(board.portPath());
    m_form->controller().openAttempt();
    QTest::mouseClick(control<QPushButton>(*m_form, "Command1"), Qt::LeftButton);
    QVERIFY(!m_form->isVisible());
    QSerialPort other(board.portPath());
    QVERIFY(other.open(QIODevice::ReadWrite));
}

void TestForm1::portBoxOffersThePortsPresent()
{
    auto *box = control<QLineEdit>(*m_form, "TCOM");
    QVERIFY(box->completer());
    m_form->activateWindow();
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Down);
    // Every port present is offered by its name, and by its stable name where it has one.
    QStringList offered;
    for (int row = 0; row < box->completer()->model()->rowCount(); ++row)
        offered << box->completer()->model()->index(row, 0).data(Qt::UserRole).toString();
    QStringList present;
    for (const PresentPort &port : PortCatalog::present())
        present << port.name << port.byId;
    present.removeAll(QString());
    QCOMPARE(offered, present);
    // It stays a free text box.
    box->setText(QStringLiteral("/dev/anything"));
    QCOMPARE(m_form->text(TextBox::TCOM), QStringLiteral("/dev/anything"));
}

void TestForm1::keysClickAFocusedButton_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
    QTest::newRow("Space") << int(Qt::Key_Space) << int(Qt::NoModifier);
}

void TestForm1::keysClickAFocusedButton()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    BoardLine board;
    control<QLineEdit>(*m_form, "TCOM")->setText(board.portPath());
    m_form->controller().openAttempt();
    QByteArray frame;
    QTRY_COMPARE((frame += board.readPending()).size(), 6);

    QWidget *start = control(*m_form, "Command3");
    m_form->activateWindow();
    start->setFocus();
    QTest::keyClick(start, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    frame.clear();
    QTRY_COMPARE((frame += board.readPending()).size(), 6);
    QCOMPARE(frame.left(3), QByteArray::fromHex("0B0647"));
}

void TestForm1::publishesToTheBrokerInTheSettings()
{
    LocalBroker broker;
    QVERIFY(broker.start());
    Subscriber subscriber(broker, QStringLiteral("vantro/window/temperature"));
    QVERIFY(subscriber.subscribed());
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("MQTT/Url"), broker.url());
    QSettings(QStringLiteral("ZORVA")).setValue(QStringLiteral("MQTT/Id"), QStringLiteral("Window"));
    BoardLine board;
    control<QLineEdit>(*m_form, "TCOM")->setText(board.portPath());
    m_form->startPublishing({}, {});
    m_form->controller().openAttempt();
    QByteArray start;
    QVERIFY(QTest::qWaitFor([&] { return (start += board.readPending()).size() >= 6; }));
    board.write(QByteArray::fromHex("1605320021000000"));
    QVERIFY(subscriber.waitFor(1));
    QCOMPARE(subscriber.messages().constFirst(), QStringLiteral("vantro/window/temperature 24.41"));

    // The lamp's tooltip says the broker's state beside the port's.
    auto *lamp = control<StatusLamp>(*m_form, "SCom");
    QVERIFY(lamp->toolTip().contains(QStringLiteral(" is open\nPublishing to the broker at 127.0.0.1:")));
    broker.stop();
    QTRY_VERIFY(lamp->toolTip().contains(QStringLiteral("Cannot reach the broker")));
}

void TestForm1::aSettingsFileThatIsAFifoIsLeftAlone()
{
    // Opened for reading, it would wait for a writer for ever.
    m_form.reset();
    const QString settings = m_home->filePath(QStringLiteral("ZORVA.conf"));
    QCOMPARE(::mkfifo(QFile::encodeName(settings).constData(), 0600), 0);
    m_form = std::make_unique<Form1>();
    QCOMPARE(control<QLineEdit>(*m_form, "TCOM")->text(), QStringLiteral("COM1"));
    const QString tip = control(*m_form, "SCom")->toolTip();
    QVERIFY2(tip.endsWith(
                 QStringLiteral("\nSettings not read, the defaults are in use: %1: it is not a regular file")
                     .arg(settings)),
             qPrintable(tip));
}

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
