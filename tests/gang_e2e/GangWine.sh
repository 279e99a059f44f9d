#!/usr/bin/env bash
# --gang as the Windows build runs it (pyrola-cli.exe under Wine, the simulated MSP430.DLL,
# one chip per port): the stations are started through CreateProcess, their lines come back
# through pipes, and a Ctrl+C of the driver reaches every station through its cancel event
# (under Wine there is no console to carry it), each writing its FAIL line.
# Arguments: pyrola-cli.exe, MSP430.DLL, a work folder, the emulator (wine).
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
PYROLA=$1 FETLIB=$2 WORK=$3 EMULATOR=${4:-}
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK" || exit 1
export WINEDEBUG=-all PYROLA_FET_LIBRARY=Z:$FETLIB PYROLA_SETTINGS=Z:$WORK/settings.ini
export PYROLA_SIM_STATE=Z:$WORK/chip%p.state
unset PYROLA_SIM_FAULTS PYROLA_SIM_FET_DELAY PYROLA_SIM_BOARD

. "$HERE/../support/EndToEnd.sh"
printf '@F000\n31 40 00 03 B2 40 80 5A 20 01\n@FFFE\n00 F0\nq\n' >fw.txt

timeout 120 $EMULATOR "$PYROLA" --gang 1-3 -fet --log line.csv +ebpv fw.txt >gang.out 2>gang.err
status=$?
[ "$status" -eq 0 ] || fail "gang: exited $status: $(cat gang.out gang.err)"
grep -q "Gang: 3 of 3 boards passed" gang.out || fail "gang: $(cat gang.out)"
[ "$(grep -c '"PASS"' line.csv)" -eq 3 ] || fail "gang: not 3 PASS lines: $(cat line.csv)"
for port in 1 2 3; do
    grep -q "^\[FET(LPT$port)\] .*Verify complete\." gang.out || fail "gang: no lines of LPT$port"
    [ -f "chip$port.state" ] || fail "gang: no chip of its own on LPT$port"
done

# Ctrl+C: every station cancels and logs, the driver waits for them.
rm -f chip*.state
PYROLA_SIM_FET_DELAY=1500 $EMULATOR "$PYROLA" --gang 1-2 -fet --log cancel.csv +ebpv fw.txt >cancel.out 2>cancel.err &
GANG=$!
for _ in $(seq 200); do
    [ "$(grep -c 'Erasing flash memory' cancel.out 2>/dev/null)" = 2 ] && break
    sleep 0.05
done
kill -INT "$GANG"
wait "$GANG"
status=$?
[ "$status" -eq 1 ] || fail "cancel: exited $status: $(cat cancel.out cancel.err)"
[ "$(grep -c '"FAIL","Cancelled"' cancel.csv)" -eq 2 ] || fail "cancel: not 2 cancelled lines: $(cat cancel.csv)"
grep -q "Gang: 0 of 2 boards passed (cancelled)" cancel.out || fail "cancel: $(cat cancel.out)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "gang checks under Wine passed"
