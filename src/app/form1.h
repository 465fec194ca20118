#pragma once

#include "app/desktop_notifier.h"
#include "link/link_view.h"
#include "station/station.h"

#include <QtWidgets/QMainWindow>

#include <memory>

class CommandButton;
class QStandardItemModel;
class QSystemTrayIcon;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class StatusLamp;
class TrendWindow;

// The one window: the temperature in big digits, the port controls and the byte logs.
// It opens compact, showing only the temperature and the exit button; "Conf" widens it.
class Form1 final : public QMainWindow, public LinkView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Form1)

public:
    static const char *const Title;

    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    QString text(TextBox box) const override;
    void setText(TextBox box, const QString &text) override;
    void setTemperatureCaption(const QString &caption) override;
    void setForeColour(Label label, Colour colour) override;
    void setLampColour(Colour colour) override;
    void setLampToolTip(const QString &text) override;
    bool isLoggingChecked() const override;
    void setTimerEnabled(LinkTimer timer, bool enabled) override;
    void showMessage(const QString &text) override;
    void unload() override;

    Station &station();
    LinkController &controller();
    // TimerPorta, TimerInvioChar and TimerRispostaInterrogazione; tmrReceive is receiveClock().
    QTimer &timer(LinkTimer which);
    ReceiveClock &receiveClock();
    // "Conf": compact exactly becomes expanded; any other width becomes compact.
    void toggleLayout();
    void showAbout();
    // "Trend": opens the trend window, or raises it; the recorded history is read the first time.
    void showTrend();
    TrendWindow *trendWindow() const;
    ReadingRecorder &recorder();
    // Publishes to the broker named by the option or, failing it, the settings; nothing when neither does.
    void startPublishing(const QString &urlOption, const QString &idOption);
    ReadingPublisher *publisher() const;
    AlertWatch &alerts();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void placeControls();
    void setUpTabOrder();
    void setClientSize(const QSize &size);
    QLineEdit *textBox(TextBox box) const;
    void setRecording(bool on);
    void showLampToolTip();
    QString lampToolTip() const;
    void offerPresentPorts();
    void raiseAlert(const AlertEvent &event);
    void showInTray(const QString &summary, const QString &body);

    QWidget *m_client = nullptr;
    QGroupBox *m_frame1 = nullptr;
    QLabel *m_temperature = nullptr;
    QLabel *m_degree = nullptr;
    CommandButton *m_exit = nullptr;
    QGroupBox *m_portFrame = nullptr;
    QLineEdit *m_portName = nullptr;
    StatusLamp *m_lamp = nullptr;
    CommandButton *m_save = nullptr;
    QCheckBox *m_logging = nullptr;
    CommandButton *m_open = nullptr;
    CommandButton *m_presence = nullptr;
    CommandButton *m_start = nullptr;
    CommandButton *m_close = nullptr;
    QGroupBox *m_logFrame = nullptr;
    QLineEdit *m_rawBytes = nullptr;
    QLineEdit *m_received = nullptr;
    QLineEdit *m_sent = nullptr;

    Station m_station;
    QString m_linkToolTip;
    QStandardItemModel *m_presentPorts = nullptr;
    DesktopNotifier m_notifier;
    QSystemTrayIcon *m_tray = nullptr; // only where no notification service answers
    std::unique_ptr<TrendWindow> m_trend;
};
