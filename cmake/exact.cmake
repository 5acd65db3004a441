# The exact engine (src/exact/): exact integer sums, mergeable summaries and certified figures.
# It needs GMP (with its C++ class interface) and MPFR, and a compiler with __int128; without
# them it is not built, and SCABROSIMETER_HAS_EXACT is OFF (the Windows cross build has no
# GMP). Targets that link scabrosimeter_exact see the macro SCABROSIMETER_HAS_EXACT=1.
#
# include(cmake/exact.cmake) before the kernel sources are listed (it adds its own when the
# engine is built), then scabrosimeter_add_exact() once scabrosimeter_core exists, and
# scabrosimeter_add_exact_tests() where the tests are set up.

option(SCABROSIMETER_EXACT "Build the exact engine when GMP and MPFR are found" ON)
set(SCABROSIMETER_HAS_EXACT OFF)
set(_exact_root "${CMAKE_CURRENT_LIST_DIR}/..")

if(SCABROSIMETER_EXACT)
  set(SCABROSIMETER_GMP_LIBRARIES "")
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(SCABROSIMETER_GMP QUIET IMPORTED_TARGET gmpxx gmp mpfr)
    if(SCABROSIMETER_GMP_FOUND)
      set(SCABROSIMETER_GMP_LIBRARIES PkgConfig::SCABROSIMETER_GMP)
    endif()
  endif()
  if(NOT SCABROSIMETER_GMP_LIBRARIES)
    find_path(SCABROSIMETER_GMPXX_INCLUDE gmpxx.h)
    find_path(SCABROSIMETER_MPFR_INCLUDE mpfr.h)
    find_library(SCABROSIMETER_GMPXX_LIBRARY gmpxx)
    find_library(SCABROSIMETER_GMP_LIBRARY gmp)
    find_library(SCABROSIMETER_MPFR_LIBRARY mpfr)
    if(SCABROSIMETER_GMPXX_INCLUDE AND SCABROSIMETER_MPFR_INCLUDE AND SCABROSIMETER_GMPXX_LIBRARY
       AND SCABROSIMETER_GMP_LIBRARY AND SCABROSIMETER_MPFR_LIBRARY)
      add_library(scabrosimeter_gmp INTERFACE)
      target_include_directories(scabrosimeter_gmp INTERFACE ${SCABROSIMETER_GMPXX_INCLUDE}
                                 ${SCABROSIMETER_MPFR_INCLUDE})
      target_link_libraries(scabrosimeter_gmp INTERFACE ${SCABROSIMETER_MPFR_LIBRARY}
                            ${SCABROSIMETER_GMPXX_LIBRARY} ${SCABROSIMETER_GMP_LIBRARY})
      set(SCABROSIMETER_GMP_LIBRARIES scabrosimeter_gmp)
    endif()
  endif()
  include(CheckCXXSourceCompiles)
  check_cxx_source_compiles("int main() { __int128 a = 1; return static_cast<int>(a * a - 1); }"
                            SCABROSIMETER_HAS_INT128)
  if(SCABROSIMETER_GMP_LIBRARIES AND SCABROSIMETER_HAS_INT128)
    set(SCABROSIMETER_HAS_EXACT ON)
    message(STATUS "scabrosimeter: the exact engine is built (GMP and MPFR found)")
  else()
    message(STATUS "scabrosimeter: GMP, MPFR or __int128 missing: the exact engine is not built "
                   "(on Debian: apt-get install libgmp-dev libmpfr-dev)")
  endif()
else()
  message(STATUS "scabrosimeter: the exact engine is not built (SCABROSIMETER_EXACT=OFF)")
endif()

# The engine's library, on the core (the instruction-set choice and the kernels).
function(scabrosimeter_add_exact)
  if(NOT SCABROSIMETER_HAS_EXACT)
    return()
  endif()
  add_library(scabrosimeter_exact STATIC
    ${_exact_root}/src/exact/summary.cpp
    ${_exact_root}/src/exact/summary_bytes.cpp
    ${_exact_root}/src/exact/scan.cpp
    ${_exact_root}/src/exact/driver.cpp
    ${_exact_root}/src/exact/certify.cpp
    ${_exact_root}/src/exact/figures.cpp
    ${_exact_root}/src/exact/texts.cpp
    ${_exact_root}/src/dispatch/exact_table.cpp
  )
  scabrosimeter_add_kernels(scabrosimeter_exact SOURCES ${_exact_root}/src/exact/scan_kernels.cpp)
  target_include_directories(scabrosimeter_exact PUBLIC ${_exact_root}/src)
  target_link_libraries(scabrosimeter_exact PUBLIC scabrosimeter_core ${SCABROSIMETER_GMP_LIBRARIES}
                        PRIVATE scabrosimeter_warnings)
  target_compile_definitions(scabrosimeter_exact PUBLIC SCABROSIMETER_HAS_EXACT=1)
  if(TARGET Threads::Threads)
    target_link_libraries(scabrosimeter_exact PUBLIC Threads::Threads)
  endif()
  # The engine on a dataset file, timed: exact_timer RAW LINES COLUMNS WIDTH DECIMALS [REPEAT]
  if(NOT WIN32)
    add_executable(exact_timer ${_exact_root}/bench/exact_timer.cpp)
    target_link_libraries(exact_timer PRIVATE scabrosimeter_exact scabrosimeter_warnings)
  endif()
endfunction()

# The engine's tests: exact_tests.
function(scabrosimeter_add_exact_tests)
  if(NOT SCABROSIMETER_HAS_EXACT)
    return()
  endif()
  add_executable(exact_tests
    ${_exact_root}/tests/exact_oracle.cpp
    ${_exact_root}/tests/exact_oracle_figures.cpp
    ${_exact_root}/tests/exact_sums_test.cpp
    ${_exact_root}/tests/exact_figures_test.cpp
    ${_exact_root}/tests/exact_certify_test.cpp
    ${_exact_root}/tests/exact_summary_test.cpp
    ${_exact_root}/tests/exact_driver_test.cpp
    ${_exact_root}/tests/exact_mode_test.cpp
    ${_exact_root}/tests/test_support.cpp
  )
  # The program's exact figures (exact_mode_test.cpp) run its dialog in-process.
  target_link_libraries(exact_tests PRIVATE scabrosimeter_exact scabrosimeter_dialog
                        GTest::gtest_main scabrosimeter_warnings)
  gtest_discover_tests(exact_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
