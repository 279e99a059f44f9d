#!/usr/bin/env bash
# Runs the README's loader example exactly as written: the lines between the
# "loader-example" markers of README.md, in a scratch folder laid out like the top of the
# source tree after `bash scripts/demo.sh` (build/demo/cli/pyrola and
# build/demo/sim/bslserve/pyrola-bsl-sim are this build's programs, examples/ the
# source's). Then checks that the server in the background served a real run and ended
# when its link was removed.
# Arguments: the source folder, pyrola, pyrola-bsl-sim, a work folder.
set -u
SOURCE=$1 PYROLA=$2 SIM=$3 WORK=$4
rm -rf "$WORK" && mkdir -p "$WORK"
fail() { echo "FAIL: $*"; exit 1; }

README="$SOURCE/README.md"
EXAMPLE="$WORK/example.sh"
sed -n '/^<!-- loader-example/,/^<!-- \/loader-example -->/p' "$README" | sed -n 's/^    //p' >"$EXAMPLE"
[ "$(grep -c . "$EXAMPLE")" -ge 3 ] || fail "no loader example between the markers of README.md"
echo "--- the README's example"
cat "$EXAMPLE"
# The example relies on the demo script building the server.
grep -q -- '--target pyrola msp430sim pyrola-bsl-sim' "$SOURCE/scripts/demo.sh" ||
    fail "scripts/demo.sh does not build pyrola-bsl-sim"

ROOT="$WORK/root"
mkdir -p "$ROOT/build/demo/cli" "$ROOT/build/demo/sim/bslserve" "$ROOT/examples"
ln -s "$PYROLA" "$ROOT/build/demo/cli/pyrola"
ln -s "$SIM" "$ROOT/build/demo/sim/bslserve/pyrola-bsl-sim"
cp "$SOURCE"/examples/* "$ROOT/examples/"
LINK="$ROOT/build/demo/COM1"
trap 'rm -f "$LINK"' EXIT # a failed run must not leave the server behind

# The environment only keeps the run's files in the work folder; the chip's state file
# shows when the server has ended (it is written on the way out).
export PYROLA_SETTINGS="$WORK/settings.ini" PYROLA_SIM_STATE="$WORK/chip.bin"
unset PYROLA_SIM_PACE PYROLA_SIM_FAULTS PYROLA_SIM_DEVICE PYROLA_SIM_BSL_PATCH PYROLA_COM1
(cd "$ROOT" && timeout 120 bash -e "$EXAMPLE") >"$WORK/out.txt" 2>"$WORK/err.txt"
STATUS=$?
echo "--- output"
cat "$WORK/out.txt" "$WORK/err.txt"
[ "$STATUS" -eq 0 ] || fail "the example exited $STATUS"
grep -q -- '->Verify complete\.$' "$WORK/out.txt" || fail "the example did not verify"
grep -q -- '->Erase complete\.$' "$WORK/out.txt" || fail "the example did not erase"
grep -q -- '->Blank check complete\.$' "$WORK/out.txt" || fail "the example did not blank-check"
grep -qx 'PASS' "$WORK/out.txt" || fail "the example did not print PASS"

for _ in $(seq 1 100); do [ -s "$PYROLA_SIM_STATE" ] && break; sleep 0.1; done
[ -s "$PYROLA_SIM_STATE" ] || fail "the server did not end when its link was removed"
[ ! -e "$LINK" ] || fail "the link is still there"
# The flash the server saved holds the example's first bytes.
first=$(grep -m1 -v '^@' "$ROOT/examples/blink.txt" | tr -d '\r' | cut -d' ' -f1-4 | tr 'A-F' 'a-f')
got=$(od -A n -t x1 -j $((0xF000)) -N 4 "$PYROLA_SIM_STATE" | xargs)
[ "$got" = "$first" ] || fail "flash at 0xF000 holds \"$got\", the example \"$first\""
echo "README loader example passed"
