#!/usr/bin/env bash
# Ctrl+C (and SIGTERM, SIGHUP) during a job: the program breaks the job off as Cancel
# does, waits for the worker and exits 1. The target is the simulated bootstrap loader on
# a pseudo-terminal, slow enough that the interrupt lands while the image is written.
# Arguments: pyrola, pyrola-bsl-sim, a work folder.
set -u
PYROLA=$1 SIM=$2 WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK"
fail() { echo "FAIL: $*"; echo "--- stdout"; cat "$WORK/out.txt"; echo "--- stderr"; cat "$WORK/err.txt"; exit 1; }

python3 - "$WORK/big.txt" <<'PY'
import sys
lines = ['@1100']
for i in range(0, 0x10000 - 0x1100, 16):
    lines.append(' '.join('%02X' % ((i + j) & 0xFF) for j in range(16)))
lines.append('q')
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
PY

mkfifo "$WORK/sim.in"
sleep 120 > "$WORK/sim.in" &
KEEP=$!
"$SIM" < "$WORK/sim.in" > "$WORK/sim.out" 2>&1 &
SIMPID=$!
trap 'kill $SIMPID $KEEP 2>/dev/null' EXIT
for _ in $(seq 1 100); do grep -q '^/dev/' "$WORK/sim.out" && break; sleep 0.05; done
PTY=$(grep -m1 '^/dev/' "$WORK/sim.out") || { echo "FAIL: the simulated loader gave no terminal"; exit 1; }

# Ctrl+C, and the signals a line controller or a closed terminal sends, all cancel alike.
for SIGNAL in INT TERM HUP; do
    PYROLA_SETTINGS="$WORK/settings.ini" PYROLA_COM1="$PTY" "$PYROLA" --device MSP430F169 -bsl +pv "$WORK/big.txt" \
        > "$WORK/out.txt" 2> "$WORK/err.txt" &
    P=$!
    for _ in $(seq 1 400); do grep -q 'Programming the device memory' "$WORK/out.txt" && break; sleep 0.025; done
    grep -q 'Programming the device memory' "$WORK/out.txt" || fail "SIG$SIGNAL: the job never started writing"
    kill -$SIGNAL $P
    wait $P
    STATUS=$?
    [ "$STATUS" = 1 ] || fail "SIG$SIGNAL: exit status $STATUS, expected 1"
    grep -q -- '->Break operation\.\.$' "$WORK/out.txt" || fail "SIG$SIGNAL: no 'Break operation..' line"
    grep -q -- '->Verify complete\.$' "$WORK/out.txt" && fail "SIG$SIGNAL: the job ran to its end"
    grep -q 'failed' "$WORK/out.txt" && fail "SIG$SIGNAL: a cancelled step reported a failure"
    grep -q "^Adapter=" "$WORK/settings.ini" 2>/dev/null && fail "SIG$SIGNAL: the run's adapter was stored"
done
echo "interrupt test passed"
