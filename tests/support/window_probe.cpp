#include "window_probe.h"

#include "app/form1.h"
#include "app/status_lamp.h"

#include <QtWidgets/QLabel>

namespace WindowProbe {
QWidget *control(Form1 &form, const char *name)
{
    return form.findChild<QWidget *>(QString::fromLatin1(name));
}

QColor lampColour(Form1 &form)
{
    return form.findChild<StatusLamp *>(QStringLiteral("SCom"))->colour();
}

QString lampToolTip(Form1 &form)
{
    return control(form, "SCom")->toolTip();
}

QString temperatureCaption(Form1 &form)
{
    return form.findChild<QLabel *>(QStringLiteral("LTemp"))->text();
}
} // namespace WindowProbe
