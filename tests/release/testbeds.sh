# shellcheck shell=bash
# Debian 12's and 13's tarballs in build/roots/ by mmdebstrap, made again at a
# week old or a new recipe: RELEASE-base.tar.gz, minimal, for piuparts, and
# RELEASE-testbed.tar, with the package's and its tests' dependencies.
kivo_top=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

kivo_other_release() { case $(. /etc/os-release && echo "${VERSION_CODENAME:-}") in bookworm) echo trixie ;; trixie) echo bookworm ;; *) return 1 ;; esac; }

kivo_release_name() { case $1 in bookworm) echo "Debian 12" ;; trixie) echo "Debian 13" ;; esac; }

# The tarball of RELEASE of KIND (base or testbed), made when needed, on stdout.
kivo_tarball() {
    local tarball=$kivo_top/build/roots/$1-$2.tar recipe
    # debconf's scratch folder, left by its first use as on any used system.
    local options=(--variant=minbase --customize-hook='mkdir -p "$1/var/cache/debconf/tmp.ci"')
    if [ "$2" = base ]; then
        tarball+=.gz
    else
        options=(--variant=apt --include="$(sed -n 's/^Depends://p' "$kivo_top/debian/tests/control" |
            cat - <(sed -n '/^Package:/,$ s/^Depends://p' "$kivo_top/debian/control") | tr ',' '\n' |
            sed 's/[(|$].*//; s/ //g' | grep -vx -e '' -e kivo | sort -u | paste -sd, -),apt-utils")
    fi
    recipe="${options[*]}"
    mkdir -p "${tarball%/*}"
    (
        flock 9
        [ "$(cat "$tarball.recipe" 2>/dev/null)" = "$recipe" ] && [ -n "$(find "$tarball" -mtime -7 2>/dev/null)" ] && exit
        echo "making $tarball, a minute or two" >&2
        # dash in apt's hooks names no pipe above 9, where a caller's descriptors would push it; 9, the lock, stays.
        for fd in "/proc/$BASHPID/fd"/*; do [ "${fd##*/}" -le 2 ] || [ "${fd##*/}" -eq 9 ] || eval "exec ${fd##*/}>&-"; done
        unshare --mount --propagation private mmdebstrap --aptopt='APT::Install-Recommends "false"' \
            "${options[@]}" "$1" "${tarball/.tar/.new.tar}" >"$tarball.log" 2>&1 ||
            { echo "could not make $tarball: see $tarball.log" >&2; exit 1; }
        mv "${tarball/.tar/.new.tar}" "$tarball"
        echo "$recipe" >"$tarball.recipe"
    ) 9>"$tarball.lock" && echo "$tarball"
}
