# Helpers shared by the shell end-to-end scripts: a failure count, checks of output files,
# a run of the program with its expected exit status, and a .sprj writer. The script sets
# PYROLA before calling run.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_in() { grep -qF -- "$2" "$1" || fail "\"$2\" missing from $1:"$'\n'"$(cat "$1")"; }
expect_not_in() { grep -qF -- "$2" "$1" && fail "\"$2\" in $1:"$'\n'"$(cat "$1")"; }
run() { # name, expected status, arguments...
    local name=$1 expected=$2; shift 2
    timeout 120 "$PYROLA" "$@" >"$name.out" 2>"$name.err"
    local status=$?
    [ "$status" -eq "$expected" ] || fail "$name: pyrola $* exited $status, expected $expected"$'\n'"$(cat "$name.out" "$name.err")"
}
sprj() { printf '[Options]\r\nAddress=%s\r\nType=%s\r\nSerial=%s\r\n' "$2" "$3" "$4" >"$1"; }
