#!/usr/bin/env bash
# Native pyrola and the Windows build's pyrola-cli.exe under Wine serializing from one .sprj:
#   1. while another process holds an fcntl lock on the file's lock (the kind native pyrola
#      takes), the Windows program waits for it before it takes a number;
#   2. the concurrent test with the second board of each pair run under Wine.
# Needs PYROLA_E2E_WINE_CLI (pyrola-cli.exe) and PYROLA_E2E_WINE_FETLIB (its MSP430.DLL);
# without them it is skipped (exit 77).
# Arguments: pyrola, the simulated FET library, a work folder.
set -u
if [ -z "${PYROLA_E2E_WINE_CLI:-}" ] || [ -z "${PYROLA_E2E_WINE_FETLIB:-}" ]; then
    echo "skipped: PYROLA_E2E_WINE_CLI and PYROLA_E2E_WINE_FETLIB name the Windows build"
    exit 77
fi
command -v wine >/dev/null || { echo "FAIL: wine is not installed"; exit 1; }
command -v python3 >/dev/null || { echo "FAIL: python3 is not installed"; exit 1; }
WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK/held"
held=$WORK/held
printf '[Options]\r\nAddress=0x1000\r\nType=0\r\nSerial=SN-0001\r\n' >"$held/unit.sprj"
# A classic whole-file fcntl lock, held 8 s; "locked" once it is taken.
python3 - "$held/unit.sprj.lock" "$held/locked" <<'PY' &
import fcntl, sys, time
with open(sys.argv[1], "a") as lock:
    fcntl.lockf(lock, fcntl.LOCK_EX)
    open(sys.argv[2], "w").close()
    time.sleep(8)
PY
HOLDER=$!
for _ in $(seq 100); do [ -e "$held/locked" ] && break; sleep 0.05; done
win() { local p=${1//\//\\}; echo "Z:$p"; }
PYROLA_SETTINGS=$(win "$held/s.ini") PYROLA_SIM_STATE=$(win "$held/chip.state") \
    PYROLA_FET_LIBRARY=$(win "$PYROLA_E2E_WINE_FETLIB") \
    wine "$PYROLA_E2E_WINE_CLI" -fet --serial "$(win "$held/unit.sprj")" >"$held/out" 2>&1
status=$?
# The program's own time, Wine's start left out: about 1 s when nothing holds the lock.
took=$(tr -d '\r' <"$held/out" | sed -n 's/.*Result: PASS in \([0-9]*\) ms.*/\1/p')
took=${took:-0}
wait "$HOLDER"
failed=0
[ "$status" = 0 ] || { echo "FAIL: the Windows program exited $status"; cat "$held/out"; failed=1; }
# Wine starts in under 5 s here; taking the number had to wait for the rest of the 8 s.
[ "$took" -ge 3000 ] || { echo "FAIL: the Windows program took its number in $took ms, through a held lock"; failed=1; }
grep -q "^Serial=SN-0002" "$held/unit.sprj" || { echo "FAIL: unit.sprj: $(cat "$held/unit.sprj")"; failed=1; }
[ $failed = 0 ] && echo "the Windows program waited $took ms for a held fcntl lock"

B_PYROLA=$PYROLA_E2E_WINE_CLI B_FETLIB=$PYROLA_E2E_WINE_FETLIB B_EMULATOR=wine \
    bash "$(dirname "$0")/Concurrent.sh" "$1" "$2" "$WORK/pairs" || failed=1
exit $failed
