# shellcheck shell=bash
# A virtual display, and a window manager on it, for the tests and for
# headless runs; users bring their own. Source services.sh first.

kivo_started_window_manager=''

# A display of our own at 24 bits, so the colour key matches exactly. It
# never resets: an X server left without clients would otherwise reset
# itself and turn new ones away meanwhile, as between two tests.
kivo_start_xvfb() {
    command -v Xvfb >/dev/null || { kivo_fail "Xvfb is not installed (scripts/bootstrap installs it)"; return 1; }
    local displayFile=$KIVO_RUN_DIR/xvfb.display
    rm -f "$displayFile"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$displayFile" \
        >"$KIVO_RUN_DIR/xvfb.log" 2>&1 &
    kivo_started_xvfb=$!
    kivo_wait_ready "$kivo_started_xvfb" "$KIVO_RUN_DIR/xvfb.log" "Xvfb did not start" \
        "Xvfb gave no display number" test -s "$displayFile" || return 1
    DISPLAY=:$(head -n 1 "$displayFile")
    export DISPLAY
}

kivo_window_manager_running() {
    wmctrl -m >/dev/null 2>&1
}

# A small window manager on our display, as users have one; ready once it
# has claimed the screen.
kivo_start_window_manager() {
    command -v openbox >/dev/null || { kivo_fail "openbox is not installed (scripts/bootstrap installs it)"; return 1; }
    openbox --sm-disable >"$KIVO_RUN_DIR/openbox.log" 2>&1 &
    kivo_started_window_manager=$!
    kivo_wait_ready "$kivo_started_window_manager" "$KIVO_RUN_DIR/openbox.log" "openbox did not start" \
        "openbox did not take the display" kivo_window_manager_running
}

kivo_stop_window_manager() {
    [ -n "$kivo_started_window_manager" ] || return 0
    kill -TERM "$kivo_started_window_manager" 2>/dev/null || true
    wait "$kivo_started_window_manager" 2>/dev/null || true
    kivo_started_window_manager=''
}
