#include "metrics_loader.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLibrary>

namespace {
// Beside the program in the build tree, and once installed on Windows; elsewhere in the program's library
// folder once installed.
QStringList modulePaths()
{
    const QString name = QStringLiteral("vantro-http");
    QStringList paths{QCoreApplication::applicationDirPath() + u'/' + name};
#ifdef VANTRO_MODULE_DIR
    paths << QStringLiteral(VANTRO_MODULE_DIR "/") + name;
#endif
    return paths;
}
} // namespace

std::unique_ptr<ReadingOutput> startMetrics(const MetricsRequest &request, QString &error)
{
    QString failure;
    for (const QString &path : modulePaths()) {
        // Never unloaded: the endpoint's code must stay while it lives.
        QLibrary module(path);
        if (!module.load()) {
            failure = module.errorString();
            continue;
        }
        const auto start = reinterpret_cast<StartMetricsFunction>(module.resolve(StartMetricsSymbol));
        if (!start) {
            failure = module.errorString();
            continue;
        }
        return std::unique_ptr<ReadingOutput>(start(request, error));
    }
    error = QStringLiteral("metrics are not available in this build: %1").arg(failure);
    return {};
}
