#pragma once

#include <QtCore/QtGlobal>

// Holds Qt's messages while the application reaches the window system. Where it cannot, the program says
// so on one line, points to the headless mode and ends with status 1, instead of Qt's lines and an abort;
// where it can, the messages held are passed on as they came.
class DisplayGuard final
{
    Q_DISABLE_COPY_MOVE(DisplayGuard)

public:
    DisplayGuard();
    ~DisplayGuard();

    // The window system has answered.
    void release();

private:
    bool m_holding = true;
};
