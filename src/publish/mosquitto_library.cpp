#include "mosquitto_library.h"

#include <dlfcn.h>

namespace {
// The run-time name of Debian's libmosquitto1, the package the program depends on.
constexpr char LibraryFile[] = "libmosquitto.so.1";
} // namespace

const MosquittoLibrary *MosquittoLibrary::load(QString &error)
{
    static MosquittoLibrary library;
    static QString failure = [] {
        void *handle = dlopen(LibraryFile, RTLD_LAZY | RTLD_LOCAL);
        if (!handle)
            return QStringLiteral("cannot load %1: %2")
                .arg(QLatin1String(LibraryFile), QString::fromLocal8Bit(dlerror()));
#define VANTRO_MOSQUITTO_RESOLVE(name)                                                                       \
    library.name = reinterpret_cast<decltype(library.name)>(dlsym(handle, #name));                           \
    if (!library.name)                                                                                       \
        return QStringLiteral("%1 has no %2").arg(QLatin1String(LibraryFile), QLatin1String(#name));
        VANTRO_MOSQUITTO_FUNCTIONS(VANTRO_MOSQUITTO_RESOLVE)
#undef VANTRO_MOSQUITTO_RESOLVE
        library.handle = handle;
        library.mosquitto_lib_init();
        return QString();
    }();
    error = failure;
    return failure.isEmpty() ? &library : nullptr;
}
