# The phone program is ARM code for ARMv4T only, which every phone CPU of
# the era runs: its entry is an ARM (4-aligned) address, no assembly that
# went to the phone's assembler switches to Thumb, and that assembler, with
# the program's options, refuses what ARMv4T lacks while it takes the
# control instructions.
#
#   cmake -DIMAGE=<vorn.exe> -DOBJECTS=<phone build folder> -DOUT=<folder>
#         -DPYTHON=<python3> -P check_arm_state.cmake
cmake_minimum_required(VERSION 3.18)
include(${CMAKE_CURRENT_LIST_DIR}/../../phone/flags.cmake)

execute_process(COMMAND ${PYTHON} ${CMAKE_CURRENT_LIST_DIR}/check_image.py entry ${IMAGE}
                RESULT_VARIABLE failed)
set(faults "")
if(failed)
  list(APPEND faults "the entry")
endif()

file(GLOB_RECURSE assembly "${OBJECTS}/*.ce.s")
if(NOT assembly)
  message(FATAL_ERROR "check_arm_state: no assembly under ${OBJECTS}")
endif()
foreach(file IN LISTS assembly)
  file(STRINGS "${file}" thumb REGEX "^[ \t]*\\.(thumb|thumb_func|force_thumb|code[ \t]+16)")
  if(thumb)
    list(APPEND faults "Thumb in ${file}: ${thumb}")
  endif()
endforeach()

# instruction, and whether ARMv4T has it
set(probes "clz r0, r1|no" "blx r0|no" "ldrd r0, r1, [r2]|no" "mul r0, r1, r2|yes"
           "bx lr|yes")
file(MAKE_DIRECTORY "${OUT}")
set(index 0)
foreach(probe IN LISTS probes)
  string(REPLACE "|" ";" probe "${probe}")
  list(GET probe 0 instruction)
  list(GET probe 1 known)
  math(EXPR index "${index} + 1")
  file(WRITE "${OUT}/probe${index}.s" "\t.syntax unified\n\t.arm\n\t${instruction}\n")
  execute_process(COMMAND ${VORN_PHONE_TOOL_PREFIX}as ${VORN_PHONE_AS_FLAGS}
                          -o "${OUT}/probe${index}.o" "${OUT}/probe${index}.s"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(known STREQUAL "no" AND NOT failed)
    list(APPEND faults "the assembler took \"${instruction}\", which ARMv4T lacks")
  elseif(known STREQUAL "yes" AND failed)
    list(APPEND faults "the assembler refused \"${instruction}\": ${output}")
  else()
    message(STATUS "\"${instruction}\": ${known}")
  endif()
endforeach()

list(LENGTH assembly count)
foreach(fault IN LISTS faults)
  message("FAIL ${fault}")
endforeach()
if(faults)
  message(FATAL_ERROR "check_arm_state: see above")
endif()
message(STATUS "ARM state only: the entry, ${count} assembly files, the assembler's refusals")
