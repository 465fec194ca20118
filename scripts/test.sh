#!/usr/bin/env bash
# The README's test command. Installs what is missing, then builds under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite there, while the fuzzer runs for a minute and the Release
# build that becomes the package is made beside it; once all has passed, the package is made and checked.
# Prints the time of each step at the end. The long runs are scripts/soak.sh.
#
#   scripts/test.sh            everything, as CI runs it
#   scripts/test.sh --quick    the daily loop: the Release build with its tests, and the suite, nothing else
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/lib/steps.sh
. scripts/lib/build.sh

quick=false
case ${1:-} in
    --quick) quick=true ;;
    '') ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac

step "packages"
scripts/install-deps.sh

if [ "$quick" = true ]; then
    step "Release build"
    configure_release
    build build/release
    step "suite, Release build"
    run_suite build/release
    step_times
    exit 0
fi

step "sanitizer build"
configure_sanitize
build build/sanitize

# The suite waits mostly on real timers. Beside it the fuzzer is built and runs for a minute, and the package's
# Release build (without the tests: they ran under the sanitizers) takes what the cores have left, at the
# lowest priority. Each writes to a log of its own, shown whole when it fails.
step "suite under the sanitizers; beside it a minute of fuzzing, and the package's build"
logs=build/logs
mkdir -p "$logs"
declare -A runs=()
(
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite build/sanitize
) >"$logs/suite-sanitize.log" 2>&1 &
runs[suite-sanitize]=$!
(scripts/fuzz.sh --build-only && scripts/fuzz.sh 60) >"$logs/fuzz.log" 2>&1 &
runs[fuzz]=$!
nice -n 19 scripts/package.sh --build-only >"$logs/package-build.log" 2>&1 &
runs[package-build]=$!
failed=()
for run in suite-sanitize fuzz package-build; do
    if wait "${runs[$run]}"; then
        echo "-- $run: passed"
        grep -E 'tests passed|^(Done|stat::)' "$logs/$run.log" || true
    else
        failed+=("$run")
    fi
done
for run in "${failed[@]}"; do
    echo "-- $run: FAILED ($logs/$run.log)"
    cat "$logs/$run.log"
done
[ ${#failed[@]} -eq 0 ] || exit 1

step "package, from the tree whose tests passed"
scripts/package.sh
step_times
