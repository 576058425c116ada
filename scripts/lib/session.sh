# shellcheck shell=bash
# A Wine session for kivo, scripts/run, the lanes, the benchmark and the
# package's tests: prefix, server, device side, watch, program, display. Each
# piece has its own process group (a Ctrl-C reaches only the caller, whose trap
# ends them quietly) and dies with the caller (PR_SET_PDEATHSIG).

kivo_lib=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Installed beside this file; in the sources, in scripts/build's builds.
# shellcheck disable=SC2034 # launcher.sh and the tests run them
if [ -f "$kivo_lib/Kivo.exe" ]; then
    kivo_exe=$kivo_lib/Kivo.exe kivo_simulator=$kivo_lib/kivo-devsim kivo_remedy="reinstall the package kivo"
else
    kivo_exe=${kivo_lib%/scripts/lib}/build/Kivo.exe kivo_remedy="build it: scripts/build"
    kivo_simulator=${kivo_lib%/scripts/lib}/build-native/tools/devsim/kivo-devsim
fi
kivo_pieces=() kivo_server='' kivo_served='' kivo_watch='' kivo_dialogs='' kivo_session_after=()

kivo_session_begin() {
    kivo_name=$1 kivo_run=$2
    mkdir -p "$kivo_run"
    trap kivo_session_end EXIT; trap 'exit 130' INT; trap 'exit 143' TERM; trap 'exit 129' HUP
}

# One line on stderr; with --dialogs (the menu's start) in a dialog box too.
kivo_fail() {
    echo "${kivo_name:-kivo}: error: $*" >&2
    [ -z "$kivo_dialogs" ] || [ -z "${DISPLAY:-}" ] || ! command -v zenity >/dev/null ||
        zenity --error --title=Kivo --no-markup --text="$*" >/dev/null 2>&1 || true
    return 1
}

# Until COMMAND holds, at most SECONDS; a status other than 1 ends it at once.
kivo_wait_until() {
    local seconds=$1 what=$2 status deadline=$((${EPOCHREALTIME/./} + $1 * 1000000))
    shift 2
    until "$@"; do
        status=$?
        [ "$status" -eq 1 ] || return "$status"
        [ "${EPOCHREALTIME/./}" -lt "$deadline" ] || { kivo_fail "waited $seconds s in vain for $what"; return 1; }
        sleep 0.05
    done
}

# COMMAND as a piece, output to OUTPUT ('-': ours). Wine gets SIGKILL: blocked
# on a silent device, it ends no other way.
kivo_start() {
    local output=$1
    shift
    if [ "$output" = - ]; then kivo_launch "$@"; else kivo_launch "$@" >"$output" 2>&1; fi
    kivo_pieces+=("$!")
}
kivo_launch() {
    local us=$BASHPID
    if [[ $1 == "$kivo_lib/wine" ]]; then
        setpriv --pdeathsig KILL -- sh -c "$kivo_if_alive" "$us" setsid "$@" </dev/null &
    else
        set -m
        setpriv --pdeathsig TERM -- sh -c "$kivo_if_alive" "$us" "$@" </dev/null &
        set +m
    fi
}
# With the death signal set, COMMAND runs only if its parent ($0) is still there.
# shellcheck disable=SC2016 # expanded by that sh
kivo_if_alive='[ "$PPID" = "$0" ] && exec "$@"'

# Until CHECK holds for the piece started last; if it ends, OUTPUT says why.
kivo_ready() {
    local what=$1 output=$2
    shift 2
    kivo_wait_until 10 "$what" kivo_ready_check "$!" "$what" "$output" "$@"
}
kivo_ready_check() {
    local pid=$1 what=$2 output=$3
    shift 3
    "$@" && return 0
    ! kill -0 "$pid" 2>/dev/null || return 1
    kivo_fail "$what: it ended at start${output:+: $(tail -n 1 "$output" 2>/dev/null)}"
    return 2
}

# Ended with us, as a piece is: a wineboot cut short would start a server of its own.
kivo_wine() { setpriv --pdeathsig KILL -- sh -c "$kivo_if_alive" "$BASHPID" "$kivo_lib/wine" "$@"; }

# The server in our session (a session leader would take the adapter as its
# terminal, an unplug as SIGHUP), for all of it (-p: Debian's wrapper says -p0,
# an end with the last program); its keeper says wineserver -k when stopped, or
# ends the server itself where that fails: it must not outlive the keeper.
kivo_start_server() {
    mkdir -p "$WINEPREFIX"
    kivo_served=1
    kivo_start "$kivo_run/wineserver.log" sh -c 'stop() { timeout 5 wineserver -k || kill "$server"; wait; exit; }
        trap stop TERM; wineserver -f -p & server=$!; wait'
    kivo_server=$!
    kivo_ready "the Wine server for $WINEPREFIX" "$kivo_run/wineserver.log" kivo_listening "$!"
}
kivo_listening() {
    local server=''
    read -r server _ 2>/dev/null <"/proc/$1/task/$1/children"
    [ -n "$server" ] && [ -n "$(find "/proc/$server/fd" -lname 'socket:*' 2>/dev/null)" ]
}

# The server ends the prefix's Wine processes and itself, saving the registry.
kivo_stop_server() {
    [ -n "$kivo_server" ] || return 0
    kill -TERM "$kivo_server" 2>/dev/null || true
    kivo_wait_until 10 "the Wine server to end" kivo_ended "$kivo_server" || true
    kivo_server=''
}

kivo_ended() {
    local pid
    for pid in "$@"; do
        ! kill -0 "$pid" 2>/dev/null || return 1
    done
}

# What a ready prefix holds; one made to an older recipe is made again.
kivo_prefix_recipe="kivo prefix 2: Wine's own fonts"

# Another Wine's wine.inf (Debian 12 upgraded to 13) would update the prefix with a window.
kivo_prefix_outdated() {
    local stamp inf=/usr/share/wine/wine.inf
    # Wine 10 ends the line with CR LF.
    [ -f "$inf" ] && stamp=$(tr -d '[:space:]' 2>/dev/null <"$1/.update-timestamp") || return 1
    [ "$stamp" != disable ] && [ "$stamp" != "$(stat -c %Y "$inf")" ]
}

# Debian's Wine reads its fonts from the prefix, else takes a wider one.
kivo_install_wine_fonts() {
    compgen -G "/usr/share/wine/fonts/*.fon" >/dev/null ||
        { kivo_fail "Wine's fonts are missing from /usr/share/wine/fonts: install the package fonts-wine"; return 1; }
    mkdir -p "$WINEPREFIX/drive_c/windows/Fonts" && cp -p /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
}

# wineboot under a server of its own, whose end writes the registry.
kivo_wineboot() {
    kivo_start_server && kivo_wine wineboot "$@" >>"$kivo_run/wineboot.log" 2>&1 && kivo_stop_server
}

# The prefix at DIR made (again if half made) or updated quietly; then its server.
kivo_open_prefix() {
    export WINEPREFIX=$1
    command -v wine >/dev/null || { kivo_fail "Wine is not installed: install the package wine"; return 1; }
    if [ "$(cat "$WINEPREFIX/.kivo-ready" 2>/dev/null)" != "$kivo_prefix_recipe" ]; then
        echo "$kivo_name: preparing Wine for first use, about 10 s"
        # The adapter remembered for COM11 outlives a prefix made again.
        local adapter
        adapter=$(readlink "$WINEPREFIX/dosdevices/com11" 2>/dev/null) || adapter=''
        rm -rf "$WINEPREFIX"
        { kivo_wineboot -i && [ -f "$WINEPREFIX/system.reg" ]; } ||
            { kivo_fail "could not make the Wine prefix $WINEPREFIX; see $kivo_run/wineboot.log"; return 1; }
        kivo_install_wine_fonts || return 1
        [ -z "$adapter" ] || ln -sfn -- "$adapter" "$WINEPREFIX/dosdevices/com11"
        echo "$kivo_prefix_recipe" >"$WINEPREFIX/.kivo-ready"
    elif kivo_prefix_outdated "$WINEPREFIX"; then
        echo "$kivo_name: updating Wine's files for $(kivo_wine --version), about 10 s"
        # Without a display: the line above says what Wine's window would.
        (unset DISPLAY WAYLAND_DISPLAY && kivo_wineboot -u) ||
            { kivo_fail "could not update the Wine prefix $WINEPREFIX; see $kivo_run/wineboot.log"; return 1; }
        kivo_install_wine_fonts || return 1
    fi
    mkdir -p "$WINEPREFIX/dosdevices"
    # Wine's services keep their first program's output open: booted here, to a log.
    kivo_start_server && kivo_wine wineboot >>"$kivo_run/wineboot.log" 2>&1
}

# The simulator plays the device on COM11, takes orders on COM12, logs to LOG.
kivo_start_simulator() {
    local output=$1 log=$2 com=$WINEPREFIX/dosdevices
    shift 2
    rm -f "$com/com11" "$com/com12"
    kivo_start "$output" "$kivo_simulator" --link "$com/com11" --control-link "$com/com12" --log "$log" "$@"
    kivo_ready "the device simulator" "${output#-}" test -e "$com/com11" -a -e "$com/com12"
}

# The monitor: COM11 (or PORT) a pty whose transfers pass to ADAPTER, shown and logged.
kivo_start_monitor() {
    local output=$1 adapter=$2 log=${3:-} link=$WINEPREFIX/dosdevices/${4:-com11}
    rm -f "$link"
    kivo_start "$output" "$kivo_simulator" --link "$link" --adapter "$adapter" ${log:+--log "$log"}
    kivo_ready "the monitor" "${output#-}" test -e "$link"
}

# The watch tells of a silent device and a lost adapter; 3: closed in its dialog.
kivo_start_watch() {
    kivo_start - "$kivo_simulator" --watch "$WINEPREFIX/dosdevices/com11" ${1:+--adapter "$1"} ${kivo_dialogs:+--dialogs}
    kivo_watch=$!
}

# Whatever still runs of the prefix's Wine: its programs and servers.
kivo_wine_leftovers() {
    local exes
    exes=$(find /proc/[0-9]*/exe -maxdepth 0 -lname '*/wine*' 2>/dev/null) || true
    [ -z "$exes" ] || grep -lsxzF "WINEPREFIX=$WINEPREFIX" ${exes//exe/environ} | cut -d/ -f3
}

# The one way out: the watch first (the program's end would look like an answer),
# the server, the rest; Wine's leftovers get 2 s if the session had a server
# (a lane's test leaves the lane's alone). Then kivo_session_after.
kivo_session_end() {
    local pid
    kivo_dialogs=''
    [ -z "$kivo_watch" ] || { kill -TERM "$kivo_watch" 2>/dev/null && kivo_wait_until 5 "the watch to end" kivo_ended "$kivo_watch"; } || true
    kivo_stop_server
    for pid in "${kivo_pieces[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    kivo_wait_until 5 "the session's processes to end" kivo_ended "${kivo_pieces[@]}" ||
        for pid in "${kivo_pieces[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
    [ ${#kivo_pieces[@]} -eq 0 ] || wait "${kivo_pieces[@]}" 2>/dev/null || true
    kivo_pieces=() kivo_watch=''
    # shellcheck disable=SC2046 # one PID a word
    if [ -n "$kivo_served" ] && ! kivo_wait_until 2 "Wine's last processes to end" kivo_ended $(kivo_wine_leftovers) 2>/dev/null; then
        for pid in $(kivo_wine_leftovers); do
            echo "$kivo_name: ended $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | sed 's/ $//' | grep . || echo a process) (PID $pid), left running by Wine" >&2
            kill -KILL "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        done
    fi
    local step
    for step in "${kivo_session_after[@]}"; do "$step"; done
    kivo_session_after=()
}
