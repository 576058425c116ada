# shellcheck shell=bash
# The other Debian release's Wine, in a Debian root of its own kept under
# build/: scripts/test runs the Windows tests once with the machine's Wine and
# once with this one, so that Debian 12 (Wine 8) and Debian 13 (Wine 10) are
# both tested in every run. Only Wine runs in the root; the tests, the
# display and the simulator stay on the machine and reach it through shared
# folders, the same ptys and the display's abstract socket.

# What a root holds; a root made to another recipe, or older than a week
# (Debian's updates of Wine should be tested too), is made again.
KIVO_WINE_ROOT_PACKAGES=(wine wine64 fonts-wine)

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

# A root of RELEASE at DIR with the recipe's packages, made when missing or
# stale; mmdebstrap's log beside it.
kivo_make_wine_root() {
    local release=$1 root=$2 recipe
    recipe="$release: ${KIVO_WINE_ROOT_PACKAGES[*]}"
    if [ "$(cat "$root/.kivo-root" 2>/dev/null)" = "$recipe" ] &&
        [ -z "$(find "$root/.kivo-root" -mtime +7)" ]; then
        return 0
    fi
    command -v mmdebstrap >/dev/null || { kivo_fail "mmdebstrap is not installed (scripts/bootstrap installs it)"; return 1; }
    kivo_unmount_under "$root" || { kivo_fail "something is still mounted under $root: unmount it first"; return 1; }
    rm -rf "$root"
    mkdir -p "$(dirname "$root")"
    echo "${KIVO_NAME:-kivo}: making a $(kivo_release_name "$release") root with its Wine in $root, about 2 minutes"
    local packages
    packages=$(IFS=,; echo "${KIVO_WINE_ROOT_PACKAGES[*]}")
    # mmdebstrap mounts the system's folders in the root while it works, and
    # has been seen to leave /proc there when a process held it at the end.
    if ! kivo_private_mounts mmdebstrap --variant=apt --aptopt='APT::Install-Recommends "false"' \
        --include="$packages" "$release" "$root" >"${root%/*}/mmdebstrap.log" 2>&1; then
        kivo_unmount_under "$root" && rm -rf "$root"
        kivo_fail "could not make the $release root; see ${root%/*}/mmdebstrap.log"
        return 1
    fi
    kivo_unmount_under "$root" || { kivo_fail "something is still mounted under $root: unmount it"; return 1; }
    echo "$recipe" >"$root/.kivo-root"
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
    # shellcheck disable=SC2016,SC2154 # expanded by the guard's own shell; kivo_lib is services.sh's
    setsid bash -c '. "$1"; exec 7>"$2.lock"; flock 7; kivo_unmount_under "$2"' guard \
        "$kivo_lib/wine-root.sh" "$root" </dev/null >/dev/null 2>&1 7>&- &
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
        # shellcheck disable=SC2154 # services.sh's, sourced first
        ln -sfn "$kivo_lib/wine-in-root" "$shims/$command"
    done
    KIVO_WINE_ROOT=$root
    PATH=$shims:$PATH
    # The prefix takes the fonts of the Wine that runs it.
    KIVO_WINE_DATA=$root/usr/share/wine
    export KIVO_WINE_ROOT PATH KIVO_WINE_DATA
}
