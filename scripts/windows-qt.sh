#!/bin/bash
# Builds Qt's base modules for 64-bit Windows from Debian's own qt6-base source, with mingw-w64, into a
# cache outside the tree that later runs reuse: ${XDG_CACHE_HOME:-~/.cache}/vantro/qt-<version>-mingw-<key>.
# Prints the installed prefix on its last line. About 19 minutes on 2 cores the first time.
#
#   scripts/windows-qt.sh [--packages]      (--packages: install what the build needs, and stop there)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
version=6.4.2
tarball=qt6-base_${version}+dfsg.orig.tar.xz
# The archive apt uses here, which serves the source packages too.
archive=${DEBIAN_ARCHIVE:-$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 2>/dev/null |
    awk '$2 !~ /-/ && $3 == "main" { sub("/$", "", $1); print $1; exit }')}
archive=${archive:-http://deb.debian.org/debian}
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vantro
. "$here/scripts/lib/packages.sh"

# The cross compiler, the build tools, and Debian's own Qt for the tools that run during the build.
needed=(g++-mingw-w64-x86-64-posix mingw-w64-tools ninja-build cmake qt6-base-dev qt6-base-dev-tools curl
        ca-certificates xz-utils)
# Everything apt-get says goes to stderr: stdout carries the prefix alone.
install_missing -q "${needed[@]}" >&2
[ "${1:-}" != --packages ] || exit 0

# What the build depends on: a change to any of it makes another cache entry.
flags=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
    # OpenGL stays: Qt 6.4's windows platform plugin does not build without it.
    -DFEATURE_opengl=ON -DFEATURE_dbus=OFF -DFEATURE_sql=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_sql_sqlite=OFF
    # The source package leaves out the tablet header; a sensor's window needs no tablet.
    -DFEATURE_tabletevent=OFF
    -DINPUT_openssl=no -DFEATURE_system_zlib=OFF -DFEATURE_icu=OFF
    # What the programs never load or show: image formats but XPM and PNG, FreeType (Windows draws its own
    # fonts), rich-text import and export, PDF, animations.
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_ico=OFF -DFEATURE_freetype=OFF -DFEATURE_movie=OFF
    -DFEATURE_textmarkdownreader=OFF -DFEATURE_textmarkdownwriter=OFF -DFEATURE_textodfwriter=OFF -DFEATURE_pdf=OFF
    # Nor these: the Direct2D platform plugin (the windows plugin is the one shipped) with the DirectWrite font
    # database that only it and an opt-in use, the graphics view, and Qt's own TLS (the broker's TLS is
    # libmosquitto's OpenSSL).
    -DFEATURE_direct2d=OFF -DFEATURE_directwrite3=OFF -DFEATURE_graphicsview=OFF -DFEATURE_ssl=OFF -DFEATURE_schannel=OFF
)
toolchain=$here/cmake/x86_64-w64-mingw32.cmake
compiler=$(x86_64-w64-mingw32-g++-posix --version 2>/dev/null | head -1 || true)
key=$( (printf '%s\n' "$version" "$compiler" "${flags[@]}"; cat "$toolchain") | sha256sum | cut -c1-12)
prefix=$cache/qt-$version-mingw-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
echo "Qt $version for Windows is not in the cache ($prefix): building it (35 minutes of one core's time)" >&2

mkdir -p "$cache/downloads"
if [ ! -f "$cache/downloads/$tarball" ]; then
    curl -fsS -o "$cache/downloads/$tarball.part" "$archive/pool/main/q/qt6-base/$tarball"
    mv "$cache/downloads/$tarball.part" "$cache/downloads/$tarball"
fi
# The build folder stays until an install completes, so that a run cut short goes on where it stopped.
work=$cache/qt-$version-mingw-build
rm -rf "$prefix"
if [ ! -f "$work/.unpacked" ]; then
    rm -rf "$work"
    mkdir -p "$work"
    tar -xf "$cache/downloads/$tarball" -C "$work"
    touch "$work/.unpacked"
fi
source=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qtbase*' | head -1)
cmake -S "$source" -B "$work/build" -G Ninja -Wno-dev \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${flags[@]}" >&2
cmake --build "$work/build" -j "$(nproc)" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
