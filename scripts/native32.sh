#!/bin/bash
# Runs the given tests in a pure 32-bit Wine prefix (no WOW64), where the
# launcher takes its native 32-bit paths: the 20-byte driver request among
# them. Every process there runs under emulation, so only a few tests go.
# usage: native32.sh TEST-EXE GTEST-FILTER
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/env.sh"
export WINEPREFIX="$AVENOR_BUILD/wineprefix32"
export WINEARCH=win32
# The tests expect the native request layout of this prefix.
export AVENOR_PREFIX_ARCH=win32
exe="$1"
filter="$2"

if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.avenor-ready" ]; then
    rm -rf "$WINEPREFIX"
    wine wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    reg=$(mktemp --suffix=.reg)
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"="null"\n' >"$reg"
    wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1 </dev/null
    wineserver -w
    rm -f "$reg"
    touch "$WINEPREFIX/.avenor-ready"
fi

trap avenor_wine_down EXIT
avenor_wine_up
wine "$exe" --gtest_filter="$filter"
