#include "recorded_file.h"

#include <QtCore/QDir>

#include <windows.h>

namespace {
HANDLE handleOf(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

QString systemReason()
{
    return qt_error_string(int(GetLastError()));
}

// Only a plain file on a disk takes the readings: a link is never followed, and a folder or a device in the
// file's place is refused.
QString unsuitableReason(HANDLE file)
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (GetFileType(file) != FILE_TYPE_DISK)
        return QStringLiteral("it is not a regular file");
    if (!GetFileInformationByHandle(file, &information))
        return systemReason();
    if (information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return QStringLiteral("it is a symbolic link, which recording never follows");
    if (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return QStringLiteral("it is not a regular file");
    return {};
}

// Why the file would not open: a folder in its place is refused as the other things that are not files.
QString openFailure(const std::wstring &native)
{
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return QStringLiteral("it is not a regular file");
    return qt_error_string(int(error));
}
} // namespace

RecordedFile::RecordedFile() = default;

RecordedFile::~RecordedFile()
{
    close();
}

bool RecordedFile::open(const QString &path, QString &reason)
{
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    // Appending only, so every write lands at the end; others may read the file meanwhile. A link is opened
    // as itself, to be refused, rather than followed.
    const HANDLE file =
        CreateFileW(native.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        reason = openFailure(native);
        return false;
    }
    reason = unsuitableReason(file);
    if (!reason.isEmpty()) {
        CloseHandle(file);
        return false;
    }
    m_handle = reinterpret_cast<qintptr>(file);
    return true;
}

bool RecordedFile::isOpen() const
{
    return m_handle != -1;
}

void RecordedFile::close()
{
    if (m_handle == -1)
        return;
    CloseHandle(handleOf(m_handle));
    m_handle = -1;
}

QString RecordedFile::unwritable() const
{
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandle(handleOf(m_handle), &information))
        return systemReason();
    if (information.nNumberOfLinks == 0)
        return QStringLiteral("the file was deleted");
    if (information.dwFileAttributes & FILE_ATTRIBUTE_READONLY)
        return QStringLiteral("the file was made read-only");
    return {};
}

qint64 RecordedFile::size(QString &reason) const
{
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handleOf(m_handle), &size))
        return size.QuadPart;
    reason = systemReason();
    return -1;
}

char RecordedFile::byteAt(qint64 offset) const
{
    OVERLAPPED at{};
    at.Offset = DWORD(quint64(offset));
    at.OffsetHigh = DWORD(quint64(offset) >> 32);
    char byte = '\n';
    DWORD read = 0;
    return ReadFile(handleOf(m_handle), &byte, 1, &read, &at) && read == 1 ? byte : '\n';
}

bool RecordedFile::append(const char *data, size_t size, QString &reason)
{
    while (size > 0) {
        DWORD written = 0;
        if (!WriteFile(handleOf(m_handle), data, DWORD(size), &written, nullptr)) {
            reason = systemReason();
            return false;
        }
        if (written == 0) {
            reason = qt_error_string(ERROR_DISK_FULL);
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

bool RecordedFile::sync(QString &reason)
{
    if (FlushFileBuffers(handleOf(m_handle)))
        return true;
    reason = systemReason();
    return false;
}
