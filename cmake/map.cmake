# Roughness maps: the engine (src/map, built with the exact engine, when GMP and MPFR are found) and the scabrosimeter-map tool
# (map/, built when the importer is, since it reads bands through the importer's rule).
# Include after cmake/import.cmake, enable_testing() and include(GoogleTest).

option(SCABROSIMETER_MAP "Build the roughness-map engine and scabrosimeter-map" ON)
if(NOT SCABROSIMETER_MAP OR NOT SCABROSIMETER_HAS_EXACT)  # it needs what the exact engine needs
  message(STATUS "The roughness maps are not built (they need GMP and MPFR: on Debian, apt-get "
                 "install libgmp-dev libmpfr-dev)")
  return()
endif()
set(_map_root "${CMAKE_CURRENT_LIST_DIR}/..")

add_library(scabrosimeter_map_core STATIC
  ${_map_root}/src/map/measures.cpp
  ${_map_root}/src/map/nearest_float.cpp
  ${_map_root}/src/map/homogeneity.cpp
  ${_map_root}/src/map/roughness_map.cpp
  ${_map_root}/src/dispatch/map_table.cpp
)
# The sweep, compiled once for each instruction set (cmake/kernels.cmake). It reads no errno from
# the maths library: its square roots can then be taken in vector lanes, without a call for
# negative numbers (it takes none).
set_source_files_properties(${_map_root}/src/map/window_sweep.cpp PROPERTIES
                            COMPILE_OPTIONS -fno-math-errno)
scabrosimeter_add_kernels(scabrosimeter_map_core SOURCES ${_map_root}/src/map/window_sweep.cpp
                          LIBRARIES ${SCABROSIMETER_GMP_LIBRARIES})
target_include_directories(scabrosimeter_map_core PUBLIC ${_map_root}/src)
# scabrosimeter_core: the sweep and its dispatch.
target_link_libraries(scabrosimeter_map_core PUBLIC ${SCABROSIMETER_GMP_LIBRARIES} Threads::Threads
                      scabrosimeter_core)
target_link_libraries(scabrosimeter_map_core PRIVATE scabrosimeter_warnings)
target_compile_options(scabrosimeter_map_core PRIVATE -fno-math-errno)

if(SCABROSIMETER_TESTS)
  add_executable(scabrosimeter_map_tests
    ${_map_root}/tests/map_measures_test.cpp
    ${_map_root}/tests/map_nearest_float_test.cpp
    ${_map_root}/tests/map_engine_test.cpp
  )
  target_include_directories(scabrosimeter_map_tests PRIVATE ${_map_root})
  target_link_libraries(scabrosimeter_map_tests PRIVATE scabrosimeter_map_core
                        GTest::gtest_main scabrosimeter_warnings)
  gtest_discover_tests(scabrosimeter_map_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
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
