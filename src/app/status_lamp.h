#pragma once

#include <QtGui/QColor>
#include <QtWidgets/QWidget>

// The port's lamp: an opaque square filled with its colour inside a thin border.
class StatusLamp final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(StatusLamp)

public:
    explicit StatusLamp(QWidget *parent = nullptr);

    QColor colour() const;
    void setColour(const QColor &colour);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_colour = Qt::white;
};
