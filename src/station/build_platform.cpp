#include "build_platform.h"

#include "vantro_version.h"

#include <QtCore/QSysInfo>

QString buildPlatform()
{
    return QLatin1String(VantroVersion::System) + u' ' + QSysInfo::buildCpuArchitecture();
}
