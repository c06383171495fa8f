# Compiles layout.cpp, the table of the records the program hands the
# system, with the phone program's compiler and options, and with clang for
# 32-bit ARM Windows, whose layout is Microsoft's (the reference, and clang's
# one use here). Either compile failing names the rows that do not hold.
#
#   cmake -DTREE=<source tree> -DCLANG=<clang++> -P check_layout.cmake
cmake_minimum_required(VERSION 3.18)
include(${CMAKE_CURRENT_LIST_DIR}/../../phone/flags.cmake)

set(common -fsyntax-only -std=gnu++03 -I${TREE} -I${TREE}/platform)
foreach(definition IN LISTS VORN_PHONE_DEFINITIONS)
  list(APPEND common -D${definition})
endforeach()
set(phone ${VORN_PHONE_CXX} ${VORN_PHONE_CXX_FLAGS} ${VORN_PHONE_INCLUDES} -DPHONE_COMPILE)
foreach(prelude IN LISTS VORN_PHONE_PRELUDES)
  list(APPEND phone -include ${prelude})
endforeach()
set(reference ${CLANG} --target=armv7-w64-windows-gnu -isystem /usr/share/mingw-w64/include
    -include ${TREE}/platform/phone/sdk.h)

set(failed "")
foreach(compile phone reference)
  execute_process(COMMAND ${${compile}} ${common} ${CMAKE_CURRENT_LIST_DIR}/layout.cpp
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(result)
    # "size_of_MSG" or "alignment_of_MSG": the row that does not hold.
    string(REGEX MATCHALL "(size_of|alignment_of)_[A-Za-z0-9_]+" rows "${output}")
    list(REMOVE_DUPLICATES rows)
    message("${output}")
    message("the ${compile} compile does not hold: ${rows}")
    list(APPEND failed ${compile})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "check_layout: see above")
endif()
message(STATUS "every row holds under the phone's compile and Microsoft's layout")
