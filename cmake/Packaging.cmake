# Install rules and the ZIP package. A client needs the DLL, the export list,
# an import library for its linker, the headers, and a way for its build to
# find them: a CMake package configuration and a pkg-config file. Both are
# relocatable, so an unpacked ZIP works wherever it lies.
#
# Two versions: the package's version is the runtime interface that the
# library fronts (PROJECT_VERSION, 7.17); the library's file version
# (TVCVRTRT_FILE_VERSION) is carried beside it and in the ZIP's name.
include(CMakePackageConfigHelpers)

set(TVCVRTRT_PACKAGE_NAME tvcvrtrt7_17)
set(TVCVRTRT_LIB_DESTINATION lib)
set(TVCVRTRT_CONFIG_DESTINATION lib/cmake/${TVCVRTRT_PACKAGE_NAME})

# The directories an install writes into, below its prefix. Uninstalling
# removes the files of the install manifest and then those of these
# directories that the install made, so the install records which ones it
# made (the prefix and its parents among them) before it writes anything,
# beside the manifest: build/install_directories.txt, deepest first. Its last
# rule checks that no installed file lies outside these directories.
file(GLOB_RECURSE TVCVRTRT_HEADERS RELATIVE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/include/*)
set(TVCVRTRT_INSTALL_SUBDIRECTORIES bin ${TVCVRTRT_LIB_DESTINATION}/pkgconfig ${TVCVRTRT_CONFIG_DESTINATION})
foreach(directory IN LISTS TVCVRTRT_HEADERS TVCVRTRT_INSTALL_SUBDIRECTORIES)
  # Each directory with its parents below the prefix.
  get_filename_component(directory ${directory} DIRECTORY)
  while(directory)
    list(APPEND TVCVRTRT_INSTALL_SUBDIRECTORIES ${directory})
    get_filename_component(directory ${directory} DIRECTORY)
  endwhile()
endforeach()
list(REMOVE_DUPLICATES TVCVRTRT_INSTALL_SUBDIRECTORIES)
# Descending order puts every directory before its parent.
list(SORT TVCVRTRT_INSTALL_SUBDIRECTORIES ORDER DESCENDING)
string(CONFIGURE [[
if(CMAKE_INSTALL_COMPONENT)
  set(TVCVRTRT_INSTALL_DIRECTORIES "install_directories_${CMAKE_INSTALL_COMPONENT}.txt")
else()
  set(TVCVRTRT_INSTALL_DIRECTORIES "install_directories.txt")
endif()
set(_tvcvrtrt_top "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(_tvcvrtrt_made "")
foreach(_tvcvrtrt_directory IN ITEMS @TVCVRTRT_INSTALL_SUBDIRECTORIES@)
  if(NOT IS_DIRECTORY "${_tvcvrtrt_top}/${_tvcvrtrt_directory}")
    string(APPEND _tvcvrtrt_made "${_tvcvrtrt_top}/${_tvcvrtrt_directory}\n")
  endif()
endforeach()
while(NOT IS_DIRECTORY "${_tvcvrtrt_top}")
  string(APPEND _tvcvrtrt_made "${_tvcvrtrt_top}\n")
  get_filename_component(_tvcvrtrt_parent "${_tvcvrtrt_top}" DIRECTORY)
  if(_tvcvrtrt_parent STREQUAL _tvcvrtrt_top)
    break()  # a relative prefix whose first directory is missing too
  endif()
  set(_tvcvrtrt_top "${_tvcvrtrt_parent}")
endwhile()
file(WRITE "@CMAKE_BINARY_DIR@/${TVCVRTRT_INSTALL_DIRECTORIES}" "${_tvcvrtrt_made}")
]] TVCVRTRT_RECORD_INSTALL_DIRECTORIES @ONLY)
string(REPLACE ";" " " TVCVRTRT_RECORD_INSTALL_DIRECTORIES "${TVCVRTRT_RECORD_INSTALL_DIRECTORIES}")
install(CODE "${TVCVRTRT_RECORD_INSTALL_DIRECTORIES}")

# The built DLL and command carry their debugging information (the preset's
# RelWithDebInfo), which makes the DLL several times larger than the code it
# holds. A client ships what it installs, so an install strips them unless
# debugging information is asked for: by the build type Debug, or by
# -DTVCVRTRT_INSTALL_DEBUG_INFO=ON. `cmake --install --strip` strips always.
if(CMAKE_BUILD_TYPE STREQUAL "Debug")
  set(TVCVRTRT_INSTALL_DEBUG_INFO_DEFAULT ON)
else()
  set(TVCVRTRT_INSTALL_DEBUG_INFO_DEFAULT OFF)
endif()
option(TVCVRTRT_INSTALL_DEBUG_INFO "Install the DLL and the command with their debugging information"
  ${TVCVRTRT_INSTALL_DEBUG_INFO_DEFAULT})
if(NOT TVCVRTRT_INSTALL_DEBUG_INFO)
  # The target rules below strip when this is set; this rule runs before them.
  install(CODE "set(CMAKE_INSTALL_DO_STRIP 1)")
endif()

# What the package holds is built by the target package_contents alone,
# which `./build.sh package` builds before it installs the component and
# zips it: the tests and the benchmarks stay unbuilt (the package target's
# cpack builds everything first). The platform import library is made after
# the DLL's link (the top CMakeLists.txt).
set(TVCVRTRT_PACKAGE_TARGETS tvcvrtrt tvcvrtrt_check)
add_custom_target(package_contents DEPENDS ${TVCVRTRT_PACKAGE_TARGETS})

# Clients see the target as tvcvrtrt7_17::tvcvrtrt7_17.
set_target_properties(tvcvrtrt PROPERTIES EXPORT_NAME ${TVCVRTRT_PACKAGE_NAME})
install(TARGETS tvcvrtrt EXPORT ${TVCVRTRT_PACKAGE_NAME}Targets
  RUNTIME DESTINATION bin
  ARCHIVE DESTINATION ${TVCVRTRT_LIB_DESTINATION}
  INCLUDES DESTINATION include)
# The diagnostic command, beside the DLL whose runtime it checks.
install(TARGETS tvcvrtrt_check RUNTIME DESTINATION bin)
# The headers as a whole: every header under include/ is public.
install(DIRECTORY ${CMAKE_SOURCE_DIR}/include/ DESTINATION include)
install(FILES
    ${CMAKE_SOURCE_DIR}/tvcvrtrt7_17.def
    ${CMAKE_ARCHIVE_OUTPUT_DIRECTORY}/tvcvrtrt7_17.lib
  DESTINATION ${TVCVRTRT_LIB_DESTINATION})

install(EXPORT ${TVCVRTRT_PACKAGE_NAME}Targets
  NAMESPACE ${TVCVRTRT_PACKAGE_NAME}::
  DESTINATION ${TVCVRTRT_CONFIG_DESTINATION})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/tvcvrtrt7_17Config.cmake.in
  ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}Config.cmake
  INSTALL_DESTINATION ${TVCVRTRT_CONFIG_DESTINATION}
  PATH_VARS TVCVRTRT_LIB_DESTINATION)
# A client asking for interface 7.x accepts any later 7.x: within a major
# version, exports are only ever added.
write_basic_package_version_file(
  ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}ConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)
configure_file(${CMAKE_SOURCE_DIR}/cmake/tvcvrtrt7_17.pc.in
  ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}.pc @ONLY)
install(FILES
    ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}Config.cmake
    ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}ConfigVersion.cmake
  DESTINATION ${TVCVRTRT_CONFIG_DESTINATION})
install(FILES ${CMAKE_BINARY_DIR}/package/${TVCVRTRT_PACKAGE_NAME}.pc
  DESTINATION ${TVCVRTRT_LIB_DESTINATION}/pkgconfig)
# The MinGW-w64 toolchain file that the library is built with, for clients
# that have the package and not the checkout.
install(FILES ${CMAKE_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake DESTINATION ${TVCVRTRT_CONFIG_DESTINATION})

# Last rule: every installed file lies in a directory that the first rule
# considered, or uninstalling would leave a directory behind.
string(CONFIGURE [[
foreach(_tvcvrtrt_file IN LISTS CMAKE_INSTALL_MANIFEST_FILES)
  get_filename_component(_tvcvrtrt_directory "${_tvcvrtrt_file}" DIRECTORY)
  file(RELATIVE_PATH _tvcvrtrt_directory "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}" "${_tvcvrtrt_directory}")
  list(FIND _tvcvrtrt_known "${_tvcvrtrt_directory}" _tvcvrtrt_found)
  if(_tvcvrtrt_found EQUAL -1)
    message(FATAL_ERROR "${_tvcvrtrt_file} lies outside the install directories that "
                        "cmake/Packaging.cmake lists: add its directory there.")
  endif()
endforeach()
]] TVCVRTRT_CHECK_INSTALL_DIRECTORIES @ONLY)
install(CODE "set(_tvcvrtrt_known \"${TVCVRTRT_INSTALL_SUBDIRECTORIES}\")\n${TVCVRTRT_CHECK_INSTALL_DIRECTORIES}")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${TVCVRTRT_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${TVCVRTRT_FILE_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Front library of the Tovan Compiler Runtime 7.17 for 64-bit Windows")
# The ZIP is for shipping: its DLL carries no debugging information.
set(CPACK_STRIP_FILES ON)
# The ZIP takes the install rules' one component. Installing a component
# keeps its own manifest (build/install_manifest_<component>.txt), so making
# the ZIP never overwrites build/install_manifest.txt, the list of the
# user's own install that uninstalling reads.
set(CPACK_INSTALL_CMAKE_PROJECTS
  "${CMAKE_BINARY_DIR};${PROJECT_NAME};${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME};/")
set(CPACK_VERBATIM_VARIABLES ON)
include(CPack)

# The ZIP holds one component, so an install rule given another one would be
# left out of it unnoticed; checked once every rule of the project is known.
function(tvcvrtrt_check_install_components)
  get_cmake_property(components COMPONENTS)
  list(REMOVE_ITEM components ${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME})
  if(components)
    message(FATAL_ERROR "Install rules of the components ${components} would be "
                        "missing from the ZIP: install everything as ${CMAKE_INSTALL_DEFAULT_COMPONENT_NAME}.")
  endif()
endfunction()
cmake_language(DEFER CALL tvcvrtrt_check_install_components)
