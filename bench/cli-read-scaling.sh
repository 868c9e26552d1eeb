#!/bin/sh
# tavik7-cli reading eight simulated devices at once against reading one:
# wall time of the whole process, median of ROUNDS runs each, and the ratio.
# The program runs with the window's own time-outs.
#
#   bench/cli-read-scaling.sh [BUILD_DIR] [ROUNDS]
set -eu
build=${1:-build}
rounds=${2:-15}
cmake --build "$build" --target tavik7-cli tavik7-devsim >/dev/null
cli="$build/src/cli/tavik7-cli"
sim="$build/tools/devsim/tavik7-devsim"

work=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT INT TERM

ports=""
i=1
while [ $i -le 8 ]; do
    "$sim" --serial "BENCH$i" >"$work/sim$i.log" 2>/dev/null &
    pids="$pids $!"
    n=0
    while [ ! -s "$work/sim$i.log" ] && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
    ports="$ports -p $(head -n 1 "$work/sim$i.log")"
    i=$((i + 1))
done
one=$(echo "$ports" | awk '{ print $1, $2 }')

now_ms() { date +%s%N | cut -c1-13; }
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# One read of each beforehand: the first opening of a pseudo-terminal costs more.
"$cli" read $ports >/dev/null
r=0
while [ "$r" -lt "$rounds" ]; do
    t0=$(now_ms); "$cli" read $one --json >/dev/null; t1=$(now_ms)
    "$cli" read $ports --json >/dev/null; t2=$(now_ms)
    echo $((t1 - t0)) >>"$work/one"
    echo $((t2 - t1)) >>"$work/eight"
    r=$((r + 1))
done
m1=$(median <"$work/one")
m8=$(median <"$work/eight")
echo "read, 1 device:  $m1 ms (median of $rounds)"
echo "read, 8 devices: $m8 ms (median of $rounds)"
awk -v a="$m1" -v b="$m8" 'BEGIN { printf "ratio 8/1: %.2f\n", b / a }'
