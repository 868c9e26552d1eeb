#!/bin/sh
# Builds the fuzz tree if needed and runs every fuzz target for the given time.
#   fuzz/run-fuzzers.sh [seconds-per-target] [build-dir]
# Defaults: 60 seconds, build-fuzz beside this folder. Needs clang-14 and
# libfuzzer-14-dev. New inputs that raise coverage go to a scratch corpus, not
# into fuzz/corpus; a crash or mismatch lands in fuzz/crashes/ and makes the
# script exit non-zero once all targets have run.
set -u

seconds=${1:-60}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build_dir=${2:-$source_dir/build-fuzz}
jobs=${FUZZ_BUILD_JOBS:-2}

if [ ! -f "$build_dir/CMakeCache.txt" ]; then
    CC=${CC:-clang-14} CXX=${CXX:-clang++-14} \
        cmake -S "$source_dir" -B "$build_dir" -DTAVIK7_FUZZ=ON >/dev/null || exit 2
fi
cmake --build "$build_dir" -j"$jobs" >/dev/null || { echo "build failed" >&2; exit 2; }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tavik7-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT INT TERM
mkdir -p "$here/crashes"

# target and the largest input worth trying: an "LP" answer and some pieces,
# a settings file, a few kilobytes of NAMUR line or requests (past the
# parser's 4096-byte limit), a few dozen log records.
targets="fuzz_lpanswer:320
fuzz_roundtrip:256
fuzz_settingsfile:4096
fuzz_namur:4096
fuzz_countertext:128
fuzz_outputlog:256
fuzz_commandparser:6000"

failed=0
for entry in $targets; do
    name=${entry%%:*}
    max_len=${entry#*:}
    binary="$build_dir/fuzz/$name"
    mkdir -p "$scratch/$name"
    log="$here/crashes/$name.log"
    printf '%s: %ss ... ' "$name" "$seconds"
    "$binary" -max_len="$max_len" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$here/crashes/$name-" \
        "$scratch/$name" "$here/corpus/$name" >"$log" 2>&1
    status=$?
    if [ "$status" -eq 0 ]; then
        echo "ok ($(sed -n 's/^stat::number_of_executed_units: *//p' "$log") runs)"
        rm -f "$log"
    else
        failed=1
        echo "FAILED (exit $status), log: fuzz/crashes/$name.log"
        grep -E 'expectation failed|ERROR:|SUMMARY:|Test unit written' "$log" | head -5
    fi
done
exit $failed
