#!/usr/bin/env bash
# Builds the packages from existing build folders and checks that what they install runs:
#   the Debian package (native build): installed with dpkg when run as root (removed again
#   afterwards unless it was installed before), else unpacked into a scratch folder; then
#   `pyrola --version`, `man -l` on its manual page and lintian on the package;
#   the Windows zip (mingw-w64 build): unpacked into a scratch folder, its three files
#   checked and `pyrola-cli.exe --version` run under Wine.
#
#   scripts/package-check.sh NATIVE_BUILD_DIR [MINGW_BUILD_DIR]
#
# Needs dpkg, man-db, lintian (checked when present) and (for the zip) wine. PYROLA_PACKAGE_UNPACK=1 unpacks the Debian
# package even as root.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
NATIVE=$(cd "${1:?usage: package-check.sh NATIVE_BUILD_DIR [MINGW_BUILD_DIR]}" && pwd)
MINGW=${2:+$(cd "$2" && pwd)}
JOBS=${JOBS:-2}
VERSION=$(sed -n 's/^project(Pyrola VERSION \([0-9.]*\).*/\1/p' "$ROOT/CMakeLists.txt")
SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/pyrola-package.XXXXXX")
cleanup=("rm -rf '$SCRATCH'")
trap 'for c in "${cleanup[@]}"; do eval "$c"; done' EXIT
fail() { echo "package-check: $*" >&2; exit 1; }

echo "==== Debian package from $NATIVE"
cmake --build "$NATIVE" -j "$JOBS" --target pyrola
rm -f "$NATIVE"/packages/pyrola_*.deb
(cd "$NATIVE" && cpack -G DEB >/dev/null)
deb=$(ls "$NATIVE"/packages/pyrola_*.deb)
# Read whole before matching: with pipefail, `grep -q` quitting early can fail the pipe.
info=$(dpkg-deb --info "$deb")
grep -q "Version: $VERSION" <<<"$info" || fail "the package does not carry version $VERSION"
if [ "$(id -u)" = 0 ] && [ "${PYROLA_PACKAGE_UNPACK:-0}" != 1 ]; then
    status=$(dpkg-query -W -f='${Status}' pyrola 2>/dev/null || true)
    if [ "$status" != "install ok installed" ]; then
        cleanup+=("dpkg -r pyrola >/dev/null")
    fi
    dpkg -i "$deb"
    PREFIX=/usr
else
    dpkg-deb -x "$deb" "$SCRATCH/deb"
    PREFIX=$SCRATCH/deb/usr
fi
printed=$("$PREFIX/bin/pyrola" --version)
[ "$printed" = "PYROLA v$VERSION" ] || fail "pyrola --version printed '$printed'"
echo "$PREFIX/bin/pyrola --version: $printed"
page=$(MANWIDTH=80 man -l "$PREFIX/share/man/man1/pyrola.1.gz" 2>&1)
grep -q "pyrola - flash programmer" <<<"$page" || fail "man -l: no manual page"$'\n'"$page"
grep -q "EXIT STATUS" <<<"$page" || fail "man -l: the page lacks its exit statuses"
[ -f "$PREFIX/share/doc/pyrola/README.md" ] || fail "no README in share/doc/pyrola"
[ -f "$PREFIX/share/doc/pyrola/copyright" ] || fail "no copyright file in share/doc/pyrola"
echo "man -l $PREFIX/share/man/man1/pyrola.1.gz: $(echo "$page" | sed -n 4p | sed 's/^ *//')"
# Debian's own package checks: no error and no warning.
if command -v lintian >/dev/null 2>&1; then
    lintian --fail-on error,warning "$deb" 2>&1 | grep -v "running with root privileges" || true
    lintian --fail-on error,warning "$deb" >/dev/null 2>&1 || fail "lintian finds faults in $deb"
    echo "lintian: $(basename "$deb") clean"
fi

if [ -n "$MINGW" ]; then
    echo "==== Windows zip from $MINGW"
    cmake --build "$MINGW" -j "$JOBS" --target pyrola pyrola_gui
    rm -f "$MINGW"/packages/pyrola-*.zip
    (cd "$MINGW" && cpack -G ZIP >/dev/null)
    zip=$(ls "$MINGW"/packages/pyrola-*.zip)
    mkdir -p "$SCRATCH/zip"
    (cd "$SCRATCH/zip" && cmake -E tar xf "$zip")
    folder=$(find "$SCRATCH/zip" -name pyrola-cli.exe -printf '%h\n' | head -n 1)
    [ -n "$folder" ] || fail "no pyrola-cli.exe in $zip"
    for f in pyrola.exe pyrola-cli.exe README.md; do
        [ -f "$folder/$f" ] || fail "no $f in $zip"
    done
    if [ -z "${WINEPREFIX:-}" ]; then
        export WINEPREFIX="$SCRATCH/wine"
        cleanup=("wineserver -k >/dev/null 2>&1 || true" "${cleanup[@]}")
    fi
    printed=$(WINEDEBUG=-all wine "$folder/pyrola-cli.exe" --version 2>/dev/null | tr -d '\r')
    [ "$printed" = "PYROLA v$VERSION" ] || fail "pyrola-cli.exe --version under Wine printed '$printed'"
    echo "wine pyrola-cli.exe --version: $printed"
fi
echo "==== packages checked"
