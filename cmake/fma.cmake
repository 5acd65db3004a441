# fma() as the program needs it: correctly rounded (src/arith/fast.h relies on it).
#
# MinGW-w64's runtime computes fma() through an x87 long double, which is not exact. There,
# every call of fma() is linked to the program's own (src/arith/fma_emulated.h). Include after
# scabrosimeter_core is defined. tests/fma_test.cpp checks the fma() that a build ends up with.
#   SCABROSIMETER_FMA=AUTO      the program's own with MinGW-w64, the C library's elsewhere
#   SCABROSIMETER_FMA=LIBRARY   always the C library's (with MinGW-w64 the tests then fail)
#   SCABROSIMETER_FMA=EMULATED  always the program's own

set(SCABROSIMETER_FMA "AUTO" CACHE STRING "Which fma(): AUTO, LIBRARY or EMULATED")
set_property(CACHE SCABROSIMETER_FMA PROPERTY STRINGS AUTO LIBRARY EMULATED)

if(SCABROSIMETER_FMA STREQUAL "EMULATED" OR (SCABROSIMETER_FMA STREQUAL "AUTO" AND MINGW))
  message(STATUS "fma(): the program's own, correctly rounded (src/arith/fma_emulated.h)")
  target_sources(scabrosimeter_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../src/arith/fma_wrap.cpp)
  target_link_options(scabrosimeter_core INTERFACE -Wl,--wrap=fma)
elseif(NOT SCABROSIMETER_FMA MATCHES "^(AUTO|LIBRARY)$")
  message(FATAL_ERROR "SCABROSIMETER_FMA must be AUTO, LIBRARY or EMULATED")
endif()
