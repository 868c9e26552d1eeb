#!/bin/sh
# tavik7-cli reading many simulated devices at once against reading one, and
# one read with --trace against one without: wall time of the whole process,
# median of ROUNDS interleaved runs each (the machine is shared: what runs
# beside the benchmark hits every variant alike), and the ratios.
# The program runs with the window's own time-outs.
#
#   bench/cli-read-scaling.sh [BUILD_DIR] [ROUNDS] [DEVICES]
set -eu
build=${1:-build}
rounds=${2:-15}
devices=${3:-32}
cmake --build "$build" --target tavik7-cli tavik7-devsim >/dev/null
cli="$build/src/cli/tavik7-cli"
sim="$build/tools/devsim/tavik7-devsim"

work=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT INT TERM

ports=""
i=1
while [ $i -le "$devices" ]; do
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
timed() { t0=$(now_ms); "$@" >/dev/null; t1=$(now_ms); echo $((t1 - t0)); }

# One read of each beforehand: the first opening of a pseudo-terminal costs more.
"$cli" read $ports >/dev/null
r=0
while [ "$r" -lt "$rounds" ]; do
    timed "$cli" read $one --json >>"$work/one"
    timed "$cli" read $one --json --trace "$work/wire.txt" >>"$work/traced"
    timed "$cli" read $ports --json >>"$work/many"
    r=$((r + 1))
done
m1=$(median <"$work/one")
mt=$(median <"$work/traced")
mn=$(median <"$work/many")
echo "read, 1 device:            $m1 ms (median of $rounds)"
echo "read, 1 device, --trace:   $mt ms (median of $rounds)"
echo "read, $devices devices:          $mn ms (median of $rounds)"
awk -v a="$m1" -v b="$mn" -v n="$devices" 'BEGIN { printf "ratio %d/1: %.3f\n", n, b / a }'
awk -v a="$m1" -v b="$mt" 'BEGIN { printf "ratio --trace/plain: %.3f\n", b / a }'

# The serial port writes and syncs a lock file in /var/lock as it opens, one
# port after the other before the last request can go out: where that folder
# lies on a busy disk instead of in memory, this is what the devices cost.
lockdir=/var/lock
locks() {
    i=1
    while [ $i -le "$devices" ]; do
        dd if=/dev/zero of="$lockdir/LCK..tavik7-bench$i" bs=90 count=1 "$@" 2>/dev/null
        i=$((i + 1))
    done
    rm -f "$lockdir"/LCK..tavik7-bench*
}
if [ -w "$lockdir" ]; then
    plain=$(timed locks)
    synced=$(timed locks conv=fdatasync)
    echo "$devices lock files synced in $lockdir ($(df --output=fstype "$lockdir" | tail -n 1)):" \
        "$((synced - plain)) ms more than unsynced"
fi
