# tarn_add_gtest(target SOURCES... [LIBS ...])
# One GoogleTest executable per subsystem. Native builds register every test case with
# ctest; the Windows cross build registers the executable once and runs it under Wine.
function(tarn_add_gtest target)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${T_SOURCES})
  target_link_libraries(${target} PRIVATE ${T_LIBS} GTest::gtest_main GTest::gmock)
  # Shared test support (scratch folders, scripted fakes) as "support/...".
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${target} PRIVATE
    TARN_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    TARN_DIST_DIR="${DIST_DIR}"
    TARN_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${TARN_WINE} $<TARGET_FILE:${target}>)
    set_tests_properties(${target} PROPERTIES ENVIRONMENT "WINEDEBUG=-all;WINEDLLOVERRIDES=mscoree,mshtml=")
  else()
    include(GoogleTest)
    gtest_discover_tests(${target} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
