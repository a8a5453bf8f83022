#!/bin/bash
# The release is reproducible: two clean clones of the committed HEAD, in
# folders of different path lengths, each build the product alone and its
# packages; Avenor.exe, the zip and the installer package must be byte for
# byte the same. Prints their SHA-256.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dirs=("$work/a" "$work/a-much-longer-folder-name/src")
package=Avenor-$(sed -n 's/^project(Avenor VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")-win32
# The reproducible release is the unsigned one (scripts/sign.sh).
unset AVENOR_SIGN_PKCS12 AVENOR_SIGN_CERT AVENOR_SIGN_KEY
for d in "${dirs[@]}"; do
    git clone -q --no-hardlinks "$root" "$d"
    cmake -S "$d" -B "$d/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$d/cmake/toolchain-i686-mingw.cmake" \
        -DCMAKE_BUILD_TYPE=MinSizeRel -DAVENOR_TESTS=OFF >/dev/null
    cmake --build "$d/build" --target package >/dev/null
done
status=0
for f in Avenor.exe "$package.zip" "$package.msi"; do
    mapfile -t sums < <(for d in "${dirs[@]}"; do sha256sum "$d/build/$f" | cut -d' ' -f1; done)
    if [ "${sums[0]}" = "${sums[1]}" ]; then
        echo "reproducible: ${sums[0]}  $f"
    else
        echo "NOT reproducible: $f (${sums[0]} / ${sums[1]})" >&2
        status=1
    fi
done
exit $status
