#!/usr/bin/env bash
# cross-root.sh ARCH COMMAND...: runs COMMAND in the current directory (or the top of the source tree) inside a Debian 12
# tree of this machine's architecture that cross-builds for ARCH with Debian's multiarch
# (crossbuild-essential-ARCH and the ARCH development packages of Qt, its serial port and Mosquitto, beside
# this machine's Qt tools). Cross-building there leaves this machine's own packages as they are. The tree is
# made once and kept in the cache; the source tree appears in it at the same path, and so does $CCACHE_DIR.
set -euo pipefail
top=$(realpath "$(dirname "$0")/..")
. "$top/scripts/lib/debian-root.sh"
trap undo_mounts EXIT

arch=${1:?usage: $0 ARCH COMMAND...}
shift
packages=(
    "crossbuild-essential-$arch" dpkg-dev cmake ninja-build ccache "pkgconf:$arch"
    # this machine's Qt for moc, rcc and uic, the target's to build against
    qt6-base-dev "qt6-base-dev:$arch" "qt6-serialport-dev:$arch" "qt6-httpserver-dev:$arch"
    "qt6-websockets-dev:$arch" "libgl-dev:$arch" "libmosquitto-dev:$arch" "libssl-dev:$arch"
)
make_derived_root "bookworm-cross-$arch" bookworm "$(dpkg --print-architecture)" "$arch" "${packages[@]}"
root=$derived_root

mount_system "$root"
bind_same_path "$top" "$root"
environment=(PATH=/usr/local/bin:/usr/bin:/bin:/usr/local/sbin:/usr/sbin:/sbin HOME=/root LC_ALL=C.UTF-8)
for name in CCACHE_DIR CCACHE_BASEDIR; do
    [ -n "${!name:-}" ] && environment+=("$name=${!name}")
done
if [ -n "${CCACHE_DIR:-}" ]; then
    mkdir -p "$CCACHE_DIR"
    bind_same_path "$(realpath "$CCACHE_DIR")" "$root"
fi
here=$top
case $PWD in "$top"/*) here=$PWD ;; esac
chroot "$root" env -i "${environment[@]}" sh -c 'cd "$1" && shift && exec "$@"' sh "$here" "$@"
