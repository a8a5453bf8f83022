#!/bin/bash
# Everything a fresh Debian machine needs to build and test the launcher:
# packages, the 32-bit path under emulation, and this checkout's Wine prefix.
# Idempotent; run as root.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export WINEPREFIX="${AVENOR_BUILD:-$root/build}/wineprefix"
mkdir -p "$(dirname "$WINEPREFIX")"
# The set-up waits for the prefix's wineserver to finish; a persistent one left
# by an earlier run never would.
if command -v wineserver >/dev/null && [ -d "$WINEPREFIX" ]; then
    wineserver -k >/dev/null 2>&1 || true
fi
bash "$root/scripts/setup-wine.sh"

# The Visual Studio build's check (scripts/msvc-check.sh): clang-cl, lld-link,
# llvm-rc and Wine's MSVC-compatible Windows headers. The release: zip, the
# installer package (wixl and msitools, faketime for its fixed dates) and its
# signing (osslsigncode, openssl). The icon's check: python3. The hosted
# workflow's check: npm (a Node.js that brings its own npm will do).
need=""
for p in clang-14 lld llvm libwine-dev zip wixl msitools faketime osslsigncode openssl python3; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || need="$need $p"
done
command -v npm >/dev/null || need="$need nodejs npm"
if [ -n "$need" ]; then
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $need >/dev/null
fi

# The workflow's schema checker (scripts/lint.sh), a fixed version from npm.
tools="${AVENOR_BUILD:-$root/build}/npm"
[ -x "$tools/node_modules/.bin/action-validator" ] ||
    npm install --silent --no-audit --no-fund --prefix "$tools" @action-validator/cli@0.6.0 \
        @action-validator/core@0.6.0 >/dev/null
