# The Python module scabrosimeter (python/): built when pybind11 and a Python with numpy are
# found; without them CMake says so and builds the rest. Include after scabrosimeter_core and
# the scabrosimeter program are defined, and after enable_testing().
#
# The module is laid out in the build folder as it is installed: build/python/scabrosimeter/
# holds the compiled _core and the package's Python files, so that PYTHONPATH=build/python
# imports it. `cmake --install` puts it in the site-packages of the Python it was built for.

option(SCABROSIMETER_PYTHON "Build the Python module when pybind11 and numpy are found" ON)
if(NOT SCABROSIMETER_PYTHON OR CMAKE_CROSSCOMPILING)
  return()
endif()
if(SCABROSIMETER_SANITIZE OR SCABROSIMETER_FUZZ)
  # A sanitized module would need its runtime loaded before Python's own code.
  message(STATUS "The Python module is not built with the sanitizers")
  return()
endif()

# The python3 first on PATH may not be the one with numpy (a pyenv shim, say): take the first
# of PATH's and the system's that imports numpy, unless Python3_EXECUTABLE names one.
if(NOT Python3_EXECUTABLE)
  find_program(_python_on_path NAMES python3 NO_CACHE)
  foreach(_candidate IN ITEMS ${_python_on_path} /usr/bin/python3)
    execute_process(COMMAND ${_candidate} -c "import numpy"
                    RESULT_VARIABLE _no_numpy OUTPUT_QUIET ERROR_QUIET)
    if(_no_numpy EQUAL 0)
      set(Python3_EXECUTABLE ${_candidate} CACHE FILEPATH "The Python the module is built for")
      break()
    endif()
  endforeach()
endif()
find_package(Python3 QUIET COMPONENTS Interpreter Development.Module NumPy)
if(Python3_FOUND)
  find_package(pybind11 CONFIG QUIET)
endif()
if(NOT Python3_FOUND OR NOT pybind11_FOUND)
  message(STATUS "pybind11 or a Python with numpy not found: the Python module is not built "
                 "(on Debian: apt-get install pybind11-dev python3-dev python3-numpy)")
  return()
endif()
message(STATUS "Python module for ${Python3_EXECUTABLE} (${Python3_VERSION})")

# The core goes into a shared module too.
get_property(_kernel_libraries GLOBAL PROPERTY SCABROSIMETER_KERNEL_LIBRARIES)
foreach(_target IN ITEMS scabrosimeter_core scabrosimeter_exact scabrosimeter_map_core
                         ${_kernel_libraries})
  if(TARGET ${_target})
    set_target_properties(${_target} PROPERTIES POSITION_INDEPENDENT_CODE ON)
  endif()
endforeach()

set(_python_package ${CMAKE_BINARY_DIR}/python/scabrosimeter)
# NO_EXTRAS: no link-time optimization of the module (the core is compiled already).
pybind11_add_module(scabrosimeter_python MODULE NO_EXTRAS ${CMAKE_CURRENT_LIST_DIR}/../python/module.cpp)
target_link_libraries(scabrosimeter_python PRIVATE scabrosimeter_core scabrosimeter_warnings)
target_compile_definitions(scabrosimeter_python PRIVATE SCABROSIMETER_VERSION="${PROJECT_VERSION}")
# The roughness maps, where their engine is built (GMP found).
if(TARGET scabrosimeter_map_core)
  target_sources(scabrosimeter_python PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../python/map_module.cpp)
  target_link_libraries(scabrosimeter_python PRIVATE scabrosimeter_map_core)
  target_compile_definitions(scabrosimeter_python PRIVATE SCABROSIMETER_MAPS=1)
endif()
# The exact figures, where their engine is built (GMP and MPFR found).
if(TARGET scabrosimeter_exact)
  target_sources(scabrosimeter_python PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../python/exact_module.cpp)
  target_link_libraries(scabrosimeter_python PRIVATE scabrosimeter_exact)
endif()
set_target_properties(scabrosimeter_python PROPERTIES
  OUTPUT_NAME _core
  LIBRARY_OUTPUT_DIRECTORY ${_python_package})
file(GLOB _python_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../python/scabrosimeter/*.py)
add_custom_target(scabrosimeter_python_files ALL
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_python_package}
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${_python_files} ${_python_package}
  COMMENT "Python files of the module")
add_dependencies(scabrosimeter_python scabrosimeter_python_files)

# Installed where this Python looks: its site-packages, relative to the install prefix when it
# lies under it (so that --prefix DIR puts it under DIR), absolute otherwise.
execute_process(COMMAND ${Python3_EXECUTABLE} -c "import sysconfig; print(sysconfig.get_path('platlib'))"
                OUTPUT_VARIABLE _site OUTPUT_STRIP_TRAILING_WHITESPACE)
file(RELATIVE_PATH _site_relative ${CMAKE_INSTALL_PREFIX} ${_site})
if(_site_relative MATCHES "^\\.\\./")
  set(_site_relative ${_site})
endif()
set(SCABROSIMETER_PYTHON_INSTALL_DIR ${_site_relative} CACHE STRING
    "Where the module's folder is installed (relative to the install prefix, or absolute)")
message(STATUS "The module installs into ${SCABROSIMETER_PYTHON_INSTALL_DIR}/scabrosimeter")
install(TARGETS scabrosimeter_python LIBRARY DESTINATION ${SCABROSIMETER_PYTHON_INSTALL_DIR}/scabrosimeter)
install(FILES ${_python_files} DESTINATION ${SCABROSIMETER_PYTHON_INSTALL_DIR}/scabrosimeter)

if(SCABROSIMETER_TESTS)
  execute_process(COMMAND ${Python3_EXECUTABLE} -c "import pytest"
                  RESULT_VARIABLE _no_pytest OUTPUT_QUIET ERROR_QUIET)
  if(_no_pytest EQUAL 0)
    add_test(NAME python_module
             COMMAND ${Python3_EXECUTABLE} -m pytest -q -p no:cacheprovider
                     ${CMAKE_CURRENT_LIST_DIR}/../python/tests)
    set(_python_test_environment
      "PYTHONPATH=${CMAKE_BINARY_DIR}/python;SCABROSIMETER_EXE=$<TARGET_FILE:scabrosimeter>;SCABROSIMETER_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
    if(TARGET scabrosimeter-map)
      list(APPEND _python_test_environment "SCABROSIMETER_MAP_EXE=$<TARGET_FILE:scabrosimeter-map>")
      add_dependencies(scabrosimeter_python scabrosimeter-map)
    endif()
    set_tests_properties(python_module PROPERTIES TIMEOUT 300 ENVIRONMENT
      "${_python_test_environment}")
  else()
    message(STATUS "pytest not found for ${Python3_EXECUTABLE}: the module's tests do not run "
                   "(on Debian: apt-get install python3-pytest)")
  endif()
endif()
