#!/bin/bash
# Everything a fresh Debian machine needs to build and test the launcher:
# packages, the 32-bit path under emulation, and this checkout's Wine prefix.
# Idempotent; run as root.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${AVENOR_BUILD:-$root/build}/wineprefix"
mkdir -p "$(dirname "$WINEPREFIX")"
bash "$root/scripts/setup-wine.sh"
