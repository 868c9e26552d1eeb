#!/bin/sh
# The device book at scale: fills a book with tavik7-bookgen (which prints
# its own figures), then times whole tavik7-cli runs on it, median of 5.
# Usage: bench/book-scale.sh BUILD [DEVICES EVENTS]   (default 100000 2000000)
# With BOOK=postgresql://USER@HOST/DBNAME (an empty database that the login
# reaches without a password) the book is on that server instead of a file.
set -eu
build=${1:?usage: bench/book-scale.sh BUILD [DEVICES EVENTS]}
devices=${2:-100000}
events=${3:-2000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM
book=${BOOK:-$work/devicebook.sqlite}
export APPDATA=$work
"$build/bench/tavik7-bookgen" "$book" "$devices" "$events"
median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
timed() {
    for _ in 1 2 3 4 5; do
        start=$(date +%s%N)
        "$build/src/cli/tavik7-cli" --book "$book" "$@" >/dev/null
        echo $(( ($(date +%s%N) - start) / 1000000 ))
    done | median
}
serial=$((100000000 + devices / 2))
echo "tavik7-cli book history $serial --json: $(timed book history "$serial" --json) ms (goal 100)"
prefix=$(echo "$serial" | cut -c1-6)
echo "tavik7-cli book devices --serial $prefix --json: $(timed book devices --serial "$prefix" --json) ms (goal 200)"
start=$(date +%s%N)
"$build/src/cli/tavik7-cli" --book "$book" book verify
echo "tavik7-cli book verify: $(( ($(date +%s%N) - start) / 1000000 )) ms"
