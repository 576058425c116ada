# shellcheck shell=bash
# What the package's tests share: a virtual display of their own, a user for
# kivo, kivo started as that user, the panel found and driven through X, and
# the device's lines. The package carries no window inspector, so the tests
# see the panel as X sees it (its window, its place, its size), act on it
# with real input at the panel's fixed layout, and judge by what the device
# received; a screenshot of each step is kept among the artifacts.
set -euo pipefail

testName=${0##*/}
artifacts=${AUTOPKGTEST_ARTIFACTS:-$(mktemp -d)}
work=$(mktemp -d)
tester='kivo-tester'
home=/home/$tester
# Every process started for kivo carries this mark, so that what is left
# running is found even among other testbeds' processes in the same process
# table (a chroot shares the machine's).
mark=kivo-test-$$-$RANDOM
display='' kivo='' adapter=''
# Where the tests press, in the panel's fixed layout.
switchPoint=(270 54) closePoint=(312 14)

fail() {
    echo "$testName: $*" >&2
    exit 1
}

# Live processes that carry the mark, as "PID name".
marked_processes() {
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        grep -qzx "KIVO_TEST_MARK=$mark" "$environ" 2>/dev/null || continue
        [ "$(cut -d')' -f2 "/proc/$pid/stat" 2>/dev/null | cut -d' ' -f2)" != Z ] || continue
        echo "$pid $(cat "/proc/$pid/comm" 2>/dev/null)"
    done
}

stop_all() {
    local pid tries
    for pid in $kivo $adapter $display; do
        kill -KILL "$pid" 2>/dev/null || true
    done
    # A Wine process may start another as it is ended.
    for tries in 1 2 3 4 5 6 7 8 9 10; do
        [ -n "$(marked_processes)" ] || break
        marked_processes | while read -r pid _; do kill -KILL "$pid" 2>/dev/null || true; done
        sleep 0.2
    done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap stop_all EXIT

# A display of our own: Xvfb takes the first free number itself, which also
# skips displays of the machine's that a chroot cannot see the locks of.
start_display() {
    mkdir -p "$work/screen"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -fbdir "$work/screen" \
        3>"$work/display" >"$artifacts/xvfb.log" 2>&1 &
    display=$!
    # Never waited for: its end by stop_all's SIGKILL would otherwise be
    # reported on stderr, which fails a test that passed.
    disown "$display"
    local tries=0
    until [ -s "$work/display" ]; do
        kill -0 "$display" 2>/dev/null || fail "Xvfb did not start; see $artifacts/xvfb.log"
        tries=$((tries + 1))
        [ $tries -lt 300 ] || fail "Xvfb gave no display number in 30 s"
        sleep 0.1
    done
    DISPLAY=:$(cat "$work/display")
    export DISPLAY
}

# The screen as it is now, in X's dump format (xwud, ImageMagick and GIMP read it).
screenshot() {
    cp "$work/screen/Xvfb_screen0" "$artifacts/$1.xwd"
}

add_tester() {
    id "$tester" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$tester"
}

# kivo with ARGUMENTS as the tester, its output in OUTPUT, in a process group
# of its own as a terminal's foreground job would be, so that a Ctrl-C can
# reach the whole group as it would there. A test runner may start us with
# SIGINT ignored, which kivo could then not trap: it gets the default back.
start_kivo() {
    output=$1
    shift
    set -m
    setpriv --reuid "$tester" --regid "$tester" --init-groups env -i --default-signal=INT \
        HOME="$home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" KIVO_TEST_MARK="$mark" kivo "$@" >"$output" 2>&1 &
    kivo=$!
    set +m
    started=$(date +%s%N)
}

# Waits for the panel's window and sets panelX and panelY. With --alone,
# Wine's own window ("Wine", shown while Wine makes or updates a prefix by
# itself) must not come first.
wait_panel() {
    local alone=${1:-} window='' tries=0 WIDTH HEIGHT X Y
    until window=$(xdotool search --onlyvisible --name '^Kivo$' 2>/dev/null | head -n 1) && [ -n "$window" ]; do
        [ -z "$alone" ] || ! xdotool search --onlyvisible --name '^Wine$' >/dev/null 2>&1 ||
            fail "Wine showed a window of its own before the panel"
        kill -0 "$kivo" 2>/dev/null || fail "kivo ended before the panel showed: $(tr '\n' ' ' <"$output")"
        tries=$((tries + 1))
        [ $tries -lt 600 ] || fail "no panel after 60 s: $(tr '\n' ' ' <"$output")"
        sleep 0.1
    done
    # shellcheck disable=SC2034 # the tests that source this report it
    panelMilliseconds=$((($(date +%s%N) - started) / 1000000))
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" = 350 ] && [ "$HEIGHT" = 350 ] || fail "the panel is ${WIDTH}x$HEIGHT, not 350x350"
    panelX=$X panelY=$Y
    wait_drawn
}

# The colour at a point of the screen as RRGGBB, from Xvfb's dump: its header
# gives the header's length, the bytes of a row and the colour map's entries
# (12 bytes each) that come before the pixels, 4 bytes each.
screen_colour() {
    local dump=$work/screen/Xvfb_screen0 fields
    read -r -a fields < <(od -A n -t u4 --endian=big -w80 -N 80 "$dump")
    od -A n -t x4 --endian=little -N 4 -j $((fields[0] + fields[19] * 12 + $2 * fields[12] + $1 * 4)) "$dump" |
        tr -d ' ' | cut -c3-
}

# Until a control is drawn, Wine 10 leaves it out of the window's shape, which
# follows the colour key, and a click there falls through to the bare screen
# (black): the panel takes the tests' clicks once the switch and the close
# button both show on the screen.
wait_drawn() {
    local tries=0
    while [ "$(screen_colour $((panelX + switchPoint[0])) $((panelY + switchPoint[1])))" = 000000 ] ||
        [ "$(screen_colour $((panelX + closePoint[0])) $((panelY + closePoint[1])))" = 000000 ]; do
        tries=$((tries + 1))
        [ $tries -lt 150 ] || fail "the panel's switch and close button were not drawn within 15 s"
        sleep 0.1
    done
}

# A click at a point of the panel's client area.
click_panel() {
    xdotool mousemove --sync $((panelX + $1)) $((panelY + $2)) click 1
}

visible_windows() {
    xdotool search --onlyvisible --name '.*' 2>/dev/null | sort || true
}

# The switch, then OK to its question: the box is the window that was not
# there before; its default button is Cancel, so Tab moves to OK. Focus
# follows the pointer with no window manager, hence the pointer on the box.
switch_on() {
    local before box='' tries=0 X Y WIDTH HEIGHT
    before=$(visible_windows)
    click_panel "${switchPoint[@]}"
    until box=$(comm -13 <(echo "$before") <(visible_windows) | head -n 1) && [ -n "$box" ]; do
        tries=$((tries + 1))
        [ $tries -lt 100 ] || fail "no question after the switch was pressed"
        sleep 0.1
    done
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 3))
    sleep 0.2
    xdotool key Tab
    sleep 0.1
    xdotool key Return
}

# Waits until the screen has stood still for half a second: a panel that
# Wine still paints and sets up may not take a click yet.
wait_still() {
    local before='' now tries=0
    while now=$(md5sum <"$work/screen/Xvfb_screen0") && [ "$now" != "$before" ]; do
        before=$now tries=$((tries + 1))
        [ $tries -lt 30 ] || fail "the screen did not stand still within 15 s"
        sleep 0.5
    done
}

close_panel() {
    click_panel "${closePoint[@]}"
}

# Waits until LOG (a device's) has both readings answered: the panel went
# through the switch-on and asked for the Counter and the Auto Counter.
wait_switched_on() {
    local log=$1 tries=0
    until [ "$(grep -c '"event":"answer"' "$log" 2>/dev/null)" -ge 2 ]; do
        kill -0 "$kivo" 2>/dev/null || fail "kivo ended during the switch-on: see $output"
        tries=$((tries + 1))
        [ $tries -lt 200 ] || fail "the switch-on did not reach the device in 20 s: see $log"
        sleep 0.1
    done
}

# Transfers at 4800 baud, 8N1, and every byte sent so, in a simulator's or
# the monitor's lines (an opening with no bytes may be the launcher's check of
# the adapter), and in its log.
check_line_settings() {
    grep -qF '(4800 8N1)' "$1" || fail "no transfer at 4800 8N1 in $1"
    ! grep -F ' <- "' "$1" | grep -vqF '(4800 8N1)' || fail "bytes sent not at 4800 8N1 in $1"
    grep -qF '"line":{"baud":4800,"data_bits":8,"parity":"none","stop_bits":1}' "$2" ||
        fail "no transfer at 4800 8N1 in the log $2"
}

# kivo must end with CODE, and all it started with it, and must have found
# no leftover of Wine's to end.
check_ended() {
    local code=$1 status=0 tries left pid
    for tries in $(seq 1 150); do
        kill -0 "$kivo" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$kivo" 2>/dev/null; then
        # What kivo still waits for, for the artifacts.
        marked_processes | while read -r pid _; do
            echo "$(cat "/proc/$pid/stat") wchan=$(cat "/proc/$pid/wchan") $(tr '\0' ' ' <"/proc/$pid/cmdline")"
        done >"$artifacts/stuck.txt" 2>&1 || true
        fail "kivo did not end within 15 s: $(tr '\n' ' ' <"$output")(its processes are in $artifacts/stuck.txt)"
    fi
    wait "$kivo" || status=$?
    kivo=''
    [ "$status" -eq "$code" ] || fail "kivo ended with $status, not $code: $(tr '\n' ' ' <"$output")"
    left=$(marked_processes | tr '\n' ' ')
    [ -z "$left" ] || fail "left running after kivo: $left"
    ! grep -q 'left running' "$output" || fail "kivo found leftovers to end: $(grep 'left running' "$output")"
}

# A simulator as the serial adapter at /tmp/adapter, run as root so that kivo,
# which refuses an adapter another of the user's processes holds, does not
# see it; its pty is open to all instead.
start_adapter() {
    rm -f /tmp/adapter /tmp/adapter-control /tmp/adapter.jsonl
    /usr/lib/kivo/kivo-devsim --link /tmp/adapter --control-link /tmp/adapter-control --log /tmp/adapter.jsonl \
        >"$artifacts/adapter.out" 2>&1 &
    adapter=$!
    local tries=0
    until [ -L /tmp/adapter ]; do
        kill -0 "$adapter" 2>/dev/null || fail "the adapter's simulator stopped: $(tail -n 1 "$artifacts/adapter.out")"
        tries=$((tries + 1))
        [ $tries -lt 100 ] || fail "the adapter's simulator published no port in 10 s"
        sleep 0.1
    done
    chmod 666 "$(readlink /tmp/adapter)"
}

stop_adapter() {
    kill -TERM "$adapter" 2>/dev/null || true
    wait "$adapter" 2>/dev/null || true
    adapter=''
}

start_display
add_tester
