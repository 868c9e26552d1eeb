#!/bin/sh
# NAMUR load benchmark: 350,000 telegrams back to back from the simulated
# device through the NAMUR tab with logging on. Prints telegrams per second,
# the idle window's memory and the peak memory.
#
#   bench/namur-load.sh [BUILD_DIR] [TELEGRAMS]
set -e
build=${1:-build}
cmake --build "$build" --target tavik7-bench-namur >/dev/null
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} exec "$build/bench/tavik7-bench-namur" ${2:-350000}
