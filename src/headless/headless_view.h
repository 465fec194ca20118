#pragma once

#include "link/link_view.h"

class LinkTimers;

#include <QtCore/QMap>

// The link's view with no screen: it keeps the boxes' texts, runs the link's timers, and says each change
// of the port's state once on stderr. A failure that repeats every 2 s with the same reason is said once.
class HeadlessView final : public LinkView
{
    Q_DISABLE_COPY_MOVE(HeadlessView)

public:
    HeadlessView();
    ~HeadlessView() override;

    // The timers the link enables and disables through this view.
    void attachTimers(LinkTimers &timers);

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

private:
    QMap<TextBox, QString> m_texts;
    QString m_lastState;
    LinkTimers *m_timers = nullptr;
};
