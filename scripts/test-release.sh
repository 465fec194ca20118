#!/usr/bin/env bash
# Runs the README's test command (or the command given after the release) from a clean clone of this
# repository's HEAD, in a fresh root of a Debian release with the stock hosts file, as a user on that release
# would:
#
#     scripts/test-release.sh [--bare] bookworm|trixie [COMMAND...]
#     scripts/test-release.sh --prepare bookworm|trixie
#
# Each run works in a new copy of a root kept under ~/.cache/vantro/roots that already holds what
# scripts/install-deps.sh installs; that root is made again when the list changes and brought up to date with
# the release's archive before every run (--prepare does only that, so that CI can do it while the cores are
# busy). --bare copies the minimal root instead, with nothing installed, as a new machine is: the test command
# then installs its packages itself. The compiler cache and the downloaded packages are kept beside the roots.
set -euo pipefail
top=$(realpath "$(dirname "$0")/..")
cd "$top"
. scripts/lib/debian-root.sh
run_root=
finish() {
    undo_mounts
    [ -z "$run_root" ] || remove_root "$run_root"
}
trap finish EXIT

prepare=false
bare=false
while [ $# -gt 0 ]; do
    case $1 in
        --prepare) prepare=true; shift ;;
        --bare) bare=true; shift ;;
        *) break ;;
    esac
done
release=${1:-}
case "$release" in
    bookworm | trixie) shift ;;
    *)
        echo "usage: scripts/test-release.sh [--prepare | --bare] bookworm|trixie [COMMAND...]" >&2
        exit 2
        ;;
esac
[ $# -gt 0 ] || set -- scripts/test.sh
arch=$(dpkg --print-architecture)

if [ "$bare" = true ]; then
    make_base_root "$release" "$arch"
    kept=$base_root
else
    read -r -a packages < <(scripts/install-deps.sh --list | paste -sd ' ')
    make_derived_root "$release-test" "$release" "$arch" "" "${packages[@]}"
    kept=$derived_root
    # What the archive has changed since: its security and point-release updates.
    echo "== $release: bringing the kept root up to date with the archive"
    mark=${#mounted[@]}
    mount_system "$kept"
    chroot "$kept" apt-get update -qq
    chroot "$kept" env DEBIAN_FRONTEND=noninteractive apt-get upgrade -y -qq >/dev/null
    chroot "$kept" apt-get clean
    undo_mounts "$mark"
fi
[ "$prepare" = false ] || exit 0

run_root=$roots_dir/$release-run
remove_root "$run_root"
cp -a "$kept" "$run_root"
# Its root a mount point, as a booted system's is: a test that binds a file of its own over a system file
# does it in a mount namespace of its own made private, which needs one.
mount --bind "$run_root" "$run_root"
mounted+=("$run_root")
mount_system "$run_root"
# The serial port list reads /sys; Qt's shared memory and the sanitizers' want /dev/shm.
mount -t sysfs sysfs "$run_root/sys"
mounted+=("$run_root/sys")
[ ! -d /dev/shm ] || bind_same_path /dev/shm "$run_root"
mkdir -p "$roots_dir/$release-apt" "$roots_dir/$release-ccache"
bind_same_path "$roots_dir/$release-apt" "$run_root" /var/cache/apt/archives
bind_same_path "$roots_dir/$release-ccache" "$run_root" /root/.ccache

# What a freshly installed system has: the stock hosts file, where localhost is ::1 as well as 127.0.0.1.
cat >"$run_root/etc/hosts" <<EOF
127.0.0.1	localhost
::1		localhost ip6-localhost ip6-loopback
ff02::1		ip6-allnodes
ff02::2		ip6-allrouters
EOF
echo "vantro-$release" >"$run_root/etc/hostname"

# A clean clone of what is committed here, with nothing of this tree's builds.
git clone -q --no-local "$top" "$run_root/root/vantro"
git -C "$run_root/root/vantro" checkout -q "$(git rev-parse HEAD)"

echo "== $release: $(cat "$run_root/etc/debian_version"): $*"
chroot "$run_root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" CCACHE_DIR=/root/.ccache \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /root/vantro && exec "$@"' run "$@"
