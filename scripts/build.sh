#!/bin/bash
# Configures and builds the launcher, the stand-ins and the tests.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
[ -f build/CMakeCache.txt ] || cmake --preset mingw-i686 >/dev/null
cmake --build --preset mingw-i686
