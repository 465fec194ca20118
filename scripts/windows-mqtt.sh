#!/bin/bash
# Cross-builds the MQTT library for 64-bit Windows with mingw-w64: libmosquitto, with TLS through OpenSSL, each
# from the source Debian's archive serves (its patches applied), into a cache outside the tree that later runs
# reuse: ${XDG_CACHE_HOME:-~/.cache}/vantro/mqtt-mingw-<key>, keyed by both versions, the compiler and the
# flags. Prints the installed prefix on its last line, and what it built and how long it took on stderr.
#
#   scripts/windows-mqtt.sh [--packages]      (--packages: install what the build needs, and stop there)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/vantro
. "$here/scripts/lib/packages.sh"
. "$here/scripts/lib/debian-source.sh"

needed=(gcc-mingw-w64-x86-64-posix cmake ninja-build make perl dpkg-dev)
install_missing -q "${needed[@]}" >&2
[ "${1:-}" != --packages ] || exit 0

toolchain=$here/cmake/x86_64-w64-mingw32.cmake
# OpenSSL's own configuration for mingw-w64; no tests, no engines (the MQTT library leaves them out
# when OpenSSL has none), the libraries alone.
openssl_flags=(mingw64 shared no-tests no-engine --libdir=lib)
mosquitto_flags=(
    -DCMAKE_BUILD_TYPE=Release -DWITH_TLS=ON -DWITH_TLS_PSK=ON -DWITH_EC=ON
    # The library alone: the broker and the clients are the host's; no SRV lookups, no threads of its own
    # (the program drives the library from its event loop).
    -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF -DWITH_PLUGINS=OFF -DWITH_LIB_CPP=OFF
    -DWITH_SRV=OFF -DWITH_THREADING=OFF -DWITH_STATIC_LIBRARIES=OFF -DWITH_CJSON=OFF -DDOCUMENTATION=OFF
)

mkdir -p "$cache/downloads"
debian_source openssl "$cache/downloads"
openssl_dsc=$debian_source_dsc openssl_version=$debian_source_version
debian_source mosquitto "$cache/downloads"
mosquitto_dsc=$debian_source_dsc mosquitto_version=$debian_source_version

compiler=$(x86_64-w64-mingw32-gcc-posix --version | head -1)
key=$( (printf '%s\n' "$openssl_version" "$mosquitto_version" "$compiler" "${openssl_flags[@]}" \
            "${mosquitto_flags[@]}"; cat "$toolchain") | sha256sum | cut -c1-12)
prefix=$cache/mqtt-mingw-$key
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi
echo "OpenSSL $openssl_version and libmosquitto $mosquitto_version for Windows are not in the cache: building them" >&2
started=$SECONDS

# OpenSSL's build is kept once done, so that a run cut short goes on with libmosquitto.
work=$cache/mqtt-mingw-build
if [ ! -f "$prefix/.openssl-complete" ]; then
    rm -rf "$work" "$prefix"
    mkdir -p "$work" "$prefix/licences"
    dpkg-source --no-check -x "$openssl_dsc" "$work/openssl" >/dev/null
    (cd "$work/openssl" &&
        ./Configure "${openssl_flags[@]}" --cross-compile-prefix=x86_64-w64-mingw32- CC=gcc-posix \
            --prefix="$prefix" --openssldir="$prefix/ssl" >&2 &&
        make -j "$(nproc)" build_libs >&2 &&
        make install_dev install_runtime_libs >&2)
    # The licences, shipped beside the DLLs as Debian ships them from these sources: OpenSSL under the
    # Apache licence 2.0, libmosquitto (below) under the EPL 2.0 or the EDL 1.0.
    cp "$work/openssl/debian/copyright" "$prefix/licences/OpenSSL.txt"
    cp /usr/share/common-licenses/Apache-2.0 "$prefix/licences/Apache-2.0.txt"
    touch "$prefix/.openssl-complete"
    echo "OpenSSL built in $((SECONDS - started)) s" >&2
fi

rm -rf "$work/mosquitto" "$work/mosquitto-build"
dpkg-source --no-check -x "$mosquitto_dsc" "$work/mosquitto" >/dev/null
# Found where it was installed: the toolchain looks for libraries in the compiler's own root alone.
cmake -S "$work/mosquitto" -B "$work/mosquitto-build" -G Ninja -Wno-dev --toolchain "$toolchain" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DOPENSSL_INCLUDE_DIR="$prefix/include" \
    -DLIB_EAY="$prefix/lib/libcrypto.dll.a" -DSSL_EAY="$prefix/lib/libssl.dll.a" \
    "${mosquitto_flags[@]}" >&2
cmake --build "$work/mosquitto-build" >&2
cmake --install "$work/mosquitto-build" >&2
cp "$work/mosquitto/debian/copyright" "$prefix/licences/mosquitto.txt"
cp "$work/mosquitto/epl-v20" "$prefix/licences/EPL-2.0.txt"
cp "$work/mosquitto/edl-v10" "$prefix/licences/EDL-1.0.txt"
touch "$prefix/.complete"
rm -rf "$work"
echo "OpenSSL and libmosquitto for Windows built in $((SECONDS - started)) s" >&2
echo "$prefix"
