#!/usr/bin/env bash
# The loader's faster line over the paced served loader (real time, as a chip answers):
#   1. the same 8 KiB image programmed and verified on an F169 (loader 1.60) at 9600 and at
#      38400 baud, wall times side by side: 38400 must be at least 3 times faster, and the
#      chip must hold the image after each run;
#   2. an F149 (loader 1.10) asked for 38400 says that it stays at 9600 and still succeeds.
# Arguments: pyrola, pyrola-bsl-sim, a work folder.
set -u
PYROLA=$1 SIM=$2 WORK=$3
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK" || exit 1
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export PYROLA_SETTINGS=$WORK/settings.ini
unset PYROLA_SIM_PACE PYROLA_SIM_FAULTS PYROLA_SIM_BSL_PATCH

# 8 KiB at 0xE000-0xFFFF; its last 32 bytes are the vector table and so the password.
python3 - image.txt image.bin <<'PY'
import sys
data = bytes(((i * 7) ^ (i >> 5)) & 0xFF for i in range(0x2000))
open(sys.argv[2], 'wb').write(data)
lines = ['@E000'] + [' '.join('%02X' % b for b in data[i:i + 16]) for i in range(0, len(data), 16)] + ['q']
open(sys.argv[1], 'w').write('\n'.join(lines) + '\n')
PY

LINK=$WORK/COM1
trap 'rm -f "$LINK"' EXIT
serve() { # device, state file
    PYROLA_SIM_DEVICE=$1 PYROLA_SIM_STATE=$2 "$SIM" --detach --link "$LINK" >/dev/null ||
        { echo "FAIL: the simulated loader did not start"; exit 1; }
}
unserve() { # state file: removing the link ends the server, which then saves the chip
    rm -f "$LINK"
    for _ in $(seq 1 100); do [ -s "$1" ] && return; sleep 0.1; done
    fail "the server did not save $1"
}
ms() { echo $(($(date +%s%N) / 1000000)); }
run() { # name, arguments...
    local name=$1; shift
    local t0; t0=$(ms)
    PYROLA_COM1=$LINK timeout 200 "$PYROLA" "$@" >"$name.out" 2>"$name.err"
    local status=$?
    eval "${name}_ms=$(($(ms) - t0))"
    [ "$status" -eq 0 ] || fail "pyrola $* exited $status: $(cat "$name.out" "$name.err")"
}
holds_image() { # state file
    cmp -s <(dd if="$1" bs=1 skip=$((0xE000)) count=8192 status=none) image.bin ||
        fail "the chip in $1 does not hold the image"
}

serve MSP430F169 "$WORK/slow.bin"
run slow -bsl -c1 +pv image.txt
unserve "$WORK/slow.bin"
holds_image "$WORK/slow.bin"
serve MSP430F169 "$WORK/fast.bin"
run fast --bsl-speed 38400 -bsl -c1 +pv image.txt
unserve "$WORK/fast.bin"
holds_image "$WORK/fast.bin"
grep -q "Verify complete." fast.out || fail "the 38400 run did not verify: $(cat fast.out)"
grep -q "baud" fast.out && fail "the 38400 run says it could not switch: $(cat fast.out)"

echo "8 KiB program and verify over the paced loader (F169, loader 1.60):"
printf '   9600 baud: %6d ms\n  38400 baud: %6d ms\n' "$slow_ms" "$fast_ms"
[ "$((fast_ms * 3))" -le "$slow_ms" ] || fail "38400 baud is not 3 times faster ($slow_ms ms against $fast_ms ms)"

# An old loader cannot change: one line says so, and the run still succeeds.
printf '@F000\n31 40 00 0A 3F 40 34 12\nq\n' >small.txt
serve MSP430F149 "$WORK/old.bin"
run old --bsl-speed 38400 -bsl -c1 +epv small.txt
unserve "$WORK/old.bin"
grep -q -- "->Loader version 1.10 cannot change its speed (1.60 and later can): staying at 9600 baud instead of 38400 baud.$" old.out ||
    fail "no line that the 1.10 loader stays at 9600: $(cat old.out)"
[ "$(grep -c "cannot change its speed" old.out)" -eq 1 ] || fail "the line came more than once: $(cat old.out)"
grep -q -- "->Verify complete.$" old.out || fail "the 1.10 run did not verify: $(cat old.out)"
# The option held for the run only: the stored speed is still the default.
! grep -q '^BslSpeed=38400' settings.ini || fail "the run's speed was saved: $(cat settings.ini)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "loader speed checks passed"
