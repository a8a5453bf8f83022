# Builds the product the way Visual Studio would, on Linux: clang-cl in MSVC
# mode for 32-bit Windows, lld-link, llvm-rc, and the MSVC-compatible Windows
# and C runtime headers of Wine's development package (libwine-dev). Used by
# scripts/lint.sh to hold the if(MSVC) branch of CMakeLists.txt to /W4 /WX;
# configure with AVENOR_TESTS=OFF. There is no Visual C++ runtime library
# here, so only the compile is complete; see scripts/msvc-check.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 10.0)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER clang-cl-14)
set(CMAKE_CXX_COMPILER clang-cl-14)
set(CMAKE_C_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET i686-pc-windows-msvc)
set(CMAKE_RC_COMPILER llvm-rc)
set(CMAKE_LINKER lld-link)
set(CMAKE_AR llvm-lib)
set(CMAKE_MT llvm-mt)

set(AVENOR_WINE_INCLUDE /usr/include/wine/wine)
# The headers stand where the Windows SDK and the C runtime would (INCLUDE).
# WCHAR is wchar_t, as in the Windows SDK (Wine's default is char16_t).
set(_avenor_sdk "-imsvc ${AVENOR_WINE_INCLUDE}/msvcrt -imsvc ${AVENOR_WINE_INCLUDE}/windows")
string(APPEND _avenor_sdk " -DWINE_UNICODE_NATIVE")
# Wine's winnt.h defines the 64-bit interlocked routines as inline functions
# for i386, where clang declares them as builtins of its own: rename Wine's.
foreach(f And64 CompareExchangePointer ExchangeAdd64 ExchangePointer Increment64 Decrement64
          Or64 Xor64)
  string(APPEND _avenor_sdk " -D_Interlocked${f}=wine_Interlocked${f}")
endforeach()
set(CMAKE_C_FLAGS_INIT "${_avenor_sdk}")
set(CMAKE_CXX_FLAGS_INIT "${_avenor_sdk}")
set(CMAKE_RC_FLAGS_INIT "-I ${AVENOR_WINE_INCLUDE}/windows")

# The compiler checks link a test program; there is no runtime library to link.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
