# shellcheck shell=bash
# What the package's tests share: the installed session with the sources' display, kivo
# as a user of its own, the panel as X sees it, driven with real input at its fixed
# layout, judged by what the device received; screenshots kept among the artifacts.
set -euo pipefail
# shellcheck source=scripts/lib/session.sh
. /usr/lib/kivo/session.sh
# shellcheck source=tests/support/display.sh
. tests/support/display.sh

testName=${0##*/}
artifacts=${AUTOPKGTEST_ARTIFACTS:-$(mktemp -d)}
tester=kivo-tester home=/home/kivo-tester kivo='' output=''
# Where the tests press, in the panel's fixed layout.
switchPoint=(270 54) closePoint=(312 14)

fail() { kivo_fail "$*" || true; exit 1; }

# kivo as the tester, output to OUTPUT, in its own process group as a
# terminal's foreground job, for a Ctrl-C to reach the whole group.
start_kivo() {
    output=$1
    shift
    kivo_start "$output" setpriv --reuid "$tester" --regid "$tester" --init-groups env -i \
        HOME="$home" PATH=/usr/bin:/bin DISPLAY="$DISPLAY" kivo "$@"
    kivo=$!
    started=${EPOCHREALTIME/./}
}

kivo_said() { tr '\n' ' ' <"$output"; }

# The panel's window; with ALONE, Wine's own ("Wine", updating a prefix) must
# not come first. Sets panelX and panelY.
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
    # Wine 10 leaves a control out of the colour-keyed shape until it is drawn.
    kivo_wait_until 15 "the panel's switch and close button to be drawn" drawn || exit 1
}
drawn() { [ "$(screen_colour "${switchPoint[@]}")" != 000000 ] && [ "$(screen_colour "${closePoint[@]}")" != 000000 ]; }

# The colour at a point of the panel as RRGGBB, from Xvfb's xwd dump (header:
# its length, a row's bytes, the colour map's 12-byte entries).
screen_colour() {
    local dump=$kivo_run/screen/Xvfb_screen0 fields
    read -r -a fields < <(od -A n -t u4 --endian=big -w80 -N 80 "$dump")
    od -A n -t x4 --endian=little -N 4 -j $((fields[0] + fields[19] * 12 + (panelY + $2) * fields[12] + (panelX + $1) * 4)) "$dump" |
        tr -d ' ' | cut -c3-
}

screenshot() { cp "$kivo_run/screen/Xvfb_screen0" "$artifacts/$1.xwd"; }
click_panel() { xdotool mousemove --sync $((panelX + $1)) $((panelY + $2)) click 1; }
close_panel() { click_panel "${closePoint[@]}"; }
visible_windows() { xdotool search --onlyvisible --name '.*' 2>/dev/null | sort || true; }
new_window() { box=$(comm -13 <(echo "$before") <(visible_windows) | head -n 1) && [ -n "$box" ]; }

# The switch, then OK (Tab from the default Cancel) in the new window, the
# pointer on it: with no window manager, focus follows it.
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

# A panel that Wine still paints may not take a click yet.
screen_still() {
    local now
    now=$(md5sum <"$kivo_run/screen/Xvfb_screen0")
    [ "$now" = "${lastScreen:-}" ] && return 0
    lastScreen=$now
    sleep 0.5
    return 1
}
wait_still() { kivo_wait_until 15 "the screen to stand still" screen_still || exit 1; }

# Until the device's LOG has both readings answered.
both_answered() {
    kill -0 "$kivo" 2>/dev/null || { kivo_fail "kivo ended during the switch-on: $(kivo_said)"; return 2; }
    [ "$(grep -c '"event":"answer"' "$1" 2>/dev/null)" -ge 2 ]
}
wait_switched_on() { kivo_wait_until 20 "the switch-on to reach the device (see $1)" both_answered "$1" || exit 1; }

# Every byte sent at 4800 8N1, in a simulator's or monitor's lines and its log
# (an opening without bytes may be the launcher's check).
check_line_settings() {
    grep -qF '(4800 8N1)' "$1" || fail "no transfer at 4800 8N1 in $1"
    ! grep -F ' <- "' "$1" | grep -vqF '(4800 8N1)' || fail "bytes sent not at 4800 8N1 in $1"
    grep -qF '"line":{"baud":4800,"data_bits":8,"parity":"none","stop_bits":1}' "$2" ||
        fail "no transfer at 4800 8N1 in the log $2"
}

# kivo ends with CODE, the tester's processes with it, and no leftover of Wine's.
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

# A simulator as the adapter at /tmp/adapter, as root (kivo refuses an adapter
# another of the user's processes holds); its pty open to all; its answers late,
# as a real device's: the monitor drops, as a serial port does, one that comes
# while the panel has the port closed between its request and its read.
start_adapter() {
    rm -f /tmp/adapter /tmp/adapter-control /tmp/adapter.jsonl
    kivo_start "$artifacts/adapter.out" /usr/lib/kivo/kivo-devsim --link /tmp/adapter --control-link /tmp/adapter-control \
        --log /tmp/adapter.jsonl
    kivo_ready "the adapter's simulator" "$artifacts/adapter.out" test -L /tmp/adapter || exit 1
    chmod 666 "$(readlink /tmp/adapter)"
    stty -F /tmp/adapter-control raw -echo && exec 3<>/tmp/adapter-control && echo 'delay 300' >&3 && read -r -t 5 answer <&3 &&
        exec 3>&- && [ "$answer" = ok ] || fail "the adapter's simulator took no delay: ${answer:-no answer}"
}

kivo_session_begin "$testName" "$(mktemp -d)"
mkdir -p "$kivo_run/screen"
kivo_start_display -fbdir "$kivo_run/screen"
id "$tester" >/dev/null 2>&1 || useradd --create-home --shell /bin/bash "$tester"
