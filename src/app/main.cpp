#include "app/form1.h"

#include <QtWidgets/QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QString::fromLatin1(Form1::Title));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTRO_VERSION));

    Form1 window;
    window.show();
    return app.exec();
}
