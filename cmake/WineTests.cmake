# Test executables are Windows programs: ctest starts them through wine (the
# toolchain's CMAKE_CROSSCOMPILING_EMULATOR) in a prefix inside the build tree.
set(TVC_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
set(TVC_WINE_ENV
  WINEPREFIX=${TVC_WINEPREFIX}
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml=")

add_test(NAME wine_prefix_up COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh up)
add_test(NAME wine_prefix_down COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh down)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${TVC_WINE_ENV}")
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${TVC_WINE_ENV}")

# tvc_add_wine_test(<name> SOURCES <files...> [LIBS <libs...>] [DEPENDS <targets...>])
# One GoogleTest executable, run as one ctest test under wine. RUN_SERIAL
# marks executables that change machine-wide state the others also read.
function(tvc_add_wine_test name)
  cmake_parse_arguments(ARG "RUN_SERIAL" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE GTest::gtest_main tvc_test_support ${ARG_LIBS})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests)
  if(ARG_DEPENDS)
    add_dependencies(${name} ${ARG_DEPENDS})
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_color=no)
  set_tests_properties(${name} PROPERTIES
    FIXTURES_REQUIRED wine
    ENVIRONMENT "${TVC_WINE_ENV}"
    WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
  if(ARG_RUN_SERIAL)
    set_tests_properties(${name} PROPERTIES RUN_SERIAL TRUE)
  endif()
endfunction()
