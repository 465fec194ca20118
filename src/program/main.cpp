#include "headless/headless_run.h"
#include "headless/output_line.h"
#include "link/port_catalog.h"
#include "station/command_line.h"
#include "vantro_version.h"
#include "window_start.h"

#include <QtCore/QCoreApplication>

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

    if (!line.headless)
        return startWindow(argv);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(VantroVersion::Number));
    HeadlessRun run(line);
    run.start();
    return app.exec();
}
