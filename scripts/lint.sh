#!/bin/bash
# Static analysis of the product code: cppcheck and clang-tidy (checks chosen in
# .clang-tidy), both clean or the run fails, and the Visual Studio build's
# compile at /W4 /WX (scripts/msvc-check.sh). Needs a configured build folder
# (compile_commands.json).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
product=(app diag lamp common fw)

cppcheck --enable=warning,style,performance,portability --error-exitcode=1 --std=c++17 \
    --platform=win32W -D_WIN32 -DUNICODE -D_UNICODE -I. --suppress=missingIncludeSystem \
    --inline-suppr --quiet "${product[@]}"
echo "cppcheck: clean"

gxx_inc=/usr/lib/gcc/i686-w64-mingw32/$(i686-w64-mingw32-g++-posix -dumpversion)/include/c++
mapfile -t sources < <(find "${product[@]}" -name '*.cpp' | sort)
out=$(mktemp)
trap 'rm -f "$out"' EXIT
if ! clang-tidy -p build --quiet \
    --extra-arg=--target=i686-w64-windows-gnu \
    --extra-arg=-isystem/usr/i686-w64-mingw32/include \
    --extra-arg=-isystem"$gxx_inc" --extra-arg=-isystem"$gxx_inc"/i686-w64-mingw32 \
    "${sources[@]}" >"$out" 2>&1; then
    grep -v 'warnings generated' "$out"
    echo "clang-tidy: findings" >&2
    exit 1
fi
echo "clang-tidy: clean (${#sources[@]} files)"

bash scripts/msvc-check.sh

clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h' '*.c')
echo "clang-format: clean"

# The hosted workflow cannot run here: its schema is checked (scripts/setup.sh
# installs the checker).
"${AVENOR_BUILD:-build}/npm/node_modules/.bin/action-validator" .github/workflows/*.yml
echo "workflows: valid"

# The program is 32-bit only: a 64-bit build must stop at compile time.
bash scripts/check-32bit-only.sh
