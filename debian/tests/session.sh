# shellcheck shell=bash
# What the package's tests share: a Wine session of the installed package's
# own making (/usr/lib/kivo/session.sh) with a virtual display of the
# sources' tests, a user for kivo, kivo started as that user, the panel
# found and driven through X, and the device's lines. The package carries no
# window inspector, so the tests see the panel as X sees it (its window, its
# place, its size, its pixels), act on it with real input at the panel's
# fixed layout, and judge by what the device received; a screenshot of each
# step is kept among the artifacts.
set -euo pipefail
# shellcheck source=scripts/lib/session.sh
. /usr/lib/kivo/session.sh
# shellcheck source=tests/support/display.sh
. tests/support/display.sh

testName=${0##*/}
artifacts=${AUTOPKGTEST_ARTIFACTS:-$(mktemp -d)}
tester=kivo-tester home=/home/kivo-tester
kivo='' output=''
# Where the tests press, in the panel's fixed layout.
switchPoint=(270 54) closePoint=(312 14)

fail() {
    kivo_fail "$*" || true
    exit 1
}

# kivo with ARGUMENTS as the tester, its output in OUTPUT, in a process group
# of its own as a terminal's foreground job is, so that a Ctrl-C can reach
# the whole group as it would there. A test runner may start us with SIGINT
# ignored, which kivo gets back at its default anyway.
start_kivo() {
    output=$1
    shift
    kivo_start "$output" setpriv --reuid "$tester" --regid "$tester" --init-groups env -i \
        HOME="$home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" kivo "$@"
    kivo=$!
    started=${EPOCHREALTIME/./}
}

kivo_said() { tr '\n' ' ' <"$output"; }

# The panel's window, once shown: sets panelX and panelY. With --alone,
# Wine's own window ("Wine", shown while Wine makes or updates a prefix by
# itself) must not come first.
panel_shown() {
    [ -z "$alone" ] || ! xdotool search --onlyvisible --name '^Wine$' >/dev/null 2>&1 ||
        { kivo_fail "Wine showed a window of its own before the panel"; return 2; }
    kill -0 "$kivo" 2>/dev/null || { kivo_fail "kivo ended before the panel showed: $(kivo_said)"; return 2; }
    window=$(xdotool search --onlyvisible --name '^Kivo$' 2>/dev/null | head -n 1) && [ -n "$window" ]
}
wait_panel() {
    local alone=${1:-} window WIDTH HEIGHT X Y
    kivo_wait_until 60 "the panel to show" panel_shown || exit 1
    # shellcheck disable=SC2034 # the tests that source this report it
    panelMilliseconds=$(((${EPOCHREALTIME/./} - started) / 1000))
    eval "$(xdotool getwindowgeometry --shell "$window")"
    [ "$WIDTH" = 350 ] && [ "$HEIGHT" = 350 ] || fail "the panel is ${WIDTH}x$HEIGHT, not 350x350"
    panelX=$X panelY=$Y
    # Until a control is drawn, Wine 10 leaves it out of the window's shape,
    # which follows the colour key, and a click there falls through to the
    # bare screen (black).
    kivo_wait_until 15 "the panel's switch and close button to be drawn" drawn || exit 1
}
drawn() {
    [ "$(screen_colour "${switchPoint[@]}")" != 000000 ] && [ "$(screen_colour "${closePoint[@]}")" != 000000 ]
}

# The colour at a point of the panel as RRGGBB, from Xvfb's dump (X's own
# format, which xwud, ImageMagick and GIMP read): its header gives the
# header's length, the bytes of a row and the colour map's entries (12 bytes
# each) that come before the pixels, 4 bytes each.
screen_colour() {
    local dump=$kivo_run/screen/Xvfb_screen0 fields
    read -r -a fields < <(od -A n -t u4 --endian=big -w80 -N 80 "$dump")
    od -A n -t x4 --endian=little -N 4 -j $((fields[0] + fields[19] * 12 + (panelY + $2) * fields[12] + (panelX + $1) * 4)) "$dump" |
        tr -d ' ' | cut -c3-
}

screenshot() {
    cp "$kivo_run/screen/Xvfb_screen0" "$artifacts/$1.xwd"
}

click_panel() {
    xdotool mousemove --sync $((panelX + $1)) $((panelY + $2)) click 1
}

visible_windows() {
    xdotool search --onlyvisible --name '.*' 2>/dev/null | sort || true
}
new_window() {
    box=$(comm -13 <(echo "$before") <(visible_windows) | head -n 1) && [ -n "$box" ]
}

# The switch, then OK to its question: the box is the window that was not
# there before; its default button is Cancel, so Tab moves to OK. Focus
# follows the pointer with no window manager, hence the pointer on the box.
switch_on() {
    local before box X Y WIDTH HEIGHT
    before=$(visible_windows)
    click_panel "${switchPoint[@]}"
    kivo_wait_until 10 "the switch-on question" new_window || exit 1
    eval "$(xdotool getwindowgeometry --shell "$box")"
    xdotool mousemove --sync $((X + WIDTH / 2)) $((Y + HEIGHT / 3))
    sleep 0.2
    xdotool key Tab
    sleep 0.1
    xdotool key Return
}

# Until the screen has stood still for half a second: a panel that Wine
# still paints and sets up may not take a click yet.
screen_still() {
    local now
    now=$(md5sum <"$kivo_run/screen/Xvfb_screen0")
    [ "$now" = "${lastScreen:-}" ] && return 0
    lastScreen=$now
    sleep 0.5
    return 1
}
wait_still() {
    kivo_wait_until 15 "the screen to stand still" screen_still || exit 1
}

close_panel() {
    click_panel "${closePoint[@]}"
}

# Until LOG (a device's) has both readings answered: the panel went through
# the switch-on and asked for the Counter and the Auto Counter.
both_answered() {
    kill -0 "$kivo" 2>/dev/null || { kivo_fail "kivo ended during the switch-on: $(kivo_said)"; return 2; }
    [ "$(grep -c '"event":"answer"' "$1" 2>/dev/null)" -ge 2 ]
}
wait_switched_on() {
    kivo_wait_until 20 "the switch-on to reach the device (see $1)" both_answered "$1" || exit 1
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

# kivo must end with CODE, and all the tester's processes with it, and must
# have found no leftover of Wine's to end.
check_ended() {
    local status=0
    kivo_wait_until 15 "kivo to end ($(kivo_said))" kivo_ended "$kivo" || exit 1
    wait "$kivo" || status=$?
    kivo=''
    [ "$status" -eq "$1" ] || fail "kivo ended with $status, not $1: $(kivo_said)"
    # Zombies are not running: the testbed's init may be slow to reap them.
    ! pgrep -u "$tester" -r R,S,D,T >/dev/null || fail "left running after kivo: $(pgrep -a -u "$tester" -r R,S,D,T | tr '\n' ' ')"
    ! grep -q 'left running' "$output" || fail "kivo found leftovers to end: $(grep 'left running' "$output")"
}

# A simulator as the serial adapter at /tmp/adapter, run as root so that kivo,
# which refuses an adapter another of the user's processes holds, does not
# see it; its pty is open to all instead.
start_adapter() {
    rm -f /tmp/adapter /tmp/adapter-control /tmp/adapter.jsonl
    kivo_start "$artifacts/adapter.out" /usr/lib/kivo/kivo-devsim --link /tmp/adapter --control-link /tmp/adapter-control \
        --log /tmp/adapter.jsonl
    kivo_ready "the adapter's simulator" "$artifacts/adapter.out" test -L /tmp/adapter || exit 1
    chmod 666 "$(readlink /tmp/adapter)"
}

kivo_session_begin "$testName" "$(mktemp -d)"
mkdir -p "$kivo_run/screen"
kivo_start_display -fbdir "$kivo_run/screen"
id "$tester" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$tester"
