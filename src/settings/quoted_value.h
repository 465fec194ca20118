#pragma once

#include <QtCore/QString>
#include <QtCore/QStringView>

// A value from outside (a setting, an argument) as it is shown back in a message: in double quotes, a control
// character as its escape (\n, \t, \x1b) so that it cannot move the cursor or end the line, and a value far
// longer than any sound one cut short with its length said.
QString quotedValue(QStringView value);
