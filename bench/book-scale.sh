#!/bin/sh
# The device book at scale: fills a book with tavik7-bookgen (which prints
# its own figures), then times whole tavik7-cli runs on it, median of 5, and
# the book writer's recording with one and with eight writers at once.
# Usage: bench/book-scale.sh BUILD [DEVICES EVENTS]   (default 100000 2000000)
# With BOOK=server the book is on a PostgreSQL 15 server of the script's own
# (initdb in a temporary folder, 127.0.0.1, a free port, a login without
# password, fsync on; as root the server runs as "postgres"); with
# BOOK=postgresql://USER@HOST/DBNAME it is in that empty database instead.
set -eu
build=${1:?usage: bench/book-scale.sh BUILD [DEVICES EVENTS]}
devices=${2:-100000}
events=${3:-2000000}
work=$(mktemp -d)
pgbin=/usr/lib/postgresql/15/bin
server=
as_postgres() { if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
cleanup() {
    if [ -n "$server" ]; then as_postgres "$pgbin/pg_ctl" -D "$work/pg/data" -m immediate -w stop >/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT INT TERM
book=${BOOK:-$work/devicebook.sqlite}
if [ "$book" = server ]; then
    mkdir "$work/pg"
    if [ "$(id -u)" = 0 ]; then chmod 755 "$work"; chown postgres "$work/pg"; fi
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    (cd /tmp && as_postgres "$pgbin/initdb" -D "$work/pg/data" -U book -A trust -E UTF8 --locale=C >/dev/null)
    (cd /tmp && as_postgres "$pgbin/pg_ctl" -D "$work/pg/data" -l "$work/pg/log" -w \
        -o "-h 127.0.0.1 -p $port -k $work/pg" start >/dev/null)
    server=$port
    for name in scale record; do
        "$pgbin/psql" -qh 127.0.0.1 -p "$port" -U book -d postgres -c "CREATE DATABASE $name"
    done
    book=postgresql://book@127.0.0.1:$port/scale
fi
export APPDATA=$work XDG_DATA_HOME=$work
echo "load before: $(uptime)"
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
echo "tavik7-cli book verify: $(( ($(date +%s%N) - start) / 1000000 )) ms (goal 30000)"
# The writers record into a book of their own: the large one's figures stay as filled.
record=$work/record.sqlite
[ -n "$server" ] && record=postgresql://book@127.0.0.1:$server/record
case $book in postgresql://*) [ -z "$server" ] && record=$book ;; esac
[ -n "$server" ] && "$build/src/cli/tavik7-cli" --book "$record" book init >/dev/null
"$build/bench/tavik7-bench-record" "$record" 1 200
"$build/bench/tavik7-bench-record" "$record" 8 100
echo "load after: $(uptime)"
