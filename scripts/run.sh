#!/usr/bin/env bash
# Installs what is missing, builds, and opens the window connected to the virtual board.
# The demo keeps its port name in a folder of its own: your saved port name is not touched.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
. scripts/lib/build.sh
configure_release
build build/release >/dev/null

demo=$(mktemp -d -t vantro-demo.XXXXXX)
board_pid=
cleanup() {
    [ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null && wait "$board_pid" 2>/dev/null
    rm -rf "$demo"
}
trap cleanup EXIT

build/release/tools/vboard/vantro-vboard --link "$demo/board" >"$demo/port" 2>"$demo/board.log" &
board_pid=$!
for _ in $(seq 50); do [ -s "$demo/port" ] && break; sleep 0.1; done

# The station's web page on a port the system has free, on this machine alone.
http_port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir -p "$demo/config"
printf '[SENSORE_TEMP]\nTCOM=%s\n[HTTP]\nListen=127.0.0.1:%s\n' "$demo/board" "$http_port" >"$demo/config/ZORVA.conf"
echo "Vantro is talking to the virtual board on $demo/board (its frames: $demo/board.log)."
echo "Its web page: http://127.0.0.1:$http_port/"
echo "With a real board, start build/release/src/vantro, press Conf, type its port (ttyACM0) and press OPEN;"
echo "MEM remembers it. The port must be yours to open: join the dialout group if it is not."
XDG_CONFIG_HOME="$demo/config" build/release/src/vantro
