#!/bin/sh
# Takes a picture of the main window on a virtual X server: starts Xvfb on a
# free display, a simulated Tavik7 and the program, connects to the simulated
# device and reads its settings so the Parameter tab shows a real device, then
# captures the window. Nothing of the user's is touched: the program's per-user
# folder and the simulator's state live in a temporary folder.
#
#   scripts/screenshot.sh BUILD-DIR OUT.png [--lang en|de] [--tab N] [--no-device]
#
# --lang   language of the window [en]
# --tab    tab shown, 0 Interface ... 5 Flashen [2, Parameter]
# --no-device  leave the port closed (no simulator)
#
# Needs: xvfb x11-utils xdotool imagemagick
# With KEEP=1 in the environment the temporary folder (the program's and the
# simulator's logs) is left behind for a look after a failure.
set -eu

usage() {
    echo "usage: $0 BUILD-DIR OUT.png [--lang en|de] [--tab 0-5] [--no-device]" >&2
    exit 2
}

[ $# -ge 2 ] || usage
build=$1
out=$2
shift 2
lang=en
tab=2
device=yes
while [ $# -gt 0 ]; do
    case $1 in
    --lang) [ $# -ge 2 ] || usage; lang=$2; shift 2 ;;
    --tab) [ $# -ge 2 ] || usage; tab=$2; shift 2 ;;
    --no-device) device=no; shift ;;
    *) usage ;;
    esac
done
case $lang in en | de) ;; *) usage ;; esac
case $tab in [0-5]) ;; *) usage ;; esac

build=$(cd "$build" && pwd) || usage
program="$build/src/app/tavik7-pc-software"
simulator="$build/tools/devsim/tavik7-devsim"
[ -x "$program" ] || { echo "$0: no program at $program (build first)" >&2; exit 1; }
for tool in Xvfb xdotool xwininfo import; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is missing (apt-get install xvfb x11-utils xdotool imagemagick)" >&2; exit 1; }
done
case $out in /*) ;; *) out="$PWD/$out" ;; esac

work=$(mktemp -d)
xvfb_pid=
sim_pid=
app_pid=
log_pid=
cleanup() {
    for pid in $app_pid $sim_pid $log_pid $xvfb_pid; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in $app_pid $sim_pid $log_pid $xvfb_pid; do
        wait "$pid" 2>/dev/null || true
    done
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Polls a command every 0.1 s for at most $1 seconds.
wait_until() {
    tries=$(($1 * 10))
    shift
    while ! "$@" >/dev/null 2>&1; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || return 1
        sleep 0.1
    done
}

fail() {
    echo "$0: $*" >&2
    [ -z "${KEEP:-}" ] || echo "$0: logs in $work" >&2
    exit 1
}

# Xvfb picks a free display itself and writes its number once it accepts clients.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_until 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
DISPLAY=:$(cat "$work/display")
export DISPLAY

port=
if [ $device = yes ]; then
    [ -x "$simulator" ] || fail "no simulator at $simulator"
    mkfifo "$work/simout"
    "$simulator" --state "$work/devsim-state.txt" --serial 230417 --unit m3 --counter 4711815 \
        >"$work/simout" 2>"$work/devsim.err" &
    sim_pid=$!
    exec 4<"$work/simout"
    read -r port <&4 || fail "the simulator did not start: $(cat "$work/devsim.err")"
    # Keep draining the simulator's log so it never blocks on a full pipe.
    cat <&4 >"$work/devsim.log" &
    log_pid=$!
    exec 4<&-
fi

mkdir -p "$work/run"
(cd "$work/run" && APPDATA="$work/appdata" TAVIK7_EXTRA_PORTS="$port" QT_QPA_PLATFORM=xcb exec "$program") \
    >"$work/program.log" 2>&1 &
app_pid=$!

window=$(timeout 30 xdotool search --sync --onlyvisible --name '^TAVIK7 PC Software' 2>/dev/null | head -n 1)
[ -n "$window" ] || fail "the window did not appear: $(cat "$work/program.log")"

title_is() {
    [ "$(xdotool getwindowname "$window")" = "$1" ]
}

# Positions inside the window: the form places every widget at a fixed
# position; the tab pages start below the menu bar and the tab bar.
page_x=2
page_y=58
click() {
    xdotool mousemove --window "$window" "$1" "$2" click 1
}
click_tab() {
    click $(($1 * 150 + 75)) 45
}
# A menu or a list is open when the program shows more than its window.
popup_shown() {
    [ "$(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l)" -gt 1 ]
}
popup_gone() {
    ! popup_shown
}

if [ $lang = en ]; then
    # Language menu, second entry.
    click 30 11
    wait_until 5 popup_shown || fail "the Language menu did not open"
    xdotool key Down Down Return
    wait_until 10 title_is "TAVIK7 PC Software: not connected" || fail "the language did not switch"
fi

if [ $device = yes ]; then
    # The system's ports are listed a moment after start-up and refill the
    # list, so the choice is repeated until the title names the port.
    tries=5
    until title_is "TAVIK7 PC Software: $port"; do
        tries=$((tries - 1))
        [ $tries -gt 0 ] || fail "could not connect to $port"
        click_tab 0
        # The simulator's port is the last entry of the Device list.
        click $((page_x + 217)) $((page_y + 41))
        wait_until 5 popup_shown || continue
        xdotool key End Return
        wait_until 5 popup_gone || true
        click $((page_x + 220)) $((page_y + 305))
        wait_until 3 title_is "TAVIK7 PC Software: $port" || true
    done
    # Parameter tab, "Read settings from Tavik7"; the read ends with the
    # counter's answer.
    click_tab 2
    click $((page_x + 500)) $((page_y + 65))
    wait_until 20 grep -q '^RX L_ZLW' "$work/devsim.log" || fail "the program did not read the device"
    wait_until 10 sh -c "sed -n '/^RX L_ZLW/,\$p' '$work/devsim.log' | grep -q '^TX'" ||
        fail "the simulator did not answer"
fi

click_tab "$tab"
# Away from every button, so none is drawn highlighted.
xdotool mousemove 1270 1010

# Captures until two pictures in a row agree: the window has finished painting.
shot=0
import -silent -window "$window" "$work/a.ppm"
while :; do
    sleep 0.2
    import -silent -window "$window" "$work/b.ppm"
    cmp -s "$work/a.ppm" "$work/b.ppm" && break
    mv "$work/b.ppm" "$work/a.ppm"
    shot=$((shot + 1))
    [ $shot -lt 50 ] || fail "the window did not settle"
done
import -silent -window "$window" -strip "png:$out"
echo "$out"
