#!/bin/sh
# tavik7-cli provision over many ports and stations against one port: a job
# of 8 x DEVICES rows on DEVICES simulated ports (paced at 1200 baud) in 8
# rounds of fresh devices, against 8 rows on one port in 8 rounds; and the
# same rows on two stations of DEVICES/2 ports each, sharing one book,
# against one station. Wall time of the provision runs alone (starting the
# simulators is not counted), summed over the rounds, and the ratios.
#
#   bench/provision-scaling.sh [BUILD_DIR] [DEVICES]
set -eu
build=${1:-build}
devices=${2:-8}
rounds=8
cmake --build "$build" --target tavik7-cli tavik7-devsim >/dev/null
cli="$build/src/cli/tavik7-cli"
sim="$build/tools/devsim/tavik7-devsim"

work=$(mktemp -d)
pids=""
trap 'for p in $pids; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT INT TERM
export APPDATA="$work" HOME="$work"

now_ms() { date +%s%N | cut -c1-13; }

# job ROWS: a job of ROWS rows, each with a counter.
job() {
    file="$work/job$1-$(now_ms).csv"
    echo "serialNumber,unit,direction,counter" >"$file"
    i=1
    while [ $i -le "$1" ]; do
        echo "$((100000000 + i)),kWh,$((i % 2)),$((200000000 + i))" >>"$file"
        i=$((i + 1))
    done
    echo "$file"
}

# fresh COUNT: that many fresh simulated devices; prints their -p options.
fresh() {
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    pids=""
    ports=""
    i=1
    while [ $i -le "$1" ]; do
        # A log of its own: the one before may still be written by a simulator on its way out.
        log=$(mktemp "$work/sim-XXXXXX")
        "$sim" --serial "" >"$log" 2>/dev/null &
        pids="$pids $!"
        n=0
        while ! grep -q '^/' "$log" && [ $n -lt 50 ]; do sleep 0.1; n=$((n + 1)); done
        ports="$ports -p $(head -n 1 "$log")"
        i=$((i + 1))
    done
}

# run NAME PORTS_PER_STATION STATIONS: rounds of fresh devices, the stations
# of each round started together; the summed time of the rounds.
run() {
    rows=$(( $2 * $3 * rounds ))
    file=$(job $rows)
    book="$work/$1.sqlite"
    total=0
    r=0
    while [ $r -lt $rounds ]; do
        fresh $(( $2 * $3 ))
        t0=$(now_ms)
        s=0
        waits=""
        while [ $s -lt "$3" ]; do
            mine=$(echo "$ports" | awk -v from=$(( s * $2 * 2 + 1 )) -v n=$(( $2 * 2 )) \
                '{ for (i = from; i < from + n; i++) printf "%s ", $i }')
            "$cli" --book "$book" provision "$file" $mine --station "S$s" --json >>"$work/$1.out" 2>/dev/null &
            waits="$waits $!"
            s=$((s + 1))
        done
        for w in $waits; do wait "$w"; done
        t1=$(now_ms)
        total=$((total + t1 - t0))
        r=$((r + 1))
    done
    for p in $pids; do kill "$p" 2>/dev/null || true; done
    verified=$("$cli" --book "$book" provision "$file" --status | grep -c verified || true)
    echo "$1: $total ms, $verified of $rows rows verified" >&2
    echo "$total"
}

one=$(run one-port 1 1)
many=$(run "$devices-ports" "$devices" 1)
two=$(run "two-stations" $((devices / 2)) 2)
awk -v a="$one" -v b="$many" -v n="$devices" 'BEGIN { printf "%d ports / 1 port: %.3f\n", n, b / a }'
awk -v a="$many" -v b="$two" 'BEGIN { printf "two stations / one station: %.3f\n", b / a }'
