#pragma once

#include <QtGui/QColor>
#include <QtWidgets/QWidget>

class Form1;

// What a user sees on the window, read the way a test needs it.
namespace WindowProbe {
QWidget *control(Form1 &form, const char *name);
QColor lampColour(Form1 &form);
QString lampToolTip(Form1 &form);
QString temperatureCaption(Form1 &form);
} // namespace WindowProbe
