#include "app/display_guard.h"
#include "app/form1.h"
#include "station/command_line.h"
#include "vantro_version.h"

#include <QtWidgets/QApplication>

// The window, started by `vantro` when no option asks for anything else; the command line is already
// known to be good.
int main(int argc, char *argv[])
{
    DisplayGuard guard;
    QApplication app(argc, argv);
    guard.release();
    QCoreApplication::setApplicationName(QString::fromLatin1(Form1::Title));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VantroVersion::Number));
    const CommandLine line = CommandLine::parse(QCoreApplication::arguments());
    Form1 window;
    if (!line.port.isEmpty())
        window.setText(TextBox::TCOM, line.port);
    if (line.offset)
        window.station().setCalibration(*line.offset);
    window.startPublishing(line.mqttUrl, line.mqttId);
    QString httpFailure; // said in the lamp's tooltip
    window.station().startHttp(line.http, line.metrics, httpFailure);
    window.show();
    return app.exec();
}
