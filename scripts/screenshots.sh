#!/bin/bash
# Pictures of the launcher's three message boxes for the README, drawn by
# Wine's X11 driver on a virtual X display: docs/box-question.png,
# docs/box-driver.png, docs/box-occupied.png (English) and
# docs/box-driver-de.png (German). A documentation tool, not a test; run as
# root (it installs what it lacks).
#
#   bash scripts/screenshots.sh         # build folder: $AVENOR_BUILD or build/
#
# The pictures get a Wine prefix of their own, <build>/wineprefix-x11: the
# test prefix uses the null graphics driver, which draws nothing.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${AVENOR_BUILD:-$root/build}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
docs="$root/docs"
tool="$build/tests/tools/avenor_boxshow.exe"
export WINEPREFIX="$build/wineprefix-x11"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

export T0="${T0:-$(date +%s)}"
step() { echo "[screenshots +$(($(date +%s) - T0))s] $*"; }
die() {
    echo "screenshots: $*" >&2
    exit 1
}

# ------------------------------------------------------------ under the display
# Each box is shown by avenor_boxshow, which prints "ready L T W H" with the
# box's screen rectangle once it is painted and holds it until its done file
# exists; the picture is the screen cut to that rectangle.
shoot() {
    local picture="$1" scenario="$2" locale="${3:-}"
    local out="$work/$picture.out" err="$work/$picture.err" done="$work/$picture.done"
    wine "$tool" "$scenario" "$done" ${locale:+"$locale"} >"$out" 2>"$err" </dev/null &
    local pid=$! rect="" i
    for ((i = 0; i < 1200; i++)); do # at most 120 s
        rect=$(tr -d '\r' <"$out" | sed -n 's/^ready //p')
        [ -n "$rect" ] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [ -n "$rect" ]; then
        local x y w h
        read -r x y w h <<<"$rect"
        import -window root -crop "${w}x${h}+${x}+${y}" +repage -strip "png:$work/$picture.png"
    fi
    touch "$done"
    for ((i = 0; i < 600; i++)); do # at most 60 s
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
        die "$picture: avenor_boxshow did not end"
    fi
    local rc=0
    wait "$pid" || rc=$?
    if [ -z "$rect" ] || [ "$rc" != 0 ]; then
        cat "$out" "$err" >&2
        die "$picture: no picture (avenor_boxshow exit code $rc)"
    fi
    mv "$work/$picture.png" "$docs/$picture.png"
    step "$picture.png: ${rect// /,} $(stat -c %s "$docs/$picture.png") bytes"
}

if [ "${1:-}" = --under-display ]; then
    . /usr/local/lib/wow/env.sh
    export WINEPREFIX="$build/wineprefix-x11" # env.sh names another prefix
    work="$(mktemp -d)"
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
    mkdir -p "$docs"
    step "display $DISPLAY"
    shoot box-question question
    shoot box-driver driver
    shoot box-occupied occupied
    shoot box-driver-de driver de_DE.UTF-8
    exit 0
fi

# ------------------------------------------------------------ machine and build
[ "$(id -u)" = 0 ] || die "run as root"
missing=()
command -v Xvfb >/dev/null || missing+=(xvfb)
[ -x /usr/bin/import ] || missing+=(imagemagick)
if [ ${#missing[@]} -gt 0 ]; then
    step "installing ${missing[*]}"
    apt-get update -q >/dev/null
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
fi
if [ ! -r /usr/local/lib/wow/env.sh ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    step "setting up Wine"
    bash "$root/scripts/setup.sh"
fi
. /usr/local/lib/wow/env.sh
export WINEPREFIX="$build/wineprefix-x11" # env.sh names another prefix

step "building avenor_boxshow in $build"
[ -f "$build/CMakeCache.txt" ] || cmake --preset mingw-i686 -B "$build" >/dev/null
cmake --build "$build" --target avenor_boxshow >/dev/null

# ------------------------------------------------------------ the picture prefix
# As scripts/setup-wine.sh makes a prefix, with the X11 driver instead of the
# null one.
if [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
fi
if [ ! -f "$WINEPREFIX/system.reg" ] ||
    [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    step "creating prefix $WINEPREFIX"
    rm -rf "$WINEPREFIX"
    WINEARCH=win64 DISPLAY='' wine wineboot -i >/dev/null 2>&1
    wineserver -w
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] ||
        die "prefix has no syswow64 - the 32-bit half of wineboot failed"
fi
# Registry: the default (X11) graphics driver; no crash dialog; and, since no
# window manager runs on the virtual display, Wine draws the boxes' captions
# and frames itself.
reg="$(mktemp --suffix=.reg)"
{
    printf 'REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\n"ShowCrashDialog"=dword:00000000\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\Drivers]\n"Graphics"=-\n\n'
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\X11 Driver]\n"Decorated"="N"\n'
} >"$reg"
stamp="$WINEPREFIX/.screenshots-registry"
if ! cmp -s "$reg" "$stamp"; then
    step "importing registry settings (Graphics=x11, ShowCrashDialog=0, Decorated=N)"
    DISPLAY='' wine regedit /S "Z:${reg//\//\\}" >/dev/null 2>&1
    wineserver -w
    grep -q '"Decorated"="N"' "$WINEPREFIX/user.reg" || die "registry import failed"
    cp "$reg" "$stamp"
fi
rm -f "$reg"
# Wine as packaged here does not find its own fonts, and would draw the boxes
# in a stand-in face, the caption's close button as a letter; the prefix's
# font folder holds copies.
for font in /usr/share/wine/fonts/*.ttf; do
    [ -f "$WINEPREFIX/drive_c/windows/Fonts/$(basename "$font")" ] ||
        cp "$font" "$WINEPREFIX/drive_c/windows/Fonts/"
done

step "showing the boxes on a virtual display"
# Xvfb picks a free display number and writes it to fd 3 once it listens.
displayno="$(mktemp)"
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$displayno" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; rm -f "$displayno"' EXIT
for ((i = 0; i < 100; i++)); do # at most 10 s
    [ -s "$displayno" ] && break
    kill -0 "$xvfb" 2>/dev/null || die "Xvfb did not start"
    sleep 0.1
done
[ -s "$displayno" ] || die "Xvfb did not start"
DISPLAY=":$(tr -d '\n' <"$displayno")" AVENOR_BUILD="$build" bash "$0" --under-display
step "done: docs/box-question.png docs/box-driver.png docs/box-occupied.png docs/box-driver-de.png"
