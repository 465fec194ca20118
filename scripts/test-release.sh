#!/usr/bin/env bash
# Runs the README's test command (or the command given after the release) from a clean clone of this
# repository's HEAD, in a fresh minimal root of a Debian release made with debootstrap from the archive
# apt uses here, as a new user on that release would:
#
#     scripts/test-release.sh bookworm|trixie [COMMAND...]
#
# The debootstrapped base is made once and kept under ~/.cache/vantro/roots; every run copies it afresh
# and gives it Debian's stock hosts file, so nothing of an earlier run or of this machine leaks in. The
# downloaded packages, the compiler cache and the Qt for Windows are kept beside it to spare the archive and the cores.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)

release=${1:-}
case "$release" in
    bookworm | trixie) shift ;;
    *)
        echo "usage: scripts/test-release.sh bookworm|trixie [COMMAND...]" >&2
        exit 2
        ;;
esac
[ $# -gt 0 ] || set -- scripts/test.sh

. scripts/lib/debian-root.sh

# The archive apt uses here: its main suite, and the security archive beside it.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$2 !~ /-/ && $3 == "main" { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian/}
security=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk '$2 ~ /-security$/ { print $1; exit }')
security=${security:-http://deb.debian.org/debian-security/}

cache=$roots_dir
root=$cache/$release-run
mkdir -p "$cache/$release-apt" "$cache/$release-ccache" "$cache/$release-windows-qt"
make_base_root "$release" "$(dpkg --print-architecture)" "$mirror"

# The run's root goes at the end, its mounts first.
trap 'undo_mounts; remove_root "$root"' EXIT
remove_root "$root"
cp -a "$base_root" "$root"
mount_system "$root"
[ -d /dev/shm ] && bind_same_path /dev/shm "$root"
mount -t sysfs sysfs "$root/sys"
mounted+=("$root/sys")
bind_same_path "$cache/$release-apt" "$root" /var/cache/apt/archives
bind_same_path "$cache/$release-ccache" "$root" /root/.ccache
# The Qt for Windows that scripts/windows-qt.sh builds, once per release.
bind_same_path "$cache/$release-windows-qt" "$root" /root/.cache/vantro

# What a freshly installed system has: its release's updates and security suites, and the stock hosts
# file, where localhost is ::1 as well as 127.0.0.1.
cat >"$root/etc/apt/sources.list" <<EOF
deb $mirror $release main
deb $mirror $release-updates main
deb $security $release-security main
EOF
cat >"$root/etc/hosts" <<EOF
127.0.0.1	localhost
::1		localhost ip6-localhost ip6-loopback
ff02::1		ip6-allnodes
ff02::2		ip6-allrouters
EOF
echo "vantro-$release" >"$root/etc/hostname"

# A clean clone of what is committed here, with nothing of this tree's builds.
git clone -q --no-local "$repo" "$root/root/vantro"
git -C "$root/root/vantro" checkout -q "$(git rev-parse HEAD)"

echo "== $release: $(cat "$root/etc/debian_version"): $*"
chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /root/vantro && exec "$@"' run "$@"
