#!/bin/bash
# The launcher's main job, shown under Wine: press the key once to start the
# assistant application with the lamp lit, press it again to close it and put
# the lamp out.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" >/dev/null
. "$root/scripts/env.sh"
trap avenor_wine_down EXIT
avenor_wine_up
wine "$AVENOR_BUILD/tests/tools/avenor_demo.exe"
