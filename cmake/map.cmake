# Roughness maps: the engine (src/map, built when GMP is found) and the scabrosimeter-map tool
# (map/, built when the importer is, since it reads bands through the importer's rule).
# Include after cmake/import.cmake, enable_testing() and include(GoogleTest).

option(SCABROSIMETER_MAP "Build the roughness-map engine and scabrosimeter-map" ON)
if(NOT SCABROSIMETER_MAP OR CMAKE_CROSSCOMPILING)
  return()
endif()
set(_map_root "${CMAKE_CURRENT_LIST_DIR}/..")

find_package(PkgConfig QUIET)
if(PKG_CONFIG_FOUND)
  pkg_check_modules(SCABROSIMETER_GMPXX QUIET IMPORTED_TARGET gmpxx)
  pkg_check_modules(SCABROSIMETER_MPFR QUIET IMPORTED_TARGET mpfr)
endif()
if(NOT SCABROSIMETER_GMPXX_FOUND)
  message(STATUS "GMP not found: the roughness maps are not built (on Debian: apt-get install "
                 "libgmp-dev)")
  return()
endif()

# The engine's sweep is compiled once for each of the kernels' instruction sets
# (SCABROSIMETER_ISAS: src/arith/isa.h), and chosen when it runs, as the kernels are.
foreach(isa IN LISTS SCABROSIMETER_ISAS)
  add_library(scabrosimeter_map_sweep_${isa} OBJECT ${_map_root}/src/map/window_sweep.cpp)
  target_include_directories(scabrosimeter_map_sweep_${isa} PRIVATE ${_map_root}/src)
  target_link_libraries(scabrosimeter_map_sweep_${isa} PRIVATE PkgConfig::SCABROSIMETER_GMPXX
                        scabrosimeter_warnings)
  target_compile_definitions(scabrosimeter_map_sweep_${isa} PRIVATE SCABROSIMETER_ISA=isa_${isa})
  # The engine reads no errno from the maths library: its square roots can then be taken in
  # vector lanes, without a call for negative numbers (it takes none).
  target_compile_options(scabrosimeter_map_sweep_${isa} PRIVATE -fno-math-errno)
endforeach()
add_library(scabrosimeter_map_core STATIC
  ${_map_root}/src/map/measures.cpp
  ${_map_root}/src/map/nearest_float.cpp
  ${_map_root}/src/map/homogeneity.cpp
  ${_map_root}/src/map/roughness_map.cpp
)
foreach(isa IN LISTS SCABROSIMETER_ISAS)
  target_sources(scabrosimeter_map_core PRIVATE $<TARGET_OBJECTS:scabrosimeter_map_sweep_${isa}>)
endforeach()
if(TARGET scabrosimeter_map_sweep_avx2)
  target_compile_definitions(scabrosimeter_map_sweep_avx2 PRIVATE SCABROSIMETER_ISA_AVX2=1)
  target_compile_definitions(scabrosimeter_map_core PRIVATE SCABROSIMETER_MAP_AVX2=1)
endif()
target_include_directories(scabrosimeter_map_core PUBLIC ${_map_root}/src)
# scabrosimeter_core: the choice of instruction set (src/arith/isa.cpp).
target_link_libraries(scabrosimeter_map_core PUBLIC PkgConfig::SCABROSIMETER_GMPXX Threads::Threads
                      scabrosimeter_core)
target_link_libraries(scabrosimeter_map_core PRIVATE scabrosimeter_warnings)
target_compile_options(scabrosimeter_map_core PRIVATE -fno-math-errno)

if(SCABROSIMETER_TESTS)
  if(SCABROSIMETER_MPFR_FOUND)
    add_executable(scabrosimeter_map_tests
      ${_map_root}/tests/map_measures_test.cpp
      ${_map_root}/tests/map_nearest_float_test.cpp
      ${_map_root}/tests/map_engine_test.cpp
    )
    target_include_directories(scabrosimeter_map_tests PRIVATE ${_map_root})
    target_link_libraries(scabrosimeter_map_tests PRIVATE scabrosimeter_map_core
                          PkgConfig::SCABROSIMETER_MPFR GTest::gtest_main scabrosimeter_warnings)
    gtest_discover_tests(scabrosimeter_map_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
    if(TARGET scabrosimeter_map_sweep_avx2 AND NOT CMAKE_CROSSCOMPILING)
      # As for the kernels: no AVX instruction outside the AVX2 copy's own functions.
      add_test(NAME map_isa_objects COMMAND bash ${CMAKE_SOURCE_DIR}/tests/isa_objects_test.sh
               "$<TARGET_OBJECTS:scabrosimeter_map_sweep_avx2>")
    endif()
  else()
    message(STATUS "MPFR not found: the roughness maps' tests are not built (on Debian: "
                   "apt-get install libmpfr-dev)")
  endif()
endif()

if(NOT TARGET scabrosimeter_import_lib)
  message(STATUS "GDAL not found: scabrosimeter-map is not built")
  return()
endif()

add_library(scabrosimeter_map_tool_lib STATIC
  ${_map_root}/map/options.cpp
  ${_map_root}/map/input.cpp
  ${_map_root}/map/output.cpp
  ${_map_root}/map/run.cpp
)
target_include_directories(scabrosimeter_map_tool_lib PUBLIC ${_map_root})
target_link_libraries(scabrosimeter_map_tool_lib PUBLIC scabrosimeter_map_core
                      scabrosimeter_import_lib)
target_link_libraries(scabrosimeter_map_tool_lib PRIVATE scabrosimeter_warnings)

include(GNUInstallDirs)
add_executable(scabrosimeter-map ${_map_root}/map/main.cpp)
target_link_libraries(scabrosimeter-map PRIVATE scabrosimeter_map_tool_lib scabrosimeter_warnings)
install(TARGETS scabrosimeter-map RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

if(SCABROSIMETER_TESTS)
  add_executable(scabrosimeter_map_tool_tests ${_map_root}/tests/map/map_tool_test.cpp)
  target_link_libraries(scabrosimeter_map_tool_tests PRIVATE scabrosimeter_map_tool_lib
                        GTest::gtest_main scabrosimeter_warnings)
  target_compile_definitions(scabrosimeter_map_tool_tests PRIVATE
    SCABROSIMETER_MAP_EXE="$<TARGET_FILE:scabrosimeter-map>")
  add_dependencies(scabrosimeter_map_tool_tests scabrosimeter-map)
  gtest_discover_tests(scabrosimeter_map_tool_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endif()
