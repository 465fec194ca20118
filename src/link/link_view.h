#pragma once

#include <QtCore/QString>

#include <cstdint>

enum class TextBox
{
    TCOM,
    TTEMP,
    TextBin,
    txtSend
};

enum class Label
{
    LTemp,
    LGrado
};

enum class LinkTimer
{
    TimerPorta,
    tmrReceive,
    TimerInvioChar,
    TimerRispostaInterrogazione
};

struct Colour
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;

    friend constexpr bool operator==(const Colour &, const Colour &) = default;
};

namespace Colours {
constexpr Colour Black{0, 0, 0};
constexpr Colour Grey{128, 128, 128};
constexpr Colour White{255, 255, 255};
constexpr Colour Red{255, 0, 0};
constexpr Colour Green{0, 255, 0};
} // namespace Colours

// Everything the link reads from or shows on the screen goes through this interface,
// so the link runs the same against the real window and against a recording fake.
class LinkView
{
public:
    virtual ~LinkView() = default;

    virtual QString text(TextBox box) const = 0;
    virtual void setText(TextBox box, const QString &text) = 0;
    virtual void setTemperatureCaption(const QString &caption) = 0;
    virtual void setForeColour(Label label, Colour colour) = 0;
    virtual void setLampColour(Colour colour) = 0;
    // What the lamp means in words: the port's state and, after a failed open, why.
    virtual void setLampToolTip(const QString &text) = 0;
    virtual bool isLoggingChecked() const = 0;
    virtual void setTimerEnabled(LinkTimer timer, bool enabled) = 0;
    virtual void showMessage(const QString &text) = 0;
    virtual void unload() = 0;
};
