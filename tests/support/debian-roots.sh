# shellcheck shell=bash
# Debian roots of Debian 12 and 13, kept in build/roots/, one a release:
# scripts/test runs the Windows tests a second time with the other release's
# Wine from its root, so that Debian 12 (Wine 8) and Debian 13 (Wine 10) are
# both tested in every run, and tests/release/package-checks tests the
# package in copies of both. Only Wine runs in a root; the tests, the display
# and the simulator stay on the machine and reach it through shared folders,
# the same ptys and the display's abstract socket. Source services.sh first.

kivo_support=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# The Debian release the machine is not: the one whose Wine runs second.
kivo_other_release() {
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    case $codename in
        bookworm) echo trixie ;;
        trixie) echo bookworm ;;
        *) return 1 ;;
    esac
}

kivo_release_name() {
    case $1 in
        bookworm) echo "Debian 12" ;;
        trixie) echo "Debian 13" ;;
        *) echo "$1" ;;
    esac
}

# Nothing may be mounted under a root that is about to be removed: rm would
# reach through a mount into the machine. Fails when something still is.
kivo_unmount_under() {
    local top=$1/ mountPoint
    awk -v top="$top" 'index($5, top) == 1 { print $5 }' /proc/self/mountinfo | sort -r |
        while read -r mountPoint; do umount -l "$mountPoint" || true; done
    ! awk -v top="$top" 'index($5, top) == 1 { found = 1 } END { exit !found }' /proc/self/mountinfo
}

# What a root holds besides the essential packages, apt resolving the rest
# from Debian with nothing recommended: the package's dependencies and its
# tests' (debian/), and the apt-ftparchive that autopkgtest's testbed needs.
kivo_root_packages() {
    local debian=$kivo_support/../../debian
    {
        echo apt-utils
        sed -n '/^Package:/,$ { /^Depends:/ s/^Depends://p }' "$debian/control"
        sed -n 's/^Depends://p' "$debian/tests/control"
    } | tr ',' '\n' | sed 's/(.*//; s/|.*//; s/\$.*//' | tr -d ' ' | grep -vx -e '' -e kivo | sort -u | paste -sd, -
}

# The root of RELEASE (build/roots/RELEASE), made when missing, when what it
# should hold changed, or when it is a week old (Debian's updates of Wine
# should be tested too); mmdebstrap's log beside it. One maker at a time.
kivo_make_root() {
    local release=$1 root recipe
    root=$(kivo_root "$1")
    recipe="$release: $(kivo_root_packages)"
    mkdir -p "${root%/*}"
    exec 6>"$root.making"
    flock 6
    if [ "$(cat "$root/.kivo-root" 2>/dev/null)" = "$recipe" ] && [ -z "$(find "$root/.kivo-root" -mtime +7)" ]; then
        exec 6>&-
        return 0
    fi
    command -v mmdebstrap >/dev/null || { kivo_fail "mmdebstrap is not installed (scripts/bootstrap installs it)"; return 1; }
    kivo_unmount_under "$root" || { kivo_fail "something is still mounted under $root: unmount it first"; return 1; }
    rm -rf "$root"
    echo "${KIVO_NAME:-kivo}: making a $(kivo_release_name "$release") root in $root, about 2 minutes"
    # mmdebstrap mounts the system's folders in the root while it works, and
    # has been seen to leave /proc there when a process held it at the end.
    if ! kivo_standard_fds_only kivo_private_mounts mmdebstrap --variant=apt --aptopt='APT::Install-Recommends "false"' \
        --include="${recipe#*: }" "$release" "$root" >"$root.log" 2>&1; then
        kivo_unmount_under "$root" && rm -rf "$root"
        kivo_fail "could not make the $(kivo_release_name "$release") root; see $root.log"
        return 1
    fi
    kivo_unmount_under "$root" || { kivo_fail "something is still mounted under $root: unmount it"; return 1; }
    echo "$recipe" >"$root/.kivo-root"
    exec 6>&-
}

# Runs a command with only stdin, stdout and stderr open. mmdebstrap hands
# apt's hooks a pipe that dash must name, and dash names none above 9 ("Bad
# fd number"): with a caller's descriptors open (a terminal tool's, a test
# runner's, our locks) mmdebstrap's own took it past 9 and it failed.
kivo_standard_fds_only() (
    local fd
    for fd in "/proc/$BASHPID/fd"/*; do
        fd=${fd##*/}
        [ "$fd" -le 2 ] || eval "exec $fd>&-"
    done
    "$@"
)

kivo_root() {
    echo "$(cd "$kivo_support/../.." && pwd)/build/roots/$1"
}

# Runs a command in a mount namespace of its own, whose mounts never reach
# the machine and go when it ends, however it ends; in a chroot, whose / is
# no mount point, as it is, since the propagation cannot be changed there.
kivo_private_mounts() {
    if unshare --mount --propagation private true 2>/dev/null; then
        unshare --mount --propagation private -- "$@"
    else
        "$@"
    fi
}

# In a chroot the mounts made in a root show on the machine as well, and
# nothing would undo them if the pass that made them were killed. This guard,
# in a session of its own, waits until nothing of the pass holds the root's
# lock any more (whatever the pass starts inherits it), then undoes them.
kivo_guard_mounts() {
    local root=$1
    exec 7>"$root.lock"
    flock 7
    # shellcheck disable=SC2016 # expanded by the guard's own shell
    setsid bash -c '. "$1"; exec 7>"$2.lock"; flock 7; kivo_unmount_under "$2"' guard \
        "$kivo_support/debian-roots.sh" "$root" </dev/null >/dev/null 2>&1 7>&- &
}

# Makes the root's Wine the one this shell and its children run: the
# folders the tests use are seen at the same paths inside the root, and
# wine, wineserver and wineboot on PATH run the root's. Call it in a mount
# namespace of its own (unshare -m), so that the mounts go when it ends,
# however it ends.
kivo_use_wine_root() {
    local root=$1 shared
    shift
    mount --rbind /dev "$root/dev" && mount -t proc proc "$root/proc" && mount --rbind /sys "$root/sys" ||
        { kivo_fail "cannot mount the system's folders in $root"; return 1; }
    for shared in /tmp "$@"; do
        mkdir -p "$root$shared" && mount --bind "$shared" "$root$shared" ||
            { kivo_fail "cannot share $shared with $root"; return 1; }
    done
    local shims=${root%/*}/bin command
    mkdir -p "$shims"
    for command in wine wine64 wineserver wineboot; do
        ln -sfn "$kivo_support/wine-in-root" "$shims/$command"
    done
    KIVO_WINE_ROOT=$root
    PATH=$shims:$PATH
    # The prefix takes the fonts of the Wine that runs it.
    KIVO_WINE_DATA=$root/usr/share/wine
    export KIVO_WINE_ROOT PATH KIVO_WINE_DATA
}
