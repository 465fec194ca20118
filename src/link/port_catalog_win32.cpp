#include "port_catalog.h"

#include <QtCore/QStringList>

#include <windows.h>

#include <cfgmgr32.h>
#include <setupapi.h>

namespace {
// GUID_DEVINTERFACE_COMPORT (ntddser.h, a driver kit header) and GUID_DEVCLASS_PORTS (devguid.h).
constexpr GUID ComPortInterface{0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
constexpr GUID PortsClass{0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
const QString DevicePrefix = QStringLiteral("\\\\.\\");

QString fromWide(const wchar_t *text)
{
    return QString::fromWCharArray(text);
}

QString deviceProperty(HDEVINFO devices, SP_DEVINFO_DATA &device, DWORD property)
{
    wchar_t text[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(devices, &device, property, nullptr,
                                           reinterpret_cast<BYTE *>(text), sizeof text - sizeof(wchar_t),
                                           nullptr))
        return {};
    return fromWide(text);
}

// The COM name the port's driver gave it, kept with the device's settings.
QString portName(HDEVINFO devices, SP_DEVINFO_DATA &device)
{
    HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE)
        return {};
    wchar_t name[64] = {};
    DWORD size = sizeof name - sizeof(wchar_t);
    DWORD type = 0;
    const bool read = RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE *>(name),
                                       &size) == ERROR_SUCCESS &&
                      type == REG_SZ;
    RegCloseKey(key);
    return read ? fromWide(name) : QString();
}

QString instanceId(DEVINST device)
{
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    return CM_Get_Device_IDW(device, id, MAX_DEVICE_ID_LEN, 0) == CR_SUCCESS ? fromWide(id) : QString();
}

// USB\VID_04D8&PID_000A\A1B2C3: the last part is the device's serial number, unless the system made it
// up (it then holds '&'). One interface of a composite device has the serial number on its parent.
QString serialNumber(DEVINST device)
{
    QString id = instanceId(device);
    DEVINST parent = 0;
    if (id.contains(QLatin1String("&MI_"), Qt::CaseInsensitive) &&
        CM_Get_Parent(&parent, device, 0) == CR_SUCCESS)
        id = instanceId(parent);
    const QStringList parts = id.split(QLatin1Char('\\'));
    if (parts.size() != 3 || parts.first().compare(QLatin1String("USB"), Qt::CaseInsensitive) != 0 ||
        parts.last().contains(QLatin1Char('&')))
        return {};
    return parts.last();
}

void addPort(QList<PresentPort> &ports, const PresentPort &port)
{
    for (const PresentPort &listed : ports) {
        if (listed.name.compare(port.name, Qt::CaseInsensitive) == 0)
            return;
    }
    ports << port;
}

// Ports with a driver that registers them: USB adapters and boards, built-in serial ports.
void addRegisteredDevices(QList<PresentPort> &ports, const GUID &kind, DWORD flags)
{
    HDEVINFO devices = SetupDiGetClassDevsW(&kind, nullptr, nullptr, DIGCF_PRESENT | flags);
    if (devices == INVALID_HANDLE_VALUE)
        return;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
        const QString name = portName(devices, device);
        // The ports' class holds printer ports as well.
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        const QString id = instanceId(device.DevInst);
        addPort(ports, {name,
                        DevicePrefix + name,
                        {},
                        deviceProperty(devices, device, SPDRP_DEVICEDESC),
                        deviceProperty(devices, device, SPDRP_MFG),
                        serialNumber(device.DevInst),
                        id.contains(QLatin1String("VID_"), Qt::CaseInsensitive)});
    }
    SetupDiDestroyDeviceInfoList(devices);
}

// Every port the serial drivers have made, registered as a device or not; the names only.
void addSerialCommPorts(QList<PresentPort> &ports)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    for (DWORD i = 0;; ++i) {
        wchar_t value[256] = {};
        wchar_t name[64] = {};
        DWORD valueLength = 255;
        DWORD nameSize = sizeof name - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, i, value, &valueLength, nullptr, &type,
                                          reinterpret_cast<BYTE *>(name), &nameSize);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result == ERROR_SUCCESS && type == REG_SZ)
            addPort(ports, {fromWide(name), DevicePrefix + fromWide(name), {}, {}, {}, {}, false});
    }
    RegCloseKey(key);
}

QString bareName(const QString &named)
{
    return named.startsWith(DevicePrefix) ? named.mid(DevicePrefix.size()) : named;
}
} // namespace

QList<PresentPort> PortCatalog::present(const QString &)
{
    QList<PresentPort> ports;
    addRegisteredDevices(ports, ComPortInterface, DIGCF_DEVICEINTERFACE);
    addRegisteredDevices(ports, PortsClass, 0);
    addSerialCommPorts(ports);
    return ports;
}

bool PortCatalog::isNamed(const PresentPort &port, const QString &named)
{
    return port.name.compare(bareName(named), Qt::CaseInsensitive) == 0;
}

bool PortCatalog::exists(const QString &named)
{
    const QString name = bareName(named);
    wchar_t target[MAX_PATH] = {};
    return !name.isEmpty() &&
           QueryDosDeviceW(reinterpret_cast<const wchar_t *>(name.utf16()), target, MAX_PATH) != 0;
}
