#include "link_controller.h"

#include "link/command_sender.h"
#include "link/link_timers.h"
#include "link/link_view.h"
#include "settings/port_name_setting.h"

namespace {
constexpr int16_t CommandPayload = 2;

QString failureHint(const PortAccess &port)
{
    if (!port.isPermissionDenied())
        return {};
    return QStringLiteral("\nTo use serial ports, join the dialout group (sudo usermod -aG dialout $USER) "
                          "and log in again.");
}
} // namespace

LinkController::LinkController(LinkView &view, QObject *parent)
    : QObject(parent), m_view(view), m_pacer(m_state, m_port, view), m_poller(m_state, m_port, view)
{
    connect(&m_port, &PortAccess::deviceLost, this, &LinkController::onDeviceLost);
    connect(&m_poller, &ReceivePoller::readingTaken, this, &LinkController::readingTaken);
    connect(&m_poller, &ReceivePoller::replyRejected, this, &LinkController::replyRejected);
}

void LinkController::attachTimers(LinkTimers &timers)
{
    connect(&timers.timer(LinkTimer::TimerPorta), &QTimer::timeout, this, &LinkController::openAttempt);
    connect(&timers.timer(LinkTimer::TimerInvioChar), &QTimer::timeout, this, &LinkController::transmitTick);
    connect(&timers.timer(LinkTimer::TimerRispostaInterrogazione), &QTimer::timeout, this,
            &LinkController::presenceReplyCheck);
    connect(&timers.receiveClock(), &ReceiveClock::timeout, this, &LinkController::receiveTick);
}

LinkController::~LinkController() = default;

void LinkController::setCalibration(int32_t offsetHundredths)
{
    m_poller.setOffset(offsetHundredths);
}

void LinkController::formLoad()
{
    m_view.setText(TextBox::TCOM, PortNameSetting::load());
    m_view.setLampToolTip(QStringLiteral("Waiting to open the port"));
}

void LinkController::openAttempt()
{
    m_view.setLampColour(Colours::Red);
    m_portName = m_view.text(TextBox::TCOM);
    if (!m_port.open(m_portName)) {
        m_view.setLampToolTip(QStringLiteral("Cannot open %1: %2%3")
                                  .arg(m_portName, m_port.openFailureReason(), failureHint(m_port)));
        emit portOpenChanged(false);
        return;
    }
    m_view.setTimerEnabled(LinkTimer::TimerPorta, false);
    m_view.setTimerEnabled(LinkTimer::tmrReceive, true);
    m_view.setLampColour(Colours::Green);
    m_view.setLampToolTip(QStringLiteral("%1 is open").arg(m_portName));
    emit portOpenChanged(true);
    startCommand();
}

void LinkController::closePort()
{
    m_view.setTimerEnabled(LinkTimer::tmrReceive, false);
    m_port.close();
    emit portOpenChanged(false);
    m_view.setLampColour(Colours::White);
    // Only OPEN opens again, whether or not an open had already succeeded.
    m_view.setTimerEnabled(LinkTimer::TimerPorta, false);
    m_view.setLampToolTip(QStringLiteral("Port closed"));
}

void LinkController::startCommand()
{
    m_state.NByteRicevuti = 0;
    FillStartPayload(m_state, m_random);
    InviaGenerico(m_state, CommandPayload, m_pacer);
}

void LinkController::presenceQuery()
{
    m_state.NByteRicevuti = 0;
    FillQueryPayload(m_state, m_random);
    InviaGenerico(m_state, CommandPayload, m_pacer);
    m_state.NByteAttesi = PresenceReplyBytes;
    m_state.ErroreRisposta = false;
    m_view.setTimerEnabled(LinkTimer::TimerRispostaInterrogazione, true);
}

void LinkController::presenceReplyCheck()
{
    m_view.setTimerEnabled(LinkTimer::TimerRispostaInterrogazione, false);
    if (m_state.NByteRicevuti < m_state.NByteAttesi)
        m_state.ErroreRisposta = true;
    if (m_state.ErroreRisposta)
        m_view.showMessage(QStringLiteral("RISPOSTA ERRATA"));
}

void LinkController::savePortName()
{
    QString failure;
    if (!PortNameSetting::save(m_view.text(TextBox::TCOM), failure))
        m_view.showMessage(QStringLiteral("PORTA NON MEMORIZZATA\n") + failure);
}

void LinkController::exit()
{
    releasePort();
    m_view.unload();
}

void LinkController::releasePort()
{
    m_port.close();
    emit portOpenChanged(false);
}

void LinkController::transmitTick()
{
    m_pacer.tick();
}

void LinkController::receiveTick()
{
    m_poller.tick();
}

const LinkState &LinkController::state() const
{
    return m_state;
}

PortAccess &LinkController::port()
{
    return m_port;
}

QString LinkController::portName() const
{
    return m_portName;
}

void LinkController::onDeviceLost()
{
    // A green lamp over a dead port would pass a stale temperature off as live.
    m_view.setLampColour(Colours::Red);
    m_view.setLampToolTip(
        QStringLiteral("Lost the board on %1; looking for it every 2 seconds").arg(m_portName));
    m_view.setTimerEnabled(LinkTimer::TimerPorta, true);
    emit portOpenChanged(false);
}
