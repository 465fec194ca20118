#include "board_line.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QFile>
#include <QtTest/QTest>

// The helpers that read the same on every platform; the line itself is board_line.cpp or board_line_wine.cpp.

QByteArray fileContents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

double cpuShareOver(int ms)
{
    const double before = processCpuMs();
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(ms);
    return (processCpuMs() - before) / double(wall.elapsed());
}
