#pragma once

#include "link/link_view.h"

#include <QtCore/QMap>
#include <QtCore/QStringList>

#include <functional>

class LinkTimers;

// Records what the link shows, so tests can check it without a window.
class FakeLinkView final : public LinkView
{
public:
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

    bool isTimerEnabled(LinkTimer timer) const;

    QMap<TextBox, QString> texts;
    QString caption = QStringLiteral("-.--");
    QMap<Label, Colour> foreColours{{Label::LTemp, Colours::Grey}, {Label::LGrado, Colours::Grey}};
    Colour lamp = Colours::White;
    QList<Colour> lampHistory;
    QString lampToolTip;
    bool logging = false;
    // Called each time the logging box is looked at, to switch logging in the middle of a tick.
    std::function<void(int lookNumber)> onLoggingLook;
    mutable int loggingLooks = 0;
    QMap<LinkTimer, bool> timers;
    // When set, the link's switches reach these real timers as well, as in the window.
    LinkTimers *realTimers = nullptr;
    QStringList messages;
    int unloads = 0;
};
