#!/usr/bin/env bash
# --gang through the real `pyrola` program. What is checked:
#   1. 4 FET stations (the simulated library, one chip per port) on one .sprj: every board
#      passes with its own serial, one RESERVED and one PASS line each, a summary row each;
#   2. 4 served loaders: the same over BSL; a station whose port is missing fails alone and
#      is named in the summary, the others pass;
#   3. a station whose process is killed: the others' boards and log lines are whole;
#   4. Ctrl+C (and SIGTERM) during a gang run cancels every station, and the driver waits
#      for all of them to write their lines;
#   5. command lines a gang cannot run are refused before any station starts.
# Arguments: pyrola, the simulated FET library, pyrola-bsl-sim, a work folder.
set -u
PYROLA=$1 FETLIB=$2 BSLSIM=$3 WORK=$4
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK" || exit 1
export PYROLA_FET_LIBRARY=$FETLIB PYROLA_SETTINGS=$WORK/settings.ini PYROLA_SIM_STATE=$WORK/chip%p.state
unset PYROLA_SIM_FAULTS PYROLA_SIM_FET_DELAY

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_in() { grep -qF -- "$2" "$1" || fail "\"$2\" missing from $1:"$'\n'"$(cat "$1")"; }
run() { # name, expected status, arguments...
    local name=$1 expected=$2; shift 2
    timeout 120 "$PYROLA" "$@" >"$name.out" 2>"$name.err"
    local status=$?
    [ "$status" -eq "$expected" ] || fail "$name: pyrola $* exited $status, expected $expected"$'\n'"$(cat "$name.out" "$name.err")"
}
sprj() { printf '[Options]\r\nAddress=%s\r\nType=%s\r\nSerial=%s\r\n' "$2" "$3" "$4" >"$1"; }
word_at_1000() { od -A n -t u2 -j $((0x1000)) -N 2 "$1" | tr -d ' \n'; }
lines_with() { grep -c -- "$2" "$1"; }
# The pid of the station process of a port, a child of the gang driver.
station_pid() { # driver pid, -c token
    local pid
    for pid in $(pgrep -P "$1"); do
        tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null | grep -q -- " $2 " && { echo "$pid"; return; }
    done
}

printf '@F000\n31 40 00 03 B2 40 80 5A 20 01\n@FFFE\n00 F0\nq\n' >fw.txt

# --- 1. four FET stations, one .sprj ----------------------------------------------------------
sprj unit.sprj 0x1000 3 18
run fet 0 --gang 1-4 -fet --serial unit.sprj --log line.csv +ebpv fw.txt
for port in 1 2 3 4; do
    expect_in fet.out "[FET(LPT$port)] "
    grep -q "^FET(LPT$port) *[0-9][0-9] *PASS *[0-9]* ms *Init .*Write serial number" fet.out ||
        fail "fet: no summary row for LPT$port:"$'\n'"$(cat fet.out)"
done
expect_in fet.out "Gang: 4 of 4 boards passed"
grep -q '^Serial=22' unit.sprj || fail "fet: the .sprj holds $(cat unit.sprj)"
[ "$(lines_with line.csv '"RESERVED"')" -eq 4 ] || fail "fet: not 4 RESERVED lines: $(cat line.csv)"
[ "$(lines_with line.csv '"PASS"')" -eq 4 ] || fail "fet: not 4 PASS lines: $(cat line.csv)"
serials=$(for port in 1 2 3 4; do word_at_1000 "chip$port.state"; echo; done | sort -n | tr '\n' ' ')
[ "$serials" = "18 19 20 21 " ] || fail "fet: the chips hold serials $serials"
for port in 1 2 3 4; do
    serial=$(word_at_1000 "chip$port.state")
    grep -q "^\"[^\"]*\",\"FET(LPT$port)\",1,\"FET(LPT$port)\",\"MSP430F149\",\"fw.txt\",\"0x[0-9A-F]*\",\"$serial\",\"Erase, Blank check, Program, Verify, Write serial number\",\"PASS\"" line.csv ||
        fail "fet: no PASS line of LPT$port with serial $serial: $(cat line.csv)"
done

# --- 2. four served loaders, then one of them missing -------------------------------------------
for port in 1 2 3 4; do
    PYROLA_SIM_PACE=0 PYROLA_SIM_STATE=$WORK/bsl$port.state "$BSLSIM" --detach --link "$WORK/COM$port" 2>bslsim$port.err ||
        fail "served loader $port did not start: $(cat bslsim$port.err)"
    export PYROLA_COM$port=$WORK/COM$port
done
sprj bsl.sprj 0x1000 0 BSL-0001
run bsl 0 --gang 1-4 -bsl --serial bsl.sprj --log bsl.csv +ebpv fw.txt
expect_in bsl.out "Gang: 4 of 4 boards passed"
[ "$(lines_with bsl.csv '"PASS"')" -eq 4 ] || fail "bsl: not 4 PASS lines: $(cat bsl.csv)"
[ "$(cut -d, -f8 bsl.csv | grep -c BSL-000)" -eq 8 ] || fail "bsl: serials: $(cat bsl.csv)"
[ "$(grep '"PASS"' bsl.csv | cut -d, -f8 | sort -u | wc -l)" -eq 4 ] || fail "bsl: serials not unique: $(cat bsl.csv)"
rm "$WORK/COM3" # stops that loader: the port is gone
sleep 0.5
run bsl-missing 1 --gang 1-4 -bsl --log bsl-missing.csv +ebpv fw.txt
grep -q "^BSL(COM3) *- *FAIL" bsl-missing.out || fail "bsl-missing: COM3 not failed:"$'\n'"$(cat bsl-missing.out)"
grep -q '^\[BSL(COM3)\] .*COM3' bsl-missing.err || fail "bsl-missing: no reason for COM3: $(cat bsl-missing.err)"
expect_in bsl-missing.out "Gang: 3 of 4 boards passed"
[ "$(lines_with bsl-missing.csv '"PASS"')" -eq 3 ] || fail "bsl-missing: not 3 PASS lines: $(cat bsl-missing.csv)"
grep -q '"BSL(COM3)",1,"BSL(COM3)",.*"FAIL"' bsl-missing.csv || fail "bsl-missing: no FAIL line of COM3: $(cat bsl-missing.csv)"
for port in 1 2 4; do rm -f "$WORK/COM$port"; done

# --- 3. a station killed -----------------------------------------------------------------------
# Each call of the library takes 300 ms: the runs last long enough to kill one.
export PYROLA_SIM_FET_DELAY=300
rm -f chip*.state
sprj kill.sprj 0x1000 3 100
"$PYROLA" --gang 1-4 -fet --serial kill.sprj --log kill.csv +ebpv fw.txt >kill.out 2>kill.err &
GANG=$!
victim=""
for _ in $(seq 100); do
    victim=$(station_pid "$GANG" -c2)
    [ -n "$victim" ] && grep -q 'FET(LPT2)\] .*Erasing' kill.out && break
    sleep 0.05
done
[ -n "$victim" ] && kill -KILL "$victim"
wait "$GANG"
status=$?
[ "$status" -eq 1 ] || fail "kill: the gang exited $status:"$'\n'"$(cat kill.out kill.err)"
grep -q "^FET(LPT2) *- *KILLED (signal 9)" kill.out || fail "kill: LPT2 not shown killed:"$'\n'"$(cat kill.out)"
expect_in kill.out "Gang: 3 of 4 boards passed"
[ "$(lines_with kill.csv '"PASS"')" -eq 3 ] || fail "kill: not 3 PASS lines: $(cat kill.csv)"
grep -q 'FET(LPT2)' kill.csv && fail "kill: a line of the killed station: $(cat kill.csv)"
while IFS= read -r line; do
    [[ $line == *$'\r' ]] || fail "kill: a line without its end: $line"
done <kill.csv
for port in 1 3 4; do
    [ "$(word_at_1000 "chip$port.state")" -ge 100 ] || fail "kill: chip $port holds no serial"
done

# --- 4. Ctrl+C and SIGTERM during a gang run --------------------------------------------------
for signal in INT TERM; do
    rm -f chip*.state
    "$PYROLA" --gang 1-4 -fet --log cancel-$signal.csv +ebpv fw.txt >cancel-$signal.out 2>cancel-$signal.err &
    GANG=$!
    for _ in $(seq 100); do
        [ "$(grep -c 'Erasing flash memory' cancel-$signal.out)" -eq 4 ] && break
        sleep 0.05
    done
    kill -$signal "$GANG"
    wait "$GANG"
    status=$?
    [ "$status" -eq 1 ] || fail "cancel-$signal: the gang exited $status"
    [ "$(grep -c '"FAIL","Cancelled"' cancel-$signal.csv)" -eq 4 ] ||
        fail "cancel-$signal: not 4 cancelled lines: $(cat cancel-$signal.csv)"
    [ "$(grep -c '^FET(LPT[1-4]) *- *FAIL' cancel-$signal.out)" -eq 4 ] ||
        fail "cancel-$signal: the summary:"$'\n'"$(cat cancel-$signal.out)"
    expect_in cancel-$signal.out "Gang: 0 of 4 boards passed (cancelled)"
    pgrep -P "$GANG" >/dev/null && fail "cancel-$signal: stations left running"
done
unset PYROLA_SIM_FET_DELAY

# --- 5. refused before any station starts ---------------------------------------------------
run no-adapter 2 --gang 1-4 +ebpv fw.txt
expect_in no-adapter.err "--gang needs the adapter on the command line: -fet, -raw or -bsl"
run with-port 2 --gang 1-4 -fet -c2 +ebpv fw.txt
expect_in with-port.err "--gang gives each station its port; leave out -c2"
run backwards 2 --gang 4-1 -fet +ebpv fw.txt
expect_in backwards.err "--gang takes port numbers from 1 to 255 such as 1-8 or 1,3,5-6, not '4-1'"
run twice 2 --gang 1-3,2 -fet +ebpv fw.txt
expect_in twice.err "--gang names port 2 twice in '1-3,2'"
run station 2 --gang 1,2 -fet --station A +ebpv fw.txt
expect_in station.err "leave out --station"
run bad-option 2 --gang 1,2 -fet --nonsense +ebpv fw.txt
for name in no-adapter with-port backwards twice station bad-option; do
    grep -q '\[' "$name.out" && fail "$name: a station ran:"$'\n'"$(cat "$name.out")"
done
# A file the stations refuse: every one did nothing, so the gang did nothing.
printf 'not an image\n' >bad.txt
run nothing 2 --gang 1-2 -fet +ebpv bad.txt
grep -q "^FET(LPT1) *- *NOTHING DONE" nothing.out || fail "nothing: the summary:"$'\n'"$(cat nothing.out)"

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "gang checks passed"
