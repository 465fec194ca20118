#pragma once

#include "link/link_state.h"
#include "link/port_access.h"
#include "link/receive_poller.h"
#include "link/transmit_pacer.h"
#include "protocol/random_byte.h"

#include <QtCore/QObject>

class LinkTimers;
class LinkView;

// The link's event logic: opens and closes the port, starts the board, runs the presence
// query and its reply check, and keeps the lamp honest. It sees the screen only through LinkView.
class LinkController final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LinkController)

public:
    static constexpr int16_t PresenceReplyBytes = 5;

    explicit LinkController(LinkView &view, QObject *parent = nullptr);
    ~LinkController() override;

    // The timers' ticks go to their handlers here, whichever view owns the timers.
    void attachTimers(LinkTimers &timers);

    void formLoad();
    void openAttempt();        // TimerPorta tick and OPEN
    void closePort();          // CLOSE in the port area
    void startCommand();       // START, and after every successful open
    void presenceQuery();      // PRESENZA  PIC
    void presenceReplyCheck(); // TimerRispostaInterrogazione tick
    void savePortName();       // MEM
    void exit();               // the big CLOSE
    void releasePort();        // the window is going away

    // The board's calibration offset, added to every temperature from the next reply on.
    void setCalibration(int32_t offsetHundredths);

    void transmitTick(); // TimerInvioChar
    void receiveTick();  // tmrReceive

    const LinkState &state() const;
    // The receive clock watches the port to know when a poll has something to read.
    PortAccess &port();
    // The port named at the last open attempt.
    QString portName() const;

signals:
    // Every reply that showed a temperature, for the recorder, the trend and whoever else listens.
    void readingTaken(const Reading &reading);
    // A read that was not one whole reply with a temperature.
    void replyRejected();
    // The port opened, or closed for whatever reason.
    void portOpenChanged(bool open);

private:
    void onDeviceLost();

    LinkView &m_view;
    LinkState m_state;
    PortAccess m_port;
    RandomByte m_random;
    TransmitPacer m_pacer;
    ReceivePoller m_poller;
    QString m_portName;
};
