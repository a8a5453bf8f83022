#!/bin/bash
# The Visual Studio build, as far as this Linux machine allows. CMake configures
# the product alone with clang-cl in MSVC mode (cmake/toolchain-clang-cl-x86.cmake),
# so the if(MSVC) branch of CMakeLists.txt chooses the flags: every product
# source compiles at /W4 /WX against Wine's MSVC-compatible headers, the
# resources through llvm-rc. The Visual C++ runtime is not here: the link takes
# standins/vcruntime in its place and mingw-w64's import libraries, and gives
# build/msvc-check/Avenor.exe, which runs under Wine. Called by scripts/lint.sh.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${AVENOR_BUILD:-$root/build}/msvc-check"
mingw=/usr/i686-w64-mingw32/lib
libgcc=$(i686-w64-mingw32-gcc-posix -print-libgcc-file-name)
# __chkstk of the runtime has the same contract as libgcc's _alloca.
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-clang-cl-x86.cmake" \
    -DAVENOR_TESTS=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
    -DCMAKE_EXE_LINKER_FLAGS="/NODEFAULTLIB /SAFESEH:NO /ENTRY:wWinMainCRTStartup /ALTERNATENAME:__chkstk=__alloca" \
    -DCMAKE_CXX_STANDARD_LIBRARIES="$out/VcRuntime.obj $mingw/libkernel32.a $mingw/libuser32.a $mingw/libadvapi32.a $mingw/libucrtbase.a $libgcc" \
    >/dev/null

mapfile -t objects < <(ninja -C "$out" -t targets all | sed -n 's/^\(.*\.\(obj\|res\)\): .*/\1/p')
quiet_ninja() { # ninja's own chatter only when it fails
    local log
    log=$(ninja -C "$out" "$@" 2>&1) || { echo "$log" >&2; return 1; }
}
quiet_ninja "${objects[@]}"
echo "msvc-check: ${#objects[@]} product objects compiled by clang-cl /W4 /WX and llvm-rc"

flags=$(sed -n 's/^CMAKE_CXX_FLAGS:STRING=//p' "$out/CMakeCache.txt")
# shellcheck disable=SC2086
clang-cl-14 --target=i686-pc-windows-msvc $flags /O1 /GS- /GR- /W4 /WX \
    /Fo"$out/VcRuntime.obj" /c -- "$root/standins/vcruntime/VcRuntime.cpp" >/dev/null
quiet_ninja Avenor
echo "msvc-check: linked $out/Avenor.exe (lld-link, runtime stand-in)"
