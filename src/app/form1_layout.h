#pragma once

#include <QtCore/QRect>
#include <QtCore/QSize>

// Where every control of the main window stands, in twips as the layout was drawn,
// converted to logical pixels in this one place.
namespace Form1Layout {
constexpr int TwipsPerPixel = 15;

// The control's rectangle inside its parent (the window's client area or its frame).
QRect placement(const char *controlName);
// Every control in the table, in table order.
int controlCount();
const char *controlName(int index);

QSize compactClient();
QSize expandedClient();
} // namespace Form1Layout
