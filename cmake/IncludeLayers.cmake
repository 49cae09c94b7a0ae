# The library's layers: each folder with the folders it may include (besides
# itself and the public interface under include/). Whatever a folder may
# include, it may include transitively; a folder never includes one above it,
# so that a layer can be read, changed and tested with only those below.
#
#   bootstrap        the entry point, attach and detach, initialization, diagnostics
#   call_trace       the call trace, put in front of the bound slots
#   forwarding       the binding tables, slots, forwarders and the API lock
#   loading          the runtime's location, PATH, the loader and the binder
#   component_info   the component query, from registry and type libraries
#   registration     COM servers and categories, GUID text
#   common           text, paths, owners of system resources
set(TVC_INCLUDE_LAYERS
  "common:"
  "loading:common"
  "forwarding:common loading"
  "call_trace:common loading forwarding"
  "bootstrap:common loading forwarding call_trace"
  "registration:common"
  "component_info:common registration")

# Run as a script (cmake -DSOURCE_DIR=... -DSTAMP=... -P IncludeLayers.cmake):
# fails, naming every line, when a folder includes one it may not.
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.25)
  set(folders)
  foreach(layer IN LISTS TVC_INCLUDE_LAYERS)
    string(REGEX REPLACE ":.*" "" folder "${layer}")
    list(APPEND folders ${folder})
  endforeach()
  set(violations)
  foreach(layer IN LISTS TVC_INCLUDE_LAYERS)
    string(REGEX REPLACE ":.*" "" folder "${layer}")
    string(REGEX REPLACE "^[^:]*:" "" allowed "${layer}")
    separate_arguments(allowed UNIX_COMMAND "${allowed}")
    file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
         ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.inc
         ${SOURCE_DIR}/${folder}/*.S ${SOURCE_DIR}/${folder}/*.c ${SOURCE_DIR}/${folder}/*.in)
    foreach(source IN LISTS sources)
      file(STRINGS ${SOURCE_DIR}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[a-z_]+/")
      foreach(line IN LISTS includes)
        string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([a-z_]+)/.*" "\\1" target "${line}")
        if(target IN_LIST folders AND NOT target STREQUAL folder AND NOT target IN_LIST allowed)
          list(APPEND violations "${source}: ${line} (${folder}/ may include only: ${allowed})")
        endif()
      endforeach()
    endforeach()
  endforeach()
  if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "A folder includes one above its layer (cmake/IncludeLayers.cmake):\n  ${text}")
  endif()
  file(TOUCH ${STAMP})
endif()
