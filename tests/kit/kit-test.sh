#!/bin/bash
# The test kit as a test machine runs it, under Wine's cmd: unpacked into a
# fresh folder, run.cmd in a fresh prefix, ended with it; then run.cmd
# /nodriver, as a machine without test signing runs it. Each run must exit 0.
# The first must leave exactly what Wine cannot show not run; the second
# besides only the cases that need the driver, and it must still run the
# start-up cases that need none and the installer table.
# usage: kit-test.sh KIT_ZIP
set -uo pipefail
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/avenor-kit.XXXXXX")
trap 'rm -rf "$work"' EXIT
unzip -q "$1" -d "$work/kit" || exit 1
run_cmd="Z:${work//\//\\}\\kit\\run.cmd"
AVENOR_BUILD=$work bash "$AVENOR_ROOT/scripts/own-prefix.sh" kit win64 bash -c \
    'wine cmd /c "$1" </dev/null >"$2/full.log" 2>&1; echo $? >"$2/full.rc"
     wine cmd /c "$1" /nodriver </dev/null >"$2/nodriver.log" 2>&1; echo $? >"$2/nodriver.rc"' \
    sh "$run_cmd" "$work"
wine_reason="not run on wine: Wine's msiexec"
driver_reason="not run on wine: run without the driver"
for mode in full nodriver; do
    tr -d '\r' <"$work/$mode.log" >"$work/$mode.txt"
    cat "$work/$mode.txt"
    rc=$(cat "$work/$mode.rc")
    [ "$rc" = 0 ] || { echo "the kit's $mode run exited with $rc"; exit 1; }
    grep -q '^SUMMARY on wine: [1-9][0-9]* passed, 0 failed' "$work/$mode.txt" || exit 1
done
not_run=$(sed -n 's/^NOT RUN  \([^:]*\):.*/\1/p' "$work/full.txt" | tr '\n' ' ')
[ "$not_run" = "Installer.RepairDamaged " ] || { echo "not run: '$not_run'"; exit 1; }
grep -qF "NOT RUN  Installer.RepairDamaged: $wine_reason" "$work/full.txt" || exit 1
# Without the driver: every other case not run for the driver, the same cases
# in all, and these among those that ran.
others=$(grep '^NOT RUN  ' "$work/nodriver.txt" | grep -vF "Installer.RepairDamaged: $wine_reason" |
    grep -vF ": $driver_reason")
[ -z "$others" ] || { echo "not run without the driver for another reason: $others"; exit 1; }
total() { sed -n 's/^SUMMARY on wine: \([0-9]*\) passed, 0 failed, \([0-9]*\) not run.*/\1 \2/p' "$1" |
    awk '{ print $1 + $2 }'; }
[ "$(total "$work/full.txt")" = "$(total "$work/nodriver.txt")" ] || { echo "another set of cases"; exit 1; }
for c in StartupTest.MissingDriverShowsTheLocalizedErrorBoxAndEnds Installer.UninstallMoved \
    ResourceTest.VersionRecordAndManifestNameTheProgramItsMakerVersionAndRights; do
    grep -q "^NOT RUN  $c:" "$work/nodriver.txt" && { echo "$c was not run without the driver"; exit 1; }
done
grep -q "^NOT RUN  Installer.FilesInUse: $driver_reason" "$work/nodriver.txt" || exit 1
