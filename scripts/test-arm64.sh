#!/usr/bin/env bash
# Proves the arm64 build on this machine, under qemu-user-static:
#  1. cross-builds the arm64 package and checks it as scripts/package.sh checks every package, then installs
#     it with apt into a fresh arm64 Debian 12, starts it there and reads three readings headless from the
#     arm64 virtual board (scripts/clean-install.sh);
#  2. cross-builds the whole tree with its tests (warnings are errors);
#  3. runs the suite, as scripts/test.sh runs it (ctest -LE soak), inside an arm64 Debian 12 tree, so that
#     every program the tests start (the virtual board, vantro, vantro-window, mosquitto, openssl, the
#     session bus) is an arm64 program too.
# Every tree is a root of its own: this machine gets no arm64 package. Prints the time of each step.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/debian-root.sh
trap undo_mounts EXIT

arch=arm64
build=build/$arch
# What the tests need beyond what their libraries pull in: ctest, the broker and its clients, the certificate
# tool and store, the time zones, the window's libraries and fonts, the session bus, Prometheus and promtool.
runtime=(
    cmake libqt6core6 libqt6network6 libqt6serialport6 libqt6httpserver6 libqt6test6 libmosquitto1
    mosquitto mosquitto-clients openssl ca-certificates tzdata prometheus
    libqt6gui6 libqt6widgets6 libqt6dbus6 fonts-liberation fonts-dejavu-core dbus-daemon
)
# Tests that cannot run under emulation, each with its reason: none so far. (The soak run is left out as
# it is from every ordinary run.)
declare -A left_out=()

step() {
    echo "== $1 (after $SECONDS s)"
}

step "arm64 package: cross-build, check, install into a fresh arm64 root, read three readings"
scripts/package.sh --arch "$arch" --clean-install
package_seconds=$SECONDS

step "cross-building the tree and its tests"
scripts/cross-root.sh "$arch" cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DCMAKE_CXX_COMPILER_LAUNCHER=ccache --no-warn-unused-cli \
    --toolchain "cmake/$(dpkg-architecture -a "$arch" -qDEB_HOST_MULTIARCH 2>/dev/null).cmake" >/dev/null
scripts/cross-root.sh "$arch" cmake --build "$build" -j "$(nproc)"
build_seconds=$SECONDS

step "the arm64 test root"
make_derived_root "bookworm-$arch-test" bookworm "$arch" "" "${runtime[@]}"
root=$derived_root

for name in "${!left_out[@]}"; do
    echo "left out: $name: ${left_out[$name]}"
done
excluded=$(IFS='|'; echo "${!left_out[*]}")

step "the tests, under emulation"
mount_system "$root"
bind_same_path "$PWD" "$root"
status=0
chroot "$root" env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME=/root LC_ALL=C.UTF-8 \
    LD_PRELOAD="$PWD/$build/tests/vantro_fork_under_qemu.so" \
    ctest --test-dir "$PWD/$build" --output-on-failure -LE soak ${excluded:+-E "^($excluded)\$"} || status=$?
undo_mounts

echo "== times: package $package_seconds s, cross build $((build_seconds - package_seconds)) s," \
    "tests $((SECONDS - build_seconds)) s, all $SECONDS s"
exit "$status"
