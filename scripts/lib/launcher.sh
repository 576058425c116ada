# shellcheck shell=bash
# The kivo command's pieces, shared with scripts/run: options, the adapter's
# checks, one panel at a time, COM11 and the panel. Source session.sh first.
# shellcheck disable=SC2154,SC2034 # session.sh's kivo_ variables, set and read there

# Kept in step with the release by scripts/new-version.
KIVO_VERSION=1.0.0

kivo_usage() {
    cat <<'EOF'
usage: kivo [[--device PATH] [--monitor [--log FILE]] | --simulator [--counter N] [--auto-counter N]]
            [--dialogs]
       kivo --version

  (no option)         open the panel with COM11 on the adapter given before
  --device PATH       map COM11 to the serial adapter at PATH (for example
                      /dev/ttyUSB0), remember it, and open the panel
  --monitor           show every transfer here, decoded, as it passes unchanged
                      between the panel and the adapter (given or remembered)
  --log FILE          with --monitor: also write the transfers to FILE as JSON lines
  --simulator         open the panel with the simulated device on COM11;
                      what it receives and answers shows here
  --counter N         the simulated Counter reading, 0 to 255 (42)
  --auto-counter N    the simulated Auto Counter in tenths, 0 to 255 (123 shows 12.3)
  --dialogs           show errors, and a device that does not answer, in a
                      dialog box too (the desktop menu's way)
  --version           print the version and exit
EOF
}

# Sets mode (adapter, simulator or none yet), device, monitor, logFile,
# simulatorArgs and kivo_dialogs; exits on --help, --version and mistakes.
kivo_parse_options() {
    mode='' device='' monitor='' logFile='' simulatorArgs=()
    while [ $# -gt 0 ]; do
        case $1 in
            --device)
                [ $# -ge 2 ] || kivo_usage_error "--device needs the adapter's path, such as /dev/ttyUSB0"
                [ "$mode" != simulator ] || kivo_usage_error "--device and --simulator exclude each other"
                mode=adapter device=$(realpath -sm -- "$2"); shift ;;
            --simulator)
                [ "$mode" != adapter ] || kivo_usage_error "--device and --simulator exclude each other"
                mode=simulator ;;
            --counter|--auto-counter)
                [[ ${2-} =~ ^[0-9]{1,3}$ ]] && [ "$2" -le 255 ] || kivo_usage_error "$1 takes a whole number from 0 to 255, not '${2-}'"
                simulatorArgs+=("$1" "$2"); shift ;;
            --monitor) monitor=1 ;;
            --log)
                [ $# -ge 2 ] || kivo_usage_error "--log needs a file"
                logFile=$(realpath -m -- "$2"); shift ;;
            --dialogs) kivo_dialogs=1 ;;
            -h|--help) kivo_usage; exit 0 ;;
            --version) echo "kivo $KIVO_VERSION"; exit 0 ;;
            *) kivo_usage >&2; kivo_usage_error "unknown option '$1'" ;;
        esac
        shift
    done
    [ ${#simulatorArgs[@]} -eq 0 ] || [ "$mode" = simulator ] ||
        kivo_usage_error "--counter and --auto-counter set the simulator's readings: use them with --simulator"
}
kivo_usage_error() { kivo_fail "$1" || exit 2; }

# The processes not ours (that we may inspect) with PATH open, as "name (PID n)":
# serial ports are not exclusive on Linux.
kivo_holders() {
    local target pattern pid name
    target=$(readlink -f -- "$1") || return 0
    pattern=$(printf '%s' "$target" | sed 's/[][\\*?]/\\&/g')
    # find complains of the processes that end or hide as it looks.
    { find /proc/[0-9]*/fd -maxdepth 1 -lname "$pattern" 2>/dev/null || true; } | cut -d/ -f3 | sort -nu |
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
        stat=${stat##*) } pid=${stat#* } pid=${pid%% *}
    done
    return 1
}

# Why the adapter at PATH cannot be COM11, and what to do; with a second
# argument it is not opened (its modem lines would move).
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
    # stty opens with O_NONBLOCK: tells a terminal apart and finds an exclusive holder.
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

kivo_check_display() {
    [ -n "${DISPLAY:-}" ] || { kivo_fail "no display is set: the panel is a window and needs a graphical session"; return 1; }
    # xdpyinfo comes with the developer's tools, not with the package.
    ! command -v xdpyinfo >/dev/null || xdpyinfo >/dev/null 2>&1 ||
        { kivo_fail "cannot reach the X display '$DISPLAY' (is the X server running, and may you use it? try 'xdpyinfo')"; return 1; }
}

# One panel per prefix: two would fight over COM11. fd 9 holds it until we exit.
kivo_lock() {
    local lockFile=$1/lock holder
    mkdir -p "$1" 2>/dev/null && { exec 9>>"$lockFile"; } 2>/dev/null || { kivo_fail "cannot write $lockFile"; return 1; }
    flock -n 9 && return 0
    holder=$(kivo_holders "$lockFile" | head -n 1)
    kivo_fail "the panel is already open${holder:+, by $holder}: close it first"
}

# A stand-in on COM11 sets the adapter aside, written down first: a session
# cut short gives it back at the next start.
kivo_set_aside_adapter() {
    local link=$WINEPREFIX/dosdevices/com11 adapter=''
    [ ! -L "$link" ] || adapter=$(readlink -- "$link")
    printf '%s\n' "$adapter" >"$WINEPREFIX/.kivo-com11-displaced"
    kivo_session_after+=(kivo_give_back_adapter)
}

kivo_give_back_adapter() {
    local prefix=${1:-$WINEPREFIX} adapter
    [ -f "$prefix/.kivo-com11-displaced" ] || return 0
    adapter=$(cat "$prefix/.kivo-com11-displaced")
    rm -f "$prefix/dosdevices/com11"
    [ -z "$adapter" ] || ln -s -- "$adapter" "$prefix/dosdevices/com11"
    rm -f "$prefix/.kivo-com11-displaced"
}

kivo_monitor_options() {
    if [ -n "$monitor" ] && [ -z "$device" ]; then
        kivo_fail "--monitor watches a real device: give it --device PATH (the simulator shows every transfer anyway)"
    elif [ -n "$logFile" ] && [ -z "$monitor" ]; then
        kivo_fail "--log FILE is the monitor's log: add --monitor"
    elif [ -n "$logFile" ] && ! touch -- "$logFile" 2>/dev/null; then
        kivo_fail "cannot write the log $logFile: give a file in a folder you may write to"
    fi
}

# COM11: the adapter, remembered in Wine's dosdevices link (maybe behind the monitor), or the simulator.
kivo_connect() {
    if [ "$mode" = simulator ]; then
        kivo_set_aside_adapter
        rm -f "$kivo_run/device.jsonl"
        kivo_start_simulator - "$kivo_run/device.jsonl" "${simulatorArgs[@]}" || return 1
        echo "$kivo_name: COM11 is the device simulator; its log is $kivo_run/device.jsonl"
        return
    fi
    ln -sfn -- "$device" "$WINEPREFIX/dosdevices/com11"
    [ -n "$monitor" ] || { echo "$kivo_name: COM11 is $device"; return; }
    kivo_set_aside_adapter
    kivo_start_monitor - "$device" "$logFile" || return 1
    echo "$kivo_name: COM11 is $device through the monitor${logFile:+; its log is $logFile}"
}

# The panel and the watch until the panel closes; a wait on jobs lets a trapped Ctrl-C act at once.
kivo_open_panel() {
    local status ended='' problem=''
    kivo_start_watch "$device"
    kivo_start - "$kivo_lib/wine" "$kivo_exe"
    local panel=$!
    wait -n -p ended "$panel" "$kivo_watch" && status=0 || status=$?
    if [ "$ended" = "$kivo_watch" ]; then
        # "Close the panel" in the watch's dialog ends it all, as Ctrl-C does.
        [ "$status" -ne 3 ] || exit 130
        wait "$panel" && status=0 || status=$?
    fi
    case $status in
        0) ;;
        3)  # The program ends at once, with 3, when a number or result cannot be sent.
            local to="the device simulator"
            [ -z "$device" ] || { to="the adapter"; problem=$(kivo_adapter_problem "$device" unopened); }
            kivo_fail "the panel closed because it could not send to $to${problem:+: $problem}"
            status=1 ;;
        *) kivo_fail "the panel ended with status $status: Wine could not run it (with WINEDEBUG=err+all set, Wine says why)" ;;
    esac
    return "$status"
}
