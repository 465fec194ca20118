# shellcheck shell=bash
# Sourced by the scripts that work in Debian trees of their own, entered with chroot: the package archive
# this machine's apt reads, the host tools they need, minimal trees kept in the cache (one per release and
# architecture, another architecture's run through qemu-user-static), and mounts undone whatever happens.
# The caller runs as root and sets: trap undo_mounts EXIT
# shellcheck source=scripts/lib/packages.sh
. "$(dirname "${BASH_SOURCE[0]}")/packages.sh"

roots_dir=${XDG_CACHE_HOME:-$HOME/.cache}/vantro/roots
mounted=()
# Stopped by a signal, the caller still runs its EXIT trap.
trap 'exit 130' INT
trap 'exit 143' TERM HUP

if [ "$(id -u)" -ne 0 ]; then
    echo "$0: needs root (debootstrap, mount, chroot)" >&2
    exit 1
fi

# The archive and the suites of RELEASE that this machine's apt reads (with its -updates and -security),
# as sources.list lines; deb.debian.org's, with the same suites, when apt here reads none of that release.
archive_sources() {
    local release=$1
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 2>/dev/null | sort -u |
        awk -v r="$release" '$2 == r || index($2, r "-") == 1 { print "deb " $1 " " $2 " main" }' |
        grep . || printf 'deb %s %s main\n' http://deb.debian.org/debian "$release" \
            http://deb.debian.org/debian "$release-updates" http://deb.debian.org/debian-security "$release-security"
}

# The CPU name qemu and binfmt_misc give ARCH (aarch64 for arm64).
qemu_cpu() {
    dpkg-architecture -a "$1" -qDEB_HOST_GNU_CPU 2>/dev/null
}

# Makes the kernel run ARCH's programs through qemu-user-static, with the F flag (the emulator opened once,
# so that it also runs inside a chroot).
enable_emulation() {
    local arch=$1 cpu
    [ "$arch" = "$(dpkg --print-architecture)" ] && return
    install_missing qemu-user-static binfmt-support dpkg-dev >/dev/null
    cpu=$(qemu_cpu "$arch")
    [ -e /proc/sys/fs/binfmt_misc/status ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
    [ -e "/proc/sys/fs/binfmt_misc/qemu-$cpu" ] || update-binfmts --enable "qemu-$cpu"
    if ! grep -qx enabled "/proc/sys/fs/binfmt_misc/qemu-$cpu" ||
        ! grep -q '^flags: .*F' "/proc/sys/fs/binfmt_misc/qemu-$cpu"; then
        echo "binfmt_misc does not run $arch programs through qemu-$cpu-static with the F flag" >&2
        return 1
    fi
}

# Sets base_root to a minimal Debian tree of RELEASE for ARCH, made by debootstrap once and then kept;
# callers copy it (cp -a) and never change it. It is made from MIRROR when one is given (any mirror of the
# release makes the same tree), else from the archive this machine's apt reads for RELEASE.
make_base_root() {
    local release=$1 arch=$2 mirror=${3:-} tmp
    base_root=$roots_dir/$release-$arch-base
    mkdir -p "$roots_dir"
    exec 9>"$base_root.lock"
    flock 9
    if [ ! -x "$base_root/usr/bin/apt-get" ]; then
        install_missing debootstrap >/dev/null
        enable_emulation "$arch"
        [ -n "$mirror" ] ||
            mirror=$(archive_sources "$release" | awk -v r="$release" '$3 == r { print $2; exit }')
        tmp=$base_root.new
        remove_root "$tmp"
        echo "== debootstrap $release $arch from ${mirror:-http://deb.debian.org/debian}"
        if [ "$arch" = "$(dpkg --print-architecture)" ]; then
            debootstrap --variant=minbase "$release" "$tmp" "${mirror:-http://deb.debian.org/debian}" >/dev/null
        else
            # The second stage runs the new tree's own programs, under emulation; the emulator stays in
            # the tree for kernels whose binfmt_misc looks for it there.
            debootstrap --variant=minbase --arch="$arch" --foreign "$release" "$tmp" \
                "${mirror:-http://deb.debian.org/debian}" >/dev/null
            cp "/usr/bin/qemu-$(qemu_cpu "$arch")-static" "$tmp/usr/bin/"
            chroot "$tmp" /debootstrap/debootstrap --second-stage >/dev/null
        fi
        archive_sources "$release" >"$tmp/etc/apt/sources.list"
        # The hosts file of a Debian installation, which debootstrap leaves out.
        cat >"$tmp/etc/hosts" <<EOF
127.0.0.1	localhost
127.0.1.1	$(cat "$tmp/etc/hostname")

::1	localhost ip6-localhost ip6-loopback
ff02::1	ip6-allnodes
ff02::2	ip6-allrouters
EOF
        mv "$tmp" "$base_root"
    fi
    exec 9>&-
}

# Sets derived_root to a cached copy of the RELEASE/ARCH base tree named NAME, with the architectures in
# EXTRA_ARCHES (space-separated, may be empty) added to its dpkg and PACKAGES installed. It is updated only
# when that list changes.
make_derived_root() {
    local name=$1 release=$2 arch=$3 extra_arches=$4 wanted extra mark=${#mounted[@]}
    shift 4
    derived_root=$roots_dir/$name
    wanted="$extra_arches: $*"
    enable_emulation "$arch"
    mkdir -p "$roots_dir"
    exec 8>"$derived_root.lock"
    flock 8
    if [ "$(cat "$derived_root/.vantro-packages" 2>/dev/null)" != "$wanted" ]; then
        echo "== $name: installing $*"
        if [ ! -x "$derived_root/usr/bin/apt-get" ]; then
            make_base_root "$release" "$arch"
            remove_root "$derived_root"
            cp -a "$base_root" "$derived_root"
        fi
        # No service a package installs (nginx's on port 80) is started from inside the root.
        printf '#!/bin/sh\nexit 101\n' >"$derived_root/usr/sbin/policy-rc.d"
        chmod +x "$derived_root/usr/sbin/policy-rc.d"
        mount_system "$derived_root"
        for extra in $extra_arches; do
            chroot "$derived_root" dpkg --add-architecture "$extra"
        done
        chroot "$derived_root" apt-get update -qq
        chroot "$derived_root" env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -qq --no-install-recommends "$@" >"$derived_root.log" 2>&1 ||
            { cat "$derived_root.log" >&2; return 1; }
        undo_mounts "$mark"
        echo "$wanted" >"$derived_root/.vantro-packages"
    fi
    exec 8>&-
}

# Mounts /proc, /dev and /dev/pts inside ROOT.
mount_system() {
    local root=$1
    mount -t proc proc "$root/proc"
    mounted+=("$root/proc")
    mount --bind /dev "$root/dev"
    mounted+=("$root/dev")
    mount --bind /dev/pts "$root/dev/pts"
    mounted+=("$root/dev/pts")
}

# Shows the directory SOURCE inside ROOT at the path TARGET, by default the same path.
bind_same_path() {
    local source=$1 root=$2 target=${3:-$1}
    mkdir -p "$root$target"
    mount --bind "$source" "$root$target"
    mounted+=("$root$target")
}

# Takes away what mount_system and bind_same_path mounted, the last first; with a number, only the mounts
# made after that many.
undo_mounts() {
    local keep=${1:-0} i
    for ((i = ${#mounted[@]} - 1; i >= keep; i--)); do
        umount "${mounted[i]}" 2>/dev/null || umount --lazy "${mounted[i]}" || true
        unset 'mounted[i]'
    done
}

# Deletes the tree ROOT, first unmounting whatever a killed run left mounted in it, so that the deletion
# never reaches through a mount into this machine's /dev or a source tree.
remove_root() {
    local root point
    root=$(realpath -m "$1")
    awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r |
        while read -r point; do umount --lazy "$point"; done
    if awk -v r="$root/" 'index($5, r) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo; then
        echo "$root still has mounts in it; not deleting it" >&2
        return 1
    fi
    rm -rf "$root"
}
