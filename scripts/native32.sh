#!/bin/bash
# Runs the given tests in a pure 32-bit Wine prefix (no WOW64), where the
# launcher takes its native 32-bit paths: the 20-byte driver request among
# them. Every process there runs under emulation, so only a few tests go. The
# cases run through the suite's case runner (tests/run-gtest.sh), as every
# other entry's do.
# usage: native32.sh TEST-EXE GTEST-FILTER CASE-TIMEOUT
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
exec bash "$root/scripts/own-prefix.sh" 32 win32 bash "$root/tests/run-gtest.sh" "$@"
