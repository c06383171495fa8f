# Links the phone form's ARM objects (made by compile_for_arm.cmake) against
# import libraries made from platform/functions.txt alone: one per phone
# library (coredll, aygshell, toolhelp, ole32) holding the phone column of
# its rows, by name or by ordinal. A stand-in object takes the place of the
# phone compiler's static run-time (the rows of library "compiler"), and of
# nothing else. The entry is the phone form's WinMain, wWinMain.
#
#   cmake -DINVENTORY=<functions.txt> -DOBJECTS=<folder of .o> -DOUT=<folder>
#         -DCLANG=<clang> -DDLLTOOL=<llvm-dlltool> -DLLD=<ld.lld>
#         -P link_for_arm.cmake
#
# The link fails, naming each import and the objects that want it, when the
# program calls a function that the list does not give to a phone library
# under the phone's name: one missing from it, one under its desktop name,
# one of another library (desktop, the sensor library, a "runtime" row).
# The linked image is an ARMNT (Thumb-2) PE without resources, with a
# stand-in run-time: its size is a first figure for the program's code, and
# it is no phone program.
cmake_minimum_required(VERSION 3.18)

foreach(argument INVENTORY OBJECTS OUT CLANG DLLTOOL LLD)
  if(NOT ${argument})
    message(FATAL_ERROR "link_for_arm: ${argument} not given (llvm-dlltool comes with the "
                        "package llvm, ld.lld with lld)")
  endif()
endforeach()

set(phone_libraries coredll aygshell toolhelp ole32)

# ---- the phone column of the inventory --------------------------------------
# One line an element: a semicolon (in a note) would split a line.
file(READ "${INVENTORY}" inventory_text)
string(REPLACE ";" "," inventory_text "${inventory_text}")
string(REPLACE "\n" ";" inventory_lines "${inventory_text}")
set(faults "")
set(standins "")
foreach(library IN LISTS phone_libraries)
  set(exports_${library} "")
endforeach()
foreach(line IN LISTS inventory_lines)
  string(REGEX REPLACE "--.*" "" line "${line}")
  string(STRIP "${line}" line)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  string(REGEX MATCHALL "[^ \t]+" words "${line}")
  list(LENGTH words count)
  set(phone "")
  if(count GREATER 2)
    list(GET words 2 phone)
  endif()
  list(GET words 0 name)
  if(phone STREQUAL "" OR phone STREQUAL "header" OR phone STREQUAL "runtime")
    list(APPEND faults "${name}: no phone column")
    continue()
  endif()
  if(NOT phone MATCHES "^(-|@[0-9]+|[A-Za-z_][A-Za-z0-9_]*(@[0-9]+)?)$")
    list(APPEND faults "${name}: \"${phone}\" is no phone export")
    continue()
  endif()
  list(GET words 1 library)
  string(REGEX REPLACE "\\?$" "" library "${library}")
  if(phone STREQUAL "-" OR "runtime" IN_LIST words)
    continue()
  endif()
  if(library STREQUAL "compiler")
    list(APPEND standins "${phone}")
    continue()
  endif()
  if(NOT library IN_LIST phone_libraries)
    continue()
  endif()
  if(phone MATCHES "^([A-Za-z_][A-Za-z0-9_]*)@([0-9]+)$")
    set(export "${CMAKE_MATCH_1} @${CMAKE_MATCH_2} NONAME")
    set(export_name "${CMAKE_MATCH_1}")
  elseif(phone MATCHES "^@")
    list(APPEND faults "${name}: an import needs a name beside the ordinal (${phone})")
    continue()
  else()
    set(export "${phone}")
    set(export_name "${phone}")
  endif()
  # One name, one library.
  string(MAKE_C_IDENTIFIER "library_of_${export_name}" owner)
  if(DEFINED ${owner} AND NOT ${owner} STREQUAL library)
    list(APPEND faults "${export_name}: given to ${${owner}} and to ${library}")
    continue()
  endif()
  if(NOT DEFINED ${owner})
    set(${owner} "${library}")
    list(APPEND exports_${library} "${export}")
  endif()
endforeach()
foreach(fault IN LISTS faults)
  message("${INVENTORY}: ${fault}")
endforeach()
if(faults)
  message(FATAL_ERROR "link_for_arm: see above")
endif()

# ---- import libraries and the run-time stand-in -------------------------------
file(REMOVE_RECURSE "${OUT}")
file(MAKE_DIRECTORY "${OUT}")
set(libraries "")
foreach(library IN LISTS phone_libraries)
  string(REPLACE ";" "\n" exports "${exports_${library}}")
  file(WRITE "${OUT}/${library}.def" "LIBRARY ${library}.dll\nEXPORTS\n${exports}\n")
  execute_process(COMMAND "${DLLTOOL}" -m arm -d "${OUT}/${library}.def" -l "${OUT}/lib${library}.a"
                  RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(failed)
    message(FATAL_ERROR "link_for_arm: no import library for ${library}: ${output}")
  endif()
  list(APPEND libraries "${OUT}/lib${library}.a")
endforeach()

# Empty bodies: the stand-in only answers the names, it is never run.
set(standin_source "/* The phone compiler's run-time helpers, by name only. */\n")
foreach(helper IN LISTS standins)
  string(APPEND standin_source "void ${helper}(void) {}\n")
endforeach()
file(WRITE "${OUT}/runtime_standin.c" "${standin_source}")
execute_process(COMMAND "${CLANG}" --target=armv7-w64-windows-gnu -x c -ffreestanding -fno-builtin
                        -w -O2 -c "${OUT}/runtime_standin.c" -o "${OUT}/runtime_standin.o"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed)
  message(FATAL_ERROR "link_for_arm: the run-time stand-in does not compile: ${output}")
endif()

# ---- the link -------------------------------------------------------------------
file(GLOB objects "${OBJECTS}/*.o")
if(NOT objects)
  message(FATAL_ERROR "link_for_arm: no objects in ${OBJECTS}")
endif()
list(SORT objects)
set(image "${OUT}/vorn-arm.exe")
execute_process(COMMAND "${LLD}" -m thumb2pe --entry wWinMain --subsystem windows
                        -Xlink=-errorlimit:0 -o "${image}" ${objects} "${OUT}/runtime_standin.o"
                        ${libraries}
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed OR NOT EXISTS "${image}")
  message("${output}")
  # Each name the phone libraries do not give, with the objects that want it.
  string(REPLACE "\n" ";" output_lines "${output}")
  set(missing "")
  set(symbol "")
  foreach(row IN LISTS output_lines)
    # An import shows as "__declspec(dllimport) NAME", a direct call as NAME.
    if(row MATCHES "undefined symbol: (__declspec\\(dllimport\\) )?([^ ]+)")
      set(symbol "${CMAKE_MATCH_2}")
      string(REGEX REPLACE "^__imp_" "" symbol "${symbol}")
      list(APPEND missing "${symbol}")
    elseif(symbol AND row MATCHES ">>> referenced by ([^ :]+)")
      get_filename_component(where "${CMAKE_MATCH_1}" NAME)
      string(MAKE_C_IDENTIFIER "where_${symbol}" key)
      list(APPEND ${key} "${where}")
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
  message(FATAL_ERROR "link_for_arm: the phone form does not link")
endif()

# The image is for machine 0x01C4 (ARMNT): its PE header's offset is at 0x3C.
file(READ "${image}" pe_offset OFFSET 60 LIMIT 4 HEX)
string(SUBSTRING "${pe_offset}" 0 2 low)
string(SUBSTRING "${pe_offset}" 2 2 high)
math(EXPR machine_at "0x${high}${low} + 4")
file(READ "${image}" machine OFFSET ${machine_at} LIMIT 2 HEX)
if(NOT machine STREQUAL "c401")
  message(FATAL_ERROR "link_for_arm: the image is for machine ${machine}, not ARMNT")
endif()
file(SIZE "${image}" size)
list(LENGTH objects object_count)
message(STATUS "phone form linked: ${size} bytes (${image}), ${object_count} objects; "
               "an ARMNT (Thumb-2) image without resources, the compiler's run-time helpers "
               "stood in for; not a phone program")
