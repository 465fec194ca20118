#!/usr/bin/env bash
# Takes the README's pictures of both layouts and of the Trend window: the real program under Xvfb with the
# real fonts, connected to the virtual board, with a day of readings recorded before it started.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/lib/packages.sh
install_missing xvfb xauth xdotool imagemagick
. scripts/lib/build.sh
configure_release
build build/release >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
build/release/tools/vboard/vantro-vboard --link "$work/board" >/dev/null 2>&1 &
board=$!
sleep 0.5
mkdir -p "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
printf '[SENSORE_TEMP]\nTCOM=%s\n[Recording]\nEnabled=true\nFolder=%s\n[Alerts]\nHigh=22.2\nLow=18\n' "$work/board" "$work/readings" \
    >"$work/config/ZORVA.conf"
scripts/sample-readings.py "$work/readings" board 1

XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" xvfb-run -a -s "-screen 0 1024x600x24" bash -c '
    build/release/src/vantro &
    app=$!
    sleep 4
    id=$(xdotool search --name "ZORVA - Vantro V1.1" | head -n 1)
    import -window "$id" docs/compact.png
    xdotool mousemove --window "$id" 22 8 click 1
    sleep 0.5
    xdotool mousemove --window "$id" 375 27 click 1
    sleep 2.5
    xdotool mousemove 600 380
    sleep 0.3
    import -window "$id" docs/expanded.png
    xdotool mousemove --window "$id" 100 8 click 1
    sleep 1.5
    trend=$(xdotool search --name "^Trend\$" | head -n 1)
    xdotool windowsize "$trend" 760 440
    sleep 0.5
    xdotool mousemove --window "$trend" 60 18 click 1
    sleep 0.5
    xdotool key Down Down Return
    sleep 1
    xdotool mousemove --window "$trend" 420 190
    sleep 0.5
    import -window "$trend" docs/trend.png
    kill $app
'
kill "$board"
echo "docs/compact.png, docs/expanded.png and docs/trend.png written"
