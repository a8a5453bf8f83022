#!/bin/bash
# The test kit as a test machine runs it, under Wine's cmd: unpacked into a
# fresh folder, run.cmd in a fresh prefix, ended with it. It must exit 0, and
# its not-run list must be exactly what Wine cannot show.
# usage: kit-test.sh KIT_ZIP
set -uo pipefail
. "$(dirname "$0")/../../scripts/env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/avenor-kit.XXXXXX")
trap 'rm -rf "$work"' EXIT
unzip -q "$1" -d "$work/kit" || exit 1
AVENOR_BUILD=$work bash "$AVENOR_ROOT/scripts/own-prefix.sh" kit win64 \
    wine cmd /c "Z:${work//\//\\}\\kit\\run.cmd" </dev/null 2>&1 | tr -d '\r' | tee "$work/run.log"
rc=${PIPESTATUS[0]}
not_run=$(sed -n 's/^NOT RUN  \([^:]*\):.*/\1/p' "$work/run.log" | sort | tr '\n' ' ')
expected="Installer.RepairDamaged "
[ "$rc" = 0 ] || { echo "the kit's run exited with $rc"; exit 1; }
[ "$not_run" = "$expected" ] || { echo "not run: '$not_run', not '$expected'"; exit 1; }
grep -q '^SUMMARY on wine: [1-9][0-9]* passed, 0 failed' "$work/run.log" || exit 1
