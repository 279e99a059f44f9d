#!/usr/bin/env bash
# Two programs serializing from one .sprj file at the same time never get the same
# number: 20 pairs of runs, each program with its own simulated chip and settings, one
# shared .sprj and one shared log. Every chip must end with its own serial, the file at the
# number after the last one, and the log with one whole line per run.
# Arguments: pyrola, the simulated FET library, a work folder, the emulator (empty natively).
# With B_PYROLA, B_FETLIB and B_EMULATOR set, the second board of each pair runs that
# program instead (the Windows build under Wine beside the native one: both must take the
# same lock).
set -u
PYROLA=$1 FETLIB=$2 WORK=$3 EMULATOR=${4:-}
PAIRS=${PAIRS:-20}
rm -rf "$WORK" && mkdir -p "$WORK"

# The program sees Windows paths under Wine.
native() { if [ -n "$EMU" ]; then local p=${1//\//\\}; echo "Z:$p"; else echo "$1"; fi; }

printf '[Options]\r\nAddress=0x1000\r\nType=0\r\nSerial=SN-0001\r\n' > "$WORK/unit.sprj"

board() { # pair side
    local name="$1$2" PROG=$PYROLA LIB=$FETLIB EMU=$EMULATOR
    if [ "$2" = b ] && [ -n "${B_PYROLA:-}" ]; then PROG=$B_PYROLA LIB=$B_FETLIB EMU=${B_EMULATOR:-}; fi
    PYROLA_SETTINGS=$(native "$WORK/$name.ini") PYROLA_SIM_STATE=$(native "$WORK/$name.state") \
        PYROLA_FET_LIBRARY=$(native "$LIB") \
        $EMU "$PROG" -fet --serial "$(native "$WORK/unit.sprj")" --log "$(native "$WORK/line.csv")" \
        > "$WORK/$name.out" 2>&1
    echo $? > "$WORK/$name.status"
}

for i in $(seq 1 "$PAIRS"); do
    board "$i" a &
    board "$i" b &
    wait
done

failed=0
fail() { echo "FAIL: $*"; failed=1; }
declare -A owner
for i in $(seq 1 "$PAIRS"); do
    for side in a b; do
        name="$i$side"
        [ "$(cat "$WORK/$name.status")" = 0 ] || { fail "run $name exited $(cat "$WORK/$name.status")"; cat "$WORK/$name.out"; continue; }
        # The serial at 0x1000 of this board's chip: the text up to its zero byte.
        serial=$(dd if="$WORK/$name.state" bs=1 skip=4096 count=8 2>/dev/null | tr -d '\0')
        [[ "$serial" =~ ^SN-[0-9]{4}$ ]] || { fail "board $name holds '$serial'"; continue; }
        [ -z "${owner[$serial]:-}" ] || fail "$serial went to board ${owner[$serial]} and to board $name"
        owner[$serial]=$name
        grep -q -- "->Serial number written: $serial\$" <(tr -d '\r' < "$WORK/$name.out") || fail "run $name did not report $serial"
    done
done
expected=$((2 * PAIRS))
[ "${#owner[@]}" = "$expected" ] || fail "${#owner[@]} distinct serials for $expected boards"
next=$(printf 'SN-%04d' $((expected + 1)))
grep -q "^Serial=$next"$'\r'"\$" "$WORK/unit.sprj" || fail "unit.sprj does not end at $next: $(cat "$WORK/unit.sprj")"
lines=$(wc -l < "$WORK/line.csv")
# Each run: its RESERVED line and its PASS line.
[ "$lines" = $((2 * expected + 1)) ] || fail "line.csv has $lines lines, expected $((2 * expected + 1))"
[ "$(grep -c ',"RESERVED","","",0'$'\r''$' "$WORK/line.csv")" = "$expected" ] || fail "not every run has a whole RESERVED line"
[ "$(grep -c '^"Date and time"' "$WORK/line.csv")" = 1 ] || fail "line.csv holds the header more than once"
[ "$(grep -c ',"PASS","","[^"]*",[0-9]*'$'\r''$' "$WORK/line.csv")" = "$expected" ] || fail "not every run has a whole PASS line"
logged=$(grep -o '"SN-[0-9]*"' "$WORK/line.csv" | sort -u | wc -l)
[ "$logged" = "$expected" ] || fail "the log names $logged distinct serials for $expected boards"
[ $failed = 0 ] && echo "concurrent serialization test passed ($expected boards)"
exit $failed
