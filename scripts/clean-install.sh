#!/usr/bin/env bash
# clean-install.sh DEB [VBOARD]: installs the .deb into a fresh minimal Debian 12 tree of the package's
# architecture with apt-get, as a user would, then starts the program there (offscreen) and checks that it
# runs and says nothing. Given the virtual board (built for the same architecture), it also reads three
# readings from it headless. A package for another architecture runs under qemu-user-static.
# The base tree is made once by debootstrap and copied afresh for every check.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/debian-root.sh
board=
trap '[ -z "$board" ] || kill "$board" 2>/dev/null; undo_mounts' EXIT
deb=$(realpath "$1")
vboard=${2:+$(realpath "$2")}
arch=$(dpkg-deb --field "$deb" Architecture)
multiarch=$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
# An emulated machine starts programs many times slower.
slow=1
[ "$arch" = "$(dpkg --print-architecture)" ] || slow=4

make_base_root bookworm "$arch"
root=$(realpath -m "build/debian12-$arch-check")
remove_root "$root"
cp -a "$base_root" "$root"
mount_system "$root"
# The packages downloaded for one fresh tree serve the next: apt checks them against the archive's lists.
archives=$roots_dir/bookworm-$arch-archives
mkdir -p "$archives"
bind_same_path "$archives" "$root" /var/cache/apt/archives
exec 7>"$archives.lock"
flock 7
cp "$deb" "$root/tmp/"

echo "== apt-get install ./$(basename "$deb") in a fresh Debian 12 ($arch)"
chroot "$root" apt-get update -qq
if ! chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./tmp/$(basename "$deb")" \
    >"$root/tmp/install.log" 2>&1; then
    cat "$root/tmp/install.log"
    exit 1
fi
exec 7>&-
chroot "$root" dpkg -s vantro | grep -E '^(Status|Architecture|Version|Depends)'

echo "== the libraries of the program and of Qt's X11 plugin are all there"
# ldd fails for a file that is not there; then the check stops here.
chroot "$root" ldd /usr/bin/vantro /usr/libexec/vantro/vantro-window \
    "/usr/lib/$multiarch/qt6/plugins/platforms/libqxcb.so" >"$root/tmp/libraries"
if grep 'not found' "$root/tmp/libraries"; then
    exit 1
fi

echo "== the program starts"
mkdir -m 700 "$root/tmp/runtime"
status=0
chroot "$root" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime timeout $((5 * slow)) vantro \
    >"$root/tmp/out" 2>&1 || status=$?
cat "$root/tmp/out"
# Still running when the timeout stopped it: exit status 124.
if [ "$status" -ne 124 ]; then
    echo "vantro stopped by itself with status $status" >&2
    exit 1
fi
echo "vantro ran until stopped"

echo "== headless, publishing: libmosquitto loads, and the absent broker is said"
chroot "$root" env timeout $((3 * slow)) vantro --headless --port /dev/no-board --mqtt mqtt://127.0.0.1:9 \
    >/dev/null 2>"$root/tmp/err" || true
cat "$root/tmp/err"
grep -q '^Cannot reach the broker at 127.0.0.1:9' "$root/tmp/err"

if [ -n "$vboard" ]; then
    echo "== headless, three readings from the virtual board"
    cp "$vboard" "$root/tmp/vantro-vboard"
    chroot "$root" /tmp/vantro-vboard --link /tmp/board >/dev/null 2>&1 &
    board=$!
    status=0
    chroot "$root" timeout $((10 * slow)) sh -c \
        'until [ -e /tmp/board ]; do sleep 0.1; done; vantro --headless --port /tmp/board --count 3' || status=$?
    [ "$status" -eq 0 ]
fi
