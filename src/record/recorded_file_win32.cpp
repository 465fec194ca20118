#include "recorded_file.h"

#include <QtCore/QDir>

#include <windows.h>

#include <aclapi.h>

namespace {
HANDLE handleOf(qintptr handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

QString systemReason()
{
    return qt_error_string(int(GetLastError()));
}

// Whether the process's token names `sid` as its user (TokenUser) or as the owner of what it makes
// (TokenOwner).
bool tokenNames(HANDLE token, TOKEN_INFORMATION_CLASS kind, PSID sid)
{
    alignas(TOKEN_USER) char buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD length = 0;
    if (!GetTokenInformation(token, kind, buffer, sizeof buffer, &length))
        return false;
    const PSID named = kind == TokenUser ? reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid
                                         : reinterpret_cast<TOKEN_OWNER *>(buffer)->Owner;
    return EqualSid(named, sid) != FALSE;
}

// A file is the user's own when the user owns it, or whoever the user's new files go to does (the
// Administrators, for a program run as administrator).
QString unownedReason(HANDLE file)
{
    // Where the file system keeps no owners (FAT on a USB stick), every file is everyone's.
    DWORD volumeFlags = 0;
    if (GetVolumeInformationByHandleW(file, nullptr, 0, nullptr, nullptr, &volumeFlags, nullptr, 0) &&
        !(volumeFlags & FILE_PERSISTENT_ACLS))
        return {};
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    const DWORD error = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                        nullptr, nullptr, &security);
    if (error != ERROR_SUCCESS)
        return qt_error_string(int(error));
    HANDLE token = nullptr;
    bool ours = false;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        ours = tokenNames(token, TokenUser, owner) || tokenNames(token, TokenOwner, owner);
        CloseHandle(token);
    }
    LocalFree(security);
    return ours ? QString() : QStringLiteral("it belongs to another user");
}

// Only a plain file of the user's own on a disk takes the readings. A link is never followed, nor a file with
// a second name (a hard link, which anyone may make in a shared folder to a file of the user's) written
// through; a folder or a device in the file's place is refused.
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
    if (information.nNumberOfLinks > 1)
        return QStringLiteral("it is a hard link, which recording never writes through");
    return unownedReason(file);
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
    // Appending only, so every write lands at the end; others may read the file meanwhile, or delete it as on
    // Linux, which unwritable() then tells. A link is opened as itself, to be refused, rather than followed.
    const HANDLE file =
        CreateFileW(native.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
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
    // Deleted while open, a file loses its name at once where Windows deletes as POSIX does (NTFS, Windows 10
    // on); elsewhere it stays, its deletion pending, until closed. Either way a line written now goes with
    // it.
    FILE_STANDARD_INFO standard{};
    BY_HANDLE_FILE_INFORMATION information{};
    if (!GetFileInformationByHandleEx(handleOf(m_handle), FileStandardInfo, &standard, sizeof standard) ||
        !GetFileInformationByHandle(handleOf(m_handle), &information))
        return systemReason();
    if (standard.DeletePending || standard.NumberOfLinks == 0)
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
