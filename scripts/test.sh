#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: a normal build and one
# under AddressSanitizer and UndefinedBehaviorSanitizer. Then fuzzes for a minute and builds
# and checks the Debian package. The long runs are scripts/soak.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Every build of this run (and of the fuzzer and the package) goes through the compiler cache.
export CMAKE_CXX_COMPILER_LAUNCHER=ccache
# Paths are kept relative to the clone, so a clone elsewhere (CI's) finds what this one compiled.
export CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true

jobs=$(nproc)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build/release -j "$jobs"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTRO_SANITIZE=ON \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON >/dev/null
cmake --build build/sanitize -j "$jobs"

echo "== tests, normal build"
ctest --test-dir build/release --output-on-failure -j "$jobs" -LE soak

echo "== tests, sanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
ctest --test-dir build/sanitize --output-on-failure -j "$jobs" -LE soak

scripts/fuzz.sh 60
scripts/package.sh
