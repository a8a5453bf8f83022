# Registers the GoogleTest cases of a test program with CTest as a few entries:
# one per test suite (a fixture with all its instantiations), or one for the
# whole program (WHOLE). Each entry runs its cases in one process through
# tests/run-gtest.sh, which names a case that crashes or hangs and still runs
# every case after it. The cases are listed when ctest starts (the programs
# need the Wine prefix to run), again only when the program or the script that
# writes the entries has changed.
#
#   avenor_add_gtest_suites(TARGET PREFIX <name> [WHOLE] CASE_TIMEOUT <s>
#                           [LABELS <label>...] [SERIAL | OWN_PREFIX <name>]
#                           [IN_ORDER])
#
# SERIAL entries share the build's Wine prefix and run one at a time; an
# OWN_PREFIX entry runs in a 64-bit prefix of that name (scripts/own-prefix.sh)
# and may run beside them.
# IN_ORDER cases build on each other: they always run whole, in one process
# (tests/run-gtest.sh, "in-order").
# Entries are named <PREFIX>.<suite> (or <PREFIX> with WHOLE). A case may take
# CASE_TIMEOUT seconds; an entry's limit is that times its number of cases,
# plus a minute for the program's start and end.
function(avenor_add_gtest_suites target)
  cmake_parse_arguments(arg "WHOLE;SERIAL;IN_ORDER" "PREFIX;CASE_TIMEOUT;OWN_PREFIX" "LABELS" ${ARGN})
  set(listing_script "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites_include.cmake")
  set(entries_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
  file(GENERATE OUTPUT "${listing_script}" CONTENT
"set(exe [==[$<TARGET_FILE:${target}>]==])
set(entries [==[${entries_file}]==])
if(NOT EXISTS \"\${entries}\" OR \"\${exe}\" IS_NEWER_THAN \"\${entries}\"
   OR [==[${AVENOR_GTEST_SUITES_SCRIPT}]==] IS_NEWER_THAN \"\${entries}\"
   OR EXISTS \"\${entries}.failed\")
  include([==[${AVENOR_GTEST_SUITES_SCRIPT}]==])
  avenor_write_suite_entries(
    EMULATOR [==[${CMAKE_CROSSCOMPILING_EMULATOR}]==]
    RUNNER [==[${AVENOR_RUN_GTEST}]==]
    EXE \"\${exe}\" OUT \"\${entries}\"
    PREFIX [==[${arg_PREFIX}]==] WHOLE [==[${arg_WHOLE}]==]
    CASE_TIMEOUT [==[${arg_CASE_TIMEOUT}]==] SERIAL [==[${arg_SERIAL}]==]
    IN_ORDER [==[${arg_IN_ORDER}]==] OWN_PREFIX [==[${arg_OWN_PREFIX}]==] OWN_PREFIX_SCRIPT [==[${AVENOR_OWN_PREFIX}]==]
    LABELS ${arg_LABELS})
endif()
include(\"\${entries}\")
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${listing_script}")
endfunction()

set(AVENOR_GTEST_SUITES_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/WriteSuiteEntries.cmake")
set(AVENOR_RUN_GTEST "${CMAKE_CURRENT_LIST_DIR}/../run-gtest.sh")
set(AVENOR_OWN_PREFIX "${CMAKE_CURRENT_LIST_DIR}/../../scripts/own-prefix.sh")
