# Runs the phone program's compile and link checks where they must fail,
# and passes only when they fail and name what they are expected to name.
#
# Compile: compile_probes.cmake's arguments, with SOURCE_DIR a tree of probe
# sources, plus EXPECT_FAILED (the probes that must not compile) and
# EXPECT_COMPILED (those that must), each a list separated by commas.
#
# Link: link_phone.cmake's arguments, plus faults planted in a copy of the
# inventory, each a list of NAME=WORD separated by commas: PHONE gives the
# row of NAME that phone column, LIBRARY that library; DROP (names only)
# takes rows out. EXPECT_UNGIVEN lists the imports the link must name.
cmake_minimum_required(VERSION 3.18)

if(DEFINED EXPECT_FAILED)
  set(arguments "")
  foreach(name SOURCE_DIR INCLUDE_DIR OUT DEFINITIONS)
    if(DEFINED ${name})
      list(APPEND arguments "-D${name}=${${name}}")
    endif()
  endforeach()
  execute_process(
    COMMAND "${CMAKE_COMMAND}" ${arguments} -P "${CMAKE_CURRENT_LIST_DIR}/compile_probes.cmake"
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  message("${output}")
  if(result EQUAL 0)
    message(FATAL_ERROR "the compile passed where it must fail")
  endif()
  string(REPLACE "," ";" failed "${EXPECT_FAILED}")
  string(REPLACE "," ";" compiled "${EXPECT_COMPILED}")
  foreach(probe IN LISTS failed)
    if(NOT output MATCHES "does not compile for the phone: ${probe}\n")
      message(FATAL_ERROR "the compile did not name ${probe}")
    endif()
  endforeach()
  foreach(probe IN LISTS compiled)
    if(output MATCHES "does not compile for the phone: ${probe}\n")
      message(FATAL_ERROR "the control ${probe} did not compile: the probes prove nothing")
    endif()
  endforeach()
  return()
endif()

if(NOT EXPECT_UNGIVEN)
  message(FATAL_ERROR "expect_failure: nothing expected")
endif()
# The copy of the inventory, with the faults planted.
# One line an element: a semicolon (in a note) would split a line.
file(READ "${INVENTORY}" inventory_text)
string(REPLACE ";" "," inventory_text "${inventory_text}")
string(REPLACE "\n" ";" lines "${inventory_text}")
string(REPLACE "," ";" drop "${DROP}")
string(REPLACE "," ";" phone_faults "${PHONE}")
string(REPLACE "," ";" library_faults "${LIBRARY}")
set(planted "")
set(text "")
foreach(line IN LISTS lines)
  string(REGEX MATCHALL "[^ \t]+" words "${line}")
  list(LENGTH words count)
  if(count GREATER 2 AND NOT line MATCHES "^#")
    list(GET words 0 name)
    if(name IN_LIST drop)
      list(APPEND planted "${name}")
      continue()
    endif()
    foreach(fault IN LISTS phone_faults library_faults)
      if(fault MATCHES "^${name}=(.*)$")
        set(word "${CMAKE_MATCH_1}")
        if(fault IN_LIST phone_faults)
          list(REMOVE_AT words 2)
          list(INSERT words 2 "${word}")
        else()
          list(REMOVE_AT words 1)
          list(INSERT words 1 "${word}")
        endif()
        list(JOIN words " " line)
        list(APPEND planted "${name}")
      endif()
    endforeach()
  endif()
  string(APPEND text "${line}\n")
endforeach()
string(REPLACE "," ";" expected "${DROP},${PHONE},${LIBRARY}")
list(FILTER expected EXCLUDE REGEX "^$")
list(LENGTH expected expected_count)
list(REMOVE_DUPLICATES planted)
list(LENGTH planted planted_count)
if(NOT planted_count EQUAL expected_count)
  message(FATAL_ERROR "expect_failure: only ${planted} of ${expected} found in ${INVENTORY}")
endif()
file(MAKE_DIRECTORY "${OUT}")
file(WRITE "${OUT}/functions.txt" "${text}")

execute_process(
  COMMAND "${CMAKE_COMMAND}" -DINVENTORY=${OUT}/functions.txt -DOBJECTS=${OBJECTS}
          -DRUNTIME=${RUNTIME} -DOUT=${OUT}/link
          -P "${CMAKE_CURRENT_LIST_DIR}/link_phone.cmake"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
message("${output}")
if(result EQUAL 0)
  message(FATAL_ERROR "the link passed where it must fail")
endif()
string(REPLACE "," ";" ungiven "${EXPECT_UNGIVEN}")
foreach(name IN LISTS ungiven)
  if(NOT output MATCHES "under the phone's name in [^\n]*: ${name} \\(")
    message(FATAL_ERROR "the link did not name ${name}")
  endif()
endforeach()
