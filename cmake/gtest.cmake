# GoogleTest: the installed package for a native build; for a cross build (Windows, AArch64)
# it is built from source with the project's own compiler, from Debian's googletest package
# (/usr/src/googletest) or the folder given by SCABROSIMETER_GTEST_SOURCE.
# Provides GTest::gtest and GTest::gtest_main either way.

set(SCABROSIMETER_GTEST_SOURCE "/usr/src/googletest" CACHE PATH
    "GoogleTest sources built for a cross build (Debian: apt-get install googletest)")

if(CMAKE_CROSSCOMPILING)
  if(NOT EXISTS "${SCABROSIMETER_GTEST_SOURCE}/CMakeLists.txt")
    message(FATAL_ERROR "A cross build needs the GoogleTest sources in "
                        "${SCABROSIMETER_GTEST_SOURCE} (Debian: apt-get install googletest)")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${SCABROSIMETER_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest_main)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
  # The test lists are read when ctest runs, through the emulator, not while building.
  set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
else()
  find_package(GTest REQUIRED)
endif()
