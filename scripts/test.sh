#!/bin/bash
# Builds everything and runs every test: the unit tests of the pure pieces and
# the end-to-end tests that run the real launcher under Wine.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
. "$root/scripts/env.sh"
trap avenor_wine_down EXIT
avenor_wine_up
cd "$root"
ctest --preset mingw-i686 "$@"
