#!/usr/bin/env bash
# Builds Release and measures the program headless against the virtual board on a pseudo-terminal.
# Three runs of each figure; prints one table of median and worst with the machine it ran on.
# The web page's figures (bench/web_bench.py) are one run, printed under the table.
# BENCH_IDLE_SECONDS, BENCH_FLOOD_SECONDS and BENCH_STREAM_SECONDS shorten the long figures for a quick look;
# BENCH_HISTORY_DAYS sets the recorded days the Trend window opens on (365 for a year, which takes a while
# to write).
set -euo pipefail
cd "$(dirname "$0")/.."
idle_seconds=${BENCH_IDLE_SECONDS:-60}
flood_seconds=${BENCH_FLOOD_SECONDS:-120}
stream_seconds=${BENCH_STREAM_SECONDS:-60}
history_days=${BENCH_HISTORY_DAYS:-120}
rate_seconds=30
runs=3

scripts/install-deps.sh
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTRO_BENCH=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build build/bench -j "$(nproc)" >/dev/null
bin=build/bench
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# median and worst (largest) of numbers on stdin
stats() { sort -g | awk '{v[NR]=$1} END {printf "%s %s\n", v[int((NR+1)/2)], v[NR]}'; }
field() { sed -n "s/.*$1=\([^ ]*\).*/\1/p"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
ticks_per_second=$(getconf CLK_TCK)

# The real program with a settings folder of its own that names the port.
start_vantro() { # port, config folder
    mkdir -p "$2"
    printf '[SENSORE_TEMP]\nTCOM=%s\n' "$1" >"$2/ZORVA.conf"
    XDG_CONFIG_HOME=$2 "$bin/src/vantro" >/dev/null 2>&1 &
    started=$!
    pids+=($started)
}

idle_share() { # pid: percent of one core used over idle_seconds, after a 2 s start
    sleep 2
    local before after
    before=$(cpu_ticks "$1")
    sleep "$idle_seconds"
    after=$(cpu_ticks "$1")
    awk -v t=$((after - before)) -v hz="$ticks_per_second" -v s="$idle_seconds" \
        'BEGIN {printf "%.3f\n", 100 * t / hz / s}'
}

: >"$work/command" >"$work/command_worst" >"$work/display" >"$work/display_worst"
: >"$work/idle_board" >"$work/idle_none" >"$work/flood_cpu" >"$work/flood_growth" >"$work/flood_log"
: >"$work/flood_rate" >"$work/startup" >"$work/startup_rss"
: >"$work/record_one" >"$work/record_p99" >"$work/stream_cpu" >"$work/stream_lost" >"$work/stream_worst_cpu"
: >"$work/week_open" >"$work/week_hover" >"$work/week_hover_worst" >"$work/week_resize" >"$work/week_resize_worst"
: >"$work/week_bytes" >"$work/presence_min" >"$work/presence_median" >"$work/presence_max"
: >"$work/headless_open" >"$work/headless_rss" >"$work/headless_pss" >"$work/headless_rss_mqtt" >"$work/headless_idle"
: >"$work/publish_latency" >"$work/publish_latency_worst" >"$work/publish_cpu" >"$work/publish_lost"
: >"$work/outage_missing" >"$work/outage_order" >"$work/outage_backlog"
: >"$work/history_open" >"$work/history_stall" >"$work/history_peak" >"$work/history_lost"
: >"$work/history_redraw" >"$work/history_redraw_worst"
: >"$work/metrics_scrape" >"$work/metrics_scrape_worst" >"$work/metrics_cpu"
for ms in 10 8 4; do : >"$work/rate_$ms" >"$work/rate_sent_$ms"; done
"$bin/bench/record_bench" make-week "$work/week" 2>/dev/null
scripts/sample-readings.py "$work/history" ttyACM0 "$history_days"
for run in $(seq $runs); do
    echo "run $run of $runs" >&2
    "$bin/bench/vantro_bench" latency 50 2>/dev/null >"$work/latency"
    grep command_latency "$work/latency" | field median_ms >>"$work/command"
    grep command_latency "$work/latency" | field worst_ms >>"$work/command_worst"
    grep display_latency "$work/latency" | field median_ms >>"$work/display"
    grep display_latency "$work/latency" | field worst_ms >>"$work/display_worst"

    "$bin/bench/vantro_bench" presence 100 2>/dev/null >"$work/presence"
    field min_ms <"$work/presence" >>"$work/presence_min"
    field median_ms <"$work/presence" >>"$work/presence_median"
    field max_ms <"$work/presence" >>"$work/presence_max"

    # Both idle cases side by side: a silent board on an open port, and no board at all.
    "$bin/tools/vboard/vantro-vboard" --silent >"$work/board_port" 2>/dev/null &
    board=$!
    pids+=($board)
    until [ -s "$work/board_port" ]; do sleep 0.1; done
    start_vantro "$(head -1 "$work/board_port")" "$work/config-board"
    with_board=$started
    start_vantro /dev/no-board-here "$work/config-none"
    without_board=$started
    idle_share "$with_board" >>"$work/idle_board" &
    measuring=$!
    idle_share "$without_board" >>"$work/idle_none"
    wait "$measuring"
    kill "$with_board" "$without_board" "$board"
    wait "$with_board" "$without_board" "$board" 2>/dev/null || true

    "$bin/bench/vantro_bench" flood "$flood_seconds" 2>/dev/null >"$work/flood"
    field cpu_percent <"$work/flood" >>"$work/flood_cpu"
    field rss_growth_kb <"$work/flood" >>"$work/flood_growth"
    field longest_log <"$work/flood" >>"$work/flood_log"
    field bytes_per_second <"$work/flood" >>"$work/flood_rate"

    # Start-up on a real X server: process start to window mapped, then resident memory.
    display=:$((90 + run))
    Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb=$!
    pids+=($xvfb)
    until [ -e "/tmp/.X11-unix/X${display#:}" ]; do sleep 0.1; done
    mkdir -p "$work/config-startup"
    DISPLAY=$display QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=$work/config-startup \
        "$bin/bench/startup_probe" 1000 "$bin/src/vantro" >"$work/probe"
    field mapped_ms <"$work/probe" >>"$work/startup"
    field rss_kb <"$work/probe" | awk '{printf "%.1f\n", $1 / 1024}' >>"$work/startup_rss"
    kill "$xvfb"
    wait "$xvfb" 2>/dev/null || true

    # Recording and the trend.
    "$bin/bench/record_bench" write 100000 2>/dev/null >"$work/record"
    field median_us <"$work/record" >>"$work/record_one"
    field p99_us <"$work/record" >>"$work/record_p99"
    "$bin/bench/record_bench" stream "$stream_seconds" steady 2>/dev/null >"$work/stream"
    field cpu_percent <"$work/stream" >>"$work/stream_cpu"
    awk '{for (i = 1; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}} END {print v["replies"] - v["recorded"]}' \
        "$work/stream" >>"$work/stream_lost"
    "$bin/bench/record_bench" stream "$stream_seconds" changing 2>/dev/null >"$work/stream"
    field cpu_percent <"$work/stream" >>"$work/stream_worst_cpu"
    awk '{for (i = 1; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}} END {print v["replies"] - v["recorded"]}' \
        "$work/stream" >>"$work/stream_lost"
    "$bin/bench/record_bench" week "$work/week" 2>/dev/null >"$work/trend"
    grep '^week' "$work/trend" | field open_to_first_paint_ms >>"$work/week_open"
    grep repaint_hover "$work/trend" | field median_ms >>"$work/week_hover"
    grep repaint_hover "$work/trend" | field worst_ms >>"$work/week_hover_worst"
    grep repaint_resize "$work/trend" | field median_ms >>"$work/week_resize"
    grep repaint_resize "$work/trend" | field worst_ms >>"$work/week_resize_worst"
    "$bin/bench/record_bench" week-memory "$work/week" 2>/dev/null | field history_bytes_per_reading >>"$work/week_bytes"
    "$bin/bench/record_bench" history "$work/history" 2>/dev/null >"$work/opened"
    grep '^history ' "$work/opened" | field open_to_full_paint_ms >>"$work/history_open"
    grep '^history ' "$work/opened" | field longest_stall_ms >>"$work/history_stall"
    grep '^history ' "$work/opened" |
        awk '{for (i = 1; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}} END {print v["peak_mb"] - v["rss_before_mb"]}' \
            >>"$work/history_peak"
    grep '^history ' "$work/opened" | field lost >>"$work/history_lost"
    grep history_redraw "$work/opened" | field median_ms >>"$work/history_redraw"
    grep history_redraw "$work/opened" | field worst_ms >>"$work/history_redraw_worst"

    # The board's replies through the real port, one recognised per 10 ms receive poll.
    for ms in 10 8 4; do
        "$bin/bench/vantro_bench" rate "$ms" "$rate_seconds" 2>/dev/null >"$work/rate"
        field readings_per_second <"$work/rate" >>"$work/rate_$ms"
        field replies_per_second <"$work/rate" >>"$work/rate_sent_$ms"
    done

    # Headless and MQTT, against a real Mosquitto on 127.0.0.1.
    "$bin/bench/mqtt_bench" headless "$idle_seconds" 2>/dev/null >"$work/mqtt"
    grep 'mqtt=off start' "$work/mqtt" | field start_to_open_ms >>"$work/headless_open"
    grep 'mqtt=off start' "$work/mqtt" | field rss_kb | awk '{printf "%.1f\n", $1 / 1024}' >>"$work/headless_rss"
    grep 'mqtt=off start' "$work/mqtt" | field pss_kb | awk '{printf "%.1f\n", $1 / 1024}' >>"$work/headless_pss"
    grep 'mqtt=on start' "$work/mqtt" | field rss_kb | awk '{printf "%.1f\n", $1 / 1024}' >>"$work/headless_rss_mqtt"
    grep publish_latency "$work/mqtt" | field median_ms >>"$work/publish_latency"
    grep publish_latency "$work/mqtt" | field worst_ms >>"$work/publish_latency_worst"
    grep headless_idle "$work/mqtt" | field cpu_percent >>"$work/headless_idle"
    "$bin/bench/mqtt_bench" stream "$stream_seconds" 2>/dev/null >"$work/publish"
    field cpu_percent <"$work/publish" >>"$work/publish_cpu"
    awk '{for (i = 1; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}} END {print v["readings"] - v["received"]}' \
        "$work/publish" >>"$work/publish_lost"
    "$bin/bench/mqtt_bench" outage 30 2>/dev/null >"$work/outage"
    awk '{for (i = 1; i <= NF; i++) {split($i, kv, "="); v[kv[1]] = kv[2]}} END {print v["readings"] - v["received"]}' \
        "$work/outage" >>"$work/outage_missing"
    field in_order <"$work/outage" >>"$work/outage_order"
    field backlog_delivered_ms <"$work/outage" >>"$work/outage_backlog"

    # The metrics endpoint, readings arriving ten times a second.
    "$bin/bench/metrics_bench" scrape 1000 2>/dev/null >"$work/metrics"
    grep scrape_kept_alive "$work/metrics" | field median_ms >>"$work/metrics_scrape"
    grep scrape_kept_alive "$work/metrics" | field worst_ms >>"$work/metrics_scrape_worst"
    "$bin/bench/metrics_bench" cpu "$idle_seconds" 2>/dev/null | field scraped_cpu_percent >>"$work/metrics_cpu"
done
echo "50 boards on one broker" >&2
"$bin/bench/mqtt_bench" fleet 50 60 2>/dev/null >"$work/fleet"
echo "the web page" >&2
# Once, in headless Chromium driven by Debian's Selenium (not a virtualenv's); a machine without them goes on.
if [ -x /usr/bin/chromedriver ] && /usr/bin/python3 -c 'import selenium' 2>/dev/null; then
    /usr/bin/python3 bench/web_bench.py --build "$bin" --seconds "$stream_seconds" >"$work/web" 2>"$work/web_log" ||
        { echo "The web page: not measured, the bench failed:"; tail -3 "$work/web_log"; } >"$work/web"
else
    echo "The web page: not measured, no chromedriver or python3-selenium." >"$work/web"
fi

row() { # figure, target, median file, worst file, unit
    local m w
    read -r m _ < <(stats <"$3")
    read -r _ w < <(stats <"$4")
    printf '| %s | %s | %s %s | %s %s |\n' "$1" "$2" "$m" "$5" "$w" "$5"
}
{
    echo "| figure | target | median of $runs runs | worst of $runs runs |"
    echo "|---|---|---|---|"
    row "command latency: START clicked -> last frame byte read at the board" "median <= 8 ms" \
        "$work/command" "$work/command_worst" ms
    row "display latency: last reply byte written -> LTemp shows it" "median <= 8 ms, worst <= 15 ms" \
        "$work/display" "$work/display_worst" ms
    printf '| presence reply window: PRESENZA  PIC clicked -> reply check, 100 queries a run | never under 200 ms | min %s ms, median %s ms | max %s ms |\n' \
        "$(sort -g "$work/presence_min" | head -1)" "$(stats <"$work/presence_median" | cut -d' ' -f1)" \
        "$(sort -g "$work/presence_max" | tail -1)"
    row "idle CPU, port open, board silent, ${idle_seconds} s" "<= 1 %" "$work/idle_board" "$work/idle_board" "%"
    row "idle CPU, no board (retrying every 2 s), ${idle_seconds} s" "<= 1 %" "$work/idle_none" "$work/idle_none" "%"
    row "flood at the full line rate, logging on, ${flood_seconds} s: CPU" "<= 5 %" \
        "$work/flood_cpu" "$work/flood_cpu" "%"
    row "flood: resident memory growth after the first 10 s" "<= 1 MB (1024 kB)" \
        "$work/flood_growth" "$work/flood_growth" kB
    row "flood: longest TextBin after any poll" "<= 1002 characters" "$work/flood_log" "$work/flood_log" chars
    row "flood: bytes received per second (line rate 1920)" "-" "$work/flood_rate" "$work/flood_rate" "B/s"
    row "start-up: process start -> window mapped (Xvfb)" "median <= 300 ms" \
        "$work/startup" "$work/startup" ms
    row "start-up: resident memory once shown" "<= 45 MB" "$work/startup_rss" "$work/startup_rss" MB
    row "recording one reading (the write, without the periodic sync), 100 000 readings" "median <= 20 us" \
        "$work/record_one" "$work/record_p99" "us (worst: p99)"
    row "240 replies/s at the recognition seam, recording on, ${stream_seconds} s, a room's temperature: CPU" \
        "<= 5 %" "$work/stream_cpu" "$work/stream_cpu" "%"
    row "240 replies/s at the recognition seam, recording on, ${stream_seconds} s, a new temperature every reply: CPU" \
        "<= 5 %" "$work/stream_worst_cpu" "$work/stream_worst_cpu" "%"
    row "240 replies/s at the recognition seam: replies shown but not in the file" "0" \
        "$work/stream_lost" "$work/stream_lost" ""
    row "7 days of files (604 800 readings): Trend opened on \"7 days\" -> first full paint" "<= 500 ms" \
        "$work/week_open" "$work/week_open" ms
    row "that chart: repaint on hover" "<= 16 ms" "$work/week_hover" "$work/week_hover_worst" ms
    row "that chart: resize and repaint" "<= 16 ms" "$work/week_resize" "$work/week_resize_worst" ms
    row "that history: resident memory per reading over the same window without it" "<= 16 bytes" \
        "$work/week_bytes" "$work/week_bytes" B
    row "${history_days} days of files at 1 Hz: Trend opened on \"All\" -> paint of every reading" \
        "<= $((history_days * 500 / 7)) ms (500 ms a week)" "$work/history_open" "$work/history_open" ms
    row "that opening: longest the event loop was held up" "< 100 ms" "$work/history_stall" "$work/history_stall" ms
    row "that opening: peak resident memory over the window before it" "-" \
        "$work/history_peak" "$work/history_peak" MB
    row "that opening: replies of a board at 10 a second not taken meanwhile" "0" \
        "$work/history_lost" "$work/history_lost" ""
    row "that chart: a redraw on \"All\" (its columns over every reading, and a paint)" "<= 16 ms" \
        "$work/history_redraw" "$work/history_redraw_worst" ms
    for ms in 10 8 4; do
        printf '| board replying every %s ms (%s replies/s sent) through the pseudo-terminal, %s s: readings taken | - | %s /s | lowest %s /s |\n' \
            "$ms" "$(stats <"$work/rate_sent_$ms" | cut -d' ' -f1)" "$rate_seconds" \
            "$(stats <"$work/rate_$ms" | cut -d' ' -f1)" "$(sort -g "$work/rate_$ms" | head -1)"
    done
    row "headless: process start -> port open (start command at the board)" "<= 50 ms" \
        "$work/headless_open" "$work/headless_open" ms
    row "headless: resident memory, not publishing" "<= 12 MB" "$work/headless_rss" "$work/headless_rss" MB
    row "headless: proportional set size (shared pages split), not publishing" "-" \
        "$work/headless_pss" "$work/headless_pss" MB
    row "headless: resident memory, publishing" "<= 12 MB" "$work/headless_rss_mqtt" "$work/headless_rss_mqtt" MB
    row "headless: idle CPU, publishing, board silent, ${idle_seconds} s" "~0 %" \
        "$work/headless_idle" "$work/headless_idle" "%"
    row "board reply written -> message at a local subscriber" "median <= 15 ms" \
        "$work/publish_latency" "$work/publish_latency_worst" ms
    row "240 readings/s at the recognition seam, published, ${stream_seconds} s: CPU" "<= 10 %" \
        "$work/publish_cpu" "$work/publish_cpu" "%"
    row "240 readings/s at the recognition seam, published: readings not received" "0" \
        "$work/publish_lost" "$work/publish_lost" ""
    row "broker stopped 30 s mid-stream (10 readings/s): readings never received" "0" \
        "$work/outage_missing" "$work/outage_missing" ""
    printf '| that outage: every reading in order | yes | %s | %s |\n' "$(sort "$work/outage_order" | uniq | paste -sd/)" \
        "$(sort "$work/outage_order" | uniq | paste -sd/)"
    row "that outage: broker back -> backlog delivered" "<= 3000 ms" "$work/outage_backlog" "$work/outage_backlog" ms
    row "metrics: GET /metrics on a kept-alive connection, 1000 scrapes, readings 10/s" "median <= 2 ms" \
        "$work/metrics_scrape" "$work/metrics_scrape_worst" ms
    row "metrics: CPU of the endpoint scraped once a second, readings 10/s, ${idle_seconds} s" "<= 0.5 %" \
        "$work/metrics_cpu" "$work/metrics_cpu" "%"
    echo
    echo "50 boards, 50 headless programs, one Mosquitto, one subscriber: $(cat "$work/fleet")"
    echo
    cat "$work/web"
    echo
    echo "Machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores," \
        "$(free -g | awk '/^Mem:/ {print $2}') GiB; $(uname -sr);" \
        "$(. /etc/os-release && echo "$PRETTY_NAME"); Qt $(qtpaths6 --qt-version 2>/dev/null || echo 6);" \
        "$(g++ --version | head -1)."
} | tee build/bench/table.md
