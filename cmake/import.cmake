# scabrosimeter-import: converts rasters that GDAL reads into scabrosimeter datasets.
# Built only when GDAL is found; the main program never depends on GDAL.
# Include after enable_testing(), find_package(GTest) and include(GoogleTest), and after the
# scabrosimeter_core, scabrosimeter and scabrosimeter_warnings targets and
# SCABROSIMETER_IMAGES_ROOT, so that the importer's end-to-end test can run the program.

option(SCABROSIMETER_IMPORT "Build scabrosimeter-import when GDAL is found" ON)
set(_import_root "${CMAKE_CURRENT_LIST_DIR}/..")

set(_import_gdal "")
if(SCABROSIMETER_IMPORT)
  find_package(GDAL QUIET)
  if(TARGET GDAL::GDAL)
    set(_import_gdal GDAL::GDAL)
  else()
    find_package(PkgConfig QUIET)
    if(PKG_CONFIG_FOUND)
      pkg_check_modules(SCABROSIMETER_GDAL QUIET IMPORTED_TARGET gdal)
      if(SCABROSIMETER_GDAL_FOUND)
        set(_import_gdal PkgConfig::SCABROSIMETER_GDAL)
      endif()
    endif()
  endif()
  if(NOT _import_gdal)
    message(STATUS "GDAL not found: scabrosimeter-import is not built "
                   "(on Debian: apt-get install libgdal-dev)")
  endif()
endif()

if(_import_gdal)
  message(STATUS "GDAL found (${_import_gdal}): building scabrosimeter-import")
  add_library(scabrosimeter_import_lib STATIC
    ${_import_root}/import/options.cpp
    ${_import_root}/import/band.cpp
    ${_import_root}/import/dataset.cpp
    ${_import_root}/import/sample_rule.cpp
    ${_import_root}/import/run.cpp
  )
  target_include_directories(scabrosimeter_import_lib PUBLIC ${_import_root} ${_import_root}/src)
  # The dataset layer (paths, descriptors, pending files, units) and the memory reading, from the
  # core; nothing of the dialog.
  target_link_libraries(scabrosimeter_import_lib PUBLIC ${_import_gdal} scabrosimeter_core)
  target_link_libraries(scabrosimeter_import_lib PRIVATE scabrosimeter_warnings)

  add_executable(scabrosimeter-import ${_import_root}/import/main.cpp)
  target_link_libraries(scabrosimeter-import PRIVATE scabrosimeter_import_lib scabrosimeter_warnings)

  if(SCABROSIMETER_TESTS)
    add_executable(scabrosimeter_import_tests ${_import_root}/tests/import/import_test.cpp)
    target_link_libraries(scabrosimeter_import_tests PRIVATE
      scabrosimeter_import_lib GTest::gtest_main scabrosimeter_warnings)
    target_compile_definitions(scabrosimeter_import_tests PRIVATE
      SCABROSIMETER_IMAGES_ROOT="${SCABROSIMETER_IMAGES_ROOT}")
    if(TARGET scabrosimeter)
      target_compile_definitions(scabrosimeter_import_tests PRIVATE
        SCABROSIMETER_EXE="$<TARGET_FILE:scabrosimeter>")
      add_dependencies(scabrosimeter_import_tests scabrosimeter)
    endif()
    gtest_discover_tests(scabrosimeter_import_tests DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endif()
