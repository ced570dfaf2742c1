# dud_add_test(NAME sources... LIBS libs...): one GoogleTest executable per subsystem.
#
# On the host each test case is a ctest test of its own. A cross-built
# program runs under Wine (cmake/wine_test.sh) as one ctest test, after the
# fixture that makes the build's own Wine prefix.
if(DUD_BUILD_TESTS AND CMAKE_CROSSCOMPILING)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(DUD_WINE_ARCH win32)
  else()
    set(DUD_WINE_ARCH win64)
  endif()
  set(DUD_WINE_PREFIX ${PROJECT_BINARY_DIR}/wineprefix)
  add_test(NAME wine_prefix
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_prefix.sh ${DUD_WINE_PREFIX} ${DUD_WINE_ARCH})
  set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine_prefix)
endif()

function(dud_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  if(NOT DUD_BUILD_TESTS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} dud_warnings GTest::gtest GTest::gtest_main)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name}
      COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_test.sh ${DUD_WINE_PREFIX} $<TARGET_FILE:${name}>)
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
  endif()
endfunction()
