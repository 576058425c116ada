# shellcheck shell=bash
# A virtual display and a window manager, as session pieces for the tests, the
# benchmark and headless runs.
# shellcheck disable=SC2154 # session.sh's kivo_run, set there

# 24 bits, for the colour key to match exactly; -noreset, as a reset between
# two tests turns new clients away. Xvfb takes any further OPTIONS.
kivo_start_display() {
    command -v Xvfb >/dev/null || { kivo_fail "Xvfb is not installed: run scripts/bootstrap"; return 1; }
    rm -f "$kivo_run/xvfb.display"
    kivo_start "$kivo_run/xvfb.log" Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset "$@" 3>"$kivo_run/xvfb.display"
    kivo_ready "Xvfb's display number" "$kivo_run/xvfb.log" test -s "$kivo_run/xvfb.display" || return 1
    DISPLAY=:$(head -n 1 "$kivo_run/xvfb.display")
    export DISPLAY
}

# A small window manager, as users have one; ready once it has the screen.
kivo_start_window_manager() {
    command -v openbox >/dev/null || { kivo_fail "openbox is not installed: run scripts/bootstrap"; return 1; }
    kivo_start "$kivo_run/openbox.log" openbox --sm-disable
    kivo_ready "openbox to take the display" "$kivo_run/openbox.log" kivo_window_manager_running
}
kivo_window_manager_running() { wmctrl -m >/dev/null 2>&1; }
