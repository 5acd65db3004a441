# The kernel sources' copies (src/arith/isa.h): each library that has kernel sources compiles
# them once for any x86-64, as its own sources, and, with GCC on x86-64, once more for each wider
# copy (x86-64-v3: AVX2 and FMA; x86-64-v4: AVX-512), chosen when the program runs through the
# entries of src/dispatch/. Nothing depends on the machine that builds it.
#
#   scabrosimeter_add_kernels(TARGET SOURCES... [LIBRARIES lib...])
#
# adds SOURCES to TARGET and their wider copies, each an object library TARGET_<copy> (linked
# privately with LIBRARIES for their headers), listed in the global property
# SCABROSIMETER_KERNEL_LIBRARIES (the isa_objects tests check their objects).

option(SCABROSIMETER_WIDE_KERNELS
       "Also compile the kernels for AVX2 and AVX-512, chosen at run time (GCC on x86-64)" ON)
set(SCABROSIMETER_WIDE_COPIES)
if(SCABROSIMETER_WIDE_KERNELS AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU"
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  set(SCABROSIMETER_WIDE_COPIES avx2 avx512)
endif()
message(STATUS "scabrosimeter: kernels for base ${SCABROSIMETER_WIDE_COPIES}")

function(scabrosimeter_add_kernels target)
  cmake_parse_arguments(PARSE_ARGV 1 _kernels "" "" "SOURCES;LIBRARIES")
  target_sources(${target} PRIVATE ${_kernels_SOURCES})
  foreach(copy IN LISTS SCABROSIMETER_WIDE_COPIES)
    add_library(${target}_${copy} OBJECT ${_kernels_SOURCES})
    target_include_directories(${target}_${copy} PRIVATE ${CMAKE_SOURCE_DIR}/src)
    target_link_libraries(${target}_${copy} PRIVATE scabrosimeter_warnings ${_kernels_LIBRARIES})
    target_compile_definitions(${target}_${copy} PRIVATE SCABROSIMETER_COPY=${copy}
                               SCABROSIMETER_WIDE_COPIES=1)
    target_sources(${target} PRIVATE $<TARGET_OBJECTS:${target}_${copy}>)
    set_property(GLOBAL APPEND PROPERTY SCABROSIMETER_KERNEL_LIBRARIES ${target}_${copy})
  endforeach()
  if(SCABROSIMETER_WIDE_COPIES)
    target_compile_definitions(${target} PRIVATE SCABROSIMETER_WIDE_COPIES=1)
  endif()
endfunction()
