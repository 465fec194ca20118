# shellcheck shell=bash
# Sourced by scripts/windows-tests.sh and scripts/windows-installer-test.sh: both run Windows programs under
# Wine in a throwaway prefix on a virtual display of its own, and give them serial lines as COM ports.

# What wine_start starts, and what the caller adds, is stopped at exit.
wine_pids=()
wine_stop() {
    wineserver -k 2>/dev/null || true
    [ ${#wine_pids[@]} -eq 0 ] || kill "${wine_pids[@]}" 2>/dev/null || true
}

#   wine_start PREFIX FOLDER [DLL_OVERRIDE]
#
# Makes a fresh Wine prefix in PREFIX on a new virtual display, with the display's number and the logs in
# FOLDER, and sets wine_boot_seconds to the time the prefix took to make. DLL_OVERRIDE adds an entry to
# WINEDLLOVERRIDES.
wine_start() {
    local started
    WINEPREFIX=$(realpath -m "$1")
    export WINEPREFIX
    export WINEDEBUG=-all
    # No Mono nor Gecko: nothing here needs .NET or a browser, and their installers would ask.
    export WINEDLLOVERRIDES="mscoree,mshtml=${3:+;$3}"
    rm -rf "$WINEPREFIX" "$2/display"
    mkdir -p "$WINEPREFIX"
    trap wine_stop EXIT
    # Wine's desktop process wants a display even for programs that show nothing; without one every program
    # waits for it.
    Xvfb -displayfd 3 -nolisten tcp 3>"$2/display" >"$2/xvfb.log" 2>&1 &
    wine_pids+=($!)
    for _ in $(seq 100); do [ -s "$2/display" ] && break; sleep 0.1; done
    DISPLAY=:$(cat "$2/display")
    export DISPLAY
    # One server for every program, in the foreground of this session: a server of its own session would make
    # the first pseudo-terminal it opens its terminal, and the hang-up of that line would send it SIGHUP.
    wineserver -f -p >"$2/wineserver.log" 2>&1 &
    wine_pids+=($!)
    started=$SECONDS
    wineboot -i >/dev/null 2>&1
    # shellcheck disable=SC2034 # the caller's
    wine_boot_seconds=$((SECONDS - started))
}

# Wine hands its programs no QT_ variable from Linux; without this one, Qt on Windows writes a program's
# messages to the debugger rather than to stderr, and a test's output rather than to stdout, as no console
# window is there.
wine_qt_logs_to_stderr() {
    wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
}

# Prints, as a WINEPATH, the Windows folders of the DLLs that programs built with the Qt at QT_PREFIX load:
# Qt's and the compiler's runtime, which sits in two folders.
wine_dll_path() {
    local folders=() prefix dll folder
    for prefix; do folders+=("$prefix/bin"); done
    for dll in libstdc++-6.dll libwinpthread-1.dll; do
        folders+=("$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=$dll)")")
    done
    for folder in "${folders[@]}"; do winepath -w "$folder"; done | paste -sd ';'
}

#   wine_lines_start LINE_HOST LOG
#
# Starts LINE_HOST (vantro-wine-lines, built for Linux), which plays the board's end of each serial line a
# program asks for on a pseudo-terminal and maps it into the prefix as a COM port from COM10 on, and runs the
# Linux programs a test asks for (a broker, its clients); sets wine_lines_port and wine_processes_port to the
# local ports it takes those requests on.
wine_lines_start() {
    coproc wine_lines { exec "$1" --prefix "$WINEPREFIX" --first 10 2>"$2"; }
    wine_pids+=("$wine_lines_PID")
    # shellcheck disable=SC2034 # the caller's
    read -r -u "${wine_lines[0]}" wine_lines_port wine_processes_port
}
