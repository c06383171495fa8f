# Compiles every source of the program's own code (app/, common/, monitor/,
# editor/) for the phone's kind of CPU, 32-bit ARM, with clang and the
# MinGW-w64 headers: objects only, warnings as errors. The phone form is
# compiled in the phone compilers' dialect (C++03 with GNU extensions; they
# predate C++11), the desktop form in C++17 as the desktop build is.
# link_for_arm.cmake links the phone form's objects, for size.
#
#   cmake -DCLANG=<clang++> -DSOURCE_DIR=<source> -DOUT=<folder> -DFORM=desktop|phone
#         [-DDEFINITIONS=<a,b>] [-DPHONE_SDK=<header>] [-DINCLUDE_DIR=<tree>]
#         -P compile_for_arm.cmake
#
# The headers come from INCLUDE_DIR (the tree of the program's own code; by
# default SOURCE_DIR), the sources from the four folders under SOURCE_DIR.
#
# FORM phone defines _WIN32_WCE and includes PHONE_SDK first, which stands
# in for the phone SDK's own headers. Every source that fails is named.
cmake_minimum_required(VERSION 3.18)

if(NOT CLANG)
  message(FATAL_ERROR "compile_for_arm: no clang++ (the set-up installs the package clang)")
endif()
if(NOT SOURCE_DIR OR NOT OUT)
  message(FATAL_ERROR "compile_for_arm: SOURCE_DIR and OUT must be given")
endif()

if(NOT INCLUDE_DIR)
  set(INCLUDE_DIR "${SOURCE_DIR}")
endif()
set(flags --target=armv7-w64-windows-gnu -isystem /usr/share/mingw-w64/include
    -Os -Wall -Wextra -Werror -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -I${INCLUDE_DIR} -I${INCLUDE_DIR}/platform)
string(REPLACE "," ";" DEFINITIONS "${DEFINITIONS}")
foreach(definition IN LISTS DEFINITIONS)
  list(APPEND flags -D${definition})
endforeach()
if(FORM STREQUAL "phone")
  if(NOT PHONE_SDK)
    message(FATAL_ERROR "compile_for_arm: PHONE_SDK not given")
  endif()
  # Each function and datum in a section of its own, so that the link for
  # size (link_for_arm.cmake) keeps only what is used.
  list(APPEND flags -std=gnu++03 -D_WIN32_WCE=0x502 -include ${PHONE_SDK}
       -ffunction-sections -fdata-sections)
elseif(FORM STREQUAL "desktop")
  list(APPEND flags -std=c++17)
else()
  message(FATAL_ERROR "compile_for_arm: FORM is desktop or phone, not \"${FORM}\"")
endif()

set(sources "")
foreach(folder app common monitor editor)
  file(GLOB found "${SOURCE_DIR}/${folder}/*.cpp")
  list(APPEND sources ${found})
endforeach()
if(NOT sources)
  message(FATAL_ERROR "compile_for_arm: no sources under ${SOURCE_DIR}")
endif()
list(SORT sources)

file(MAKE_DIRECTORY "${OUT}")
# The folder holds this run's objects only: the link takes all of them.
file(GLOB old_objects "${OUT}/*.o")
if(old_objects)
  file(REMOVE ${old_objects})
endif()
set(failed "")
set(count 0)
foreach(source IN LISTS sources)
  file(RELATIVE_PATH shown "${SOURCE_DIR}" "${source}")
  string(MAKE_C_IDENTIFIER "${shown}" object)
  file(REMOVE "${OUT}/${object}.o")
  execute_process(COMMAND "${CLANG}" ${flags} -c "${source}" -o "${OUT}/${object}.o"
                  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  math(EXPR count "${count} + 1")
  if(NOT result EQUAL 0 OR NOT EXISTS "${OUT}/${object}.o")
    message("${output}")
    list(APPEND failed "${shown}")
    continue()
  endif()
  # An object for 32-bit ARM starts with the machine number 0x01C4.
  file(READ "${OUT}/${object}.o" machine LIMIT 2 HEX)
  if(NOT machine STREQUAL "c401")
    message("${shown}: the object is for machine ${machine}, not 32-bit ARM")
    list(APPEND failed "${shown}")
  endif()
endforeach()

foreach(shown IN LISTS failed)
  message("does not compile for ARM in the ${FORM} form: ${shown}")
endforeach()
if(failed)
  message(FATAL_ERROR "compile_for_arm: see above")
endif()
message(STATUS "${count} sources compiled for 32-bit ARM in the ${FORM} form")
