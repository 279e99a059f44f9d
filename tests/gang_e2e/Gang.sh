#!/usr/bin/env bash
# --gang through the real `pyrola` program. What is checked:
#   1. 4 FET stations (the simulated library, one chip per port) on one .sprj: every board
#      passes with its own serial, one RESERVED and one PASS line each, a summary row each;
#   2. 4 served loaders: the same over BSL; a station whose port is missing fails alone and
#      is named in the summary, the others pass;
#   3. a station whose process is killed: the others' boards and log lines are whole; the
#      driver killed: every station finishes its board and logs it;
#   4. Ctrl+C (and SIGTERM) during a gang run cancels every station, and the driver waits
#      for all of them to write their lines; a second Ctrl+C prints the counts so far;
#   5. command lines a gang cannot run are refused before any station starts; --station names
#      the gang;
#   6. --probe over the served loader follows its board socket: no board, a new blank one;
#   7. --gang 1-4 --loop --count 12 with boards swapped in by the test, one with a stuck
#      bit: 12 result lines and a RESERVED line for each passed board, unique serials, the
#      failing board named with its station and never programmed again while it stays in,
#      nothing printed or logged while a socket is empty, the counts right; a board put back
#      in keeps the number it has;
#   8. 3 RAW stations, each parallel port reaching a chip of its own through the simulated
#      port library.
# With PYROLA_TEST_FET_GENERATION=3 the FET stations use the version-3 simulated library
# (its FETs enumerated as "1".."4", so that the chips' state files keep their names), and
# a FET whose firmware must be updated is refused by a gang and by a station's look for a
# board, the firmware left as it was.
# Arguments: pyrola, the simulated FET library, pyrola-bsl-sim, the simulated port library,
# a work folder.
set -u
PYROLA=$1 FETLIB=$2 BSLSIM=$3 PORTLIB=$4 WORK=$5
. "$(dirname "$0")/../support/EndToEnd.sh"
rm -rf "$WORK" && mkdir -p "$WORK"
cd "$WORK" || exit 1
export PYROLA_FET_LIBRARY=$FETLIB PYROLA_SETTINGS=$WORK/settings.ini PYROLA_SIM_STATE=$WORK/chip%p.state
unset PYROLA_SIM_FAULTS PYROLA_SIM_FET_DELAY

word_at_1000() { od -A n -t u2 -j $((0x1000)) -N 2 "$1" | tr -d ' \n'; }
lines_with() { grep -c -- "$2" "$1"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
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
# The summary stands in port order, whichever station finished first.
[ "$(grep -o '^FET(LPT[1-4])' fet.out | tr '\n' ' ')" = "FET(LPT1) FET(LPT2) FET(LPT3) FET(LPT4) " ] ||
    fail "fet: the summary is not in port order:"$'\n'"$(cat fet.out)"
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

if [ "${PYROLA_TEST_FET_GENERATION:-2}" = 3 ]; then
    echo old >firmware
    export PYROLA_SIM_FET_FIRMWARE=$WORK/firmware
    run fw-gang 1 --gang 1,2 -fet +ebpv fw.txt
    grep -q 'run pyrola --fet-update -fet -c2' fw-gang.out fw-gang.err ||
        fail "fw-gang: the update command not named:"$'\n'"$(cat fw-gang.out fw-gang.err)"
    grep -q "^FET(LPT1) *- *FAIL" fw-gang.out || fail "fw-gang: LPT1 not failed:"$'\n'"$(cat fw-gang.out)"
    run fw-probe 3 --probe -fet -c1
    expect_in fw-probe.err "run pyrola --fet-update -fet -c1"
    [ "$(cat firmware)" = old ] || fail "fw: the firmware was updated unasked"
    unset PYROLA_SIM_FET_FIRMWARE
fi

# --- 2. four served loaders, then one of them missing -------------------------------------------
for port in 1 2 3 4; do
    PYROLA_SIM_PACE=0 PYROLA_SIM_STATE=$WORK/bsl$port.state PYROLA_SIM_BOARD=$WORK/bslsocket$port "$BSLSIM" --detach --link "$WORK/COM$port" 2>bslsim$port.err ||
        fail "served loader $port did not start: $(cat bslsim$port.err)"
    export PYROLA_COM$port=$WORK/COM$port
done
sprj bsl.sprj 0x1000 0 BSL-0001
run bsl 0 --gang 1-4 -bsl --serial bsl.sprj --log bsl.csv +ebpv fw.txt
expect_in bsl.out "Gang: 4 of 4 boards passed"
[ "$(lines_with bsl.csv '"PASS"')" -eq 4 ] || fail "bsl: not 4 PASS lines: $(cat bsl.csv)"
[ "$(cut -d, -f8 bsl.csv | grep -c BSL-000)" -eq 8 ] || fail "bsl: serials: $(cat bsl.csv)"
[ "$(grep '"PASS"' bsl.csv | cut -d, -f8 | sort -u | wc -l)" -eq 4 ] || fail "bsl: serials not unique: $(cat bsl.csv)"
# --- 6. a look for a board over the loader ----------------------------------------------------
run probe-there 0 --probe -bsl -c1
echo none >bslsocket1
sleep 0.3 # the server looks at its socket every 100 ms
run probe-none 1 --probe -bsl -c1
echo "board fresh" >bslsocket1
sleep 0.3
run probe-fresh 0 --probe -bsl -c1
for name in probe-there probe-none probe-fresh; do
    [ -s "$name.out" ] && fail "$name printed: $(cat "$name.out")"
done
run fresh-blank 0 -bsl -c1 +b fw.txt # the new board is blank
run probe-alone 2 --probe -bsl
expect_in probe-alone.err "--probe needs the adapter and the port"
rm "$WORK/COM3" # stops that loader: the port is gone
run probe-gone 3 --probe -bsl -c3
grep -q "Port COM3 ($WORK/COM3): " probe-gone.err || fail "probe-gone: no reason: $(cat probe-gone.err)"
# A station whose port is gone says so once, goes on looking, and stops on Ctrl+C.
"$PYROLA" --loop -bsl -c3 --log gone.csv +ebpv fw.txt >loop-gone.out 2>loop-gone.err &
GANG=$!
sleep 2.5
kill -INT "$GANG"
wait "$GANG"
status=$?
[ "$status" -eq 2 ] || fail "loop-gone: exited $status, expected 2 (nothing done)"
[ "$(grep -c '^\[BSL(COM3)\] Error. No board can be looked for: Port COM3' loop-gone.err)" -eq 1 ] ||
    fail "loop-gone: the reason not said once: $(cat loop-gone.err)"
expect_in loop-gone.out "Counts: 0 boards, 0 passed, 0 failed, yield 0.0%, 0.0 boards per hour (stopped)"
[ -e gone.csv ] && fail "loop-gone: a log: $(cat gone.csv)"
PYROLA_FET_LIBRARY=$WORK/no-such-library.so run probe-nolib 3 --probe -fet -c1
[ -s probe-nolib.err ] || fail "probe-nolib: no reason given"
sleep 0.5
# Ports by name and by number in one list.
run bsl-missing 1 --gang COM1,2-3,COM4 -bsl --log bsl-missing.csv +ebpv fw.txt
grep -q "^BSL(COM3) *- *FAIL .*Could not open port / Port COM3 (.*): No such file or directory" bsl-missing.out ||
    fail "bsl-missing: COM3 not failed with its reason:"$'\n'"$(cat bsl-missing.out)"
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

# --- 3b. the driver killed: its stations finish their boards ---------------------------------
# Their output pipes break; each station still finishes its board, logs it and ends.
rm -f chip*.state
sprj drv.sprj 0x1000 3 200
"$PYROLA" --gang 1-4 -fet --serial drv.sprj --log drv.csv +ebpv fw.txt >drv.out 2>drv.err &
GANG=$!
for _ in $(seq 100); do
    [ "$(grep -c '\] .*Erasing' drv.out)" -ge 4 ] && break
    sleep 0.05
done
kill -KILL "$GANG"
wait "$GANG" 2>/dev/null
deadline=$(($(now_ms) + 60000))
while pgrep -f -- "--serial drv.sprj" >/dev/null && [ "$(now_ms)" -lt "$deadline" ]; do sleep 0.1; done
pgrep -f -- "--serial drv.sprj" >/dev/null && fail "killed driver: stations still running after 60 s"
[ "$(lines_with drv.csv '"PASS"')" -eq 4 ] || fail "killed driver: not 4 PASS lines: $(cat drv.csv)"
[ "$(lines_with drv.csv '"RESERVED"')" -eq 4 ] || fail "killed driver: not 4 RESERVED lines: $(cat drv.csv)"
for port in 1 2 3 4; do
    [ "$(word_at_1000 "chip$port.state")" -ge 200 ] || fail "killed driver: chip $port holds no serial"
done

# --- 4. Ctrl+C and SIGTERM during a gang run --------------------------------------------------
for signal in INT TERM; do
    rm -f chip*.state
    "$PYROLA" --gang 1-4 -fet --log cancel-$signal.csv +ebpv fw.txt >cancel-$signal.out 2>cancel-$signal.err &
    GANG=$!
    for _ in $(seq 100); do
        [ "$(grep -c 'Erasing flash memory' cancel-$signal.out 2>/dev/null)" = 4 ] && break
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
# A second Ctrl+C stops the waiting: the counts so far are printed, the stations still log.
rm -f chip*.state
"$PYROLA" --gang 1-4 --loop -fet --log twice.csv +ebpv fw.txt >twice.out 2>twice.err &
GANG=$!
for _ in $(seq 100); do
    [ "$(grep -c 'Erasing flash memory' twice.out 2>/dev/null)" = 4 ] && break
    sleep 0.05
done
kill -INT "$GANG"
sleep 0.1
kill -INT "$GANG"
wait "$GANG"
status=$?
[ "$status" -eq 1 ] || fail "twice: the gang exited $status"
expect_in twice.out "(stopped without waiting: boards still running are in the log only)"
grep -q '^Counts: ' twice.out || fail "twice: no counts:"$'\n'"$(cat twice.out)"
deadline=$(($(now_ms) + 30000))
while [ "$(grep -c '"FAIL","Cancelled"' twice.csv 2>/dev/null)" != 4 ] && [ "$(now_ms)" -lt "$deadline" ]; do sleep 0.1; done
[ "$(grep -c '"FAIL","Cancelled"' twice.csv)" -eq 4 ] || fail "twice: the stations' lines: $(cat twice.csv)"
unset PYROLA_SIM_FET_DELAY

# --- 5. refused before any station starts ---------------------------------------------------
run no-adapter 2 --gang 1-4 +ebpv fw.txt
expect_in no-adapter.err "--gang needs the adapter on the command line: -fet, -raw or -bsl"
run with-port 2 --gang 1-4 -fet -c2 +ebpv fw.txt
expect_in with-port.err "--gang gives each station its port; leave out -c2"
run backwards 2 --gang 4-1 -fet +ebpv fw.txt
expect_in backwards.err "--gang takes port numbers from 1 to 255 (or port names: COM1,COM3) such as 1-8 or 1,3,5-6, not '4-1'"
run twice 2 --gang 1-3,2 -fet +ebpv fw.txt
expect_in twice.err "--gang names port 2 twice in '1-3,2'"
# A name for the gang: in front of each station's name, in the output and the log.
rm -f chip*.state
run station 0 --gang 1,2 -fet --station A --log station.csv +ebpv fw.txt
expect_in station.out "[A:FET(LPT2)] "
expect_in station.csv '"A:FET(LPT1)"'
run bad-option 2 --gang 1,2 -fet --nonsense +ebpv fw.txt
run save 2 --gang 1,2 -fet +r --save back.txt
expect_in save.err "--gang programs many boards; --save would write each one's image into the same file"
run loop-no-port 2 --loop -fet +ebpv fw.txt
expect_in loop-no-port.err "--loop needs the port on the command line: -c{port} or --port NAME (or --gang PORTS)"
for name in no-adapter with-port backwards twice bad-option save loop-no-port; do
    grep -q '\[' "$name.out" && fail "$name: a station ran:"$'\n'"$(cat "$name.out")"
done
# A file the stations refuse: every one did nothing, so the gang did nothing.
printf 'not an image\n' >bad.txt
run nothing 2 --gang 1-2 -fet +ebpv bad.txt
grep -q "^FET(LPT1) *- *NOTHING DONE" nothing.out || fail "nothing: the summary:"$'\n'"$(cat nothing.out)"

# --- 7. board after board on four stations --------------------------------------------------
export PYROLA_SIM_BOARD=$WORK/socket%p
rm -f chip*.state
sprj loop.sprj 0x1000 3 500
inserted=0
declare -a handled pulled
insert() { # port: the next board; the seventh has a stuck bit
    inserted=$((inserted + 1))
    if [ "$inserted" -eq 7 ]; then
        echo "board B$inserted stuck=0xF000:0x01:0" >"socket$1"
        stuck_port=$1
    else
        echo "board B$inserted" >"socket$1"
    fi
    pulled[$1]=0
}
for port in 1 2 3 4; do handled[$port]=0; echo none >"socket$port"; done
"$PYROLA" --gang 1-4 --loop --count 12 --counts-every 4 -fet --serial loop.sprj --log loop.csv +ebpv fw.txt \
    >loop.out 2>loop.err &
GANG=$!
sleep 1.5 # empty sockets: nothing may be printed or logged
[ -s loop.out ] && fail "loop: output while the sockets were empty: $(cat loop.out)"
[ -e loop.csv ] && fail "loop: a log while the sockets were empty: $(cat loop.csv)"
for port in 1 2 3 4; do insert "$port"; done
stuck_port=0
deadline=$(($(now_ms) + 90000))
while kill -0 "$GANG" 2>/dev/null && [ "$(now_ms)" -lt "$deadline" ]; do
    for port in 1 2 3 4; do
        results=$(grep -c "\"FET(LPT$port)\",[0-9]*,.*\"\(PASS\|FAIL\)\"" loop.csv 2>/dev/null)
        if [ "${results:-0}" -gt "${handled[$port]}" ]; then
            handled[$port]=$results
            # The failed board stays in a while: it must not be programmed again.
            if [ "$port" -eq "$stuck_port" ]; then
                sleep 2
                stuck_port=0
            fi
            echo none >"socket$port"
            pulled[$port]=$(now_ms)
        fi
        # Out long enough for the station to see the socket empty, then the next board.
        if [ "${pulled[$port]}" -gt 0 ] && [ $(($(now_ms) - pulled[port])) -ge 1500 ] && [ "$inserted" -lt 12 ]; then
            insert "$port"
        fi
    done
    sleep 0.1
done
kill -0 "$GANG" 2>/dev/null && { fail "loop: still running after 90 s"; kill -INT "$GANG"; }
wait "$GANG"
status=$?
[ "$status" -eq 1 ] || fail "loop: the gang exited $status, expected 1"$'\n'"$(cat loop.err)"
[ "$(grep -c '"PASS"' loop.csv)" -eq 11 ] || fail "loop: not 11 PASS lines: $(cat loop.csv)"
[ "$(grep -c '"FAIL"' loop.csv)" -eq 1 ] || fail "loop: not 1 FAIL line (the stuck board, once): $(cat loop.csv)"
[ "$(grep -c '"RESERVED"' loop.csv)" -eq 11 ] || fail "loop: not 11 RESERVED lines: $(cat loop.csv)"
[ "$(grep '"PASS"' loop.csv | cut -d, -f8 | sort -u | wc -l)" -eq 11 ] || fail "loop: serials not unique: $(cat loop.csv)"
grep -q '^Serial=511' loop.sprj || fail "loop: the .sprj holds $(cat loop.sprj)"
[ "$(grep -c 'Initialize\.\.' loop.out)" -eq 12 ] || fail "loop: not 12 runs:"$'\n'"$(cat loop.out)"
grep -q '"FET(LPT[1-4])",[0-9]*,"FET(LPT[1-4])","MSP430F149",.*"FAIL","Blank check failed' loop.csv ||
    fail "loop: the failing board's line: $(cat loop.csv)"
grep -q '^FET(LPT[1-4]) .* PASS ' loop.out && fail "loop: passed boards in the table:"$'\n'"$(cat loop.out)"
[ "$(grep -c '^FET(LPT[1-4]) .* FAIL .*Blank check failed' loop.out)" -eq 1 ] ||
    fail "loop: the summary does not name the failing station:"$'\n'"$(cat loop.out)"
[ "$(grep -c '^Counts: 4 boards, 4 passed, 0 failed, yield 100.0%' loop.out)" -eq 1 ] ||
    fail "loop: no counts after 4 boards:"$'\n'"$(cat loop.out)"
[ "$(grep -c '^Counts: 12 boards, 11 passed, 1 failed, yield 91.7%, [0-9.]* boards per hour$' loop.out)" -eq 2 ] ||
    fail "loop: the counts after 12 boards and at the end:"$'\n'"$(cat loop.out)"

# --- 7b. a board reseated in the loop keeps its number -----------------------------------------
rm -f chip*.state chip*.state.board
sprj reseat.sprj 0x1000 3 700
echo none >socket1
"$PYROLA" --loop -c1 --count 3 -fet --serial reseat.sprj --log reseat.csv +ebpv fw.txt >reseat.out 2>reseat.err &
GANG=$!
sleep 1.5 # the station sees the socket empty first
passes() { if [ -e reseat.csv ]; then grep -c '"PASS"' reseat.csv; else echo 0; fi; }
for board in B1 B1 B2; do # B1 taken out and put back in, then a new board
    echo "board $board" >socket1
    done_before=$(passes)
    deadline=$(($(now_ms) + 30000))
    while [ "$(passes)" = "$done_before" ] && [ "$(now_ms)" -lt "$deadline" ]; do sleep 0.1; done
    echo none >socket1
    sleep 1.5
done
deadline=$(($(now_ms) + 10000))
while kill -0 "$GANG" 2>/dev/null && [ "$(now_ms)" -lt "$deadline" ]; do sleep 0.1; done
kill -0 "$GANG" 2>/dev/null && { fail "reseat: still running after 3 boards"; kill -INT "$GANG"; }
wait "$GANG"
[ "$(grep '"PASS"' reseat.csv | cut -d, -f8 | tr '\n' ' ')" = '"700" "700" "701" ' ] ||
    fail "reseat: the serials of the three runs: $(cat reseat.csv)"
[ "$(lines_with reseat.csv '"RESERVED"')" -eq 2 ] || fail "reseat: not 2 RESERVED lines: $(cat reseat.csv)"
expect_in reseat.out "Serial number 700 kept"
grep -q '^Serial=702' reseat.sprj || fail "reseat: the .sprj holds $(cat reseat.sprj)"
unset PYROLA_SIM_BOARD

# --- 8. three RAW stations ----------------------------------------------------------------------
export PYROLA_LPT1=$PORTLIB PYROLA_LPT2=$PORTLIB PYROLA_LPT3=$PORTLIB PYROLA_SIM_STATE=$WORK/raw%p.state
run raw 0 --gang 1-3 -raw --log raw.csv +ebpv fw.txt
expect_in raw.out "Gang: 3 of 3 boards passed"
for port in 1 2 3; do
    grep -q "^RAW(LPT$port) *- *PASS" raw.out || fail "raw: no PASS row for LPT$port:"$'\n'"$(cat raw.out)"
    [ "$(od -A n -t x1 -j $((0xF000)) -N 2 "raw$port.state" | tr -d ' ')" = 3140 ] || fail "raw: chip $port lacks the image"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "gang checks passed"
