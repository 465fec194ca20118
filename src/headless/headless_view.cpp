#include "headless_view.h"

#include "headless/output_line.h"
#include "link/link_timers.h"

#include <QtCore/QCoreApplication>

HeadlessView::HeadlessView() = default;

HeadlessView::~HeadlessView() = default;

void HeadlessView::attachTimers(LinkTimers &timers)
{
    m_timers = &timers;
}

QString HeadlessView::text(TextBox box) const
{
    return m_texts.value(box);
}

void HeadlessView::setText(TextBox box, const QString &text)
{
    m_texts[box] = text;
}

void HeadlessView::setTemperatureCaption(const QString &) {}

void HeadlessView::setForeColour(Label, Colour) {}

void HeadlessView::setLampColour(Colour) {}

void HeadlessView::setLampToolTip(const QString &text)
{
    if (text == m_lastState)
        return;
    m_lastState = text;
    writeLine(StandardError, text.toLocal8Bit() + '\n');
}

bool HeadlessView::isLoggingChecked() const
{
    return false;
}

void HeadlessView::setTimerEnabled(LinkTimer timer, bool enabled)
{
    if (m_timers)
        m_timers->setEnabled(timer, enabled);
}

void HeadlessView::showMessage(const QString &text)
{
    writeLine(StandardError, text.toLocal8Bit() + '\n');
}

void HeadlessView::unload()
{
    QCoreApplication::quit();
}
