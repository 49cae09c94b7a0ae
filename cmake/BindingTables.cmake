# The families of the binding tables, in binding order, as the build's lists
# need them: forwarding/families.inc names the tables, and each table's
# TVC_FAMILY line names its family and library file.
#
# TVC_FAMILY_NAMES and TVC_FAMILY_FILES (library files without .dll), in
# that order, for foreach(family file IN ZIP_LISTS ...).
file(STRINGS ${CMAKE_SOURCE_DIR}/forwarding/families.inc tvc_family_tables
     REGEX "^#include \"forwarding/[a-z_]+_family\\.inc\"$")
set(TVC_FAMILY_NAMES)
set(TVC_FAMILY_FILES)
foreach(line IN LISTS tvc_family_tables)
  string(REGEX REPLACE "^#include \"(.*)\"$" "\\1" table "${line}")
  file(STRINGS ${CMAKE_SOURCE_DIR}/${table} family_line REGEX "^TVC_FAMILY\\(")
  if(NOT family_line MATCHES "^TVC_FAMILY\\(([a-z_]+), [A-Za-z_0-9]+, \"([A-Za-z_0-9]+)\\.dll\"\\)$")
    message(FATAL_ERROR "${table}: no TVC_FAMILY line of the form TVC_FAMILY(name, routine, \"file.dll\")")
  endif()
  list(APPEND TVC_FAMILY_NAMES ${CMAKE_MATCH_1})
  list(APPEND TVC_FAMILY_FILES ${CMAKE_MATCH_2})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${table})
endforeach()
list(LENGTH TVC_FAMILY_NAMES tvc_family_count)
if(tvc_family_count EQUAL 0)
  message(FATAL_ERROR "forwarding/families.inc names no binding table")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/forwarding/families.inc)

# tvc_family_file(<family> <variable>): the family's library file, without .dll.
function(tvc_family_file family variable)
  list(FIND TVC_FAMILY_NAMES ${family} index)
  if(index LESS 0)
    message(FATAL_ERROR "no binding table for the family ${family}")
  endif()
  list(GET TVC_FAMILY_FILES ${index} file)
  set(${variable} ${file} PARENT_SCOPE)
endfunction()
