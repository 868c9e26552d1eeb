#!/bin/sh
# Starts a simulated Tavik7 on a pseudo-terminal and the service tool beside
# it, with the simulator's port offered in the port list. The simulated
# device keeps its state in build/devsim-state.txt between runs.
#
#   scripts/run-with-simulator.sh [BUILD-DIR [SIMULATOR-OPTION...]]
#
# Options after the build folder go to the simulator and win over its saved
# state, e.g. "--version 111" for a device with firmware 1.11.
#
# The firmware images that the wizard offers are put into "AVRDude" below the
# working directory, where the tool looks for them. avrdude itself comes from
# that folder if it holds one, else from the search path.
set -eu

build=${1:-build}
[ $# -gt 0 ] && shift
here=$(dirname "$0")
state="$build/devsim-state.txt"

mkdir -p AVRDude
for image in "$here"/../firmware/*.hex; do
    cmp -s "$image" "AVRDude/$(basename "$image")" || cp "$image" AVRDude/
done

fifo=$(mktemp -u)
mkfifo "$fifo"

"$build/tools/devsim/tavik7-devsim" --state "$state" "$@" >"$fifo" &
sim=$!
trap 'kill $sim 2>/dev/null || true; rm -f "$fifo"' EXIT INT TERM

exec 3<"$fifo"
read -r port <&3
# Keep draining the simulator's log so it never blocks on a full pipe.
cat <&3 >/dev/null &

echo "Simulated Tavik7 on $port"
TAVIK7_EXTRA_PORTS="$port" "$build/src/app/tavik7-pc-software"
