#include "fake_link_view.h"

#include "link/link_timers.h"

QString FakeLinkView::text(TextBox box) const
{
    return texts.value(box);
}

void FakeLinkView::setText(TextBox box, const QString &text)
{
    texts[box] = text;
}

void FakeLinkView::setTemperatureCaption(const QString &text)
{
    caption = text;
}

void FakeLinkView::setForeColour(Label label, Colour colour)
{
    foreColours[label] = colour;
}

void FakeLinkView::setLampColour(Colour colour)
{
    lamp = colour;
    lampHistory.append(colour);
}

void FakeLinkView::setLampToolTip(const QString &text)
{
    lampToolTip = text;
}

bool FakeLinkView::isLoggingChecked() const
{
    ++loggingLooks;
    if (onLoggingLook)
        onLoggingLook(loggingLooks);
    return logging;
}

void FakeLinkView::setTimerEnabled(LinkTimer timer, bool enabled)
{
    timers[timer] = enabled;
    if (realTimers)
        realTimers->setEnabled(timer, enabled);
}

void FakeLinkView::showMessage(const QString &text)
{
    messages.append(text);
}

void FakeLinkView::unload()
{
    ++unloads;
}

bool FakeLinkView::isTimerEnabled(LinkTimer timer) const
{
    return timers.value(timer, false);
}
