#include "zorva_registry.h"

#include <QtCore/QList>

QString zorvaRegistryKey()
{
    return QStringLiteral("HKEY_CURRENT_USER\\Software\\ZORVA");
}

std::unique_ptr<QSettings> zorvaRegistry()
{
    return std::make_unique<QSettings>(zorvaRegistryKey(), QSettings::NativeFormat);
}

void clearZorvaRegistry()
{
    zorvaRegistry()->clear();
}

void writeZorvaRegistry(const QByteArray &ini)
{
    const auto registry = zorvaRegistry();
    QString group;
    for (const QByteArray &line : ini.split('\n')) {
        const qsizetype equals = line.indexOf('=');
        if (line.startsWith('['))
            group = QString::fromUtf8(line.mid(1, line.size() - 2));
        else if (equals > 0)
            registry->setValue(group + u'/' + QString::fromUtf8(line.left(equals)),
                               QString::fromUtf8(line.mid(equals + 1)));
    }
}
