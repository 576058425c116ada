# shellcheck shell=bash
# Where the version lives. debian/changelog leads, and the package and the
# installer take it from there. Every other place is listed here, as the exact
# text it holds for a version X.Y.Z: scripts/new-version rewrites these texts
# and scripts/release refuses a release where one of them says something else.

kivo_version_places() {
    local version=$1 commas=${1//./, }
    cat <<EOF
CMakeLists.txt	project(Kivo VERSION $version LANGUAGES
resources/kivo.rc	FILEVERSION     $commas, 0
resources/kivo.rc	PRODUCTVERSION  $commas, 0
resources/kivo.rc	VALUE "FileVersion",      "$version.0"
resources/kivo.rc	VALUE "ProductVersion",   "$version.0"
scripts/lib/launcher.sh	KIVO_VERSION=$version
packaging/kivo.1	"kivo $version"
packaging/windows-guide.txt	This guide is for version $version.
packaging/windows-guide.txt	kivo-$version-x64.msi
EOF
}

# The upstream version (X.Y.Z) that debian/changelog in the sources at TOP leads with.
kivo_changelog_version() {
    local version
    version=$(dpkg-parsechangelog -l "$1/debian/changelog" -S Version) || return 1
    echo "${version%-*}"
}

# Says, one line each, which places in the sources at TOP do not carry VERSION.
kivo_version_disagreements() {
    local top=$1 version=$2 file text
    while IFS=$'\t' read -r file text; do
        grep -qF -- "$text" "$top/$file" || echo "$file does not say '$text'"
    done < <(kivo_version_places "$version")
}
