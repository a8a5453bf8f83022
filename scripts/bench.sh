#!/bin/bash
# Speed and size of the launcher, measured side by side in one run against a
# bare process start (no timed test anywhere: these machines are noisy).
# usage: bench.sh [REPETITIONS] [IDLE-SECONDS]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh" >/dev/null
bash "$root/scripts/build.sh" >/dev/null
. "$root/scripts/env.sh"
trap avenor_wine_down EXIT
avenor_wine_up

exe="$AVENOR_BUILD/Avenor.exe"
echo "Footprint of $exe"
total=$(stat -c %s "$exe")
rsrc_hex=$(i686-w64-mingw32-objdump -h "$exe" | awk '$2 == ".rsrc" { print $3 }')
rsrc=$((16#${rsrc_hex:-0}))
printf '| whole file | %d bytes |\n' "$total"
printf '| resources (icon, version, manifest) | %d bytes |\n' "$rsrc"
printf '| without resources | %d bytes (goal <= 32768) |\n' "$((total - rsrc))"
printf '| imports | %s |\n' "$(i686-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ { print $3 }' | tr '\n' ' ')"
echo
wine "$AVENOR_BUILD/tests/bench/avenor_bench.exe" "${1:-10}" "${2:-30}"
