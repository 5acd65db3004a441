// Included by a kernel source after the headers it shares with the rest of the program and
// before its kernel headers (arith/isa.h explains why): the standard headers that the kernel
// headers use come first, compiled for any x86-64; from here on the translation unit is
// compiled for its instruction set.
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

#if defined(SCABROSIMETER_ISA_AVX2)
// The x86-64-v3 level, named by its extensions rather than as an arch=: the code keeps the
// generic tuning of the rest of the program, and inline functions compiled for any x86-64
// still inline into it.
#pragma GCC target("avx2,fma,bmi,bmi2,lzcnt,popcnt,f16c,movbe,xsave")
#define SCABROSIMETER_KERNEL_TARGET 1
#endif
