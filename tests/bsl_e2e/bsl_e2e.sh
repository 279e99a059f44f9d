#!/usr/bin/env bash
# pyrola -bsl against the simulated loader on a pseudo-terminal (unpaced, for speed):
#   1. erase, blank check, program and verify an image on an F149 (old loader: the
#      vendor's patch, stood in for by a file the simulator is told works, is loaded from
#      bslpatch.txt beside the program for the blank check), then read it back;
#   2. the loader stays locked without the image's vectors as password;
#   3. the chip's flash, as the simulator saves it, holds the image;
#   4. without bslpatch.txt, with the patch switched off, or with an unusable file, the old
#      loader warns why it runs unpatched and blank-checks by reading back;
#   4a. with the information memory protected (-pi) Erase keeps every information byte;
#      reads and dumps with a named image unlock with its vectors; a blank chip takes +p
#      alone; a silent target fails Init at once;
#   5. a port that does not exist is reported with its device and the system's reason;
#   6. the loader's faults from PYROLA_SIM_FAULTS, and paced answers at the line rate;
#   7. when PYROLA_E2E_WINE_CLI names the Windows build's pyrola-cli.exe, the same
#      program-and-verify run through the Win32 serial backend under Wine, with a COM port
#      that Wine maps onto the simulator's terminal, and one at 38400 baud.
set -u
PYROLA=$1
SIM=$2
WORK=$3
rm -rf "$WORK"
mkdir -p "$WORK"
cd "$WORK" || exit 1

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_in() { # file, text
    grep -qF -- "$2" "$1" || fail "\"$2\" missing from $(basename "$1"):"$'\n'"$(cat "$1")"
}

SIM_PID=""
start_sim() { # device, state file (further settings come from the environment)
    mkfifo ctl.fifo out.fifo
    PYROLA_SIM_DEVICE=$1 PYROLA_SIM_STATE=$2 "$SIM" <ctl.fifo >out.fifo 2>sim.err &
    SIM_PID=$!
    exec 3>ctl.fifo
    if ! read -r -t 20 PTY <out.fifo; then
        echo "FAIL: the simulator printed no terminal path"; cat sim.err; exit 1
    fi
    export PYROLA_COM1=$PTY
}
stop_sim() {
    exec 3>&-                      # closing its standard input ends the simulator
    wait "$SIM_PID" || fail "simulator exit status $?"
    rm -f ctl.fifo out.fifo
}
run() { # name, expected status, arguments...
    local name=$1 expected=$2; shift 2
    timeout 120 "$PYROLA" "$@" >"$name.out" 2>"$name.err"
    local status=$?
    [ "$status" -eq "$expected" ] || fail "pyrola $* exited $status, expected $expected"$'\n'"$(cat "$name.out" "$name.err")"
}
trap '[ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null' EXIT

# The image: code at 0xF000 and a full vector table, which is the loader's password.
cat >image.txt <<'TXT'
@F000
31 40 00 0A 3F 40 34 12 B2 40 80 5A 20 01 D2 43
22 00 D2 E3 21 00 3F 40 50 C3 1F 83 FE 23 F9 3F
@FFE0
00 F0 02 F0 04 F0 06 F0 08 F0 0A F0 0C F0 0E F0
10 F0 12 F0 14 F0 16 F0 18 F0 1A F0 1C F0 00 F0
q
TXT
printf '\x31\x40\x00\x0A\x3F\x40\x34\x12\xB2\x40\x80\x5A\x20\x01\xD2\x43\x22\x00\xD2\xE3\x21\x00\x3F\x40\x50\xC3\x1F\x83\xFE\x23\xF9\x3F' >expected_f000.bin
printf '\x00\xF0\x02\xF0\x04\xF0\x06\xF0\x08\xF0\x0A\xF0\x0C\xF0\x0E\xF0\x10\xF0\x12\xF0\x14\xF0\x16\xF0\x18\xF0\x1A\xF0\x1C\xF0\x00\xF0' >expected_ffe0.bin

export PYROLA_SETTINGS=$WORK/settings.ini
export PYROLA_SIM_PACE=0
unset PYROLA_SIM_FAULTS PYROLA_SIM_BSL_PATCH

# The stand-in for the vendor's patch: a start word and NOP words. A copy of the program
# finds it as bslpatch.txt beside itself; the simulator is told that it works.
mkdir -p patched
cp "$PYROLA" patched/pyrola
{
    echo "@0220"
    echo "24 02 50 59 03 43 03 43 03 43 03 43 03 43 03 43"
    echo "03 43 03 43 03 43 03 43 03 43 03 43 03 43 30 41"
    echo "q"
} >patched/bslpatch.txt
UNPATCHED=$PYROLA
PYROLA=$WORK/patched/pyrola
export PYROLA_SIM_BSL_PATCH=$WORK/patched/bslpatch.txt

start_sim MSP430F149 "$WORK/chip.bin"
run program 0 -bsl -c1 --store-settings +ebpv image.txt
for text in "Erase complete." "Blank check complete." "Program complete." "Verify complete."; do
    expect_in program.out "$text"
done
run readback 0 -bsl -c1 +r --save readback.txt image.txt
expect_in readback.out "Reading device memory.."
# The loader cannot tell an F149 from the other F13x/F14x parts (the fuses that do are out
# of its reach): --device picks one of them, and a verbose run says what the loader is.
run named 0 --verbose --device MSP430F149 -bsl -c1 +v image.txt
expect_in named.out "Device: MSP430F149. Info(0x1000-0x10FF), Main:(0x1100-0xFFFF)"
expect_in named.out "Loader version 1.10, identification 0xF1, one of MSP430F133, F135, F147, F148, F149"
expect_in named.out "Chosen among MSP430F133, F135, F147, F148, F149, which the BSL adapter cannot tell apart."
expect_in named.out "Verify complete."
run namedread 0 --device MSP430F149 -bsl -c1 +r --save namedread.txt image.txt
expect_in namedread.out "Read 61440(0xF000) bytes"
# Unnamed, the steps keep to the memory all five have, and the log says how to choose.
run unnamed 0 -bsl -c1 +v image.txt
expect_in unnamed.out "Device: one of MSP430F133, F135, F147, F148, F149. Info(0x1000-0x10FF), Main:(0xE000-0xFFFF)"
expect_in unnamed.out "Name the part with --device"
# A part outside the set is refused before anything changes on the chip.
run notamong 1 --device MSP430F169 -bsl -c1 +ebpv image.txt
expect_in notamong.out "The chip is one of MSP430F133, F135, F147, F148, F149, not the MSP430F169 that was named"
grep -q "Erasing" notamong.out && fail "a refused chip was erased: $(cat notamong.out)"
# An image that needs more than the shared memory is refused, unnamed, before the erase.
{ echo "@8000"; echo "12 34"; sed -n '2,$p' image.txt; } >big.txt
run bigunnamed 1 -bsl -c1 +ebpv big.txt
expect_in bigunnamed.out "The image reaches 0x8000, beyond the memory all of MSP430F133, F135, F147, F148, F149 have"
grep -q "Erasing" bigunnamed.out && fail "an image beyond the shared memory let the erase run: $(cat bigunnamed.out)"
grep -q "failed" readback.out readback.err && fail "read back reported a failure: $(cat readback.out readback.err)"
run locked 1 -bsl -c1 +r --save locked.txt
expect_in locked.out "Protected function. Password not match"
# A dump without the image the chip holds says how to unlock it.
run lockeddump 1 -bsl -c1 --dump ram
expect_in lockeddump.out "name the image the chip holds, whose vectors it has"
stop_sim

[ -f chip.bin ] || fail "the simulator saved no state"
dd if=chip.bin of=got_f000.bin bs=1 skip=$((0xF000)) count=32 status=none
dd if=chip.bin of=got_ffe0.bin bs=1 skip=$((0xFFE0)) count=32 status=none
cmp -s got_f000.bin expected_f000.bin || fail "flash at 0xF000 differs: $(od -A x -t x1 got_f000.bin)"
cmp -s got_ffe0.bin expected_ffe0.bin || fail "vectors differ: $(od -A x -t x1 got_ffe0.bin)"
dd if=chip.bin of=got_gap.bin bs=1 skip=$((0xF020)) count=16 status=none
[ "$(od -A n -t x1 got_gap.bin | tr -d ' \n')" = "ffffffffffffffffffffffffffffffff" ] || fail "flash after the image is not erased"

# An old loader without the patch: a warning that says why, and a blank check by reading
# back, which passes on the erased chip.
PYROLA=$UNPATCHED
start_sim MSP430F149 "$WORK/chip2.bin"
run progonly 0 -bsl -c1 +ep image.txt
expect_in progonly.out "Nothing checked what was programmed (the BSL target does not read it back): verify with +v."
run nofile 0 -bsl -c1 +ebpv image.txt
grep -q "verify with +v" nofile.out && fail "a run that verifies was told to verify: $(cat nofile.out)"
expect_in nofile.out "Warning: loader 1.10 runs without the chip vendor's patch"
expect_in nofile.out "no patch file $(dirname "$UNPATCHED")/bslpatch.txt"
expect_in nofile.out "Blank check by reading back (loader 1.10 has no erase check without the patch"
expect_in nofile.out "Verify complete."
PYROLA=$WORK/patched/pyrola
sed -i 's/^BslPatch=.*/BslPatch=0/' settings.ini
grep -q '^BslPatch=0' settings.ini || fail "settings file has no BslPatch value: $(cat settings.ini)"
run nopatch 0 -bsl -c1 +eb image.txt
expect_in nopatch.out '"BslPatch" setting is off'
expect_in nopatch.out "Blank check complete."
sed -i 's/^BslPatch=.*/BslPatch=1/' settings.ini
cp patched/bslpatch.txt patch.good
printf '@0300\n01 02\nq\n' >patched/bslpatch.txt
run badpatch 0 -bsl -c1 +eb image.txt
expect_in badpatch.out "Loader patch not loaded: the patch file $WORK/patched/bslpatch.txt is not usable: data does not start at 0x0220."
expect_in badpatch.out "Blank check by reading back"
cp patch.good patched/bslpatch.txt
stop_sim

# The information memory protected: Erase erases main memory alone. The chip first gets
# calibration-like bytes at 0x1000 and the image's vectors.
{
    echo "@1000"
    echo "5A A5 12 34 56 78 9A BC DE F0 0F 1E 2D 3C 4B 69"
    sed -n '2,$p' image.txt
} >withinfo.txt
start_sim MSP430F169 "$WORK/chip11.bin"
run withinfo 0 -bsl -c1 +epv withinfo.txt
run protectinfo 0 -pi -bsl -c1 +eb image.txt
expect_in protectinfo.out "Blank check by the loader's erase check."
# Reads and dumps with the named image unlock with its vectors (the chip is erased now, so
# program it again first).
run again 0 -bsl -c1 +pv image.txt
run dump 0 -bsl -c1 --dump id image.txt
expect_in dump.out "Dump complete."
# A serial in the other information segment: this 1.60 loader checks all information
# memory after a segment erase there and refuses while 0x1000 holds data; the segment's
# own erase check decides.
printf '[Options]\r\nAddress=0x1080\r\nType=0\r\nSerial=UNIT0001\r\n' >unit.sprj
run serialinfo 0 -bsl -c1 --serial unit.sprj image.txt
expect_in serialinfo.out "Serial number written: UNIT0001"
stop_sim
info=$(od -A n -t x1 -j $((0x1000)) -N 16 chip11.bin | xargs)
[ "$info" = "5a a5 12 34 56 78 9a bc de f0 0f 1e 2d 3c 4b 69" ] || fail "the information memory was erased: $info"
serial=$(od -A n -t x1 -j $((0x1080)) -N 9 chip11.bin | xargs)
[ "$serial" = "55 4e 49 54 30 30 30 31 00" ] || fail "the serial is not at 0x1080: $serial"

# A blank chip programmed with +p alone: the image's vectors are acknowledged but do not
# unlock it; the erased-device password does.
start_sim MSP430F169 "$WORK/chip12.bin"
run blankp 0 -bsl -c1 +p image.txt
expect_in blankp.out "The loader took the erased-device password, not the image's"
# Now the chip holds other vectors than this file's: error 13, never a NAK.
sed 's/^10 F0 12 F0/10 F1 12 F1/' image.txt >other.txt
run otherp 1 -bsl -c1 +p other.txt
expect_in otherp.out "Protected function. Password not match"
grep -q "NAK received" otherp.out && fail "a wrong password showed as a NAK: $(cat otherp.out)"
stop_sim

# No chip answering: Init fails at once with the port and the likely causes.
PYROLA_SIM_FAULTS=silent start_sim MSP430F169 "$WORK/chip13.bin"
t0=$(date +%s%N)
run silent 1 -bsl -c1 +ebpv image.txt
t1=$(date +%s%N)
stop_sim
expect_in silent.out "No chip answers on COM1"
expect_in silent.out "Synchronization error"
grep -q "Device: " silent.out && fail "a silent target was taken for a device: $(cat silent.out)"
[ $(((t1 - t0) / 1000000)) -lt 5000 ] || fail "Init took $(((t1 - t0) / 1000000)) ms to give up"

# A port that is not there: the device and the system's reason.
export PYROLA_COM2=$WORK/no-such-port
run noport 1 -bsl -c2 +r --save noport.txt image.txt
expect_in noport.out "Could not open port"
expect_in noport.out "Port COM2 ($WORK/no-such-port): No such file or directory"

# Faults over the terminal: a wrong password, lost bytes, a locked flash controller (the
# program without the patch, so that the frames can be counted).
PYROLA=$UNPATCHED
PYROLA_SIM_FAULTS=wrongpassword start_sim MSP430F149 "$WORK/chip5.bin"
run wrongpassword 1 -bsl -c1 +p image.txt
expect_in wrongpassword.out "Protected function. Password not match"
stop_sim
PYROLA_SIM_FAULTS=drop=1 start_sim MSP430F149 "$WORK/chip6.bin"
run dropped 0 -bsl -c1 +epv image.txt # the first synchronisation is lost and tried again
stop_sim
# The answers from the 30th on fall among the unpatched loader's 20 mass-erase frames and
# their synchronisations: with 31 of them lost, ten synchronisations in a row go unanswered.
PYROLA_SIM_FAULTS=$(for n in $(seq 30 60); do printf 'drop-answer=%d ' "$n"; done) \
    start_sim MSP430F149 "$WORK/chip7.bin"
run droppedanswer 1 -bsl -c1 +epv image.txt
expect_in droppedanswer.out "Erase failed.Synchronization error"
stop_sim
PYROLA_SIM_FAULTS=locked start_sim MSP430F149 "$WORK/chip8.bin"
run locked8 1 -bsl -c1 +p image.txt
expect_in locked8.out "Program failed."
stop_sim
PYROLA_SIM_FAULTS=nonsense "$SIM" </dev/null >bad.out 2>bad.err
[ $? -eq 2 ] || fail "a malformed fault list was not refused"
expect_in bad.err 'PYROLA_SIM_FAULTS: unknown or malformed fault "nonsense"'
PYROLA_SIM_PACE=2 "$SIM" </dev/null >bad.out 2>bad.err
[ $? -eq 2 ] || fail "a bad PYROLA_SIM_PACE was not refused"
"$SIM" --detach </dev/null >bad.out 2>bad.err
[ $? -eq 2 ] || fail "--detach without --link was not refused"

PYROLA=$WORK/patched/pyrola

# Paced, the chip answers no faster than its line: reading the 4,352 bytes of an F11x1
# cannot take less than their wire time at 9600 baud (4352 * 11 / 9600 s).
PYROLA_SIM_PACE=1 start_sim MSP430F11x1 "$WORK/chip9.bin"
t0=$(date +%s%N)
run paced 0 --device MSP430F1121 -bsl -c1 +r --save paced.txt
t1=$(date +%s%N)
stop_sim
expect_in paced.out "Read 4352(0x1100) bytes"
elapsed=$(((t1 - t0) / 1000000))
[ "$elapsed" -ge 4986 ] || fail "a paced read of 4352 bytes took only $elapsed ms"
echo "paced read of 4352 bytes at 9600 baud: $elapsed ms"

# The simulator itself: bad settings are refused with a message; a terminating signal
# still saves the chip.
PYROLA_SIM_DEVICE=MSP430F999 "$SIM" </dev/null >bad.out 2>bad.err
[ $? -eq 2 ] || fail "an unknown device was not refused"
expect_in bad.err "unknown device"
head -c 100 /dev/zero >broken.bin
PYROLA_SIM_STATE=$WORK/broken.bin "$SIM" </dev/null >bad.out 2>bad.err
[ $? -eq 2 ] || fail "a malformed state file was not refused"
expect_in bad.err "cannot load the chip state"
cmp -s broken.bin <(head -c 100 /dev/zero) || fail "the malformed state file was changed"
start_sim MSP430F169 "$WORK/chip4.bin"
kill -TERM "$SIM_PID"
wait "$SIM_PID" || fail "simulator exit status $? after SIGTERM"
exec 3>&-
rm -f ctl.fifo out.fifo
[ "$(stat -c %s chip4.bin 2>/dev/null || echo 0)" -ge 65536 ] || fail "no state saved on SIGTERM"

# Every simulated part through the served loader: program and verify an image that fits
# the smallest of them, then erase main memory with the information memory protected. The
# saved chip holds the information bytes and no vectors any more. The F1611 is named: its
# own map.
PYROLA_SIM_DEVICE=MSP430F999 "$SIM" </dev/null >/dev/null 2>devices.err
sed -n '/known devices:/,$p' devices.err | tail -n +2 >parts.txt
[ "$(wc -l <parts.txt)" -ge 50 ] || fail "the simulator did not list its devices: $(cat devices.err)"
{
    echo "@1000"
    echo "5A A5 12 34 56 78 9A BC DE F0 0F 1E 2D 3C 4B 69"
    echo "@FC00"
    echo "31 40 00 02 3F 40 34 12 FF 3F"
    echo "@FFE0"
    echo "00 FC 00 FC 00 FC 00 FC 00 FC 00 FC 00 FC 00 FC"
    echo "00 FC 00 FC 00 FC 00 FC 00 FC 00 FC 00 FC 00 FC"
    echo "q"
} >small.txt
# The prototype F11x1 has its information memory at 0xEF00.
sed 's/^@1000/@EF00/' small.txt >small_ef00.txt
export PYROLA_SETTINGS=$WORK/parts.ini
n=0
while IFS= read -r part; do
    n=$((n + 1))
    image=small.txt info_at=$((0x1000))
    [ "$part" = "Prototype MSP430F11x1" ] && image=small_ef00.txt info_at=$((0xEF00))
    start_sim "$part" "$WORK/part$n.bin"
    run "part$n" 0 -bsl -c1 +ebpv "$image"
    expect_in "part$n.out" "Verify complete."
    run "part${n}pi" 0 -pi -bsl -c1 +e "$image"
    expect_in "part${n}pi.out" "Erase complete."
    stop_sim
    vectors=$(od -A n -t x1 -j $((0xFFE0)) -N 4 "part$n.bin" | xargs)
    [ "$vectors" = "ff ff ff ff" ] || fail "$part: -pi +e left the vectors: $vectors"$'\n'"$(cat "part${n}pi.out")"
    info=$(od -A n -t x1 -j "$info_at" -N 4 "part$n.bin" | xargs)
    [ "$info" = "5a a5 12 34" ] || fail "$part: the information memory was not kept: $info"
done <parts.txt
echo "$n simulated parts programmed, verified and main-erased through the served loader"
start_sim MSP430F1611 "$WORK/f1611.bin"
run f1611 0 --device MSP430F1611 -bsl -c1 +ebpv image.txt
expect_in f1611.out "Device: MSP430F1611. Info(0x1000-0x10FF), Main:(0x4000-0xFFFF)"
expect_in f1611.out "Verify complete."
stop_sim
export PYROLA_SETTINGS=$WORK/settings.ini

# The Win32 backend, when a Windows build is at hand.
if [ -n "${PYROLA_E2E_WINE_CLI:-}" ]; then
    if ! command -v wine >/dev/null; then
        fail "PYROLA_E2E_WINE_CLI is set but wine is not installed"
    else
        export WINEPREFIX=$WORK/wineprefix WINEDEBUG=-all
        unset PYROLA_SETTINGS # the throw-away prefix's registry, with the default settings
        mkdir -p winbin
        cp "$PYROLA_E2E_WINE_CLI" patched/bslpatch.txt winbin/ # the program finds the patch beside itself
        start_sim MSP430F149 "$WORK/chip3.bin"
        wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$PTY" /f >/dev/null 2>&1 ||
            fail "cannot map COM5 in the Wine registry"
        wineserver -k >/dev/null 2>&1 # the port map is read when Wine starts
        timeout 300 wine "winbin/$(basename "$PYROLA_E2E_WINE_CLI")" -bsl -c5 +ebpv image.txt >wine.out 2>wine.err ||
            fail "pyrola-cli.exe under Wine failed: $(cat wine.out wine.err)"
        expect_in wine.out "Verify complete."
        wineserver -k >/dev/null 2>&1
        stop_sim
        dd if=chip3.bin of=got_wine.bin bs=1 skip=$((0xF000)) count=32 status=none
        cmp -s got_wine.bin expected_f000.bin || fail "flash written under Wine differs"
        # The Win32 port switched to 38400 baud once the loader (1.60) has changed its rate.
        start_sim MSP430F169 "$WORK/chip10.bin"
        wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$PTY" /f >/dev/null 2>&1 ||
            fail "cannot map COM5 in the Wine registry"
        wineserver -k >/dev/null 2>&1
        timeout 300 wine "winbin/$(basename "$PYROLA_E2E_WINE_CLI")" --bsl-speed 38400 -bsl -c5 +epv image.txt \
            >wine38400.out 2>wine38400.err || fail "pyrola-cli.exe at 38400 under Wine failed: $(cat wine38400.out wine38400.err)"
        expect_in wine38400.out "Verify complete."
        grep -q "baud" wine38400.out && fail "the Windows program did not switch: $(cat wine38400.out)"
        wineserver -k >/dev/null 2>&1
        stop_sim
    fi
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "bsl end-to-end checks passed"
