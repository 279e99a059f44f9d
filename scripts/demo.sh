#!/usr/bin/env bash
# Programs the example image into a simulated MSP430F149 through the FET adapter, the way
# a real FET would be used, then checks it in a second run and shows a verification
# failure in a third. Builds the programmer, the simulated FET library and the simulated
# bootstrap loader's server (pyrola-bsl-sim, for the README's loader example) first.
#
#   scripts/demo.sh [image]        (default: examples/blink.txt)
#
# The simulated library is chosen explicitly through PYROLA_FET_LIBRARY; the chip's
# state lives in a temporary file (PYROLA_SIM_STATE) so that the runs see the same chip.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2
ROOT=$(pwd)
BUILD=${PYROLA_DEMO_BUILD:-$ROOT/build/demo}
IMAGE=${1:-$ROOT/examples/blink.txt}
JOBS=${JOBS:-2}

if [ ! -f "$IMAGE" ]; then
    echo "demo: no such image: $IMAGE" >&2
    exit 2
fi

# A fresh machine may lack the compiler or CMake: install them (as root) first; man-db too,
# so that the manual page the README points to can be read after the demo alone.
missing=()
for tool in cmake:cmake make:make g++:g++ man:man-db; do
    command -v "${tool%%:*}" >/dev/null 2>&1 || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "==== installing: ${missing[*]}"
    { apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"; } ||
        { echo "demo: could not install ${missing[*]}" >&2; exit 2; }
fi

echo "==== building the programmer, the simulated FET library and the loader server in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYROLA_TESTS=OFF -DPYROLA_BENCH=OFF >/dev/null || exit 2
cmake --build "$BUILD" -j "$JOBS" --target pyrola msp430sim pyrola-bsl-sim || {
    echo "demo: build failed" >&2
    exit 2
}

PYROLA="$BUILD/cli/pyrola"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/pyrola-demo.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
export PYROLA_FET_LIBRARY="$BUILD/sim/fetlib/libmsp430.so"
export PYROLA_SIM_STATE="$WORK/chip.bin"
export PYROLA_SIM_DEVICE=${PYROLA_SIM_DEVICE:-MSP430F149}
export PYROLA_SETTINGS="$WORK/settings.ini"
unset PYROLA_SIM_FAULTS

failures=0
run() { # expected-status, description, arguments...
    local expected=$1 what=$2
    shift 2
    echo
    echo "==== $what"
    echo "\$ pyrola $*"
    "$PYROLA" "$@"
    local status=$?
    echo "(exit status $status)"
    if [ "$status" -ne "$expected" ]; then
        echo "demo: expected exit status $expected" >&2
        failures=$((failures + 1))
    fi
}

run 0 "1. erase, blank check, program and verify a fresh $PYROLA_SIM_DEVICE" -fet +ebpv "$IMAGE"
run 0 "2. a separate run verifies the chip the first run left" -fet +v "$IMAGE"

# One byte of the image changed (a copy): verification must find exactly that byte.
CHANGED="$WORK/$(basename "$IMAGE")"
# awk reads the field's two hex digits through an explicit digit table: "0x.." strings are
# not numbers to POSIX awk, mawk or gawk.
awk 'BEGIN { done = 0; digits = "0123456789ABCDEF" }
     { sub(/\r$/, "") }
     !done && $0 !~ /^[@q]/ && NF > 0 {
         byte = toupper($1)
         hi = index(digits, substr(byte, 1, 1)) - 1
         lo = index(digits, substr(byte, 2, 1)) - 1
         if (length(byte) != 2 || hi < 0 || lo < 0) {
             print "demo: not a hex byte: " $1 > "/dev/stderr"
             exit 1
         }
         $1 = sprintf("%02X", (hi * 16 + lo + 1) % 256)
         done = 1
     }
     { print }
     END { if (!done) exit 1 }' "$IMAGE" | sed 's/$/\r/' >"$CHANGED" || {
    echo "demo: could not change a data byte of $IMAGE" >&2
    exit 2
}
log="$WORK/verify.log"
run 1 "3. verify against a copy of the image with one byte changed" -fet +v "$CHANGED" >"$log" 2>&1
cat "$log"
if ! grep -q "Verify failed. Found 1 errors" "$log"; then
    echo "demo: the changed byte was not reported" >&2
    failures=$((failures + 1))
fi

echo
if [ "$failures" -eq 0 ]; then
    echo "==== demo finished as expected"
    exit 0
fi
echo "==== demo: $failures unexpected result(s)" >&2
exit 1
