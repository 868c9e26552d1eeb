#!/bin/sh
# Starts a simulated Tavik7 on a pseudo-terminal and the service tool beside
# it, with the simulator's port offered in the port list. The simulated
# device keeps its state in build/devsim-state.txt between runs.
set -eu

build=${1:-build}
state="$build/devsim-state.txt"
fifo=$(mktemp -u)
mkfifo "$fifo"

"$build/tools/devsim/tavik7-devsim" --state "$state" >"$fifo" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$fifo"' EXIT INT TERM

exec 3<"$fifo"
read -r port <&3
# Keep draining the simulator's log so it never blocks on a full pipe.
cat <&3 >/dev/null &

echo "Simulated Tavik7 on $port"
TAVIK7_EXTRA_PORTS="$port" "$build/src/app/tavik7-pc-software"
