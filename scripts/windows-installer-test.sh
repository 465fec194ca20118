#!/usr/bin/env bash
# Tries the installer that scripts/windows.sh made, under Wine, in a fresh prefix on a virtual display: a
# silent install for the current user puts the zip's files, the Start-menu entry and the uninstall entry in
# place; the installed vantro.exe says its version and vantro-window.exe shows its window; a silent uninstall
# takes the files and both entries away again.
#
#   scripts/windows-installer-test.sh [build/windows/vantro-<version>-win64-setup.exe]
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/wine.sh
cross=build/windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cross/CMakeCache.txt")
setup=${1:-$cross/vantro-$version-win64-setup.exe}
zip=${setup%-setup.exe}.zip
key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Vantro'
work=$cross/installer-test

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
pass() {
    echo "PASS: $*"
}

rm -rf "$work"
# No menu builder: the Start-menu entry stays in the prefix instead of becoming a Linux desktop's menu entry.
wine_start "$work/prefix" "$work" winemenubuilder.exe=d

# A Windows folder of the prefix's user, as a Linux path.
user_folder() {
    winepath -u "$(wine cmd /c echo "%$1%" 2>/dev/null | tr -d '\r')"
}
registered() {
    wine reg query "$key" /v "$1" >/dev/null 2>&1
}
installed=$(user_folder LOCALAPPDATA)/Programs/Vantro
shortcut=$(user_folder APPDATA)/Microsoft/Windows/Start\ Menu/Programs/Vantro.lnk

echo "== installing $setup silently"
if wine "$setup" /S; then pass "the installer ends with status 0"; else fail "the installer ends with status $?"; fi

# The zip's files, no more and no less, and the uninstaller.
expected=$( (unzip -Z1 "$zip" | grep -v '/$' | cut -d/ -f2-; echo uninstall.exe) | sort)
actual=$(find "$installed" -type f -printf '%P\n' 2>/dev/null | sort || true)
if [ "$actual" = "$expected" ]; then
    pass "$(wc -l <<<"$actual") files in $installed, the same as the zip's"
else
    fail "the files installed differ from the zip's:"
    diff <(echo "$expected") <(echo "$actual") || true
fi
if grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$installed/licences/LGPL-3.txt" 2>/dev/null &&
    grep -q 'GCC RUNTIME LIBRARY EXCEPTION' "$installed/licences/GCC-runtime.txt" 2>/dev/null &&
    grep -q 'Apache License' "$installed/licences/Apache-2.0.txt" 2>/dev/null &&
    grep -q 'Eclipse Public License - v 2.0' "$installed/licences/EPL-2.0.txt" 2>/dev/null; then
    pass "Qt's, the compiler runtime's, OpenSSL's and libmosquitto's licences are installed"
else
    fail "the licences of Qt, the compiler's runtime, OpenSSL or libmosquitto are not in $installed/licences"
fi
if grep -aqF '\Programs\Vantro\vantro-window.exe' "$shortcut" 2>/dev/null; then
    pass "the Start-menu entry starts the installed vantro-window.exe"
else
    fail "no Start-menu entry for the installed vantro-window.exe at $shortcut"
fi
uninstall=$(wine reg query "$key" /v UninstallString 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
case $uninstall in
    *'\Programs\Vantro\uninstall.exe"') pass "the uninstall entry names $uninstall" ;;
    *) fail "the uninstall entry names '$uninstall'" ;;
esac
if registered DisplayVersion; then pass "the uninstall entry has the version"; else fail "the uninstall entry has no version"; fi

echo "== the installed vantro.exe --version"
status=0
said=$(wine "$installed/vantro.exe" --version 2>&1 | tr -d '\r') || status=$?
echo "$said"
if [ "$status" -eq 0 ] && grep -Eq "^vantro ${version//./\\.}\b" <<<"$said"; then
    pass "vantro.exe --version says version $version and ends with status 0"
else
    fail "vantro.exe --version ended with status $status"
fi

echo "== the installed vantro-window.exe, as the Start-menu entry starts it"
# The window shows only if its platform plugin and every DLL it needs were found in the installed folder.
title=$(sed -n 's/^CMAKE_PROJECT_DESCRIPTION:STATIC=//p' "$cross/CMakeCache.txt")
wine "$installed/vantro-window.exe" >"$work/window.log" 2>&1 &
window=$!
deadline=$((SECONDS + 60))
until xwininfo -root -tree | grep -Fq "\"$title\"" || ! kill -0 "$window" 2>/dev/null ||
    [ $SECONDS -ge $deadline ]; do sleep 0.2; done
if xwininfo -root -tree | grep -Fq "\"$title\""; then
    pass "the window \"$title\" shows"
else
    fail "no window \"$title\": $(tr -d '\r' <"$work/window.log" | tail -3)"
fi
wine taskkill /f /im vantro-window.exe >/dev/null 2>&1 || true
wait "$window" || true

echo "== the installed window shows a board's temperature through a COM port"
# The board plays on a pseudo-terminal that vantro-wine-lines (built for Linux, as scripts/windows-tests.sh
# builds it) maps into the prefix as COM10; the window test of the build starts the installed window on it.
native=build/release
[ -x "$native/tests/vantro-wine-lines" ] || (. scripts/lib/build.sh && configure_release && build "$native" vantro-wine-lines >/dev/null)
wine_lines_start "$native/tests/vantro-wine-lines" "$work/wine-lines.log"
qt=$(sed -n 's|^Qt6_DIR:PATH=\(.*\)/lib/cmake/Qt6$|\1|p' "$cross/CMakeCache.txt")
wine_qt_logs_to_stderr
if VANTRO_WINE_LINES=$wine_lines_port VANTRO_INSTALLED=$(winepath -w "$installed") \
    WINEPATH=$(wine_dll_path "$qt") \
    wine "$cross/tst_headless.exe" bigDigitsShowTheBoardsTemperature >"$work/window-test.log" 2>&1; then
    pass "the installed window shows the board's 24.41 through COM10"
else
    fail "the installed window did not show the board's temperature: $(tr -d '\r' <"$work/window-test.log" | tail -5)"
fi

echo "== the installed program publishes to a real broker"
# The broker is the host's Mosquitto, which the line host runs for the test.
if VANTRO_WINE_LINES=$wine_lines_port VANTRO_WINE_PROCESSES=$wine_processes_port \
    VANTRO_INSTALLED=$(winepath -w "$installed") WINEPATH=$(wine_dll_path "$qt") \
    wine "$cross/tst_headless.exe" publishesToTheBroker >"$work/broker-test.log" 2>&1; then
    pass "the installed vantro.exe publishes its readings, its alert and its availability"
else
    fail "the installed program did not publish: $(tr -d '\r' <"$work/broker-test.log" | tail -5)"
fi

echo "== uninstalling silently"
wine "$installed/uninstall.exe" /S || fail "the uninstaller ends with status $?"
# The uninstaller starts a copy of itself from the temporary folder, so that it can remove itself, and
# returns at once: wait for the copy's work to show, within a deadline.
gone() {
    [ ! -e "$installed" ] && [ ! -e "$shortcut" ] && ! registered UninstallString
}
deadline=$((SECONDS + 60))
until gone || [ $SECONDS -ge $deadline ]; do sleep 0.2; done
if [ -e "$installed" ]; then fail "left behind: $(find "$installed" | head -5 | paste -sd ' ')"; else pass "the folder is gone"; fi
if [ -e "$shortcut" ]; then fail "the Start-menu entry is still there"; else pass "the Start-menu entry is gone"; fi
if registered UninstallString; then fail "the uninstall entry is still there"; else pass "the uninstall entry is gone"; fi

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "all checks passed"
