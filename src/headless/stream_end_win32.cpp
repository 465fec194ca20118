#include "stream_end.h"

#include <io.h>
#include <windows.h>

namespace {
HANDLE handleOf(int descriptor)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}
} // namespace

StreamEnd::StreamEnd(int descriptor) : m_descriptor(descriptor) {}

StreamEnd::~StreamEnd() = default;

int StreamEnd::descriptor() const
{
    return m_descriptor;
}

StreamEnd::Result StreamEnd::write(const char *data, qsizetype size)
{
    DWORD written = 0;
    if (WriteFile(handleOf(m_descriptor), data, DWORD(size), &written, nullptr)) {
        if (written > 0 || size == 0)
            return {Outcome::Written, qsizetype(written), {}};
        // A file that takes nothing at all is as good as full.
        return {Outcome::Failed, 0, qt_error_string(ERROR_DISK_FULL)};
    }
    const DWORD error = GetLastError();
    // The pipe's reader has closed its end, or is closing it.
    if (error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
        return {Outcome::ReaderGone, 0, {}};
    return {Outcome::Failed, 0, qt_error_string(int(error))};
}

void StreamEnd::ignoreReaderLossSignal()
{
    // Windows has no such signal: the write fails instead.
}
