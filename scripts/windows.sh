#!/usr/bin/env bash
# Builds Vantro for 64-bit Windows on Debian and packs it: build/windows/vantro-<version>-win64-setup.exe (an
# installer for the current user, no administrator rights) and build/windows/vantro-<version>-win64.zip of the
# same files. Installs what it needs from Debian, builds Qt for Windows once (scripts/windows-qt.sh, cached
# outside the tree), cross-builds the program and its widget-free tests into build/windows (the build that
# scripts/windows-tests.sh runs), gathers the DLLs the programs load, strips them all and packs them.
# Prints the time of each step. scripts/windows-installer-test.sh then tries the installer under Wine.
#
#   scripts/windows.sh
#
# VANTRO_WINDOWS_QT names another Qt for Windows to use; VANTRO_WINDOWS_PROGRAMS the programs to pack (by
# default vantro.exe and vantro-window.exe, as cmake --install puts them in bin; others from the build folder).
set -euo pipefail
cd "$(dirname "$0")/.."
read -r -a programs <<<"${VANTRO_WINDOWS_PROGRAMS:-vantro.exe vantro-window.exe}"
jobs=${JOBS:-$(nproc)}
cross=build/windows
triplet=x86_64-w64-mingw32
. scripts/lib/packages.sh

. scripts/lib/steps.sh

step "the tools, from Debian"
# The cross compiler, the icon's converter and NSIS; Wine, Xvfb and xwininfo for the tests under Wine; the
# packages whose copyright files hold the licences shipped.
needed=(g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 cmake ninja-build imagemagick nsis zip
        wine wine64 xvfb x11-utils
        libqt6core6 mingw-w64-x86-64-dev)
install_missing -q "${needed[@]}" >&2

step "Qt for Windows (built once, then cached)"
qt=${VANTRO_WINDOWS_QT:-$(scripts/windows-qt.sh | tail -1)}
echo "$qt"

step "libmosquitto and OpenSSL for Windows (built once, then cached)"
mqtt=$(scripts/windows-mqtt.sh | tail -1)
echo "$mqtt"

step "Vantro and its tests, for Windows"
. scripts/lib/windows-configure.sh
windows_configure "$qt" "$mqtt" "$cross"
cmake --build "$cross" -j "$jobs"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cross/CMakeCache.txt")
name=vantro-$version-win64
files=$cross/$name

step "the programs and the DLLs they load"
stage=$cross/stage
rm -rf "$stage" "$files"
cmake --install "$cross" --prefix "$PWD/$stage" >/dev/null
mkdir -p "$files"
for program in "${programs[@]}"; do
    if [ -f "$stage/bin/$program" ]; then
        cp "$stage/bin/$program" "$files/"
    elif [ -f "$cross/$program" ]; then
        cp "$cross/$program" "$files/"
    else
        echo "windows.sh: neither cmake --install nor the build made $program" >&2
        exit 1
    fi
done
# Where the DLLs come from: Qt, the MQTT library and its OpenSSL, and the compiler's runtime (C++, gcc,
# threads, stack protector).
runtime=("$qt/bin" "$mqtt/bin"
    "$(dirname "$($triplet-g++-posix -print-file-name=libstdc++-6.dll)")"
    "$(dirname "$($triplet-g++-posix -print-file-name=libwinpthread-1.dll)")")
declare -A seen=()
from_windows=()
# Copies what the given programs or DLLs import, and what that imports in turn, beside the programs.
gather_imports() {
    local queue=("$@") binary dll folder found
    while [ ${#queue[@]} -gt 0 ]; do
        binary=${queue[0]}
        queue=("${queue[@]:1}")
        while IFS= read -r dll; do
            [ -z "${seen[${dll,,}]:-}" ] || continue
            seen[${dll,,}]=1
            found=
            for folder in "${runtime[@]}"; do
                if [ -f "$folder/$dll" ]; then
                    cp "$folder/$dll" "$files/"
                    queue+=("$files/$dll")
                    found=1
                    break
                fi
            done
            [ -n "$found" ] || from_windows+=("$dll")
        done < <($triplet-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p')
    done
}
gather_imports "$files"/*.exe
# What the programs load only when asked for: the HTTP module (where Qt has the HTTP server), and the MQTT
# library with the OpenSSL whose functions it looks up by name.
loaded=("$mqtt/bin/libmosquitto.dll" "$mqtt/bin/libssl-3-x64.dll" "$mqtt/bin/libcrypto-3-x64.dll")
[ ! -f "$stage/bin/vantro-http.dll" ] || loaded+=("$stage/bin/vantro-http.dll")
for dll in "${loaded[@]}"; do
    seen[$(basename "${dll,,}")]=1
    cp "$dll" "$files/"
    gather_imports "$files/$(basename "$dll")"
done
# A window needs the platform plugin, and widgets the native style; Qt looks for plugins in the program's
# own folder.
plugins=()
[ -z "${seen[qt6gui.dll]:-}" ] || plugins+=(platforms/qwindows.dll)
[ -z "${seen[qt6widgets.dll]:-}" ] || [ ! -f "$qt/plugins/styles/qwindowsvistastyle.dll" ] ||
    plugins+=(styles/qwindowsvistastyle.dll)
for plugin in "${plugins[@]}"; do
    mkdir -p "$files/$(dirname "$plugin")"
    cp "$qt/plugins/$plugin" "$files/$plugin"
    gather_imports "$files/$plugin"
done
# What the shipped libraries' licences ask to go with them, as Debian ships them from the sources these were
# built from: Qt under the LGPL 3 (which builds on the GPL 3), the compiler's runtime under the GPL 3 with
# the GCC Runtime Library Exception, mingw-w64's threads under their own terms, and the MQTT library's and
# OpenSSL's (scripts/windows-mqtt.sh).
mkdir -p "$files/licences"
cp /usr/share/doc/libqt6core6/copyright "$files/licences/Qt.txt"
cp /usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright "$files/licences/GCC-runtime.txt"
cp /usr/share/doc/mingw-w64-x86-64-dev/copyright "$files/licences/mingw-w64.txt"
cp /usr/share/common-licenses/LGPL-3 "$files/licences/LGPL-3.txt"
cp /usr/share/common-licenses/GPL-3 "$files/licences/GPL-3.txt"
cp "$mqtt"/licences/* "$files/licences/"
# Anything named like Qt's or the compiler's libraries must have been found above; the rest is Windows' own.
for dll in "${from_windows[@]}"; do
    case ${dll,,} in
        qt6* | lib*) echo "windows.sh: $dll is needed but neither Qt nor the compiler has it" >&2; exit 1 ;;
    esac
done
echo "from Windows: $(printf '%s\n' "${from_windows[@]}" | sort -f | paste -sd ' ')"

step "stripping"
find "$files" \( -name '*.exe' -o -name '*.dll' \) -exec $triplet-strip --strip-unneeded {} +
(cd "$files" && find . -type f | sort | sed 's|^\./||' | while read -r f; do
    printf '%9d  %s\n' "$(stat -c %s "$f")" "$f"
done)

step "the installer and the zip"
setup=$cross/$name-setup.exe
zip=$cross/$name.zip
# What the uninstaller removes: each file, then each folder, deepest first.
file_list=$cross/$name-files.nsh
# shellcheck disable=SC2016 # $INSTDIR is NSIS's
{
    (cd "$files" && find . -type f | sort | sed 's|^\./||; s|/|\\|g; s|.*|    Delete "$INSTDIR\\&"|')
    (cd "$files" && find . -mindepth 1 -type d | sort -r | sed 's|^\./||; s|/|\\|g; s|.*|    RMDir "$INSTDIR\\&"|')
} >"$file_list"
rm -f "$setup" "$zip"
makensis -V2 -DVERSION_NSH="$PWD/$cross/packaging/windows/version.nsh" -DFILES="$PWD/$files" \
    -DFILE_LIST="$PWD/$file_list" -DSIZE_KB="$(du -sk "$files" | cut -f1)" -DOUTFILE="$PWD/$setup" \
    packaging/windows/vantro.nsi
(cd "$cross" && zip -q -r -9 -X "$name.zip" "$name")

step_times
for made in "$setup" "$zip"; do
    printf '%s: %d bytes (%s)\n' "$made" "$(stat -c %s "$made")" "$(du -h "$made" | cut -f1)"
done
