# The phone column of platform/functions.txt as one module-definition file
# per phone library, from which dlltool makes the import libraries: nothing
# else decides what the phone program may import. A row gives its library
# the phone's export name, or NAME@N for an export by ordinal N only (then
# imported by ordinal). Rows marked "runtime" are bound at run time and never
# imported; "-" rows import nothing under their own name; rows of other
# libraries (desktop, the sensor library) give the phone libraries nothing.
#
#   vorn_phone_definitions(INVENTORY OUT_DIR)  writes OUT_DIR/LIBRARY.def
#
# Fails, naming the rows, when a row has no phone column, names no phone
# export, or gives one name to two libraries.
function(vorn_phone_definitions inventory out_dir)
  file(READ "${inventory}" text)
  # One line an element: a semicolon (in a note) would split a line.
  string(REPLACE ";" "," text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  set(faults "")
  foreach(library IN LISTS VORN_PHONE_LIBRARIES)
    set(exports_${library} "")
  endforeach()
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "--.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REGEX MATCHALL "[^ \t]+" words "${line}")
    list(LENGTH words count)
    list(GET words 0 name)
    set(phone "")
    if(count GREATER 2)
      list(GET words 2 phone)
    endif()
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
    if(phone STREQUAL "-" OR "runtime" IN_LIST words OR NOT library IN_LIST VORN_PHONE_LIBRARIES)
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
    message("${inventory}: ${fault}")
  endforeach()
  if(faults)
    message(FATAL_ERROR "the phone column of ${inventory} does not make import libraries")
  endif()
  file(MAKE_DIRECTORY "${out_dir}")
  foreach(library IN LISTS VORN_PHONE_LIBRARIES)
    string(REPLACE ";" "\n" exports "${exports_${library}}")
    # Written only when it changes, so that an unchanged list rebuilds nothing.
    file(CONFIGURE OUTPUT "${out_dir}/${library}.def"
         CONTENT "LIBRARY ${library}.dll\nEXPORTS\n${exports}\n" @ONLY)
  endforeach()
endfunction()
