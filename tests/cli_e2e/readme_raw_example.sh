#!/usr/bin/env bash
# Runs the README's RAW adapter example and its install line exactly as written: the lines between the
# "raw-example" markers of README.md, from a scratch folder laid out like the top of the
# source tree after `bash scripts/demo.sh`, whose build/demo is this build folder (so the
# example's build line builds the port library here). Then checks that the simulated chip
# holds the example image.
# Arguments: the source folder, this build folder, a work folder.
set -u
SOURCE=$1 BUILD=$2 WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK"
fail() { echo "FAIL: $*"; exit 1; }

EXAMPLE="$WORK/example.sh"
sed -n '/^<!-- raw-example/,/^<!-- \/raw-example -->/p' "$SOURCE/README.md" | sed -n 's/^    //p' >"$EXAMPLE"
[ "$(grep -c . "$EXAMPLE")" -ge 2 ] || fail "no RAW example between the markers of README.md"
echo "--- the README's example"
cat "$EXAMPLE"
# The example's folder is the demo's: the demo must configure it without the tests, so
# that it builds on a machine without GoogleTest.
grep -q 'BUILD=${PYROLA_DEMO_BUILD:-$ROOT/build/demo}' "$SOURCE/scripts/demo.sh" ||
    fail "scripts/demo.sh no longer builds in build/demo"

ROOT="$WORK/root"
mkdir -p "$ROOT/build" "$ROOT/examples"
ln -s "$BUILD" "$ROOT/build/demo"
cp "$SOURCE"/examples/* "$ROOT/examples/"
export PYROLA_SETTINGS="$WORK/settings.ini"
unset PYROLA_SIM_FAULTS PYROLA_SIM_DEVICE PYROLA_LPT1
(cd "$ROOT" && timeout 300 bash -e "$EXAMPLE") >"$WORK/out.txt" 2>"$WORK/err.txt"
STATUS=$?
echo "--- output"
tail -n 20 "$WORK/out.txt"
cat "$WORK/err.txt"
[ "$STATUS" -eq 0 ] || fail "the example exited $STATUS"
grep -q -- '->Verify complete\.$' "$WORK/out.txt" || fail "the example did not verify"
grep -q -- '->LPT1: ' "$WORK/out.txt" || fail "the example did not name its port"
state=$(sed -n 's/.*PYROLA_SIM_STATE=\([^ ]*\).*/\1/p' "$EXAMPLE")
first=$(grep -m1 -v '^@' "$ROOT/examples/blink.txt" | tr -d '\r' | cut -d' ' -f1-4 | tr 'A-F' 'a-f')
got=$(od -A n -t x1 -j $((0xF000)) -N 4 "$state" | xargs)
[ "$got" = "$first" ] || fail "flash at 0xF000 holds \"$got\", the example \"$first\""

# The README's install line, staged into a scratch folder: the program, its manual page and
# the README, and nothing of the simulated chip.
INSTALL="$WORK/install.sh"
sed -n '/^<!-- install-example/,/^<!-- \/install-example -->/p' "$SOURCE/README.md" | sed -n 's/^    //p' >"$INSTALL"
[ "$(grep -c . "$INSTALL")" -ge 1 ] || fail "no install example between the markers of README.md"
(cd "$ROOT" && DESTDIR="$WORK/staged" timeout 120 bash -e "$INSTALL") >"$WORK/install.txt" 2>&1 ||
    fail "the install line failed: $(cat "$WORK/install.txt")"
prefix="$WORK/staged/usr/local"
for f in bin/pyrola share/man/man1/pyrola.1.gz share/doc/pyrola/README.md share/doc/pyrola/copyright; do
    [ -f "$prefix/$f" ] || fail "the install line did not install $f"
done
[ "$("$prefix/bin/pyrola" --version)" = "PYROLA v1.44" ] || fail "the installed pyrola does not run"
# The installed manual page reads, and its SEE ALSO names the README's folder under a prefix.
if command -v man >/dev/null 2>&1; then
    page=$(MANWIDTH=200 man -l "$prefix/share/man/man1/pyrola.1.gz" 2>&1 | tr -s " ") # justified: spaces vary
    grep -q "The README in share/doc/pyrola under the installation prefix" <<<"$page" ||
        fail "the installed manual page: $(sed -n '/SEE ALSO/,$p' <<<"$page")"
fi
if find "$WORK/staged" -name '*msp430*' -o -name '*simport*' -o -name '*bsl-sim*' | grep -q .; then
    fail "the install line installed the simulated chip"
fi
echo "README RAW example and install line passed"
