#!/usr/bin/env bash
# Installs what is missing on a fresh Debian machine, then runs every test:
#   1. native gcc build, -Wall -Wextra -Werror, all tests through CTest
#   0. formatting (clang-format --dry-run --Werror on every tracked source)
#   2. the same tests under AddressSanitizer + UBSan (but the real-time ones, label "realtime")
#   3. the worker tests under ThreadSanitizer
#   4. the file-reader fuzzers (clang/libFuzzer), each for a bounded time
#   5. the mingw-w64 cross build, its tests run under Wine (headless), and the Windows
#      program against the simulated bootstrap loader through Wine's serial ports
#   6. the packages: the Debian package installed with dpkg and run, the Windows zip
#      unpacked and its program run under Wine
# The scripts are written for Debian 12 (bookworm).
# Any failing stage fails the whole run.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=${JOBS:-$(nproc)}
FUZZ_SECONDS=${FUZZ_SECONDS:-20}
BUILD=${PYROLA_BUILD_ROOT:-$ROOT/build}

packages=(cmake make g++ libgtest-dev libgmock-dev libbenchmark-dev clang lld llvm libclang-rt-14-dev clang-format
          g++-mingw-w64-x86-64 wine wine64 fonts-wine xvfb xauth srecord python3 git man-db dpkg lintian)
missing=()
for p in "${packages[@]}"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "==== installing: ${missing[*]}"
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
fi

stage() { echo; echo "==== $*"; }

# Runs one ctest command and adds its test count to the tally printed at the end.
TESTS_RUN=0
run_ctest() {
    local log
    log=$(mktemp)
    if ! "$@" 2>&1 | tee "$log"; then
        rm -f "$log"
        return 1
    fi
    local count
    count=$(sed -n 's/.*tests failed out of \([0-9][0-9]*\).*/\1/p' "$log" | tail -n 1)
    TESTS_RUN=$((TESTS_RUN + ${count:-0}))
    rm -f "$log"
}

# A compiler cache, when the machine has one, makes a second run mostly cache hits; the
# test programs share a precompiled header, which the cache accepts with these sloppinesses.
LAUNCHER=()
if command -v ccache >/dev/null 2>&1 && [ "${PYROLA_NO_CCACHE:-0}" != 1 ]; then
    LAUNCHER=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    export CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
fi

build() { # dir, cmake args...
    local dir=$1; shift
    cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${LAUNCHER[@]+"${LAUNCHER[@]}"} "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

stage "formatting (clang-format)"
# From a clone or a source archive alike (scripts/sources.sh).
bash "$ROOT/scripts/sources.sh" "$ROOT" | (cd "$ROOT" && xargs clang-format --dry-run --Werror)

stage "native build (gcc, -Wall -Wextra -Werror)"
build "$BUILD/native" -DPYROLA_WERROR=ON
stage "native tests"
run_ctest ctest --test-dir "$BUILD/native" --output-on-failure --no-tests=error -j "$JOBS"

stage "AddressSanitizer + UBSan build and tests"
# Line tables only and -O1: the reports keep file and line, the build takes far less time.
build "$BUILD/asan" -DPYROLA_WERROR=ON -DPYROLA_SANITIZE=address,undefined -DPYROLA_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    run_ctest ctest --test-dir "$BUILD/asan" --output-on-failure -j "$JOBS" -LE realtime

stage "ThreadSanitizer: worker tests"
cmake -S "$ROOT" -B "$BUILD/tsan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPYROLA_SANITIZE=thread \
    -DPYROLA_BENCH=OFF >/dev/null
tsan_targets=$(cmake --build "$BUILD/tsan" --target help | awk '/test_[a-z_]*(worker|thread)/ {print $2}' | tr '\n' ' ')
if [ -n "$tsan_targets" ]; then
    # shellcheck disable=SC2086
    cmake --build "$BUILD/tsan" -j "$JOBS" --target $tsan_targets
    TSAN_OPTIONS=halt_on_error=1 run_ctest ctest --test-dir "$BUILD/tsan" --output-on-failure -L threads
fi

if [ -f "$ROOT/fuzz/CMakeLists.txt" ]; then
    stage "fuzzers (${FUZZ_SECONDS}s each)"
    CC=clang CXX=clang++ build "$BUILD/fuzz" -DPYROLA_FUZZ=ON -DPYROLA_TESTS=OFF -DPYROLA_BENCH=OFF
    for f in "$BUILD"/fuzz/fuzz/fuzz_*; do
        [ -x "$f" ] || continue
        corpus=$(mktemp -d)
        seeds="$ROOT/fuzz/corpus/$(basename "$f" | sed 's/^fuzz_//')"
        [ -d "$seeds" ] && cp -r "$seeds"/. "$corpus"/
        echo "-- $(basename "$f")"
        "$f" -max_total_time="$FUZZ_SECONDS" -max_len=4096 -print_final_stats=0 "$corpus" 2>&1 | tail -n 2
        rm -rf "$corpus"
    done
fi

stage "mingw-w64 cross build"
# No debug information: the Windows programs are only run, and the build is shorter without it.
build "$BUILD/mingw" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake" -DPYROLA_WERROR=ON -DPYROLA_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -DNDEBUG"
stage "Windows tests under Wine"
export WINEPREFIX
WINEPREFIX=$(mktemp -d /tmp/pyrola-wine.XXXXXX)
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$WINEPREFIX"' EXIT
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# One server for the whole stage: a server that exits between two tests can race the next
# program starting ("recvmsg: Connection reset by peer").
wineserver -p
xvfb-run -a wineboot -i >/dev/null 2>&1 || true
run_ctest xvfb-run -a ctest --test-dir "$BUILD/mingw" --output-on-failure -j "$JOBS"

stage "Windows beside native: pyrola-cli.exe against the simulated loader on a pseudo-terminal, and with native pyrola on one .sprj"
PYROLA_E2E_WINE_CLI="$BUILD/mingw/cli/pyrola-cli.exe" PYROLA_E2E_WINE_FETLIB="$BUILD/mingw/sim/fetlib/MSP430.DLL" \
    run_ctest xvfb-run -a ctest --test-dir "$BUILD/native" --output-on-failure -R '^(bsl_e2e|serialno_mixed)$'
wineserver -k >/dev/null 2>&1 || true
stage "packages: the Debian package installed and run, the Windows zip unpacked and run under Wine"
bash "$ROOT/scripts/package-check.sh" "$BUILD/native" "$BUILD/mingw"
wineserver -k >/dev/null 2>&1 || true
rm -rf "$WINEPREFIX"

stage "all stages passed"
echo "Summary: $TESTS_RUN passed, 0 failed"
