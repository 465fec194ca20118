# shellcheck shell=bash
# Sourced by the scripts that run in steps: `step NAME` starts a step (and ends the one before), `step ""`
# ends the last, and `step_times` prints how long each took, for the script's closing lines.

step_lines=()
step_name=
step_start=$SECONDS

step() {
    [ -z "$step_name" ] || step_lines+=("$(printf '%5d s  %s' $((SECONDS - step_start)) "$step_name")")
    step_name=$1
    step_start=$SECONDS
    [ -z "$1" ] || echo "== $1 (after $SECONDS s)"
}

step_times() {
    step ""
    echo "== time of each step (${SECONDS} s in all)"
    printf '%s\n' "${step_lines[@]}"
}
