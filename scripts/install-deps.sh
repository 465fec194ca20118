#!/usr/bin/env bash
# Installs, from Debian's archive, whatever the build, the tests and the demo need and the machine lacks.
#
#   scripts/install-deps.sh [--list]
set -euo pipefail
# shellcheck source=scripts/lib/packages.sh
. "$(dirname "$0")/lib/packages.sh"

packages=(
    cmake ninja-build g++ pkg-config ccache
    # the linker of the Linux builds (CMakeLists.txt), faster than the default one
    lld
    qt6-base-dev qt6-serialport-dev libgl-dev libmosquitto-dev libssl-dev
    # Qt's HTTP server; its CMake files want the WebSockets ones, which its package does not pull in
    qt6-httpserver-dev qt6-websockets-dev
    # the MQTT tests run a real broker and subscribe with its clients
    mosquitto mosquitto-clients openssl
    # the line-protocol test writes to and queries a real InfluxDB (1.x, in Debian 12 and 13)
    influxdb
    # the metrics tests check the exposition with promtool and have a real Prometheus scrape it
    prometheus
    # the web page's test drives a real Chromium through Selenium, behind a real nginx at a path prefix
    chromium chromium-driver python3-selenium nginx
    # and in Firefox, driven over its own remote protocol (Debian has no geckodriver)
    firefox-esr
    # the alert test's private session bus
    dbus-daemon
    fonts-liberation fonts-dejavu-core
    # the recording tests run in a time zone with summer time
    tzdata
    # fuzzing
    clang libclang-rt-dev
    # the Debian package and its checks
    dpkg-dev lintian appstream desktop-file-utils systemd
    # the benchmark's display and its window probe
    xvfb libxcb1-dev
)

# --list prints the list and installs nothing: the kept roots of scripts/test-release.sh are filled from it.
if [ "${1:-}" = --list ]; then
    printf '%s\n' "${packages[@]}"
    exit 0
fi

install_missing "${packages[@]}"
# The tests start an InfluxDB, a Prometheus and an nginx of their own; the services the packages start would
# listen on every address, so those installed here for the tests are stopped and not started again.
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
for service in influxdb prometheus nginx; do
    if [[ " ${newly_installed[*]} " == *" $service "* ]] && [ -d /run/systemd/system ]; then
        "${sudo[@]}" systemctl disable --now "$service.service" || true
    fi
done
