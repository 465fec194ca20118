#!/usr/bin/env bash
# Builds the libFuzzer target with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and runs it
# for the given number of seconds (default 60) from the committed seeds. Fails on any crash,
# sanitizer report or broken invariant; the input that did it is left in build/fuzz/findings.
#
#   scripts/fuzz.sh [SECONDS | --build-only]
set -euo pipefail
cd "$(dirname "$0")/.."
# The compiler cache as the other builds use it.
. scripts/lib/build.sh
seconds=${1:-60}

cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
    -DVANTRO_FUZZ=ON >/dev/null
cmake --build build/fuzz --target fuzz_link -j "$(nproc)"
[ "$seconds" != --build-only ] || exit 0

# The fuzzer adds what it finds to its first folder: a scratch copy, so the seeds stay as committed.
corpus=build/fuzz/corpus
mkdir -p "$corpus" build/fuzz/findings
cp tests/fuzz/seeds/* "$corpus"/
echo "== fuzzing the receive path and the frame builder for ${seconds} s"
status=0
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    build/fuzz/tests/fuzz/fuzz_link -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix=build/fuzz/findings/ "$corpus" >build/fuzz/fuzz.log 2>&1 || status=$?
if [ "$status" -eq 0 ]; then
    grep -E '^(Done|stat::)' build/fuzz/fuzz.log
else
    # The whole story: the broken invariant or the sanitizer report, and the input that caused it.
    cat build/fuzz/fuzz.log
fi
exit "$status"
