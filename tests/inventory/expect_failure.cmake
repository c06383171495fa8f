# Runs check_imports.cmake where it must fail, and passes only when it fails
# and names each function it is expected to name. Arguments as for
# check_imports.cmake, plus EXPECT_MISSING (functions missing from the
# inventory) and EXPECT_MISPLACED (header-only functions named in a
# source), each a list of names separated by commas.
cmake_minimum_required(VERSION 3.18)

set(arguments "")
foreach(name INVENTORY NM OBJECT_LISTS SYMBOL_PREFIX SOURCE_DIR HEADER)
  if(DEFINED ${name})
    list(APPEND arguments "-D${name}=${${name}}")
  endif()
endforeach()
execute_process(
  COMMAND "${CMAKE_COMMAND}" ${arguments} -P "${CMAKE_CURRENT_LIST_DIR}/check_imports.cmake"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(result EQUAL 0)
  message(FATAL_ERROR "the check passed where it must fail")
endif()

string(REPLACE "," ";" missing "${EXPECT_MISSING}")
string(REPLACE "," ";" misplaced "${EXPECT_MISPLACED}")
if(NOT missing AND NOT misplaced)
  message(FATAL_ERROR "expect_failure: nothing expected")
endif()
foreach(name IN LISTS missing)
  if(NOT output MATCHES "missing from the inventory: ${name} ")
    message(FATAL_ERROR "the check did not name ${name} as missing")
  endif()
endforeach()
foreach(name IN LISTS misplaced)
  if(NOT output MATCHES "only platform/wince.h may call: ${name} ")
    message(FATAL_ERROR "the check did not name ${name} as called outside the header")
  endif()
endforeach()
