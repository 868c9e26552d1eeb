#!/bin/sh
# Prints the program's figures against anchors measured in the same run:
#   start-up: time from exec to the window mapped (X MapNotify) and resident
#             memory then, against an empty 880 x 640 QMainWindow and against
#             the same window showing one label;
#   idle:     CPU time used in 10 s with the window idle;
#   read:     a plain read against the simulator at 1200 baud, against the
#             answers' time on the wire.
# Usage: bench/run-benchmarks.sh [build-dir] [rounds]   (needs xvfb)
set -eu
build=${1:-build}
rounds=${2:-20}
app="$build/src/app/tavik7-pc-software"
empty="$build/bench/tavik7-bench-emptywindow"
mapwait="$build/bench/tavik7-mapwait"

export APPDATA="$(mktemp -d)"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$APPDATA}"
display=:77
Xvfb $display -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$APPDATA"' EXIT INT TERM
export DISPLAY=$display
export QT_QPA_PLATFORM=xcb
i=0
while ! xdpyinfo >/dev/null 2>&1 && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

results=$(mktemp -d)
n=0
while [ $n -lt "$rounds" ]; do
    "$mapwait" "$empty" >>"$results/empty"
    "$mapwait" "$empty" --label >>"$results/label"
    "$mapwait" "$app" >>"$results/app"
    n=$((n + 1))
done
et=$(cut -d' ' -f1 "$results/empty" | median)
em=$(cut -d' ' -f2 "$results/empty" | median)
lt=$(cut -d' ' -f1 "$results/label" | median)
lm=$(cut -d' ' -f2 "$results/label" | median)
at=$(cut -d' ' -f1 "$results/app" | median)
am=$(cut -d' ' -f2 "$results/app" | median)
rm -rf "$results"
echo "start-up ($rounds rounds interleaved, medians):"
echo "  empty window:      $et ms to mapped, $((em / 1024)) MB resident"
echo "  window with label: $lt ms to mapped, $((lm / 1024)) MB resident (the fonts loaded)"
echo "  program:           $at ms to mapped, $((am / 1024)) MB resident"
awk -v a="$at" -v e="$et" -v am="$am" -v em="$em" 'BEGIN {
    printf "  ratio:             %.2fx time (goal <= 2.5), %.2fx memory (goal <= 1.4)\n", a / e, am / em }'
# The label window pays for the fonts as the program does: the fairer anchor.
awk -v a="$at" -v e="$lt" -v am="$am" -v em="$lm" 'BEGIN {
    printf "  against the label: %.2fx time (goal <= 1.5), %.2fx memory (goal <= 1.2)\n", a / e, am / em }'

"$app" >/dev/null 2>&1 &
pid=$!
sleep 3
t0=$(awk '{ print $14 + $15 }' /proc/$pid/stat)
sleep 10
t1=$(awk '{ print $14 + $15 }' /proc/$pid/stat)
kill $pid
ticks=$(getconf CLK_TCK)
echo "idle: $(( (t1 - t0) * 1000 / ticks )) ms of CPU in 10 s (goal <= 20)"

QT_QPA_PLATFORM=offscreen "$build/bench/tavik7-bench-read" 10 | tail -1
if [ -x "$(dirname "$0")/namur-load.sh" ]; then
    "$(dirname "$0")/namur-load.sh" "$build"
fi
