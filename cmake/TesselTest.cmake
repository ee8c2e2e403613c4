# tessel_add_gtest(NAME SOURCES ... LIBS ... [DISPLAY] [TIMEOUT SECONDS])
# Adds a GoogleTest executable with strict warnings and registers each test
# with CTest. DISPLAY tests run under their own Xvfb server.
find_package(GTest REQUIRED)
include(GoogleTest)

# Seconds one test may run before CTest kills it. Every test here takes a
# few seconds at most, also on a loaded machine; a hang should cost a minute,
# not five. Tests that need longer say so with TIMEOUT.
set(TESSEL_TEST_TIMEOUT 60)

# Stops the configuration when a target a suite needs is missing: a suite
# that quietly drops out leaves a green run that tested less.
function(tessel_require_targets)
  foreach(target ${ARGN})
    if(NOT TARGET ${target})
      message(FATAL_ERROR "tests need the target ${target}, which this configuration does not build")
    endif()
  endforeach()
endfunction()

function(tessel_add_gtest name)
  cmake_parse_arguments(T "DISPLAY" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${TESSEL_TEST_TIMEOUT})
  endif()
  foreach(lib ${T_LIBS})
    if(lib MATCHES "^tessel_")
      tessel_require_targets(${lib})
    endif()
  endforeach()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${TESSEL_ROOT})
  target_compile_options(${name} PRIVATE -Wall -Wextra -Wpedantic)
  target_compile_definitions(${name} PRIVATE
    TESSEL_SOURCE_DIR="${TESSEL_ROOT}"
    TESSEL_BINARY_DIR="${CMAKE_BINARY_DIR}")
  if(T_DISPLAY)
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${TESSEL_ROOT}/tests/with-display.sh")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
      PROPERTIES LABELS display TIMEOUT ${T_TIMEOUT})
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT ${T_TIMEOUT})
  endif()
endfunction()
