// fma() for a C library whose own is not correctly rounded (MinGW-w64). The link option
// -Wl,--wrap=fma (cmake/fma.cmake) sends every call of fma(), std::fma included, here.
#include "arith/fma_emulated.h"

#if !SCABROSIMETER_HAS_EMULATED_FMA
#error "the emulated fma needs a binary128 type (__float128, or a 113-bit long double)"
#endif

extern "C" double __wrap_fma(double a, double b, double c) {
  return scab::emulated::emulated_fma(a, b, c);
}
