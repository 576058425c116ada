# shellcheck shell=bash
# Starts and stops what the Windows tests and the run command need: a virtual
# display, a private Wine prefix with a running server, and the device simulator
# or the monitor in front of a real device.
# Source it, call kivo_services_init once, and trap kivo_stop_services on EXIT.

kivo_services_init() {
    KIVO_TOP=$1
    KIVO_RUN_DIR=$2
    mkdir -p "$KIVO_RUN_DIR"
    KIVO_SIMULATOR=${KIVO_SIMULATOR:-$KIVO_TOP/build-native/tools/devsim/kivo-devsim}
    export KIVO_TOP KIVO_RUN_DIR KIVO_SIMULATOR
    kivo_started_xvfb='' kivo_started_wineserver='' kivo_started_simulator='' kivo_started_monitor=''
}

kivo_fail() {
    echo "error: $*" >&2
    return 1
}

# A display of our own at 24 bits, so the colour key matches exactly.
kivo_start_xvfb() {
    command -v Xvfb >/dev/null || { kivo_fail "Xvfb is not installed (scripts/bootstrap installs it)"; return 1; }
    local displayFile=$KIVO_RUN_DIR/xvfb.display
    rm -f "$displayFile"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayFile" \
        >"$KIVO_RUN_DIR/xvfb.log" 2>&1 &
    kivo_started_xvfb=$!
    local tries=0
    until [ -s "$displayFile" ]; do
        kill -0 "$kivo_started_xvfb" 2>/dev/null || { kivo_fail "Xvfb did not start; see $KIVO_RUN_DIR/xvfb.log"; return 1; }
        tries=$((tries + 1))
        [ $tries -lt 200 ] || { kivo_fail "Xvfb gave no display number"; return 1; }
        sleep 0.05
    done
    DISPLAY=:$(head -n 1 "$displayFile")
    export DISPLAY
}

# What a ready prefix holds; a prefix made to an older recipe is made again.
KIVO_PREFIX_RECIPE="kivo prefix 2: Wine's own fonts"
KIVO_WINE_FONTS=${KIVO_WINE_FONTS:-/usr/share/wine/fonts}

# Debian's Wine reads its fonts from the prefix, not from where fonts-wine
# puts them; without them the panel's labels and boxes take a wider host font.
kivo_install_wine_fonts() {
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    compgen -G "$KIVO_WINE_FONTS/*.fon" >/dev/null ||
        { kivo_fail "Wine's fonts are missing from $KIVO_WINE_FONTS (install the package fonts-wine)"; return 1; }
    mkdir -p "$fonts" && cp -p "$KIVO_WINE_FONTS"/* "$fonts/"
}

# A private prefix, made once and kept; a half-made one is made again.
kivo_prepare_prefix() {
    WINEPREFIX=$1
    WINEDEBUG=-all
    WINEDLLOVERRIDES="mscoree=;mshtml="
    export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
    command -v wine >/dev/null || { kivo_fail "Wine is not installed (scripts/bootstrap installs it)"; return 1; }
    if [ "$(cat "$WINEPREFIX/.kivo-ready" 2>/dev/null)" != "$KIVO_PREFIX_RECIPE" ]; then
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        # The registry reaches the disk only when the server ends, hence the wait.
        if ! wineboot -i >"$KIVO_RUN_DIR/wineboot.log" 2>&1 || ! wineserver -w || [ ! -f "$WINEPREFIX/system.reg" ]; then
            kivo_fail "could not make the Wine prefix $WINEPREFIX; see $KIVO_RUN_DIR/wineboot.log"
            return 1
        fi
        kivo_install_wine_fonts || return 1
        echo "$KIVO_PREFIX_RECIPE" >"$WINEPREFIX/.kivo-ready"
    fi
    mkdir -p "$WINEPREFIX/dosdevices"
}

# A persistent server makes every Wine start fast; its output goes to a log
# because it dumps a great deal if a pty it holds hangs up.
kivo_start_wineserver() {
    wineserver -p >"$KIVO_RUN_DIR/wineserver.log" 2>&1
    kivo_started_wineserver=1
    # The first Wine program of a session starts the prefix's services, which
    # would inherit its output: start them here, away from the tests' pipes.
    wine cmd /c exit >>"$KIVO_RUN_DIR/wineserver.log" 2>&1 || { kivo_fail "Wine does not start; see $KIVO_RUN_DIR/wineserver.log"; return 1; }
}

# The simulator plays the device on COM11 and takes orders on COM12.
kivo_start_simulator() {
    [ -x "$KIVO_SIMULATOR" ] || { kivo_fail "device simulator not built: $KIVO_SIMULATOR (run scripts/build)"; return 1; }
    KIVO_DEVICE_LINK=$WINEPREFIX/dosdevices/com11
    KIVO_DEVICE_CONTROL=$WINEPREFIX/dosdevices/com12
    KIVO_DEVICE_LOG=${KIVO_DEVICE_LOG:-$KIVO_RUN_DIR/device.jsonl}
    export KIVO_DEVICE_LINK KIVO_DEVICE_CONTROL KIVO_DEVICE_LOG
    rm -f "$KIVO_DEVICE_LINK" "$KIVO_DEVICE_CONTROL"
    "$KIVO_SIMULATOR" --link "$KIVO_DEVICE_LINK" --control-link "$KIVO_DEVICE_CONTROL" \
        --log "$KIVO_DEVICE_LOG" "$@" >"${KIVO_SIMULATOR_OUTPUT:-$KIVO_RUN_DIR/simulator.out}" 2>&1 &
    kivo_started_simulator=$!
    local tries=0
    until [ -e "$KIVO_DEVICE_LINK" ] && [ -e "$KIVO_DEVICE_CONTROL" ]; do
        kill -0 "$kivo_started_simulator" 2>/dev/null || { kivo_fail "the device simulator stopped at start"; return 1; }
        tries=$((tries + 1))
        [ $tries -lt 200 ] || { kivo_fail "the device simulator published no port"; return 1; }
        sleep 0.05
    done
}

# The monitor: COM11 becomes a pty of the simulator's kind, and every transfer
# passes unchanged to the adapter at ADAPTER (opened by that path for each
# one) and is shown in the simulator's format, and logged to LOG if given.
# KIVO_MONITOR_LINK publishes it somewhere other than COM11.
kivo_start_monitor() {
    local adapter=$1 log=${2:-}
    local link=${KIVO_MONITOR_LINK:-$WINEPREFIX/dosdevices/com11}
    local output=${KIVO_MONITOR_OUTPUT:-$KIVO_RUN_DIR/monitor.out}
    [ -x "$KIVO_SIMULATOR" ] || { kivo_fail "device simulator not built: $KIVO_SIMULATOR (run scripts/build)"; return 1; }
    local arguments=(--link "$link" --adapter "$adapter")
    [ -z "$log" ] || arguments+=(--log "$log")
    rm -f "$link"
    "$KIVO_SIMULATOR" "${arguments[@]}" >"$output" 2>&1 &
    kivo_started_monitor=$!
    local tries=0
    until [ -e "$link" ]; do
        if ! kill -0 "$kivo_started_monitor" 2>/dev/null; then
            kivo_started_monitor=''
            kivo_fail "the monitor did not start: $(tail -n 1 "$output")"
            return 1
        fi
        tries=$((tries + 1))
        [ $tries -lt 200 ] || { kivo_fail "the monitor published no port; see $output"; return 1; }
        sleep 0.05
    done
}

# The Wine server goes first: it holds the device's pty as its terminal.
kivo_stop_services() {
    if [ -n "$kivo_started_wineserver" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        kivo_started_wineserver=''
    fi
    local pid
    for pid in $kivo_started_monitor $kivo_started_simulator $kivo_started_xvfb; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    kivo_started_monitor='' kivo_started_simulator='' kivo_started_xvfb=''
}
