# Links the phone program's objects (those of the phone build) again, as the
# phone build links them, against import libraries made from the phone
# column of INVENTORY, a copy of the list of platform functions with faults
# planted in it (expect_failure.cmake). A failed link names each import that
# the list does not give to a phone library under the phone's name, with
# the objects that call it.
#
#   cmake -DINVENTORY=<functions.txt> -DOBJECTS=<folder> -DRUNTIME=<runtime.o>
#         -DOUT=<folder> -P link_phone.cmake
cmake_minimum_required(VERSION 3.18)
include(${CMAKE_CURRENT_LIST_DIR}/../../phone/flags.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/../../phone/imports.cmake)

foreach(argument INVENTORY OBJECTS RUNTIME OUT)
  if(NOT ${argument})
    message(FATAL_ERROR "link_phone: ${argument} not given")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
vorn_phone_definitions("${INVENTORY}" "${OUT}")
set(libraries "")
foreach(library IN LISTS VORN_PHONE_LIBRARIES)
  execute_process(COMMAND ${VORN_PHONE_TOOL_PREFIX}dlltool -d "${OUT}/${library}.def"
                          -l "${OUT}/lib${library}.a"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "link_phone: no import library for ${library}: ${output}")
  endif()
  list(APPEND libraries "${OUT}/lib${library}.a")
endforeach()

file(GLOB_RECURSE objects "${OBJECTS}/*.obj")
if(NOT objects)
  message(FATAL_ERROR "link_phone: no objects under ${OBJECTS}")
endif()
execute_process(COMMAND ${VORN_PHONE_TOOL_PREFIX}ld ${VORN_PHONE_LINK_FLAGS} -o "${OUT}/vorn.exe"
                        ${objects} "${RUNTIME}" ${libraries}
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT failed)
  return()
endif()
message("${output}")
# "OBJECT:(SECTION+0x..): undefined reference to `NAME'"
string(REPLACE "\n" ";" rows "${output}")
set(missing "")
foreach(row IN LISTS rows)
  if(row MATCHES "([^/ :]+\\.o)[^ ]*: undefined reference to `([^']+)'")
    set(symbol "${CMAKE_MATCH_2}")
    list(APPEND missing "${symbol}")
    string(MAKE_C_IDENTIFIER "where_${symbol}" key)
    list(APPEND ${key} "${CMAKE_MATCH_1}")
    list(REMOVE_DUPLICATES ${key})
  endif()
endforeach()
list(REMOVE_DUPLICATES missing)
foreach(symbol IN LISTS missing)
  string(MAKE_C_IDENTIFIER "where_${symbol}" key)
  string(REPLACE ";" ", " where "${${key}}")
  message("not given to a phone library under the phone's name in ${INVENTORY}: "
          "${symbol} (${where})")
endforeach()
message(FATAL_ERROR "link_phone: the phone program does not link")
