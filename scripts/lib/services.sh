# shellcheck shell=bash
# Starts and stops what the panel needs, for the kivo command, the run command
# and the tests alike: a private Wine prefix with a running server, and the
# device simulator or the monitor in front of a real device. (A virtual
# display and a window manager, for the tests and headless runs only, are in
# tests/support/display.sh.) Source it, call kivo_services_init once, and trap
# kivo_stop_services on EXIT.

kivo_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Wine as everything of ours runs it: its environment is defined there.
KIVO_WINE=$kivo_lib/wine

kivo_services_init() {
    KIVO_TOP=$1
    KIVO_RUN_DIR=$2
    mkdir -p "$KIVO_RUN_DIR"
    KIVO_SIMULATOR=${KIVO_SIMULATOR:-$KIVO_TOP/build-native/tools/devsim/kivo-devsim}
    export KIVO_TOP KIVO_RUN_DIR KIVO_SIMULATOR KIVO_WINE
    kivo_started_xvfb='' kivo_started_wineserver='' kivo_started_simulator='' kivo_started_monitor=''
}

# One line on stderr, signed with the command's name (KIVO_NAME). With
# KIVO_DIALOGS=1 (a start from the desktop menu, where nobody reads stderr)
# the line also shows in a dialog box when zenity is there.
kivo_fail() {
    echo "${KIVO_NAME:-kivo}: error: $*" >&2
    if [ "${KIVO_DIALOGS:-}" = 1 ] && [ -n "${DISPLAY:-}" ] && command -v zenity >/dev/null; then
        zenity --error --title=Kivo --no-markup --text="$*" >/dev/null 2>&1 || true
    fi
    return 1
}

# Waits up to 10 s for a process just started to be ready: until the check
# (the arguments after the two messages) succeeds. Fails with the first
# message and the last line of the process's output if it ends first, with
# the second if time runs out.
kivo_wait_ready() {
    local pid=$1 output=$2 ended=$3 late=$4 tries=0 why
    shift 4
    until "$@"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            why=$(tail -n 1 "$output" 2>/dev/null) || why=''
            kivo_fail "$ended${why:+: $why}"
            return 1
        fi
        tries=$((tries + 1))
        [ $tries -lt 200 ] || { kivo_fail "$late"; return 1; }
        sleep 0.05
    done
}

# What a ready prefix holds; a prefix made to an older recipe is made again.
KIVO_PREFIX_RECIPE="kivo prefix 2: Wine's own fonts"
# The data folder of the Wine we run: its fonts, and the wine.inf whose time
# tells whether a prefix is up to date with it.
KIVO_WINE_DATA=${KIVO_WINE_DATA:-/usr/share/wine}

# Debian's Wine reads its fonts from the prefix, not from where fonts-wine
# puts them; without them the panel's labels and boxes take a wider host font.
kivo_install_wine_fonts() {
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    compgen -G "$KIVO_WINE_DATA/fonts/*.fon" >/dev/null ||
        { kivo_fail "Wine's fonts are missing from $KIVO_WINE_DATA/fonts (install the package fonts-wine)"; return 1; }
    mkdir -p "$fonts" && cp -p "$KIVO_WINE_DATA"/fonts/* "$fonts/"
}

kivo_prefix_ready() {
    [ "$(cat "$1/.kivo-ready" 2>/dev/null)" = "$KIVO_PREFIX_RECIPE" ]
}

# Wine notes in the prefix the time of the wine.inf it last brought it up to
# date with; another Wine (Debian 12 upgraded to 13, say) updates it before
# its first program, showing a window of its own, "Wine", meanwhile.
kivo_prefix_outdated() {
    local stamp inf=$KIVO_WINE_DATA/wine.inf
    # Wine 10 ends the line with CR LF.
    [ -f "$inf" ] && stamp=$(tr -d '[:space:]' 2>/dev/null <"$1/.update-timestamp") || return 1
    [ "$stamp" != disable ] && [ "$stamp" != "$(stat -c %Y "$inf")" ]
}

# Runs wineboot with ARGUMENTS and waits for the registry to reach the disk,
# which it does only when the server ends. Ended at once rather than after
# its 5 s of idling: what the services it stops were still doing (listing
# devices) they redo at every start.
kivo_wineboot() {
    kivo_wine_apart wineboot "$@" >"$KIVO_RUN_DIR/wineboot.log" 2>&1 && wineserver -k && wineserver -w
}

# A private prefix, made once and kept; a half-made one is made again, and
# one that another Wine made is brought up to date here, with a word, rather
# than by Wine with a window.
kivo_prepare_prefix() {
    export WINEPREFIX=$1
    command -v wine >/dev/null || { kivo_fail "Wine is not installed (scripts/bootstrap installs it)"; return 1; }
    if ! kivo_prefix_ready "$WINEPREFIX"; then
        # The adapter remembered for COM11 outlives a prefix made again.
        local adapter
        adapter=$(readlink "$WINEPREFIX/dosdevices/com11" 2>/dev/null) || adapter=''
        rm -rf "$WINEPREFIX"
        mkdir -p "$(dirname "$WINEPREFIX")"
        if ! kivo_wineboot -i || [ ! -f "$WINEPREFIX/system.reg" ]; then
            kivo_fail "could not make the Wine prefix $WINEPREFIX; see $KIVO_RUN_DIR/wineboot.log"
            return 1
        fi
        kivo_install_wine_fonts || return 1
        [ -z "$adapter" ] || ln -sfn -- "$adapter" "$WINEPREFIX/dosdevices/com11"
        echo "$KIVO_PREFIX_RECIPE" >"$WINEPREFIX/.kivo-ready"
    elif kivo_prefix_outdated "$WINEPREFIX"; then
        echo "${KIVO_NAME:-kivo}: updating Wine's files for $(kivo_wine --version), about 10 s"
        # Without a display: the line above says what Wine's window would.
        if ! (unset DISPLAY WAYLAND_DISPLAY && kivo_wineboot -u); then
            kivo_fail "could not update the Wine prefix $WINEPREFIX; see $KIVO_RUN_DIR/wineboot.log"
            return 1
        fi
        kivo_install_wine_fonts || return 1
    fi
    mkdir -p "$WINEPREFIX/dosdevices"
}

kivo_wine() { "$KIVO_WINE" "$@"; }

# The PIDs of every process, ours too, that has PATH open, in order.
kivo_all_holders() {
    local target pattern
    target=$(readlink -f -- "$1") || return 0
    pattern=$(printf '%s' "$target" | sed 's/[][\\*?]/\\&/g')
    # find complains of the processes that end or hide as it looks.
    { find /proc/[0-9]*/fd -maxdepth 1 -lname "$pattern" 2>/dev/null || true; } | cut -d/ -f3 | sort -nu
}

# We hold LOCK on fd 9 and what we started inherited it, so whatever holds it
# once all is stopped is ours. A Wine process started as the server went
# (still named wine64) ends by itself on finding no server: holders get 2 s
# for that. What outlives them is ended, and said, so that nothing of ours
# holds the prefix.
kivo_end_leftovers() {
    local lock=$1 leftovers pid round
    for round in $(seq 43); do
        # Without fd 9 the listing's own processes are not among the holders.
        leftovers=$(exec 9>&-; kivo_all_holders "$lock" | { grep -vx "$$" || true; })
        [ -n "$leftovers" ] || return 0
        if [ "$round" -le 40 ]; then
            sleep 0.05
            continue
        fi
        for pid in $leftovers; do
            echo "${KIVO_NAME:-kivo}: ended $(cat "/proc/$pid/comm" 2>/dev/null || echo a process) (PID $pid), left running by Wine" >&2
            kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        done
        sleep 0.1
    done
}

# A Wine program in a session of its own, it and the processes it starts: a
# Ctrl-C in the terminal then reaches only our script, whose trap ends them
# all at once through the server. Each Wine process would take SIGINT as its
# own end, in no order, and one dying may make another start a replacement.
kivo_wine_apart() {
    setsid -w "$KIVO_WINE" "$@"
}

# A persistent server makes every Wine start fast; its output goes to a log
# because it dumps a great deal if a pty it holds hangs up.
kivo_start_wineserver() {
    kivo_started_wineserver=1
    wineserver -p >"$KIVO_RUN_DIR/wineserver.log" 2>&1 ||
        { kivo_fail "the Wine server does not start; see $KIVO_RUN_DIR/wineserver.log"; return 1; }
    # The first Wine program of a session starts the prefix's services, which
    # would inherit its output: start them here, away from the tests' pipes.
    kivo_wine_apart cmd /c exit >>"$KIVO_RUN_DIR/wineserver.log" 2>&1 || { kivo_fail "Wine does not start; see $KIVO_RUN_DIR/wineserver.log"; return 1; }
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
    kivo_wait_ready "$kivo_started_simulator" "${KIVO_SIMULATOR_OUTPUT:-$KIVO_RUN_DIR/simulator.out}" \
        "the device simulator stopped at start" \
        "the device simulator published no port" test -e "$KIVO_DEVICE_LINK" -a -e "$KIVO_DEVICE_CONTROL"
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
    kivo_wait_ready "$kivo_started_monitor" "$output" "the monitor did not start" \
        "the monitor published no port; see $output" test -e "$link"
}

# The Wine server goes first: it holds the device's pty as its terminal. A Wine
# process started as it went may start a server of its own, which -w would
# wait for as long as it lived: each round ends the server there is.
kivo_stop_services() {
    local round
    if [ -n "$kivo_started_wineserver" ]; then
        for round in 1 2 3; do
            wineserver -k 2>/dev/null || true
            timeout 5 wineserver -w 2>/dev/null && break
            echo "${KIVO_NAME:-kivo}: the Wine server was still running after 5 s (round $round): ending it again" >&2
        done
        kivo_started_wineserver=''
    fi
    # tests/support/display.sh's, where it was sourced.
    [ "$(type -t kivo_stop_window_manager)" != function ] || kivo_stop_window_manager
    local pid
    for pid in $kivo_started_monitor $kivo_started_simulator $kivo_started_xvfb; do
        kill -TERM "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    kivo_started_monitor='' kivo_started_simulator='' kivo_started_xvfb=''
}
