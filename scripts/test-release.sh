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

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq debootstrap >/dev/null
fi

# The archive apt uses here: its main suite, and the security archive beside it.
mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' |
    awk '$2 !~ /-/ && $3 == "main" { print $1; exit }')
mirror=${mirror:-http://deb.debian.org/debian/}
security=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk '$2 ~ /-security$/ { print $1; exit }')
security=${security:-http://deb.debian.org/debian-security/}

cache=${XDG_CACHE_HOME:-$HOME/.cache}/vantro/roots
base=$cache/$release-base
root=$cache/$release-run
mkdir -p "$cache/$release-apt" "$cache/$release-ccache" "$cache/$release-windows-qt"
if [ ! -x "$base/usr/bin/apt-get" ]; then
    rm -rf "$base"
    echo "== debootstrap $release from $mirror"
    "${sudo[@]}" debootstrap --variant=minbase "$release" "$base" "$mirror" >"$cache/$release-debootstrap.log"
fi

# Unmounts whatever is mounted inside the run's root, the deepest first, then removes it. It never
# removes a tree that still has something mounted in it: that would reach into the host's /dev.
clear_root() {
    local target
    for target in $(awk -v r="$root/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r); do
        "${sudo[@]}" umount "$target" 2>/dev/null || "${sudo[@]}" umount -l "$target" || true
    done
    if grep -q " $root/" /proc/mounts; then
        echo "$root: still mounted, left in place" >&2
        return 1
    fi
    "${sudo[@]}" rm -rf "$root"
}
trap clear_root EXIT
bind() { # bind SOURCE TARGET-IN-ROOT
    mkdir -p "$root$2"
    "${sudo[@]}" mount --bind "$1" "$root$2"
}

clear_root
"${sudo[@]}" cp -a "$base" "$root"
"${sudo[@]}" mount -t proc proc "$root/proc"
bind /dev /dev
bind /dev/pts /dev/pts
[ -d /dev/shm ] && bind /dev/shm /dev/shm
"${sudo[@]}" mount -t sysfs sysfs "$root/sys"
bind "$cache/$release-apt" /var/cache/apt/archives
bind "$cache/$release-ccache" /root/.ccache
# The Qt for Windows that scripts/windows-qt.sh builds, once per release.
bind "$cache/$release-windows-qt" /root/.cache/vantro

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
"${sudo[@]}" chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c 'cd /root/vantro && exec "$@"' run "$@"
