#include "app/command_line.h"
#include "app/form1.h"
#include "headless/headless_run.h"
#include "headless/output_line.h"
#include "link/port_catalog.h"

#include <QtWidgets/QApplication>

namespace {
void nameTheApplication()
{
    QCoreApplication::setApplicationName(QString::fromLatin1(Form1::Title));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTRO_VERSION));
}
} // namespace

int main(int argc, char *argv[])
{
    // Read before any application object exists: --help, --version and mistakes need no display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine line = CommandLine::parse(arguments);
    if (line.exitCode >= 0) {
        writeLine(line.exitCode == 0 ? StandardOutput : StandardError, line.message.toLocal8Bit());
        return line.exitCode;
    }

    if (line.listPorts) {
        QByteArray list;
        for (const PresentPort &port : PortCatalog::present())
            list += PortCatalog::listLine(port).toLocal8Bit() + '\n';
        return writeLine(StandardOutput, list) ? 0 : 1;
    }

    if (line.headless) {
        QCoreApplication app(argc, argv);
        nameTheApplication();
        HeadlessRun run(line);
        run.start();
        return app.exec();
    }

    QApplication app(argc, argv);
    nameTheApplication();
    Form1 window;
    if (!line.port.isEmpty())
        window.setText(TextBox::TCOM, line.port);
    window.startPublishing(line.mqttUrl, line.mqttId);
    window.show();
    return app.exec();
}
