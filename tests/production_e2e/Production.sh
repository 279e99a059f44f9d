#!/usr/bin/env bash
# A production line left unattended, through the real `pyrola` program: the simulated FET
# library for most boards, the served bootstrap loader for one. What is checked:
#   1. a serial that would land on the image (the reset vector) is refused before the chip
#      is touched, and takes no number;
#   2. runs that cannot succeed are refused before the erase (a serial segment that is only
#      partly flash, a read-only .sprj) and take no number;
#   3. 8 stations on one .sprj, half through a symbolic link, never share a number; a
#      second hard link is refused;
#   4. a killed run leaves its RESERVED line; SIGTERM and SIGHUP cancel like Ctrl+C;
#   5. a log that runs out of room loses no line and gets no part line;
#   6. numeric serials show in decimal, an erased serial place is no serial, a typo in a
#      number is refused; --station and the attempt counter reach the log;
#   7. a serialized run over the served loader, whose adapter has no verify of its own.
# Arguments: pyrola, the simulated FET library, pyrola-bsl-sim, a work folder.
set -u
PYROLA=$1 FETLIB=$2 BSLSIM=$3 WORK=$4
. "$(dirname "$0")/../support/EndToEnd.sh"
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK" || exit 1
export PYROLA_FET_LIBRARY=$FETLIB PYROLA_SETTINGS=$WORK/settings.ini PYROLA_SIM_STATE=$WORK/chip.state
unset PYROLA_SIM_FAULTS

chip_bytes() { od -A n -t x1 -j "$(($1))" -N "$2" chip.state | tr -d ' \n'; }

printf '@F000\n31 40 00 03 B2 40 80 5A 20 01\n@FFFE\n00 F0\nq\n' >fw.txt

# --- 1. the serial never overwrites the image ------------------------------------------------
run program 0 -fet +ebpv fw.txt
cp chip.state before.state
sprj vector.sprj 0xFFFE 3 18
run vector 2 -fet --serial vector.sprj --log line.csv +ebpv fw.txt
expect_in vector.err "Error. The serial at 0xFFFE-0xFFFF would overwrite 2 bytes of the image, first at 0xFFFE"
expect_not_in vector.out "Initialize.."
cmp -s chip.state before.state || fail "vector: the chip was touched"
grep -q '^Serial=18' vector.sprj || fail "vector: a number was taken: $(cat vector.sprj)"
grep -q '"RESERVED"' line.csv && fail "vector: a number was reserved in the log"

# --- 2. refused before the erase -------------------------------------------------------------
# Main memory from 0x1100 (F149) starts in the middle of a 512-byte segment, whose erase
# every board would fail: refused with the file.
sprj half.sprj 0x1100 3 18
run half-segment 2 -fet --serial half.sprj --log line.csv +ebpv fw.txt
expect_in half-segment.err "Address 0x1100 lies in a flash segment that is only partly flash"
expect_not_in half-segment.out "Initialize.."
grep -q '^Serial=18' half.sprj || fail "half-segment: a number was taken"
# A serial address in the flash of other chips, not of this one: refused once the chip is
# known, before the erase.
printf '@F000\n31 40\n@FFFE\n00 F0\nq\n' >small.txt
sprj other.sprj 0xE000 3 18
PYROLA_SIM_DEVICE=MSP430F11x1 PYROLA_SIM_STATE=$WORK/small.state run other-chip 2 --device MSP430F1121 -fet --serial other.sprj --log line.csv +ebpv small.txt
expect_in other-chip.err "Error. Address 0xE000 is not in the flash memory of the MSP430F11x1: nothing was done"
expect_in other-chip.out "Initialize.."
expect_not_in other-chip.out "Erasing flash memory.."
grep -q '^Serial=18' other.sprj || fail "other-chip: a number was taken"
sprj ro.sprj 0x1000 3 18
chmod a-w ro.sprj
run read-only 2 -fet --serial ro.sprj +ebpv fw.txt
expect_in read-only.err "the file may not be written, so no next number could be stored: nothing was done"
expect_not_in read-only.out "Initialize.."

# --- 6. numbers as they are logged -------------------------------------------------------------
sprj word.sprj 0x1000 3 18
run word 0 -fet --serial word.sprj --station "Line 2" --log line.csv +ebpv fw.txt
expect_in word.out "Serial number written: 18"
[ "$(chip_bytes 0x1000 2)" = 1200 ] || fail "word: the chip holds $(chip_bytes 0x1000 2) at 0x1000"
run word-read 0 -fet --serial-read word.sprj
expect_in word-read.out "Serial number read: 18"
grep -q ',"18","","RESERVED",' line.csv || fail "word: no RESERVED line for 18"
grep -q '^"[^"]*","Line 2",1,"FET(LPT1)","MSP430F149","fw.txt","0x[0-9A-F]*","18","Erase, Blank check, Program, Verify, Write serial number","PASS",' line.csv ||
    fail "word: no PASS line of station Line 2, attempt 1: $(cat line.csv)"
run word-again 0 -fet --serial word.sprj --station "Line 2" --log line.csv +ebpv fw.txt
grep -q '^"[^"]*","Line 2",2,.*,"19",.*"PASS",' line.csv || fail "word-again: not attempt 2: $(cat line.csv)"
PYROLA_SIM_STATE=$WORK/blank.state run erased-read 1 -fet --serial-read word.sprj
expect_in erased-read.err "Error. No serial number at 0x1000: the place is erased"
sprj typo.sprj 0x1000 3 1e3
run typo 2 -fet --serial typo.sprj +ebpv fw.txt
expect_in typo.err "Serial '1e3' is not a whole number"

# --- 3. eight stations on one file, by a link and by the plain path -----------------------
sprj unit.sprj 0x1000 0 SN-0001
ln -s unit.sprj link.sprj
station() { # number, round
    local file=unit.sprj
    [ $(($1 % 2)) = 0 ] && file=link.sprj
    PYROLA_SETTINGS=$WORK/s$1.ini PYROLA_SIM_STATE=$WORK/s$1-$2.state \
        "$PYROLA" -fet --serial "$file" --station "S$1" --log stations.csv +ebpv fw.txt >"s$1-$2.out" 2>&1
    echo $? >"s$1-$2.status"
}
ROUNDS=3
for round in $(seq 1 $ROUNDS); do
    for s in 1 2 3 4 5 6 7 8; do station "$s" "$round" & done
    wait
done
declare -A owner
for round in $(seq 1 $ROUNDS); do
    for s in 1 2 3 4 5 6 7 8; do
        [ "$(cat "s$s-$round.status")" = 0 ] || { fail "station $s round $round exited $(cat "s$s-$round.status")"; cat "s$s-$round.out"; continue; }
        serial=$(od -A n -c -j 4096 -N 7 "s$s-$round.state" | tr -d ' \n')
        [ -z "${owner[$serial]:-}" ] || fail "$serial went to S$s round $round and to ${owner[$serial]}"
        owner[$serial]="S$s round $round"
    done
done
[ "${#owner[@]}" = $((8 * ROUNDS)) ] || fail "${#owner[@]} distinct serials for $((8 * ROUNDS)) boards"
[ -L link.sprj ] || fail "the symbolic link was replaced by a file"
grep -q "^Serial=$(printf 'SN-%04d' $((8 * ROUNDS + 1)))"$'\r'"\$" unit.sprj || fail "unit.sprj ends at $(cat unit.sprj)"
ln unit.sprj hard.sprj
run hard-link 2 -fet --serial hard.sprj +ebpv fw.txt
expect_in hard-link.err "the file has 2 hard links"
run hard-link-plain 2 -fet --serial unit.sprj +ebpv fw.txt
rm hard.sprj

# --- 4. a killed run leaves its reservation; SIGTERM and SIGHUP cancel --------------------------
sprj kill.sprj 0x1000 0 K-001
PYROLA_SIM_FAULTS=crash-erase=1 run killed 86 -fet --serial kill.sprj --log kill.csv +ebpv fw.txt
grep -q ',"K-001","","RESERVED",' kill.csv || fail "killed: no RESERVED line: $(cat kill.csv)"
grep -q '"PASS"\|"FAIL"' kill.csv && fail "killed: a result line was written"
grep -q '^Serial=K-002' kill.sprj || fail "killed: the number was not taken"

# --- 5. a log that runs out of room --------------------------------------------------------------
# The file-size limit stops the write in mid-line, as a full disk does. The log is padded
# with whole lines to 60 bytes below the limit, which lies above every other file the run
# writes (the simulated chip's state).
sprj room.sprj 0x1000 0 R-001
run room-first 0 -fet --serial room.sprj --log room.csv +ebpv fw.txt
limit_kib=512
size=$(stat -c %s room.csv)
pad=$((limit_kib * 1024 - size - 60))
while [ "$pad" -gt 0 ]; do
    chunk=$((pad > 1000 ? 1000 : pad))
    printf '"%s"\r\n' "$(head -c $((chunk - 4)) /dev/zero | tr '\0' x)" >>room.csv
    pad=$((pad - chunk))
done
cp room.csv room.before
cp room.sprj room.sprj.before
(
    trap '' XFSZ
    ulimit -f $limit_kib
    timeout 60 "$PYROLA" -fet --serial room.sprj --log room.csv +ebpv fw.txt >room.out 2>room.err
    echo $? >room.status
)
[ "$(cat room.status)" = 1 ] || fail "room: exit status $(cat room.status), expected 1: $(cat room.out room.err)"
cmp -s room.csv room.before || fail "room: the log changed: $(tail -c 300 room.csv | od -c | tail -5)"
expect_in room.err "the log could not record"
expect_in room.err "no number was taken"
cmp -s room.sprj room.sprj.before || fail "room: a number was taken with no log line: $(cat room.sprj)"
expect_in room.err "the part written was taken back"
expect_not_in room.out "Process patch. Erase segment.."
# A volume with less room than a day's log is refused before the run (needs mount rights).
mkdir -p small
if mount -t tmpfs -o size=40k tmpfs small 2>/dev/null; then
    trap 'umount "$WORK/small" 2>/dev/null' EXIT
    head -c 20000 /dev/zero >small/fill
    run tmpfs-full 2 -fet --serial room.sprj --log small/line.csv +ebpv fw.txt
    expect_in tmpfs-full.err "its disk is full"
    expect_not_in tmpfs-full.out "Initialize.."
    umount small
    trap - EXIT
else
    echo "no tmpfs (no mount rights): the room check before the run is not tried"
fi

# --- 7. a serialized run over the served loader ------------------------------------------------
mkfifo ctl.fifo out.fifo
PYROLA_SIM_DEVICE=MSP430F169 PYROLA_SIM_STATE=$WORK/bsl.state "$BSLSIM" <ctl.fifo >out.fifo 2>bslsim.err &
SIM_PID=$!
exec 3>ctl.fifo
if read -r -t 20 PTY <out.fifo; then
    sprj bsl.sprj 0x1000 0 BSL-0001
    PYROLA_COM1=$PTY run bsl-serial 0 -bsl -c1 --serial bsl.sprj --log bsl.csv +ebpv fw.txt
    expect_in bsl-serial.out "Write serial number complete."
    expect_in bsl-serial.out "Serial number written: BSL-0001"
    # (+v: the loader opens with the image's vectors)
    PYROLA_COM1=$PTY run bsl-serial-read 0 -bsl -c1 --serial-read bsl.sprj +v fw.txt
    expect_in bsl-serial-read.out "Serial number read: BSL-0001"
    grep -q ',"BSL-0001","Erase, Blank check, Program, Verify, Write serial number","PASS",' bsl.csv ||
        fail "bsl-serial: no PASS line: $(cat bsl.csv)"
else
    fail "the simulated loader printed no terminal path: $(cat bslsim.err)"
fi
exec 3>&-
wait "$SIM_PID"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "production line checks passed"
