# Run by CPack (External generator) on the staged install: writes
# <package>.zip and <package>.msi (cmake/PackageMsi.cmake), so that the same
# sources give the same bytes, signs them when a certificate is given
# (scripts/sign.sh), and prints their SHA-256. The zip has its files
# in a fixed order, with fixed permissions and a fixed date (SOURCE_DATE_EPOCH
# when set); the installer package takes the same date.
set(files Avenor.exe Avenor.ini README.txt)
set(out "${CPACK_TOPLEVEL_DIRECTORY}/${CPACK_PACKAGE_FILE_NAME}")
set(stage "${CPACK_TEMPORARY_DIRECTORY}")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  set(date "@$ENV{SOURCE_DATE_EPOCH}")
else()
  set(date "2010-01-01 00:00:00 UTC")
endif()
set(sign bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/sign.sh)
foreach(f IN LISTS files)
  if(NOT EXISTS "${stage}/${f}")
    message(FATAL_ERROR "${f} is not in the staged install")
  endif()
endforeach()
# Signed when a certificate is given (scripts/sign.sh), before it goes into
# either package.
execute_process(COMMAND ${sign} "${stage}/Avenor.exe" COMMAND_ERROR_IS_FATAL ANY)
foreach(f IN LISTS files)
  file(CHMOD "${stage}/${f}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
endforeach()
file(REMOVE "${out}.zip")
# -X leaves out owner, access and change times; the zip's DOS dates are local
# times, so both steps run in UTC.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC touch -d "${date}" -- ${files}
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY "${stage}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC zip -q -X -D -9 "${out}.zip" -- ${files}
                COMMAND_ERROR_IS_FATAL ANY WORKING_DIRECTORY "${stage}")

set(AVENOR_MSI_VERSION "${CPACK_AVENOR_VERSION}")
set(AVENOR_MSI_FILES "${stage}")
set(AVENOR_MSI "${out}.msi")
set(AVENOR_MSI_DATE "${date}")
include(${CMAKE_CURRENT_LIST_DIR}/PackageMsi.cmake)
execute_process(COMMAND ${sign} "${out}.msi" COMMAND_ERROR_IS_FATAL ANY)

foreach(ext zip msi)
  file(SHA256 "${out}.${ext}" sum)
  message(STATUS "SHA-256 ${sum}  ${CPACK_PACKAGE_FILE_NAME}.${ext}")
endforeach()
set(CPACK_EXTERNAL_BUILT_PACKAGES "${out}.zip" "${out}.msi")
