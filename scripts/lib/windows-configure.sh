# shellcheck shell=bash
# Sourced by scripts/windows.sh and scripts/windows-tests.sh: both configure build/windows the same way, so
# that running one after the other builds each file once.
#
#   windows_configure QT_PREFIX MQTT_PREFIX BUILD_DIR

# Paths are kept relative to the clone, so a clone elsewhere (CI's) finds what this one compiled.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true

windows_configure() {
    local launcher=() fresh=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    # A build made with another Qt for Windows (flags changed, another cache entry) starts afresh: CMake
    # would keep finding the old one.
    [ ! -f "$3/CMakeCache.txt" ] || grep -qx "Qt6_DIR:PATH=$1/lib/cmake/Qt6" "$3/CMakeCache.txt" || fresh=(--fresh)
    cmake "${fresh[@]}" -S . -B "$3" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON \
        --toolchain "$1/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DQT_CHAINLOAD_TOOLCHAIN_FILE="$PWD/cmake/x86_64-w64-mingw32.cmake" -DCMAKE_CROSSCOMPILING_EMULATOR=wine \
        -DVANTRO_MQTT_PREFIX="$2" \
        "${launcher[@]}" --no-warn-unused-cli >/dev/null
}
