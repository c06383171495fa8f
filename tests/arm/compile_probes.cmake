# Compiles each probe source under SOURCE_DIR (its app/, common/, monitor/
# and editor/ folders) as the phone program's sources are compiled
# (phone/flags.cmake: the phone's compiler, its C++03, the phone SDK's
# header first), to assembly only, and names every probe that fails.
#
#   cmake -DSOURCE_DIR=<probes> -DINCLUDE_DIR=<tree> -DOUT=<folder>
#         [-DDEFINITIONS=<a,b>] -P compile_probes.cmake
cmake_minimum_required(VERSION 3.18)
include(${CMAKE_CURRENT_LIST_DIR}/../../phone/flags.cmake)

if(NOT SOURCE_DIR OR NOT INCLUDE_DIR OR NOT OUT)
  message(FATAL_ERROR "compile_probes: SOURCE_DIR, INCLUDE_DIR and OUT must be given")
endif()
set(flags ${VORN_PHONE_CXX_FLAGS} ${VORN_PHONE_INCLUDES} -I${INCLUDE_DIR}
    -I${INCLUDE_DIR}/platform)
foreach(definition IN LISTS VORN_PHONE_DEFINITIONS)
  list(APPEND flags -D${definition})
endforeach()
string(REPLACE "," ";" DEFINITIONS "${DEFINITIONS}")
foreach(definition IN LISTS DEFINITIONS)
  list(APPEND flags -D${definition})
endforeach()
foreach(prelude IN LISTS VORN_PHONE_PRELUDES)
  list(APPEND flags -include ${prelude})
endforeach()

set(sources "")
foreach(folder app common monitor editor)
  file(GLOB found "${SOURCE_DIR}/${folder}/*.cpp")
  list(APPEND sources ${found})
endforeach()
if(NOT sources)
  message(FATAL_ERROR "compile_probes: no sources under ${SOURCE_DIR}")
endif()
list(SORT sources)
file(MAKE_DIRECTORY "${OUT}")
set(failed "")
foreach(source IN LISTS sources)
  file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
  string(MAKE_C_IDENTIFIER "${shown}" object)
  execute_process(COMMAND ${VORN_PHONE_CXX} ${flags} -S "${source}" -o "${OUT}/${object}.s"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message("${output}")
    list(APPEND failed "${shown}")
  endif()
endforeach()
foreach(shown IN LISTS failed)
  message("does not compile for the phone: ${shown}")
endforeach()
if(failed)
  message(FATAL_ERROR "compile_probes: see above")
endif()
