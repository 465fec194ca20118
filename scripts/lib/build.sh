# shellcheck shell=bash
# Sourced by the scripts that build this tree on Linux, so that each configures the same folder the same way
# and one build serves the next: build/release (Release, installed under /usr: the build the package is made
# from, the demo runs and the Windows tests take their line host from) and build/sanitize (Debug, under
# AddressSanitizer and UndefinedBehaviorSanitizer).

# Every build goes through the compiler cache, with paths relative to the clone, so that a clone elsewhere
# (CI's) finds what this one compiled.
if command -v ccache >/dev/null; then
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache
    export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
    # What ccache must overlook to cache the files that use precompiled headers (cmake/VantroPch.cmake):
    # their macros and time macros it cannot see, and the headers made just before the files that use them.
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
    # A precompiled header is hundreds of megabytes: hashed once, not once for each file that uses it.
    export CCACHE_INODECACHE=true
    # Four builds of the tree (the two here, the fuzzer's, Windows') fit in it with room to spare.
    export CCACHE_MAXSIZE=${CCACHE_MAXSIZE:-12G}
fi
build_jobs=${JOBS:-$(nproc)}
# Precompiled Qt headers (cmake/VantroPch.cmake), unless VANTRO_PCH=OFF: CI builds the other Debian release
# without them, so that a file that forgot an include fails there.
pch=-DVANTRO_PCH=${VANTRO_PCH:-ON}

configure_release() {
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$pch" >/dev/null
}

configure_sanitize() {
    cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTRO_SANITIZE=ON \
        -DCMAKE_COMPILE_WARNING_AS_ERROR=ON "$pch" >/dev/null
}

# build FOLDER [TARGET...]: all of a configured build, or the targets named.
build() {
    local folder=$1 targets=()
    shift
    [ $# -eq 0 ] || targets=(--target "$@")
    cmake --build "$folder" -j "$build_jobs" "${targets[@]}"
}

# run_suite FOLDER: the suite of a build, but for the long soak. Most tests wait on real timers, not the
# cores, so more run at once than there are cores.
run_suite() {
    ctest --test-dir "$1" --output-on-failure -j "$((build_jobs * 3))" -LE soak
}
