#!/usr/bin/env bash
# The README's test command. Installs what is missing, then builds twice: under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Release build that becomes the package. Both run the whole suite, while
# the fuzzer runs for a minute beside them; once all has passed, the Release build is packaged and the package
# checked. Prints the time of each step at the end. The long runs are scripts/soak.sh.
#
#   scripts/test.sh            everything, as CI runs it
#   scripts/test.sh --quick    the daily loop: the Release build and its suite, nothing else
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
step "Release build"
configure_release
build build/release
step "fuzzer build"
scripts/fuzz.sh --build-only

# The suites wait mostly on real timers and the fuzzer takes one core: side by side they take the time of the
# longest. Each writes to a log of its own, shown whole when it fails.
step "suites of both builds, and a minute of fuzzing"
logs=build/logs
mkdir -p "$logs"
declare -A runs=()
(
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite build/sanitize
) >"$logs/suite-sanitize.log" 2>&1 &
runs[suite-sanitize]=$!
run_suite build/release >"$logs/suite-release.log" 2>&1 &
runs[suite-release]=$!
scripts/fuzz.sh 60 >"$logs/fuzz.log" 2>&1 &
runs[fuzz]=$!
failed=()
for run in suite-sanitize suite-release fuzz; do
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

step "package, from the Release build"
scripts/package.sh --from build/release
step_times
