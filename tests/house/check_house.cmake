# The folders of the program's own code stand one above the other: the entry
# point (app/) over the editor, the editor over the monitor, the monitor over
# what every folder shares (common/). A source may include headers of its own
# folder and of the folders below it, never of one above, in quotes or in
# angle brackets, by a path from the top, by one that climbs out of its own
# folder with "../", or by a bare name through an include path: so no circle
# can form, and the entry point's headers stay its own.
#
#   cmake -DTREE=<source tree> [-DEXPECT_CLIMBS=<n>] -P check_house.cmake
#
# Prints each climb as "file: includes header". Fails when there is one, or,
# with EXPECT_CLIMBS, when the count differs (the check of the check).
set(folders common monitor editor app)

set(climbs 0)
foreach(folder IN LISTS folders)
  list(FIND folders ${folder} rank)
  file(GLOB sources RELATIVE ${TREE} ${TREE}/${folder}/*.cpp ${TREE}/${folder}/*.h)
  foreach(source IN LISTS sources)
    file(STRINGS ${TREE}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    foreach(line IN LISTS includes)
      # "name" is looked for beside the source first, <name> only through
      # the include path (the top of the tree) and the compiler's own.
      if(line MATCHES "^[^\"<]*\"([^\"]*)\"")
        set(header "${CMAKE_MATCH_1}")
        set(quoted 1)
        set(shown "\"${header}\"")
      elseif(line MATCHES "^[^\"<]*<([^>]*)>")
        set(header "${CMAKE_MATCH_1}")
        set(quoted 0)
        set(shown "<${header}>")
      else()
        continue()
      endif()
      get_filename_component(near "${TREE}/${folder}/${header}" ABSOLUTE)
      get_filename_component(top "${TREE}/${header}" ABSOLUTE)
      set(target -1)
      if(quoted AND (EXISTS ${near} OR header MATCHES "(^|/)\\.\\./"))
        # Beside the source, or climbing out of its folder with "../".
        file(RELATIVE_PATH found ${TREE} ${near})
        if(found MATCHES "^([a-z]+)/")
          list(FIND folders ${CMAKE_MATCH_1} target)
        endif()
      elseif(header MATCHES "/")
        file(RELATIVE_PATH found ${TREE} ${top})
        if(found MATCHES "^([a-z]+)/")
          list(FIND folders ${CMAKE_MATCH_1} target)
        endif()
      else()
        # A bare name from another folder comes through an include path.
        foreach(other IN LISTS folders)
          if(EXISTS ${TREE}/${other}/${header})
            list(FIND folders ${other} target)
          endif()
        endforeach()
      endif()
      if(target GREATER rank)
        message(STATUS "${source}: includes ${shown}")
        math(EXPR climbs "${climbs} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(DEFINED EXPECT_CLIMBS)
  if(NOT climbs EQUAL EXPECT_CLIMBS)
    message(FATAL_ERROR "found ${climbs} climbs, expected ${EXPECT_CLIMBS}")
  endif()
  message(STATUS "found the ${climbs} planted climbs")
elseif(climbs GREATER 0)
  message(FATAL_ERROR "${climbs} includes reach up to a folder above their own")
else()
  message(STATUS "no folder includes a header of a folder above it")
endif()
