#!/usr/bin/env bash
# Installs the given .deb into a fresh minimal Debian 12 tree with apt-get, as a user would,
# then starts the program there (offscreen) and checks that it runs and says nothing.
# The base tree is made once by debootstrap and copied afresh for every check.
set -euo pipefail
cd "$(dirname "$0")/.."
deb=$(realpath "$1")
if ! command -v debootstrap >/dev/null; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq debootstrap >/dev/null
fi

base=build/debian12-base
root=build/debian12-check
if [ ! -x "$base/usr/bin/apt-get" ]; then
    rm -rf "$base"
    debootstrap --variant=minbase bookworm "$base" http://deb.debian.org/debian >/dev/null
fi
rm -rf "$root"
cp -a "$base" "$root"
mount -t proc proc "$root/proc"
trap 'umount "$root/proc"' EXIT
cp "$deb" "$root/tmp/"

echo "== apt-get install ./$(basename "$deb") in a fresh Debian 12"
chroot "$root" apt-get update -qq
if ! chroot "$root" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./tmp/$(basename "$deb")" \
    >"$root/tmp/install.log" 2>&1; then
    cat "$root/tmp/install.log"
    exit 1
fi
chroot "$root" dpkg -s vantro | grep -E '^(Status|Version|Depends)'

echo "== the libraries of the program and of Qt's X11 plugin are all there"
if chroot "$root" ldd /usr/bin/vantro /usr/libexec/vantro/vantro-window \
    /usr/lib/x86_64-linux-gnu/qt6/plugins/platforms/libqxcb.so | grep 'not found'; then
    exit 1
fi

echo "== the program starts"
mkdir -m 700 "$root/tmp/runtime"
status=0
chroot "$root" env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/runtime timeout 5 vantro >"$root/tmp/out" 2>&1 ||
    status=$?
cat "$root/tmp/out"
# Still running when the timeout stopped it: exit status 124.
if [ "$status" -ne 124 ]; then
    echo "vantro stopped by itself with status $status" >&2
    exit 1
fi
echo "vantro ran until stopped"

echo "== headless, publishing: libmosquitto loads, and the absent broker is said"
chroot "$root" env timeout 3 vantro --headless --port /dev/no-board --mqtt mqtt://127.0.0.1:9 >/dev/null \
    2>"$root/tmp/err" || true
cat "$root/tmp/err"
grep -q '^Cannot reach the broker at 127.0.0.1:9' "$root/tmp/err"
