#include "serial_device.h"

#include <windows.h>

namespace {
// A write may wait for the line as long as its bytes take at 19200 baud (10 bits each: 0.52 ms, rounded up),
// and a moment more for a USB device to take them. Without a bound, a device that stops taking bytes would
// hold the event loop for ever.
constexpr DWORD WriteMsPerByte = 1;
constexpr DWORD WriteGraceMs = 100;

// \\.\ reaches every port, COM10 and above included, which a bare name does not.
QString devicePath(const QString &name)
{
    return name.startsWith(QLatin1String("\\\\")) ? name : QStringLiteral("\\\\.\\") + name;
}

QString systemText(DWORD error)
{
    wchar_t *text = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                            FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString said = length > 0 ? QString::fromWCharArray(text, int(length)).trimmed()
                              : QStringLiteral("System error %1").arg(error);
    LocalFree(text);
    return said;
}

// Raw 8N1 without flow control: the line must carry every byte value unchanged. DTR and RTS are raised,
// as opening a terminal on Linux raises them: some USB boards send nothing until DTR is up.
bool configure(HANDLE port)
{
    DCB line{};
    line.DCBlength = sizeof line;
    if (!GetCommState(port, &line))
        return false;
    line.BaudRate = CBR_19200;
    line.ByteSize = 8;
    line.Parity = NOPARITY;
    line.StopBits = ONESTOPBIT;
    line.fBinary = TRUE;
    line.fParity = FALSE;
    line.fOutxCtsFlow = FALSE;
    line.fOutxDsrFlow = FALSE;
    line.fDtrControl = DTR_CONTROL_ENABLE;
    line.fDsrSensitivity = FALSE;
    line.fOutX = FALSE;
    line.fInX = FALSE;
    line.fErrorChar = FALSE;
    line.fNull = FALSE;
    line.fRtsControl = RTS_CONTROL_ENABLE;
    // Left on, a framing error would fail every call until the error is cleared: a loss that is none.
    line.fAbortOnError = FALSE;
    if (!SetCommState(port, &line))
        return false;
    // A read returns at once with what has arrived, nothing included; a write waits for the line, within
    // bounds.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.WriteTotalTimeoutMultiplier = WriteMsPerByte;
    timeouts.WriteTotalTimeoutConstant = WriteGraceMs;
    return SetCommTimeouts(port, &timeouts) != FALSE;
}
} // namespace

struct SerialDevice::Private
{
    HANDLE port = INVALID_HANDLE_VALUE;
    QString failure;

    void keepFailure(const QString &name, DWORD error);
};

// Windows tells of arrivals only through overlapped waits on comm events, which Wine never completes:
// the receive clock asks instead.
bool SerialDevice::announcesArrivals()
{
    return false;
}

SerialDevice::SerialDevice(QObject *parent) : QObject(parent), d(std::make_unique<Private>()) {}

SerialDevice::~SerialDevice()
{
    close();
}

bool SerialDevice::open(const QString &name)
{
    d->failure.clear();
    // No sharing: a port is one program's at a time.
    d->port = CreateFileW(reinterpret_cast<const wchar_t *>(devicePath(name).utf16()),
                          GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (d->port == INVALID_HANDLE_VALUE) {
        d->keepFailure(name, GetLastError());
        return false;
    }
    // A file or a disk opens as well; only a serial port takes the line settings.
    if (!configure(d->port)) {
        d->keepFailure(name, GetLastError());
        close();
        return false;
    }
    return true;
}

bool SerialDevice::isOpen() const
{
    return d->port != INVALID_HANDLE_VALUE;
}

QString SerialDevice::failureReason() const
{
    return d->failure;
}

// Windows refuses a port held by another program with "access denied"; no group membership helps.
bool SerialDevice::isPermissionDenied() const
{
    return false;
}

// Any failure on an open port counts as its loss. With fAbortOnError off and no overlapped calls, a
// failure means the device is gone: usbser.sys and most USB adapters fail with ERROR_ACCESS_DENIED,
// ERROR_BAD_COMMAND, ERROR_GEN_FAILURE or ERROR_DEVICE_REMOVED once unplugged, Wine with ERROR_NOT_READY
// once the line behind the port has hung up.
qint64 SerialDevice::read(char *buffer, qint64 capacity)
{
    DWORD got = 0;
    if (!ReadFile(d->port, buffer, DWORD(capacity), &got, nullptr)) {
        emit failed();
        return -1;
    }
    return got;
}

qint64 SerialDevice::write(char byte)
{
    DWORD written = 0;
    // A write that timed out succeeds with nothing written: a device that takes no more bytes counts as lost.
    if (!WriteFile(d->port, &byte, 1, &written, nullptr) || written == 0) {
        emit failed();
        return -1;
    }
    return written;
}

// Nothing waits in this process: each write has reached the driver when it returns. FlushFileBuffers would
// only wait, with no bound, for the device to take what the driver still holds.
void SerialDevice::flush() {}

qint64 SerialDevice::bytesWaiting()
{
    DWORD lineErrors = 0;
    COMSTAT status{};
    // Also clears the line's error flags (a framing error, an overrun), which would otherwise stay set.
    if (!ClearCommError(d->port, &lineErrors, &status)) {
        emit failed();
        return 0;
    }
    return status.cbInQue;
}

void SerialDevice::close()
{
    if (d->port == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(d->port);
    d->port = INVALID_HANDLE_VALUE;
}

void SerialDevice::Private::keepFailure(const QString &name, DWORD error)
{
    failure = systemText(error);
    // The system's words alone would not say that the port exists and someone else holds it.
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
        failure =
            QStringLiteral("%1 is in use by another program, or not ours to open (%2)").arg(name, failure);
}
