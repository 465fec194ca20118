#!/bin/sh
# check_probe.sh BUILD_DIR TARGET HEADER builds|refused
# Builds one include probe and checks that it builds, or that it fails because the header is not found.
output=$(cmake --build "$1" --target "$2" 2>&1)
status=$?
case "$4" in
builds)
    [ "$status" -eq 0 ] && exit 0
    printf '%s\n' "$output"
    echo "$2: $3 should be found"
    exit 1 ;;
refused)
    if [ "$status" -ne 0 ] && printf '%s' "$output" | grep -q "$3: No such file"; then
        exit 0
    fi
    printf '%s\n' "$output"
    echo "$2: $3 should not be found"
    exit 1 ;;
esac
