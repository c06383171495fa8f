# The folders of the program's own code stand one above the other: the entry
# point (app/) over the editor, the editor over the monitor, the monitor over
# what every folder shares (common/). A source may include headers of its own
# folder and of the folders below it, never of one above, by path or by a
# bare name through an include path: so no circle can form, and the entry
# point's headers stay its own.
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
    file(STRINGS ${TREE}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*$" "\\1" header "${line}")
      set(target -1)
      if(header MATCHES "^([a-z]+)/")
        list(FIND folders ${CMAKE_MATCH_1} target)
      elseif(NOT EXISTS ${TREE}/${folder}/${header})
        # A bare name from another folder comes through an include path.
        foreach(other IN LISTS folders)
          if(EXISTS ${TREE}/${other}/${header})
            list(FIND folders ${other} target)
          endif()
        endforeach()
      endif()
      if(target GREATER rank)
        message(STATUS "${source}: includes ${header}")
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
