#include "window_start.h"

#include "headless/output_line.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <string>
#include <windows.h>

namespace {
// What follows the program's own name on the command line, exactly as it was given, quotes and all.
const wchar_t *argumentsGiven()
{
    const wchar_t *line = GetCommandLineW();
    // The name is quoted whole or ends at the first blank; no escapes within it.
    if (*line == L'"') {
        for (++line; *line && *line != L'"'; ++line) {
        }
        if (*line)
            ++line;
    } else {
        for (; *line && *line != L' ' && *line != L'\t'; ++line) {
        }
    }
    return line;
}

std::wstring ownFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}
} // namespace

// Windows has no exec: the window starts beside this console program, which then ends at once, so that the
// console it may have opened closes.
int startWindow(char *[])
{
    const std::wstring window = ownFolder() + L"vantro-window.exe";
    std::wstring commandLine = L'"' + window + L'"' + argumentsGiven();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(window.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        const QString reason = qt_error_string(int(GetLastError()));
        writeLine(StandardError, "vantro: cannot start the window: " + reason.toLocal8Bit() + '\n');
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
