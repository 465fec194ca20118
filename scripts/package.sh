#!/usr/bin/env bash
# Builds the Debian package and checks it: control fields, contents, lintian, the AppStream
# metainfo and the desktop entry. With --clean-install it also installs the package into a fresh
# Debian 12 tree made by debootstrap and starts the program there. With --arch ARCH (such as arm64)
# the package is cross-built for that architecture, in a Debian tree of its own (scripts/cross-root.sh). With
# --from FOLDER it packs a Release build already made there (as scripts/test.sh does once its suite has passed)
# instead of building one. With --build-only it builds and stops, so that the build can go on beside other work
# and the package be made once that has passed.
set -euo pipefail
cd "$(dirname "$0")/.."
# The compiler cache and the precompiled headers, as the other builds use them.
. scripts/lib/build.sh

arch=$(dpkg --print-architecture)
clean_install=false
build_only=false
from=
while [ $# -gt 0 ]; do
    case $1 in
        --arch) arch=${2:?--arch needs a Debian architecture, such as arm64}; shift 2 ;;
        --clean-install) clean_install=true; shift ;;
        --from) from=${2:?--from needs a build folder}; shift 2 ;;
        --build-only) build_only=true; shift ;;
        *) echo "usage: $0 [--arch ARCH] [--clean-install] [--from FOLDER] [--build-only]" >&2; exit 2 ;;
    esac
done

build=build/package
in_build_tree=()
options=("$pch" -DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    build=build/package-$arch
    in_build_tree=(scripts/cross-root.sh "$arch")
    # The tree keeps a compiler cache of its own. A configured build keeps its toolchain and says so.
    options+=(--toolchain "cmake/$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null).cmake"
        --no-warn-unused-cli -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
if [ -n "$from" ]; then
    build=$from
    if ! grep -qx 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" ||
        ! grep -qx 'CMAKE_INSTALL_PREFIX:PATH=/usr' "$build/CMakeCache.txt"; then
        echo "$0: $build is not a Release build installed under /usr" >&2
        exit 2
    fi
else
    "${in_build_tree[@]}" cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX=/usr -DBUILD_TESTING=OFF "${options[@]}" >/dev/null
fi
"${in_build_tree[@]}" cmake --build "$build" -j "$(nproc)"
[ "$build_only" = false ] || exit 0
rm -f "$build"/vantro_*.deb
"${in_build_tree[@]}" cpack -G DEB --config "$build/CPackConfig.cmake" -B "$build" >/dev/null
deb=$(ls "$build"/vantro_*_"$arch".deb)

echo "== $deb"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== lintian"
# Errors and warnings fail the check; the informational tags are printed for the record.
lintian --display-info --allow-root --fail-on error,warning "$deb"

echo "== metainfo and desktop entry"
staging=$(mktemp -d)
trap 'rm -rf "$staging"' EXIT
dpkg-deb --extract "$deb" "$staging"
appstreamcli validate --no-net --pedantic "$staging"/usr/share/metainfo/com.zorva.vantro.metainfo.xml
desktop-file-validate "$staging"/usr/share/applications/vantro.desktop

echo "== the system service"
# Verified as an instance, with the program it starts taken from the package rather than from this system;
# the hardening must keep its exposure score at "OK" (2.0 or less).
unit=$staging/vantro-headless@ttyACM0.service
sed "s#^ExecStart=/usr/bin/vantro #ExecStart=$staging/usr/bin/vantro #" \
    "$staging"/usr/lib/systemd/system/vantro-headless@.service >"$unit"
grep -q "^ExecStart=$staging/usr/bin/vantro " "$unit"
systemd-analyze verify --man=no "$unit"
systemd-analyze security --offline=true --threshold=20 --no-pager "$unit" | tail -n 1

if [ "$clean_install" = true ]; then
    scripts/clean-install.sh "$deb" "$build/tools/vboard/vantro-vboard"
fi
