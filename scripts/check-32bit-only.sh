#!/bin/bash
# The program is 32-bit only (the native driver request carries an address in
# a 32-bit field): a 64-bit compile of lamp/AcpiCall.cpp must stop at its
# static_assert. Succeeds only when that compile is refused with the assert's
# message; a compile that succeeds, or fails for another reason (a missing
# compiler included), fails this check. Called by scripts/lint.sh and by the
# 64-bit row of scripts/faults.sh.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
if out=$(x86_64-w64-mingw32-g++ -std=c++17 -fsyntax-only -DUNICODE -D_UNICODE -I. lamp/AcpiCall.cpp 2>&1) ||
    ! grep -q "32-bit program only" <<<"$out"; then
    printf '%s\n' "$out"
    echo "64-bit build: not refused" >&2
    exit 1
fi
echo "64-bit build: refused"
