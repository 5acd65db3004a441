// Included by a kernel source after the headers it shares with the rest of the program and
// before its kernel headers (arith/isa.h explains why): the standard headers that the kernel
// headers use come first, compiled for any x86-64; from here on a wider copy is compiled for its
// instruction set (SCABROSIMETER_TARGET_avx2...).
//
// No include guard: included once, by a .cpp file.
#include <algorithm>
#include <cassert>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#if defined(SCABROSIMETER_COPY)
#define SCABROSIMETER_KERNEL_TARGET 1
#include "arith/isa.h"
// _Pragma of the copy's target string, built once the macros are expanded.
#define SCABROSIMETER_STRING_(x) #x
#define SCABROSIMETER_STRING(x) SCABROSIMETER_STRING_(x)
#define SCABROSIMETER_TARGET_PRAGMA(extensions) \
  _Pragma(SCABROSIMETER_STRING(GCC target(extensions)))
SCABROSIMETER_TARGET_PRAGMA(SCABROSIMETER_PASTE(SCABROSIMETER_TARGET_, SCABROSIMETER_COPY))
#endif
