# tessel_add_gtest(NAME SOURCES ... LIBS ... [DISPLAY])
# Adds a GoogleTest executable with strict warnings and registers each test
# with CTest. DISPLAY tests run under their own Xvfb server.
find_package(GTest REQUIRED)
include(GoogleTest)

function(tessel_add_gtest name)
  cmake_parse_arguments(T "DISPLAY" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_options(${name} PRIVATE -Wall -Wextra -Wpedantic)
  target_compile_definitions(${name} PRIVATE
    TESSEL_SOURCE_DIR="${TESSEL_ROOT}"
    TESSEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(T_DISPLAY)
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${TESSEL_ROOT}/tests/with-display.sh")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS display TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
  endif()
endfunction()
