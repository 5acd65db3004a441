# Arithmetic: choice of the xreal implementation, and the tests that compare the two.
#
# Include this file before any target is defined (add_compile_definitions only reaches targets
# created after it):
#   include(cmake/arith.cmake)
# and, where the tests are set up (after enable_testing(), find_package(GTest) and
# include(GoogleTest)):
#   scabrosimeter_add_arith_tests()

option(SCABROSIMETER_PORTABLE_ARITHMETIC
       "Use the integer xreal even where long double is the x87 80-bit format" OFF)
if(SCABROSIMETER_PORTABLE_ARITHMETIC)
  add_compile_definitions(SCABROSIMETER_PORTABLE_ARITHMETIC=1)
endif()

set(SCABROSIMETER_ARITH_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." CACHE INTERNAL "")

# Two test executables from tests/xreal_portable_test.cpp (header-only code, no library needed):
#   xreal_portable_tests            the portable class as this compiler builds it;
#   xreal_portable_nonint128_tests  the same with the plain 64-bit multiply and divide that
#                                   compilers without unsigned __int128 (MSVC) use.
# Where long double is the x87 format they compare the portable class with it bit for bit.
# SCABROSIMETER_XREAL_LONG=1 in the environment runs the long version of the comparison.
function(scabrosimeter_add_arith_tests)
  foreach(target IN ITEMS xreal_portable_tests xreal_portable_nonint128_tests)
    add_executable(${target} ${SCABROSIMETER_ARITH_ROOT}/tests/xreal_portable_test.cpp)
    target_include_directories(${target} PRIVATE ${SCABROSIMETER_ARITH_ROOT}/src)
    target_link_libraries(${target} PRIVATE GTest::gtest_main)
    if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
      target_compile_options(${target} PRIVATE -Wall -Wextra)
    endif()
  endforeach()
  target_compile_definitions(xreal_portable_nonint128_tests PRIVATE SCABROSIMETER_XREAL_NO_INT128=1)
  gtest_discover_tests(xreal_portable_tests DISCOVERY_TIMEOUT 60)
  gtest_discover_tests(xreal_portable_nonint128_tests TEST_PREFIX "nonint128." DISCOVERY_TIMEOUT 60)
endfunction()
