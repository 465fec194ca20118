#include "mosquitto_library.h"

#include <QtCore/QLibrary>

namespace {
// Debian's libmosquitto1, the package the program depends on; on Windows the DLL shipped beside the program.
QLibrary &mqttLibrary()
{
    static QLibrary library(QStringLiteral("libmosquitto"), 1);
    return library;
}

// Where OpenSSL's functions are found: through the MQTT library itself where the system's loader follows its
// dependencies (the library's own OpenSSL), or in the OpenSSL libraries shipped beside it.
const QList<QLibrary *> &tlsLibraries()
{
    static const QList<QLibrary *> libraries = [] {
        QList<QLibrary *> found;
        const QStringList names = QStringLiteral(VANTRO_TLS_LIBRARIES).split(u',', Qt::SkipEmptyParts);
        if (names.isEmpty())
            found << &mqttLibrary();
        for (const QString &name : names)
            found << new QLibrary(name);
        return found;
    }();
    return libraries;
}
} // namespace

QFunctionPointer MosquittoLibrary::tlsFunction(const char *name) const
{
    for (QLibrary *library : tlsLibraries())
        if (const QFunctionPointer function = library->resolve(name))
            return function;
    return nullptr;
}

const MosquittoLibrary *MosquittoLibrary::load(QString &error)
{
    static MosquittoLibrary library;
    static QString failure = [] {
        // Never unloaded: its sessions and their sockets outlive any one publisher.
        QLibrary &file = mqttLibrary();
        if (!file.load())
            return QStringLiteral("cannot load the MQTT library: %1").arg(file.errorString());
#define VANTRO_MOSQUITTO_RESOLVE(name)                                                                       \
    library.name = reinterpret_cast<decltype(library.name)>(file.resolve(#name));                            \
    if (!library.name)                                                                                       \
        return QStringLiteral("%1 has no %2").arg(file.fileName(), QLatin1String(#name));
        VANTRO_MOSQUITTO_FUNCTIONS(VANTRO_MOSQUITTO_RESOLVE)
#undef VANTRO_MOSQUITTO_RESOLVE
        library.mosquitto_lib_init();
        return QString();
    }();
    error = failure;
    return failure.isEmpty() ? &library : nullptr;
}
