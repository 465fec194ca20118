#include "form1.h"

#include "app/command_button.h"
#include "app/form1_layout.h"
#include "app/status_lamp.h"
#include "link/port_catalog.h"
#include "protocol/temperature_text.h"
#include "record/recording_settings.h"
#include "station/build_platform.h"
#include "trend/trend_window.h"
#include "vantro_version.h"

#include <QtCore/QLoggingCategory>
#include <QtGui/QCloseEvent>
#include <QtGui/QFontDatabase>
#include <QtGui/QIcon>
#include <QtGui/QKeyEvent>
#include <QtGui/QStandardItemModel>
#include <QtWidgets/QAbstractItemView>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QCompleter>
#include <QtWidgets/QGroupBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenuBar>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QSystemTrayIcon>

#include <limits>

namespace {
// Each new caption of the big digits, for whoever watches the window from outside; silent unless
// QT_LOGGING_RULES asks for it ("vantro.window.temperature.info=true").
Q_LOGGING_CATEGORY(shownTemperature, "vantro.window.temperature", QtWarningMsg)

const QString CaptionFamily = QStringLiteral("Times New Roman");
constexpr qreal TemperaturePoints = 48;
constexpr qreal DegreePoints = 21.75;
constexpr qreal ExitPoints = 14.25;
// The size the layout was drawn for.
constexpr int DialogPoints = 8;

QFont captionFont(qreal points)
{
    QFont font(CaptionFamily);
    font.setBold(true);
    font.setPointSizeF(points);
    return font;
}

template <typename Widget> Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QColor toQColor(Colour colour)
{
    return {colour.red, colour.green, colour.blue};
}

void setForeground(QWidget *widget, Colour colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, toQColor(colour));
    widget->setPalette(palette);
}
} // namespace

const char *const Form1::Title = VantroVersion::Product;

Form1::Form1(QWidget *parent) : QMainWindow(parent), m_station(*this)
{
    setWindowTitle(QString::fromLatin1(Title));
    QIcon icon;
    icon.addFile(QStringLiteral(":/icons/vantro-32.xpm"));
    icon.addFile(QStringLiteral(":/icons/vantro-16.xpm"));
    setWindowIcon(icon);
    QFont dialogFont = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    dialogFont.setPointSize(DialogPoints);
    setFont(dialogFont);

    // A global menu bar would take "Conf" and "info" out of the window.
    menuBar()->setNativeMenuBar(false);
    QAction *conf = named(menuBar()->addAction(QStringLiteral("Conf")), "Conf");
    QAction *info = named(menuBar()->addAction(QStringLiteral("info")), "info");
    connect(conf, &QAction::triggered, this, &Form1::toggleLayout);
    connect(info, &QAction::triggered, this, &Form1::showAbout);
    QAction *trend = named(menuBar()->addAction(QStringLiteral("Trend")), "Trend");
    connect(trend, &QAction::triggered, this, &Form1::showTrend);

    buildControls();
    placeControls();
    setUpTabOrder();
    m_station.timers().startUp();
    setClientSize(Form1Layout::compactClient());
    m_station.controller().formLoad();

    m_station.keepHistory();
    connect(&m_station, &Station::readingTaken, this, [this] {
        if (m_trend)
            m_trend->readingAdded();
    });
    // The web page may have the history loaded before the Trend window is first shown.
    connect(&m_station.historyLoader(), &HistoryLoader::loaded, this, [this] {
        if (m_trend)
            m_trend->historyLoaded(m_station.historyReport());
    });
    connect(&m_station, &Station::problemsChanged, this, &Form1::showLampToolTip);
    if (RecordingSettings::enabled())
        m_station.startRecording(RecordingSettings::folder());
    connect(&m_station, &Station::alerted, this, &Form1::raiseAlert);
    connect(&m_notifier, &DesktopNotifier::unanswered, this, &Form1::showInTray);
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    m_client = named(new QWidget(this), "client");
    setCentralWidget(m_client);

    m_frame1 = named(new QGroupBox(QStringLiteral("Temperature"), m_client), "Frame1");
    m_temperature = named(new QLabel(QStringLiteral("-.--"), m_frame1), "LTemp");
    m_temperature->setFont(captionFont(TemperaturePoints));
    m_temperature->setAlignment(Qt::AlignRight | Qt::AlignTop);
    m_degree = named(new QLabel(QStringLiteral("\u00B0"), m_frame1), "LGrado");
    m_degree->setFont(captionFont(DegreePoints));
    m_degree->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setForeground(m_temperature, Colours::Grey);
    setForeground(m_degree, Colours::Grey);

    m_exit = named(new CommandButton(QStringLiteral("CLOSE"), m_client), "Command1");
    m_exit->setFont(captionFont(ExitPoints));

    m_portFrame = named(new QGroupBox(QStringLiteral("USB PORT"), m_client), "SComsad");
    m_portName = named(new QLineEdit(QStringLiteral("COM1"), m_portFrame), "TCOM");
    m_lamp = named(new StatusLamp(m_portFrame), "SCom");
    m_save = named(new CommandButton(QStringLiteral("MEM"), m_portFrame), "Command4");

    m_logging = named(new QCheckBox(QStringLiteral("Check1"), m_client), "Check1");
    m_open = named(new CommandButton(QStringLiteral("OPEN"), m_client), "cmdInitialize");
    m_presence = named(new CommandButton(QStringLiteral("PRESENZA  PIC"), m_client), "Command2");
    m_start = named(new CommandButton(QStringLiteral("START"), m_client), "Command3");
    m_close = named(new CommandButton(QStringLiteral("CLOSE"), m_client), "cmdClose");

    m_logFrame = named(new QGroupBox(QStringLiteral("Log"), m_client), "Frame3");
    m_rawBytes = named(new QLineEdit(m_logFrame), "TTEMP");
    m_received = named(new QLineEdit(m_logFrame), "TextBin");
    m_sent = named(new QLineEdit(m_logFrame), "txtSend");
    // The sent-bytes log has no limit; a line edit would otherwise cut it at 32767 characters.
    m_sent->setMaxLength(std::numeric_limits<int>::max());
    for (QLineEdit *box : {m_portName, m_rawBytes, m_received, m_sent})
        box->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // TCOM stays free text, and offers the ports present: read when the box takes focus and on Down.
    m_presentPorts = new QStandardItemModel(this);
    auto *completer = new QCompleter(m_presentPorts, m_portName);
    completer->setCompletionRole(Qt::UserRole);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    completer->setFilterMode(Qt::MatchContains);
    m_portName->setCompleter(completer);
    m_portName->installEventFilter(this);
    m_lamp->installEventFilter(this);

    LinkController *controller = &m_station.controller();
    connect(m_exit, &QPushButton::clicked, controller, &LinkController::exit);
    connect(m_save, &QPushButton::clicked, controller, &LinkController::savePortName);
    connect(m_open, &QPushButton::clicked, controller, &LinkController::openAttempt);
    connect(m_presence, &QPushButton::clicked, controller, &LinkController::presenceQuery);
    connect(m_start, &QPushButton::clicked, controller, &LinkController::startCommand);
    connect(m_close, &QPushButton::clicked, controller, &LinkController::closePort);
}

void Form1::placeControls()
{
    for (int i = 0; i < Form1Layout::controlCount(); ++i) {
        const char *name = Form1Layout::controlName(i);
        if (auto *control = m_client->findChild<QWidget *>(QString::fromLatin1(name)))
            control->setGeometry(Form1Layout::placement(name));
    }
    // Check1 overlaps the port frame's corner and must stay clickable above it.
    m_logging->raise();
}

void Form1::setUpTabOrder()
{
    const QList<QWidget *> order{m_exit,    m_portName, m_received, m_presence, m_open, m_sent,
                                 m_logging, m_close,    m_start,    m_rawBytes, m_save};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
    m_exit->setFocus();
}

void Form1::setClientSize(const QSize &size)
{
    // A plain resize is ignored by a fixed-size window: the fixed size itself must change.
    m_client->setFixedSize(size);
    setFixedSize(size.width(), size.height() + menuBar()->sizeHint().height());
}

QString Form1::text(TextBox box) const
{
    return textBox(box)->text();
}

void Form1::setText(TextBox box, const QString &text)
{
    textBox(box)->setText(text);
}

void Form1::setTemperatureCaption(const QString &caption)
{
    // The same reading again needs no new fitting and no repaint.
    if (caption == m_temperature->text())
        return;
    // Keep the big size whenever the digits fit; wider readings shrink rather than lose digits.
    QFont font = captionFont(TemperaturePoints);
    const int room = m_temperature->contentsRect().width();
    while (font.pointSizeF() > 1 && QFontMetrics(font).horizontalAdvance(caption) > room)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    // A new font re-lays out the label; most readings keep the size they had.
    if (font != m_temperature->font())
        m_temperature->setFont(font);
    m_temperature->setText(caption);
    qCInfo(shownTemperature, "%s", qUtf8Printable(caption));
}

void Form1::setForeColour(Label label, Colour colour)
{
    QLabel *target = label == Label::LTemp ? m_temperature : m_degree;
    if (target->palette().color(QPalette::WindowText) != toQColor(colour))
        setForeground(target, colour);
}

void Form1::setLampColour(Colour colour)
{
    m_lamp->setColour(toQColor(colour));
}

void Form1::setLampToolTip(const QString &text)
{
    m_linkToolTip = text;
    showLampToolTip();
}

void Form1::showLampToolTip()
{
    m_lamp->setToolTip(lampToolTip());
}

QString Form1::lampToolTip() const
{
    // A recording fault is said beside the port's state until recording runs again.
    return (QStringList{m_linkToolTip} + m_station.problems()).join(u'\n');
}

void Form1::offerPresentPorts()
{
    m_presentPorts->clear();
    for (const PresentPort &port : PortCatalog::present()) {
        for (const QString &name : {port.name, port.byId}) {
            if (name.isEmpty())
                continue;
            auto *item = new QStandardItem(name == port.byId ? name : PortCatalog::caption(port));
            item->setData(name, Qt::UserRole);
            item->setToolTip(PortCatalog::caption(port));
            m_presentPorts->appendRow(item);
        }
    }
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_portName && event->type() == QEvent::FocusIn) {
        offerPresentPorts();
    } else if (watched == m_portName && event->type() == QEvent::KeyPress &&
               static_cast<QKeyEvent *>(event)->key() == Qt::Key_Down &&
               !m_portName->completer()->popup()->isVisible()) {
        offerPresentPorts();
        m_portName->completer()->setCompletionPrefix(QString());
        m_portName->completer()->complete();
        return true;
    } else if (watched == m_lamp && event->type() == QEvent::ToolTip) {
        // Looked for only when the user asks: while the named port is away, one USB serial port present is
        // likely the board. It is named, never opened: it may be another device.
        const QString board =
            m_lamp->colour() == QColor(Qt::red)
                ? PortCatalog::likelyBoard(PortCatalog::present(), m_station.controller().portName())
                : QString();
        QString tip = lampToolTip();
        if (!board.isEmpty()) {
            const qsizetype lineEnd = tip.indexOf(QLatin1Char('\n'));
            tip.insert(lineEnd < 0 ? tip.size() : lineEnd, QStringLiteral("; %1 is present").arg(board));
        }
        m_lamp->setToolTip(tip);
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Form1::isLoggingChecked() const
{
    return m_logging->isChecked();
}

void Form1::setTimerEnabled(LinkTimer which, bool enabled)
{
    m_station.timers().setEnabled(which, enabled);
}

void Form1::showMessage(const QString &text)
{
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(Title), text, QMessageBox::Ok, this);
    box.exec();
}

void Form1::unload()
{
    close();
}

Station &Form1::station()
{
    return m_station;
}

LinkController &Form1::controller()
{
    return m_station.controller();
}

QTimer &Form1::timer(LinkTimer which)
{
    return m_station.timers().timer(which);
}

ReceiveClock &Form1::receiveClock()
{
    return m_station.timers().receiveClock();
}

void Form1::toggleLayout()
{
    const bool compact = m_client->width() == Form1Layout::compactClient().width();
    setClientSize(compact ? Form1Layout::expandedClient() : Form1Layout::compactClient());
}

void Form1::showAbout()
{
    showMessage(QString::fromLatin1(Title) + u'\n' + buildPlatform());
}

void Form1::showTrend()
{
    if (!m_trend) {
        m_trend =
            std::make_unique<TrendWindow>(m_station.history(), m_station.recorder(), m_station.alerts());
        connect(m_trend.get(), &TrendWindow::recordToggled, this, &Form1::setRecording);
        connect(m_trend.get(), &TrendWindow::offsetChanged, &m_station, &Station::setCalibration);
    }
    // The history of the port in use; before any open, of the port named in the box.
    if (m_station.loadHistory())
        m_trend->historyLoading();
    else
        m_trend->historyLoaded(m_station.historyReport());
    m_trend->show();
    m_trend->raise();
    m_trend->activateWindow();
}

TrendWindow *Form1::trendWindow() const
{
    return m_trend.get();
}

ReadingRecorder &Form1::recorder()
{
    return m_station.recorder();
}

void Form1::startPublishing(const QString &urlOption, const QString &idOption)
{
    m_station.startPublishing(urlOption, idOption);
}

ReadingPublisher *Form1::publisher() const
{
    return m_station.publisher();
}

AlertWatch &Form1::alerts()
{
    return m_station.alerts();
}

void Form1::raiseAlert(const AlertEvent &event)
{
    const bool back = event.kind == AlertEvent::Kind::BackWithin;
    m_notifier.notify(
        back ? QStringLiteral("Temperature back within limits") : QStringLiteral("Temperature alert"),
        event.text(localeDecimalPoint()) + QStringLiteral(" on ") + m_station.controller().portName());
}

void Form1::showInTray(const QString &summary, const QString &body)
{
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    if (!m_tray) {
        m_tray = new QSystemTrayIcon(windowIcon(), this);
        m_tray->setToolTip(QString::fromLatin1(Title));
        m_tray->show();
    }
    m_tray->showMessage(summary, body, QSystemTrayIcon::Warning);
}

void Form1::setRecording(bool on)
{
    RecordingSettings::setEnabled(on);
    if (on)
        m_station.startRecording(RecordingSettings::folder());
    else
        m_station.stopRecording();
}

void Form1::closeEvent(QCloseEvent *event)
{
    if (m_trend)
        m_trend->close();
    m_station.controller().releasePort();
    QMainWindow::closeEvent(event);
}

QLineEdit *Form1::textBox(TextBox box) const
{
    switch (box) {
    case TextBox::TCOM:
        return m_portName;
    case TextBox::TTEMP:
        return m_rawBytes;
    case TextBox::TextBin:
        return m_received;
    case TextBox::txtSend:
        break;
    }
    return m_sent;
}
