#!/usr/bin/env bash
# Plants each one-line fault of scripts/mutants.txt in the source in turn, builds, runs the tests that should
# catch it and puts the source back, then says how many were caught: the same list run on two commits shows
# whether a change to the tests lets any of these faults through.
#
#   nice -n 10 scripts/mutants.sh [--no-baseline] [--only 3,7,12] [--check | --diff] [MUTANTS_FILE]
#
# Faults are numbered from 1 in the list's order, comments and blank lines left out; --only runs the ones
# named. --check only says whether each original text occurs once; --diff shows each fault as a diff.
# A line of the list is FILE|ORIGINAL TEXT|REPLACEMENT TEXT|CTEST REGEX; a '|' inside either text is
# written '\|', the regex takes the rest of the line. The original text must occur exactly once in FILE.
# Test names in the regex are prefixes, so ^tst_x matches tst_x and per-function entries tst_x:someFunction.
# The build is build/mutants (Release, through ccache); before the faults, the tests of every line run once
# on the source as it is, as a test that fails there would "catch" every fault.
set -euo pipefail
shopt -u patsub_replacement 2>/dev/null || true

root=$(git rev-parse --show-toplevel)
cd "$root"

list=scripts/mutants.txt
baseline=1
check=0
only=""
while [[ $# -gt 0 ]]; do
    case $1 in
    --no-baseline) baseline=0 ;;
    --check) check=1 ;;
    --diff) check=2 ;;
    --only)
        only=",$2,"
        shift
        ;;
    -h | --help)
        sed -n '2,14s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    *) list=$1 ;;
    esac
    shift
done

build=build/mutants
build_abs=$root/$build
logs=$build/mutant-logs
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=true
# The long soak runs are not for this; everything else a regex names is.
ctest_args=(--test-dir "$build" -LE soak -j 4 --timeout 120 --no-tests=error)
# Programs the tests start by path, which CMake does not count among their dependencies.
programs=(vantro vantro-window vantro-vboard vantro-http)

mutated=""
restore() {
    if [[ -n $mutated ]]; then
        git checkout -- "$mutated"
        mutated=""
    fi
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The lines, with escaped bars kept apart from the separators.
files=() originals=() replacements=() regexes=() numbers=()
bar=$'\x1f'
line=0
while IFS= read -r raw || [[ -n $raw ]]; do
    line=$((line + 1))
    [[ -z $raw || $raw == \#* ]] && continue
    IFS='|' read -r file original replacement regex <<<"${raw//\\|/$bar}"
    if [[ -z $file || -z $original || -z ${regex:-} ]]; then
        echo "$list:$line: not FILE|ORIGINAL|REPLACEMENT|REGEX" >&2
        exit 2
    fi
    files+=("$file")
    originals+=("${original//$bar/|}")
    replacements+=("${replacement//$bar/|}")
    regexes+=("$regex")
    numbers+=("$((${#numbers[@]} + 1))")
done <"$list"
total=${#files[@]}

# Putting a file back is a checkout: it must hold nothing of anyone's that a checkout would lose.
for file in $(printf '%s\n' "${files[@]}" | sort -u); do
    if ! git ls-files --error-unmatch -- "$file" >/dev/null 2>&1; then
        echo "$file is not a tracked file" >&2
        exit 2
    fi
    if ! git diff --quiet HEAD -- "$file"; then
        echo "$file has changes of its own: commit or stash them first" >&2
        exit 2
    fi
done

# How often a line's original text occurs in its file.
occurrences() {
    local content="" rest
    IFS= read -r -d '' content <"$1" || true
    rest=${content//"$2"/}
    echo $(((${#content} - ${#rest}) / ${#2}))
}

# Plants fault i in its file.
plant() {
    local i=$1 content=""
    mutated=${files[$i]}
    IFS= read -r -d '' content <"$mutated" || true
    printf '%s' "${content/"${originals[$i]}"/"${replacements[$i]}"}" >"$mutated"
}

if [[ $check -ne 0 ]]; then
    bad=0
    for i in "${!files[@]}"; do
        count=$(occurrences "${files[$i]}" "${originals[$i]}")
        [[ $count -eq 1 ]] || bad=$((bad + 1))
        printf '#%s %s: %s\n' "${numbers[$i]}" "${files[$i]}" \
            "$([[ $count -eq 1 ]] && echo ok || echo "the text occurs $count times")"
        if [[ $check -eq 2 && $count -eq 1 ]]; then
            plant "$i"
            git diff -U0 -- "${files[$i]}" | tail -n +5
            restore
        fi
    done
    exit $((bad > 0))
fi

if [[ ! -f $build/build.ninja ]]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi
mkdir -p "$logs"

tests_for() {
    ctest --test-dir "$build" -N -R "$1" -LE soak --show-only=json-v1 2>/dev/null | jq '.tests | length'
}

# ctest names a test's program only once it is built: until then, everything is built once.
build_unbuilt() {
    local regex=$1 log=$2 unbuilt
    unbuilt=$(ctest --test-dir "$build" -N -R "$regex" -LE soak --show-only=json-v1 2>/dev/null |
        jq '[.tests[] | select(.command == null)] | length')
    if [[ $unbuilt -gt 0 ]]; then
        echo "building everything once: $unbuilt of the tests are not built yet"
        cmake --build "$build" >"$log" 2>&1
    fi
}

# The targets a regex needs: the executables its tests run, and the programs they start.
targets_for() {
    local regex=$1 name
    {
        ctest --test-dir "$build" -N -R "$regex" -LE soak --show-only=json-v1 2>/dev/null |
            jq -r '.tests[].command[]?' |
            while IFS= read -r name; do
                if [[ $name == "$build_abs"/* ]]; then
                    basename "$name"
                fi
            done
        for name in "${programs[@]}"; do
            if ninja -C "$build" -t query "$name" >/dev/null 2>&1; then
                echo "$name"
            fi
        done
    } | sort -u
}

build_targets() {
    local log=$1
    shift
    cmake --build "$build" --target "$@" >"$log" 2>&1
}

# The tests that failed, from ctest's closing list: "name (Failed)" and the like.
failed_tests() {
    sed -n '/The following tests FAILED:/,$p' "$1" | sed -n 's/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' |
        paste -sd ',' | sed 's/,/, /g'
}

selected() {
    [[ -z $only || $only == *",$1,"* ]]
}

start=$SECONDS
if [[ $baseline -eq 1 ]]; then
    all_regex=""
    for i in "${!files[@]}"; do
        selected "${numbers[$i]}" && all_regex+="${all_regex:+|}${regexes[$i]}"
    done
    if ! build_unbuilt "$all_regex" "$logs/baseline-build.log"; then
        echo "baseline: the unchanged source does not build, see $logs/baseline-build.log" >&2
        exit 1
    fi
    mapfile -t all_targets < <(targets_for "$all_regex")
    echo "baseline: building ${#all_targets[@]} targets"
    if ! build_targets "$logs/baseline-build.log" "${all_targets[@]}"; then
        echo "baseline: the unchanged source does not build, see $logs/baseline-build.log" >&2
        exit 1
    fi
    echo "baseline: running the tests of every line on the unchanged source"
    if ! ctest "${ctest_args[@]}" -R "$all_regex" >"$logs/baseline-tests.log" 2>&1; then
        # Once more for what failed: a loaded machine can miss a deadline once.
        if ! ctest "${ctest_args[@]}" -R "$all_regex" --rerun-failed >"$logs/baseline-rerun.log" 2>&1; then
            echo "baseline: tests fail on the unchanged source: $(failed_tests "$logs/baseline-rerun.log")" >&2
            exit 1
        fi
        echo "baseline: passed on a second run: $(failed_tests "$logs/baseline-tests.log")"
    fi
    echo "baseline: green in $((SECONDS - start)) s"
fi

caught=0
run=0
survivors=()
for i in "${!files[@]}"; do
    n=${numbers[$i]}
    selected "$n" || continue
    file=${files[$i]} original=${originals[$i]} replacement=${replacements[$i]} regex=${regexes[$i]}
    label="#$n $file: '$original' -> '$replacement'"
    began=$SECONDS

    count=$(occurrences "$file" "$original")
    if [[ $count -ne 1 ]]; then
        echo "skip      $label (the text occurs $count times)"
        continue
    fi
    if [[ $(tests_for "$regex") -eq 0 ]]; then
        echo "skip      $label (no test matches $regex)"
        continue
    fi
    build_unbuilt "$regex" "$logs/$n-build.log"
    mapfile -t targets < <(targets_for "$regex")

    run=$((run + 1))
    plant "$i"
    if ! build_targets "$logs/$n-build.log" "${targets[@]}"; then
        verdict="caught    (the build failed)"
    elif ctest "${ctest_args[@]}" -R "$regex" >"$logs/$n-tests.log" 2>&1; then
        verdict="SURVIVED"
    else
        verdict="caught    by $(failed_tests "$logs/$n-tests.log")"
    fi
    restore

    case $verdict in
    caught*) caught=$((caught + 1)) ;;
    SURVIVED) survivors+=("$label [$regex]") ;;
    esac
    printf '%-9s %s [%s] (%d s)\n' "${verdict%% *}" "$label" "$regex" $((SECONDS - began))
    [[ $verdict == caught* ]] && echo "          ${verdict#caught    }"
done

echo
echo "$caught caught of $run ($total in $list, $((SECONDS - start)) s)"
if [[ ${#survivors[@]} -gt 0 ]]; then
    echo "survivors:"
    printf '  %s\n' "${survivors[@]}"
fi
