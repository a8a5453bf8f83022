#!/bin/bash
# Runs a command in a Wine prefix of its own below the build folder, made on
# first use with the settings of the main prefix (no graphics, no crash
# dialog). Its wineserver, named objects, debugger output stream and driver
# service are its own, so what runs there may run beside the tests of the main
# prefix.
# usage: own-prefix.sh NAME win32|win64 COMMAND...
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/env.sh"
export WINEPREFIX="$AVENOR_BUILD/wineprefix-$1"
if [ "$2" = win32 ]; then
    export WINEARCH=win32
    # The tests expect the native request layout of such a prefix.
    export AVENOR_PREFIX_ARCH=win32
fi
shift 2

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
"$@"
