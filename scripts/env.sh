# Sourced by the project's scripts: the Wine environment for this checkout.
# One prefix per build folder, so that test runs never share named objects or
# driver services with anything else on the machine.
AVENOR_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
AVENOR_BUILD="${AVENOR_BUILD:-$AVENOR_ROOT/build}"
. /usr/local/lib/wow/env.sh
export WINEPREFIX="$AVENOR_BUILD/wineprefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml="

# Starts the prefix's wineserver and its background services once, with no
# inherited output: otherwise they would hold a caller's pipes open (ctest's
# test discovery waits on them).
avenor_wine_up() {
    wineserver -p >/dev/null 2>&1 </dev/null
    wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

avenor_wine_down() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
}
