#include "station.h"

#include "protocol/reading_csv.h"
#include "protocol/temperature_text.h"
#include "vantro_version.h"

#include <QtCore/QJsonDocument>

#include <utility>

namespace {
double degrees(int32_t hundredths)
{
    return hundredthsText(hundredths, QStringLiteral(".")).toDouble();
}

// The link in a word, and the lamp's colour as the window shows it.
std::pair<QString, QString> linkWords(bool portOpen, bool boardUp, bool replied, bool retrying)
{
    if (!portOpen) {
        if (retrying)
            return {QStringLiteral("waiting"), QStringLiteral("red")};
        return {QStringLiteral("closed"), QStringLiteral("white")};
    }
    if (boardUp)
        return {QStringLiteral("replies"), QStringLiteral("green")};
    return {replied ? QStringLiteral("silent") : QStringLiteral("open"), QStringLiteral("green")};
}
} // namespace

QJsonObject Station::pageState()
{
    const bool portOpen = m_controller.port().isOpen();
    const bool retrying = m_timers.timer(LinkTimer::TimerPorta).isActive();
    const auto [link, lamp] = linkWords(portOpen, m_boardUp, m_repliedSinceOpen, retrying);
    QJsonObject state{{QStringLiteral("port"), portName()},
                      {QStringLiteral("port_open"), portOpen},
                      {QStringLiteral("board_up"), m_boardUp},
                      {QStringLiteral("link"), link},
                      {QStringLiteral("lamp"), lamp},
                      {QStringLiteral("version"), QString::fromLatin1(VantroVersion::Number)}};
    state.insert(QStringLiteral("reading"),
                 m_lastReading ? QJsonDocument::fromJson(ReadingCsv::jsonLine(*m_lastReading)).object()
                               : QJsonValue());
    if (m_publisher) {
        state.insert(QStringLiteral("broker"), QJsonObject{{QStringLiteral("address"), m_publisher->broker()},
                                                           {QStringLiteral("state"), m_publisher->state()}});
    }
    const AlertLimits limits = m_alerts.limits();
    QJsonObject shownLimits;
    if (limits.low)
        shownLimits.insert(QStringLiteral("low"), degrees(*limits.low));
    if (limits.high)
        shownLimits.insert(QStringLiteral("high"), degrees(*limits.high));
    if (!shownLimits.isEmpty())
        state.insert(QStringLiteral("limits"), shownLimits);
    if (m_offsetHundredths != 0)
        state.insert(QStringLiteral("offset"), degrees(m_offsetHundredths));
    return state;
}
