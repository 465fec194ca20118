#pragma once

#include <QtWidgets/QPushButton>

// A push button whose caption wraps at its spaces when it does not fit on one line,
// as "PRESENZA  PIC" must in its small button; the caption text itself is unchanged.
class CommandButton final : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CommandButton)

public:
    explicit CommandButton(const QString &caption, QWidget *parent = nullptr);

    // The rectangle the caption is drawn in.
    QRect captionRect() const;
    static constexpr int CaptionFlags = Qt::AlignCenter | Qt::TextWordWrap;

protected:
    void paintEvent(QPaintEvent *event) override;
    // Return and Enter click a focused button, as Space does.
    void keyPressEvent(QKeyEvent *event) override;
};
