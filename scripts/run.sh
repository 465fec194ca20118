#!/usr/bin/env bash
# Installs what is missing, builds, and starts the virtual board on a pseudo-terminal.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j "$(nproc)"

link="${VANTRO_BOARD_LINK:-/tmp/vantro-board}"
echo "The virtual board answers on $link (19200 8N1, raw). For example:"
echo "  picocom -b 19200 $link   or   screen $link 19200"
echo "Send it the start frame 0B 06 47 10 21 89 and it replies with 16 05 <low> <high> 21 00 00 00 once a second."
echo "Ctrl-C stops it."
exec build/release/tools/vboard/vantro-vboard --link "$link"
