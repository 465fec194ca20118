#!/usr/bin/env bash
# The long runs: 200 unplug-and-replug cycles in both builds and 30 minutes of fuzzing.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/test.sh
ctest --test-dir build/release --output-on-failure -L soak
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build/sanitize --output-on-failure -L soak
scripts/fuzz.sh 1800
