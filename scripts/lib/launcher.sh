# shellcheck shell=bash
# The launcher's pieces, shared by the kivo command and scripts/run: check the
# adapter, hold the prefix for one panel at a time, put a device behind COM11
# and open the panel; kivo_stop_all stops whatever was started. Source
# services.sh first and call kivo_services_init; KIVO_EXE names the program.

kivo_started_tail='' kivo_started_panel='' kivo_started_watch='' kivo_com11_prefix='' kivo_lock_file=''
kivo_adapter=''   # behind COM11, given or remembered; none with the simulator

# A reading for the simulator: a whole number from 0 to 255.
kivo_reading_option() {
    [[ $2 =~ ^[0-9]{1,3}$ ]] && [ "$2" -le 255 ] && return 0
    kivo_fail "$1 takes a whole number from 0 to 255, not '$2'"
}

# The processes other than ours that have PATH open, as "name (PID n)", one
# a line, PIDs in order. Serial ports are not exclusive on Linux, so this is
# the only way to see who else talks to the adapter; it sees only the
# processes we may inspect, our own unless we are root.
kivo_holders() {
    local pid name
    kivo_all_holders "$1" |
        while read -r pid; do
            kivo_descends_from_us "$pid" && continue
            name=$(cat "/proc/$pid/comm" 2>/dev/null) || continue
            echo "$name (PID $pid)"
        done
}

kivo_descends_from_us() {
    local pid=$1 stat
    while [ "$pid" -gt 1 ]; do
        [ "$pid" != "$$" ] || return 0
        stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
        # The parent is the second field after the name, which may hold spaces.
        stat=${stat##*) }
        pid=${stat#* }
        pid=${pid%% *}
    done
    return 1
}

# Why the adapter at PATH cannot serve as COM11, in one line that says what
# to do; nothing when it can. With a second argument the adapter is not
# opened, which would change its modem lines.
kivo_adapter_problem() {
    local device=$1 group mode holders error
    if [ ! -e "$device" ]; then
        echo "the device $device does not exist: is the adapter plugged in? ('ls /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id' lists what is there)"
    elif [ ! -c "$device" ]; then
        echo "$device is not a serial port: give the adapter's device, such as /dev/ttyUSB0"
    elif [ ! -r "$device" ] || [ ! -w "$device" ]; then
        group=$(stat -L -c %G -- "$device") mode=$(stat -L -c %A -- "$device")
        if [ "${mode:4:2}" != rw ] || [ "$group" = root ]; then
            echo "no permission to use $device (owner $(stat -L -c %U -- "$device"), group $group, $mode): ask the administrator for read and write access"
        elif getent group "$group" | cut -d: -f4 | tr , '\n' | grep -qxF -- "$(id -un)"; then
            echo "no permission to use $device yet: you are in its group $group, but this session began before you joined: log out and in again"
        else
            echo "no permission to use $device: join its group $group ('sudo adduser $(id -un) $group'), then log out and in again"
        fi
    # Opened without waiting for a carrier (stty opens with O_NONBLOCK): this
    # tells a terminal from other devices and finds an exclusive holder.
    elif [ -z "${2:-}" ] && ! error=$(LC_ALL=C stty -F "$device" 2>&1 >/dev/null); then
        case $error in
            *busy*) echo "the device $device is busy: a process that is not yours holds it ('sudo fuser -v $device' names it): close it and try again" ;;
            *"Inappropriate ioctl"*) echo "$device is not a serial port: give the adapter's device, such as /dev/ttyUSB0" ;;
            *) echo "cannot open the device $device: ${error##*: }" ;;
        esac
    elif holders=$(kivo_holders "$device" | paste -sd, - | sed 's/,/, /g'); [ -n "$holders" ]; then
        echo "the device $device is held by $holders: close it and try again"
    fi
}

kivo_check_adapter() {
    local problem
    problem=$(kivo_adapter_problem "$1")
    [ -z "$problem" ] || kivo_fail "$problem"
}

kivo_check_display() {
    [ -n "${DISPLAY:-}" ] || { kivo_fail "no display is set: the panel is a window and needs a graphical session"; return 1; }
    # xdpyinfo comes with the developer's tools, not with the package.
    if command -v xdpyinfo >/dev/null && ! xdpyinfo >/dev/null 2>&1; then
        kivo_fail "cannot reach the X display '$DISPLAY' (is the X server running, and may you use it? try 'xdpyinfo')"
        return 1
    fi
}

# One panel per prefix: two would fight over COM11, and the first to end
# would stop the other's Wine. The lock is fd 9, held until we exit; what we
# start inherits it, so a leftover of a killed launcher shows as the holder.
kivo_lock() {
    local lockFile=$1/lock holder
    mkdir -p "$1" 2>/dev/null && { exec 9>>"$lockFile"; } 2>/dev/null || { kivo_fail "cannot write $lockFile"; return 1; }
    flock -n 9 && { kivo_lock_file=$lockFile; return 0; }
    holder=$(kivo_holders "$lockFile" | head -n 1)
    kivo_fail "the panel is already open${holder:+, by $holder}: close it first"
}

# A stand-in on COM11 (the simulator) takes the place of the adapter
# remembered there; the adapter is written down first, so that even a
# session cut short gives it back, at the next start at the latest.
kivo_set_aside_adapter() {
    local link=$1/dosdevices/com11 adapter=''
    [ ! -L "$link" ] || adapter=$(readlink -- "$link")
    printf '%s\n' "$adapter" >"$1/.kivo-com11-displaced"
    kivo_com11_prefix=$1
}

kivo_give_back_adapter() {
    local saved=$1/.kivo-com11-displaced adapter
    [ -f "$saved" ] || return 0
    adapter=$(cat "$saved")
    rm -f "$1/dosdevices/com11"
    [ -z "$adapter" ] || ln -s -- "$adapter" "$1/dosdevices/com11"
    rm -f "$saved"
}

# The adapter COM11 was mapped to by an earlier --device, if any.
kivo_mapped_adapter() {
    [ -L "$1/dosdevices/com11" ] && readlink -- "$1/dosdevices/com11"
}

# The prefix, made on first use with a word about the wait (from the menu
# nobody reads it, but Wine shows a box of its own while it prepares), and
# its Wine server started for the panel.
kivo_ready_prefix() {
    kivo_prefix_ready "$1" || echo "$KIVO_NAME: preparing Wine for first use, about 10 s"
    # Making a prefix starts a Wine server; if we are stopped meanwhile, it goes too.
    # shellcheck disable=SC2034 # services.sh's kivo_stop_services reads it
    kivo_started_wineserver=1
    kivo_prepare_prefix "$1" && kivo_start_wineserver_apart
}

# --monitor watches a real device and --log is the monitor's: both need the one before.
kivo_monitor_options() {
    local device=$1 monitor=$2 logFile=$3
    if [ -n "$monitor" ] && [ -z "$device" ]; then
        kivo_fail "--monitor watches a real device: give it --device PATH (the simulator shows every transfer anyway)"
    elif [ -n "$logFile" ] && [ -z "$monitor" ]; then
        kivo_fail "--log FILE is the monitor's log: add --monitor"
    elif [ -n "$logFile" ] && ! touch -- "$logFile" 2>/dev/null; then
        kivo_fail "cannot write the log $logFile: give a file in a folder you may write to"
    fi
}

# COM11 in one of its modes, in the prefix kivo_ready_prefix made:
#   kivo_connect_adapter PATH        the real adapter, remembered in Wine's dosdevices link
#   kivo_connect_monitor PATH [LOG]  the real adapter, remembered, behind the monitor, which
#                                    shows every transfer on our output and logs it to LOG
#   kivo_connect_simulator [ARGS]    the device simulator, its lines on our output
# The modes with a process of their own in front of COM11 set the adapter
# aside, publish a pty at the link, and give the adapter back at the end.
kivo_connect_adapter() {
    ln -sfn -- "$1" "$WINEPREFIX/dosdevices/com11"
    kivo_adapter=$1
    echo "$KIVO_NAME: COM11 is $1"
}

kivo_connect_monitor() {
    # Remembered as with --device alone, then set aside while the monitor stands in.
    ln -sfn -- "$1" "$WINEPREFIX/dosdevices/com11"
    kivo_set_aside_adapter "$WINEPREFIX"
    kivo_adapter=$1
    kivo_start_monitor "$1" "${2:-}" || return 1
    echo "$KIVO_NAME: COM11 is $1 through the monitor${2:+; its log is $2}"
    kivo_follow "$KIVO_RUN_DIR/monitor.out"
}

kivo_connect_simulator() {
    kivo_set_aside_adapter "$WINEPREFIX"
    export KIVO_DEVICE_LOG=$KIVO_RUN_DIR/device.jsonl
    rm -f "$KIVO_DEVICE_LOG"
    kivo_start_simulator "$@" || return 1
    echo "$KIVO_NAME: COM11 is the device simulator; its log is $KIVO_DEVICE_LOG"
    kivo_follow "$KIVO_RUN_DIR/simulator.out"
}

# The readable lines of the device's stand-in, as the user works; --pid ends
# it with us even if we are killed first. No child of ours: one that lives as
# long as we do could keep a wait of ours from ever ending.
kivo_follow() {
    { kivo_started_tail=$(tail -n +1 -F --pid=$$ "$1" 2>/dev/null >&3 & echo $!); } 3>&1
}

# Opens the panel and waits for it to close; its exit code is the result.
# Waiting on a background job lets a trapped Ctrl-C act at once. The watch
# over COM11 (kivo-devsim --watch) says when the device does not answer and
# when the adapter goes during a wait; it is watching long before the panel,
# once shown, is switched on.
kivo_open_panel() {
    local status=0 problem='' dialogs=''
    [ -x "$KIVO_SIMULATOR" ] || { kivo_fail "kivo-devsim, which watches COM11, is not built: $KIVO_SIMULATOR (run scripts/build)"; return 1; }
    [ "${KIVO_DIALOGS:-}" != 1 ] || dialogs=--dialogs
    "$KIVO_SIMULATOR" --watch "$WINEPREFIX/dosdevices/com11" ${kivo_adapter:+--adapter "$kivo_adapter"} ${dialogs:+"$dialogs"} &
    kivo_started_watch=$!
    kivo_wine_apart "$KIVO_EXE" </dev/null &
    kivo_started_panel=$!
    wait "$kivo_started_panel" || status=$?
    kivo_started_panel=''
    # The program ends at once, with 0, when a send fails: a 0 while the
    # adapter cannot be used is taken for that.
    [ "$status" -ne 0 ] || [ -z "$kivo_adapter" ] || problem=$(kivo_adapter_problem "$kivo_adapter" unopened)
    if [ -n "$problem" ]; then
        kivo_fail "the panel closed because it could not send to the adapter: $problem"
        status=1
    elif [ "$status" -ne 0 ]; then
        # The program itself ends with 0 only: anything else is Wine failing to run it.
        kivo_fail "the panel ended with status $status: Wine could not run it (with WINEDEBUG=err+all set, Wine says why)"
    fi
    return $status
}

# The Wine server, in a process group of its own but in our session, where
# it is no session leader: a leader without a terminal takes the first tty
# it opens as its terminal (the adapter, in the plain mapping), and an
# unplug then reaches it as SIGHUP and dumps its state. Wine would start it
# as such a daemon. It is ready once it listens.
kivo_start_wineserver_apart() {
    set -m
    wineserver -f >"$KIVO_RUN_DIR/wineserver.log" 2>&1 &
    set +m
    # shellcheck disable=SC2034 # services.sh's kivo_stop_services reads it
    kivo_started_wineserver=$!
    kivo_wait_ready "$!" "$KIVO_RUN_DIR/wineserver.log" "the Wine server stopped at start (is another running? 'WINEPREFIX=$WINEPREFIX wineserver -k' ends it)" \
        "the Wine server did not start; see $KIVO_RUN_DIR/wineserver.log" kivo_listening "$!"
}
kivo_listening() { [ -n "$(find "/proc/$1/fd" -lname 'socket:*' 2>/dev/null)" ]; }

# Everything started, in the order that keeps Wine quiet: the watch, the
# server (and with it the panel), then the simulator; then the adapter goes
# back where the simulator stood.
kivo_stop_all() {
    # The watch first: to it the panel's end would look like the device's answer.
    [ -z "$kivo_started_watch" ] || { kill "$kivo_started_watch" && wait "$kivo_started_watch"; } 2>/dev/null || true
    kivo_stop_services
    local pid
    for pid in $kivo_started_panel $kivo_started_tail; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    kivo_started_watch='' kivo_started_panel='' kivo_started_tail=''
    [ -z "$kivo_lock_file" ] || kivo_end_leftovers "$kivo_lock_file"
    [ -z "$kivo_com11_prefix" ] || kivo_give_back_adapter "$kivo_com11_prefix"
    kivo_com11_prefix=''
}
