# Links the phone form's ARM objects (made by compile_for_arm.cmake) against
# import libraries made from platform/functions.txt alone: one per phone
# library (coredll, aygshell, toolhelp, ole32) holding the phone column of
# its rows, by name or by ordinal. A stand-in object takes the place of the
# phone compiler's static run-time (the rows of library "compiler"), and of
# nothing else. The entry is the phone form's WinMain, wWinMain.
#
#   cmake -DINVENTORY=<functions.txt> -DOBJECTS=<folder of .o> -DOUT=<folder>
#         -DCLANG=<clang> -DDLLTOOL=<llvm-dlltool> -DLLD=<ld.lld>
#         -DRC=<llvm-rc> -DRESOURCES=<vorn.rc>
#         -P link_for_arm.cmake
#
# The link fails, naming each import and the objects that want it, when the
# program calls a function that the list does not give to a phone library
# under the phone's name: one missing from it, one under its desktop name,
# one of another library (desktop, the sensor library, a "runtime" row).
#
# It links for size, as a phone build is linked: the objects hold each
# function and datum in a section of its own, the link drops the sections
# that nothing uses, and the image has no symbol table. The image is an
# ARMNT (Thumb-2) PE with a stand-in run-time, linked once without the
# resources and once with them (res/vorn.rc, compiled by llvm-rc); both
# sizes are printed. Without resources it must stay within the budget
# below. It is no phone program.
cmake_minimum_required(VERSION 3.18)

# The budget of the image without resources, in bytes: its size linked for
# size when the budget was set (23,040), and 3,584 bytes of room for the
# mends then under way and for turning by program, which follows them; and
# 1,024 more (27,648 linked) for the account's new file written whole under
# a temporary name and begun anew past the limit, and the log view's
# sentence for a configuration file missing or unread. A feature that needs
# more raises the budget here, with the reason in its note.
set(phone_budget 27648)

foreach(argument INVENTORY OBJECTS OUT CLANG DLLTOOL LLD RC RESOURCES)
  if(NOT ${argument})
    message(FATAL_ERROR "link_for_arm: ${argument} not given (llvm-dlltool and llvm-rc come "
                        "with the package llvm, ld.lld with lld)")
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

# A number from little-endian hex bytes.
function(number_of_le hex result)
  set(bytes "")
  string(LENGTH "${hex}" at)
  while(at GREATER 0)
    math(EXPR at "${at} - 2")
    string(SUBSTRING "${hex}" ${at} 2 byte)
    string(APPEND bytes "${byte}")
  endwhile()
  math(EXPR value "0x${bytes}")
  set(${result} ${value} PARENT_SCOPE)
endfunction()

# Each function and datum in a section of its own: the plain .text, .data
# and .bss of every object are empty, or the link could drop nothing of
# them. (A COFF object: the section count at byte 2, the optional header's
# size at byte 16, then 40 bytes a section, the name in the first 8 and the
# size at 16.)
set(plain_names 2e74657874000000 .text 2e64617461000000 .data 2e62737300000000 .bss)
set(whole_sections "")
foreach(object IN LISTS objects)
  file(READ "${object}" header LIMIT 20 HEX)
  string(SUBSTRING "${header}" 4 4 hex)
  number_of_le("${hex}" section_count)
  string(SUBSTRING "${header}" 32 4 hex)
  number_of_le("${hex}" optional_size)
  math(EXPR table_at "20 + ${optional_size}")
  math(EXPR table_size "40 * ${section_count}")
  file(READ "${object}" table OFFSET ${table_at} LIMIT ${table_size} HEX)
  math(EXPR last "${section_count} - 1")
  foreach(index RANGE ${last})
    math(EXPR at "${index} * 80")
    string(SUBSTRING "${table}" ${at} 16 name)
    list(FIND plain_names "${name}" found)
    if(found LESS 0)
      continue()
    endif()
    math(EXPR at "${at} + 32")
    string(SUBSTRING "${table}" ${at} 8 hex)
    number_of_le("${hex}" section_size)
    if(section_size GREATER 0)
      math(EXPR found "${found} + 1")
      list(GET plain_names ${found} shown)
      get_filename_component(where "${object}" NAME)
      list(APPEND whole_sections "${where} (${shown}, ${section_size} bytes)")
    endif()
  endforeach()
endforeach()
if(whole_sections)
  string(REPLACE ";" ", " whole_sections "${whole_sections}")
  message(FATAL_ERROR "link_for_arm: not a section for each function and datum in "
                      "${whole_sections}: compile with -ffunction-sections -fdata-sections")
endif()

# The link for size: the sections that nothing uses dropped, no symbol
# table. Stripping alone would keep the image within the budget while
# every unused function stayed in it: the command must drop them.
set(size_options --gc-sections --strip-all)
set(link_command "${LLD}" -m thumb2pe --entry wWinMain --subsystem windows ${size_options}
                 -Xlink=-errorlimit:0)
if(NOT "--gc-sections" IN_LIST link_command)
  message(FATAL_ERROR "link_for_arm: the link does not drop unused sections (--gc-sections)")
endif()
set(image "${OUT}/vorn-arm.exe")
execute_process(COMMAND ${link_command} -o "${image}" ${objects} "${OUT}/runtime_standin.o"
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

# An image is for machine 0x01C4 (ARMNT): its PE header's offset is at 0x3C.
function(check_armnt image)
  file(READ "${image}" pe_offset OFFSET 60 LIMIT 4 HEX)
  number_of_le("${pe_offset}" machine_at)
  math(EXPR machine_at "${machine_at} + 4")
  file(READ "${image}" machine OFFSET ${machine_at} LIMIT 2 HEX)
  if(NOT machine STREQUAL "c401")
    message(FATAL_ERROR "link_for_arm: ${image} is for machine ${machine}, not ARMNT")
  endif()
endfunction()
check_armnt("${image}")
file(SIZE "${image}" size)

# ---- the same with the resources ----------------------------------------------
# llvm-rc writes the compiled resources; ld.lld takes them as they are.
# llvm-rc reads a word that begins with a slash as an option, and a path as
# /check/... or /dev/... begins like its /C and /D: "--" ends the options.
get_filename_component(resource_dir "${RESOURCES}" DIRECTORY)
execute_process(COMMAND "${RC}" /I "${resource_dir}" /I /usr/share/mingw-w64/include
                        /D UNICODE /D _UNICODE /D _WIN32_WCE=0x502
                        /FO "${OUT}/vorn.res" -- "${RESOURCES}"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed OR NOT EXISTS "${OUT}/vorn.res")
  message("${output}")
  message(FATAL_ERROR "link_for_arm: llvm-rc does not compile ${RESOURCES}")
endif()
set(full_image "${OUT}/vorn-arm-res.exe")
execute_process(COMMAND ${link_command} -o "${full_image}" ${objects} "${OUT}/runtime_standin.o"
                        ${libraries} "${OUT}/vorn.res"
                RESULT_VARIABLE failed OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(failed OR NOT EXISTS "${full_image}")
  message("${output}")
  message(FATAL_ERROR "link_for_arm: the phone form does not link with its resources")
endif()
check_armnt("${full_image}")
file(SIZE "${full_image}" full_size)

list(LENGTH objects object_count)
message(STATUS "phone form linked for size, ${object_count} objects: ${size} bytes without "
               "resources (budget ${phone_budget}), ${full_size} bytes with them; an ARMNT "
               "(Thumb-2) image, the compiler's run-time helpers stood in for; not a phone "
               "program (${image}, ${full_image})")
if(size GREATER phone_budget)
  message(FATAL_ERROR "link_for_arm: the phone form is ${size} bytes without resources, over "
                      "its budget of ${phone_budget}: a feature that needs more raises "
                      "phone_budget in link_for_arm.cmake, with the reason in its note")
endif()
