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
# The portable class multiplies and divides with unsigned __int128 where the compiler has it;
# this forces the plain 64-bit code that compilers without it (MSVC) use, in the whole build.
option(SCABROSIMETER_XREAL_NO_INT128 "Portable xreal without unsigned __int128" OFF)
if(SCABROSIMETER_XREAL_NO_INT128)
  add_compile_definitions(SCABROSIMETER_XREAL_NO_INT128=1)
endif()

set(SCABROSIMETER_ARITH_ROOT "${CMAKE_CURRENT_LIST_DIR}/.." CACHE INTERNAL "")

# The test executable xreal_portable_tests, from tests/xreal_portable_test.cpp (header-only
# code, no library needed): where long double is the x87 format it compares the portable class
# with it bit for bit. SCABROSIMETER_XREAL_LONG=1 in the environment runs the long version of
# the comparison.
function(scabrosimeter_add_arith_tests)
  add_executable(xreal_portable_tests ${SCABROSIMETER_ARITH_ROOT}/tests/xreal_portable_test.cpp)
  target_include_directories(xreal_portable_tests PRIVATE ${SCABROSIMETER_ARITH_ROOT}/src)
  target_link_libraries(xreal_portable_tests PRIVATE GTest::gtest_main)
  if(TARGET scabrosimeter_warnings)
    target_link_libraries(xreal_portable_tests PRIVATE scabrosimeter_warnings)
  elseif(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(xreal_portable_tests PRIVATE -Wall -Wextra)
  endif()
  gtest_discover_tests(xreal_portable_tests DISCOVERY_TIMEOUT 60)
endfunction()
