# Test executables are Windows programs: ctest starts them through wine (the
# toolchain's CMAKE_CROSSCOMPILING_EMULATOR) in a prefix inside the build tree.
set(TVC_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
# Wine names files on the Unix side in the locale's character set: without a
# UTF-8 locale (a bare CI environment has none) a file name outside ASCII
# cannot be created at all, whatever the Windows code page.
set(TVC_WINE_ENV
  WINEPREFIX=${TVC_WINEPREFIX}
  WINEDEBUG=-all
  "WINEDLLOVERRIDES=mscoree,mshtml="
  LC_ALL=C.UTF-8)

add_test(NAME wine_prefix_up COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh up)
add_test(NAME wine_prefix_down COMMAND ${CMAKE_SOURCE_DIR}/cmake/wine-prefix.sh down)
set_tests_properties(wine_prefix_up PROPERTIES FIXTURES_SETUP wine ENVIRONMENT "${TVC_WINE_ENV}")
set_tests_properties(wine_prefix_down PROPERTIES FIXTURES_CLEANUP wine ENVIRONMENT "${TVC_WINE_ENV}")

# Double-byte text needs a process whose ANSI code page is 932. Wine takes a
# process's code page from the Unix locale it was started in (its children
# inherit it), so those tests run once more in a Japanese locale, made here
# from the C library's locale sources (localedef's warnings are no failure;
# a locale not written is). TVC_CODE_PAGE_932 tells them so.
set(TVC_LOCALE_DIR ${CMAKE_BINARY_DIR}/locale)
add_test(NAME japanese_locale
  COMMAND sh -c "mkdir -p '${TVC_LOCALE_DIR}' && { localedef -i ja_JP -f UTF-8 '${TVC_LOCALE_DIR}/ja_JP.UTF-8'; test -s '${TVC_LOCALE_DIR}/ja_JP.UTF-8/LC_CTYPE'; }")
set_tests_properties(japanese_locale PROPERTIES FIXTURES_SETUP japanese_locale)

# tvc_add_wine_test(<name> SOURCES <files...> [LIBS <libs...>] [DEPENDS <targets...>])
# One GoogleTest executable, run as one ctest test under wine. RUN_SERIAL
# marks executables that change machine-wide state the others also read.
# CODE_PAGE_932 runs its CodePage932.* tests again under code page 932 (the
# ordinary run skips them).
function(tvc_add_wine_test name)
  cmake_parse_arguments(ARG "RUN_SERIAL;CODE_PAGE_932" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
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
  if(ARG_CODE_PAGE_932)
    add_test(NAME ${name}_code_page_932
      COMMAND ${name} --gtest_color=no --gtest_filter=CodePage932.*)
    set_tests_properties(${name}_code_page_932 PROPERTIES
      FIXTURES_REQUIRED "wine;japanese_locale"
      ENVIRONMENT "${TVC_WINE_ENV};LC_ALL=ja_JP.UTF-8;LOCPATH=${TVC_LOCALE_DIR};TVC_CODE_PAGE_932=1"
      WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
    if(ARG_RUN_SERIAL)
      set_tests_properties(${name}_code_page_932 PROPERTIES RUN_SERIAL TRUE)
    endif()
  endif()
endfunction()
