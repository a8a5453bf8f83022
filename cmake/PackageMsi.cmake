# Builds the installer package from res/Avenor.wxs, the same bytes on every
# machine: the product code follows from the version, the package code from
# every other byte of the package, and the summary dates are AVENOR_MSI_DATE
# (wixl would take the clock, so it runs under faketime; it gets a fixed
# sequence from res/Avenor.wxs). Included by cmake/Package.cmake, or run on
# its own:
#   cmake -DAVENOR_MSI_VERSION=1.0.0.1 -DAVENOR_MSI_FILES=<folder with
#         Avenor.exe and Avenor.ini> -DAVENOR_MSI=<out.msi>
#         [-DAVENOR_MSI_SOURCE=<another .wxs>] -P PackageMsi.cmake
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

if(NOT DEFINED AVENOR_MSI_SOURCE)
  set(AVENOR_MSI_SOURCE "${CMAKE_CURRENT_LIST_DIR}/../res/Avenor.wxs")
endif()

# wixl takes only relative paths to the files: the two files and the icon of
# the list of installed programs are put together in one scratch folder, which
# later holds the code page table too.
set(files "${AVENOR_MSI}.files")
file(REMOVE_RECURSE "${files}" "${AVENOR_MSI}")
file(COPY "${AVENOR_MSI_FILES}/Avenor.exe" "${AVENOR_MSI_FILES}/Avenor.ini"
     "${CMAKE_CURRENT_LIST_DIR}/../res/Avenor.ico" DESTINATION "${files}")
# faketime's clock stands still at a plain date and time given with -f.
execute_process(COMMAND date -u -d "${AVENOR_MSI_DATE}" "+%Y-%m-%d %H:%M:%S"
                OUTPUT_VARIABLE frozen_at OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
set(frozen ${CMAKE_COMMAND} -E env TZ=UTC faketime -f "${frozen_at}")
execute_process(
  COMMAND ${frozen} wixl -a x86 -D Version=${AVENOR_MSI_VERSION} -D ProductCode=${product_code}
          -D UpgradeBelow=${major}.${minor}.${patch} -D SourceDir=.
          -o "${AVENOR_MSI}" "${AVENOR_MSI_SOURCE}"
  WORKING_DIRECTORY "${files}" COMMAND_ERROR_IS_FATAL ANY)
# What wixl leaves out: the exe's version and language, so that the installer
# applies its rules for versioned files (which compare versions, never a
# hash: a versioned file has no hash row); its checksum attribute, so that a
# repair verifies the launcher's PE checksum and replaces a damaged one of the
# same version; the secure properties, so that a managed install keeps the
# folder a deployer names and the one remembered; and the database's code
# page, so that the refusal text can be translated.
file(WRITE "${files}/_ForceCodepage.idt" "\r\n\r\n1252\t_ForceCodepage\r\n")
execute_process(
  COMMAND ${frozen} msibuild "${AVENOR_MSI}"
          -q "UPDATE `File` SET `Version` = '${AVENOR_MSI_VERSION}', `Language` = '1033', `Attributes` = 1536 WHERE `File` = 'Avenor.exe'"
          -q "DELETE FROM `MsiFileHash` WHERE `File_` = 'Avenor.exe'"
          -q "UPDATE `Property` SET `Value` = 'AVENOR_OLDER;AVENOR_NEWER;AVENOR_REMEMBERED;INSTALLDIR' WHERE `Property` = 'SecureCustomProperties'"
          -i "${files}/_ForceCodepage.idt"
  COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${files}")
# The package code follows from every byte of the package but the code itself:
# the package is summed with a code of zeros, then given the code of that sum.
# Two packages that differ in anything (files, tables, conditions, summary)
# are then never taken for the same one, and the same sources still give the
# same code.
function(write_summary package_code)
  execute_process(COMMAND ${frozen} msibuild "${AVENOR_MSI}" -s "Avenor ${AVENOR_MSI_VERSION}" Tavrik "Intel;1033"
                          "{${package_code}}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()
write_summary(00000000-0000-0000-0000-000000000000)
file(SHA256 "${AVENOR_MSI}" package_sum)
string(UUID package_code NAMESPACE ${stem}-0000-000000000000 NAME "${package_sum}" TYPE SHA1 UPPER)
write_summary(${package_code})
