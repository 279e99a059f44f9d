#!/usr/bin/env bash
# Native pyrola and the Windows build's pyrola-cli.exe under Wine serializing from one .sprj
# at the same time: the concurrent test with the second board of each pair run under Wine.
# Needs PYROLA_E2E_WINE_CLI (pyrola-cli.exe) and PYROLA_E2E_WINE_FETLIB (its MSP430.DLL);
# without them it is skipped (exit 77).
# Arguments: pyrola, the simulated FET library, a work folder.
set -u
if [ -z "${PYROLA_E2E_WINE_CLI:-}" ] || [ -z "${PYROLA_E2E_WINE_FETLIB:-}" ]; then
    echo "skipped: PYROLA_E2E_WINE_CLI and PYROLA_E2E_WINE_FETLIB name the Windows build"
    exit 77
fi
command -v wine >/dev/null || { echo "FAIL: wine is not installed"; exit 1; }
B_PYROLA=$PYROLA_E2E_WINE_CLI B_FETLIB=$PYROLA_E2E_WINE_FETLIB B_EMULATOR=wine \
    exec bash "$(dirname "$0")/Concurrent.sh" "$1" "$2" "$3"
