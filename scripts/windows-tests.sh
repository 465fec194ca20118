#!/usr/bin/env bash
# Cross-builds the link and its widget-free tests for 64-bit Windows (mingw-w64, with the Qt that
# scripts/windows-qt.sh builds) and runs them under Wine, each against real serial lines: vantro-wine-lines,
# built here for Linux, plays the board's end of a pseudo-terminal that it maps into a throwaway Wine prefix
# as a COM port, one for each line a test asks for. Prints the time of each step.
#
#   scripts/windows-tests.sh [ctest arguments, e.g. -R tst_link_live]
#
# SCREENSHOT=docs/windows-window.png takes a picture of the virtual display while tst_headless's
# bigDigitsShowTheBoardsTemperature shows the board's temperature (with -R tst_headless to run that test
# alone); ImageMagick's import takes it.
#
# VANTRO_WINDOWS_QT names another Qt for Windows to use (Core, Network and Test are enough).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-$(nproc)}
native=build/release
cross=build/windows
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

step() {
    echo "== $1 (after $SECONDS s)"
}

if ! command -v wine >/dev/null || ! command -v Xvfb >/dev/null ||
    ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
    step "installing Wine, Xvfb and mingw-w64"
    "${sudo[@]}" apt-get install -y -q --no-install-recommends wine wine64 xvfb g++-mingw-w64-x86-64-posix >&2
fi

step "Qt for Windows (built once, then cached)"
qt=${VANTRO_WINDOWS_QT:-$(scripts/windows-qt.sh | tail -1)}
echo "$qt"

step "the line host, for Linux"
if [ ! -f "$native/build.ninja" ]; then
    cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        "${launcher[@]}" >/dev/null
fi
cmake --build "$native" -j "$jobs" --target vantro-wine-lines

step "the link and its tests, for Windows"
. scripts/windows-configure.sh
windows_configure "$qt" "$cross"
cmake --build "$cross" -j "$jobs"

step "a fresh Wine prefix, on a virtual display"
export WINEPREFIX=$PWD/$cross/wine-prefix
export WINEDEBUG=-all
# No Mono nor Gecko: nothing here needs .NET or a browser, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX" "$cross/display"
mkdir -p "$WINEPREFIX"
pids=()
cleanup() {
    wineserver -k 2>/dev/null || true
    [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
}
trap cleanup EXIT
# Wine's desktop process wants a display even for programs that show nothing; without one every program
# waits for it.
Xvfb -displayfd 3 -nolisten tcp 3>"$cross/display" >"$cross/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$cross/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$cross/display")
# One server for every test, in the foreground of this session: a server of its own session would make the
# first pseudo-terminal it opens its terminal, and the hang-up of that line would send it SIGHUP.
wineserver -f -p >"$cross/wineserver.log" 2>&1 &
pids+=($!)
boot_started=$SECONDS
wineboot -i >/dev/null 2>&1
first_start=$((SECONDS - boot_started))
# Wine hands its programs no QT_ variable from Linux; without this one, Qt on Windows writes the tests'
# output to the debugger, not to stdout, as no console window is there.
wine reg add 'HKCU\Environment' /v QT_FORCE_STDERR_LOGGING /d 1 /f >/dev/null 2>&1
# Qt's libraries and the compiler's own, for the tests to find.
dlls=("$qt/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
      "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libwinpthread-1.dll)")")
WINEPATH=$(for d in "${dlls[@]}"; do winepath -w "$d"; done | paste -sd ';')
export WINEPATH

coproc lines { exec "$native/tests/vantro-wine-lines" --prefix "$WINEPREFIX" --first 10 2>"$cross/wine-lines.log"; }
pids+=("$lines_PID")
read -r -u "${lines[0]}" lines_port
export VANTRO_WINE_LINES=$lines_port
echo "lines on 127.0.0.1:$lines_port; the Wine prefix took $first_start s to make"

if [ -n "${SCREENSHOT:-}" ]; then
    command -v import >/dev/null || "${sudo[@]}" apt-get install -y -q --no-install-recommends imagemagick >&2
    # The test makes this file once the window shows the reading, and waits until it is gone.
    export VANTRO_SCREENSHOT_READY=$PWD/$cross/screenshot.ready
    rm -f "$VANTRO_SCREENSHOT_READY"
    shot=$(realpath -m "$SCREENSHOT")
    (
        while [ ! -e "$VANTRO_SCREENSHOT_READY" ]; do sleep 0.2; done
        sleep 0.5 # the last repaint
        import -window root -trim +repage "$shot"
        rm -f "$VANTRO_SCREENSHOT_READY"
        echo "screenshot: $shot"
    ) &
    pids+=($!)
fi

step "the tests, under Wine"
status=0
ctest --test-dir "$cross" --output-on-failure "$@" || status=$?
step "done"
exit $status
