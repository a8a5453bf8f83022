# Builds the installer package from res/Avenor.wxs, the same bytes on every
# machine: the product code follows from the version, the package code from
# the version and the files, and the summary dates are AVENOR_MSI_DATE (wixl
# would take the clock, so it runs under faketime; it gets a fixed sequence
# from res/Avenor.wxs). Included by cmake/Package.cmake, or run on its own:
#   cmake -DAVENOR_MSI_VERSION=1.0.0.1 -DAVENOR_MSI_FILES=<folder with
#         Avenor.exe and Avenor.ini> -DAVENOR_MSI=<out.msi> -P PackageMsi.cmake
if(NOT DEFINED AVENOR_MSI_DATE)
  set(AVENOR_MSI_DATE "2010-01-01 00:00:00 UTC")
endif()
set(stem 7C1F6D2B-4A3E-4F9C)
string(REPLACE "." ";" fields "${AVENOR_MSI_VERSION}")
list(LENGTH fields n)
if(NOT n EQUAL 4)
  message(FATAL_ERROR "the package needs a version of four fields, not ${AVENOR_MSI_VERSION}")
endif()
set(hex "")
foreach(f IN LISTS fields)
  math(EXPR f "0x10000 + ${f}" OUTPUT_FORMAT HEXADECIMAL)
  string(SUBSTRING "${f}" 3 4 f)
  string(TOUPPER "${f}" f)
  string(APPEND hex "${f}")
endforeach()
string(SUBSTRING "${hex}" 0 4 major)
string(SUBSTRING "${hex}" 4 12 rest)
set(product_code "{${stem}-${major}-${rest}}")
list(GET fields 0 major)
list(GET fields 1 minor)
list(GET fields 2 patch)
math(EXPR patch "${patch} + 1")

file(SHA256 "${AVENOR_MSI_FILES}/Avenor.exe" exe_sum)
file(SHA256 "${AVENOR_MSI_FILES}/Avenor.ini" ini_sum)
string(UUID package_code NAMESPACE ${stem}-0000-000000000000
       NAME "${AVENOR_MSI_VERSION};${exe_sum};${ini_sum}" TYPE SHA1 UPPER)

file(REMOVE "${AVENOR_MSI}")
# faketime's clock stands still at a plain date and time given with -f.
execute_process(COMMAND date -u -d "${AVENOR_MSI_DATE}" "+%Y-%m-%d %H:%M:%S"
                OUTPUT_VARIABLE frozen_at OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(frozen ${CMAKE_COMMAND} -E env TZ=UTC faketime -f "${frozen_at}")
execute_process(
  COMMAND ${frozen} wixl -a x86 -D Version=${AVENOR_MSI_VERSION} -D ProductCode=${product_code}
          -D UpgradeBelow=${major}.${minor}.${patch} -D SourceDir=.
          -o "${AVENOR_MSI}" "${CMAKE_CURRENT_LIST_DIR}/../res/Avenor.wxs"
  # wixl takes only relative paths to the files.
  WORKING_DIRECTORY "${AVENOR_MSI_FILES}" COMMAND_ERROR_IS_FATAL ANY)
# The version of the exe lets the installer apply its rules for versioned
# files (wixl leaves the column empty); msibuild writes the package code.
execute_process(
  COMMAND ${frozen} msibuild "${AVENOR_MSI}"
          -q "UPDATE `File` SET `Version` = '${AVENOR_MSI_VERSION}' WHERE `File` = 'Avenor.exe'"
          -s "Avenor ${AVENOR_MSI_VERSION}" Tavrik "Intel;1033" "{${package_code}}"
  COMMAND_ERROR_IS_FATAL ANY)
