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
. scripts/lib/packages.sh
. scripts/lib/wine.sh

. scripts/lib/steps.sh

install_missing -q wine wine64 xvfb g++-mingw-w64-x86-64-posix >&2

step "Qt for Windows (built once, then cached)"
qt=${VANTRO_WINDOWS_QT:-$(scripts/windows-qt.sh | tail -1)}
echo "$qt"

step "libmosquitto and OpenSSL for Windows (built once, then cached)"
mqtt=$(scripts/windows-mqtt.sh | tail -1)
echo "$mqtt"

step "the line host, for Linux"
(. scripts/lib/build.sh && configure_release && build "$native" vantro-wine-lines)

step "the link and its tests, for Windows"
. scripts/lib/windows-configure.sh
windows_configure "$qt" "$mqtt" "$cross"
cmake --build "$cross" -j "$jobs"

# Wine's Trusted Root Certification Authorities are the Linux side's (ca-certificates.crt): a test cannot add
# one. The prefix and the tests live where that file also holds an authority of their own, bound over it in a
# mount namespace of theirs (root only, as CI runs); the system's file stays as it is.
if [ -z "${VANTRO_TRUSTED_AUTHORITY:-}" ] && [ "$(id -u)" -eq 0 ]; then
    step "a certificate authority that Wine trusts, for the TLS tests"
    authority=$PWD/$cross/test-authority
    rm -rf "$authority"
    mkdir -p "$authority"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Vantro test authority" \
        -keyout "$authority/ca.key" -out "$authority/ca.pem" 2>/dev/null
    cat /etc/ssl/certs/ca-certificates.crt "$authority/ca.pem" >"$authority/bundle.crt"
    # shellcheck disable=SC2016 # the inner shell's
    exec unshare --mount --propagation private env VANTRO_TRUSTED_AUTHORITY="Z:$authority" sh -c \
        'mount --bind "$1" /etc/ssl/certs/ca-certificates.crt && shift && exec "$@"' \
        sh "$authority/bundle.crt" "$0" "$@"
fi

step "a fresh Wine prefix, on a virtual display"
wine_start "$cross/wine-prefix" "$cross"
wine_qt_logs_to_stderr
WINEPATH=$(wine_dll_path "$qt" "$mqtt")
export WINEPATH

wine_lines_start "$native/tests/vantro-wine-lines" "$cross/wine-lines.log"
export VANTRO_WINE_LINES=$wine_lines_port VANTRO_WINE_PROCESSES=$wine_processes_port
echo "lines on 127.0.0.1:$wine_lines_port; the Wine prefix took $wine_boot_seconds s to make"

if [ -n "${SCREENSHOT:-}" ]; then
    install_missing -q imagemagick >&2
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
    wine_pids+=($!)
fi

step "the tests, under Wine"
status=0
ctest --test-dir "$cross" --output-on-failure "$@" || status=$?
step_times
exit $status
