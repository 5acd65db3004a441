// One program for every x86-64: the hot code compiled twice, chosen when the program runs.
//
// The kernels (the two passes and the sample conversion: src/analysis/profile.cpp,
// rms_error.cpp, neighbourhood.cpp, src/arith/elementwise.cpp, src/raster/samples.cpp) are
// compiled once for any x86-64 and, with GCC on x86-64, once more for AVX2 and FMA (the
// x86-64-v3 level). Everything else is compiled once, for any x86-64. avx2_in_use() decides,
// at the first call, which of the two runs; the digits are the same either way (the arithmetic
// is the model's, whatever the instructions).
//
// The two copies must not meet at link time. Each kernel source is compiled with
// SCABROSIMETER_ISA naming a namespace of its own (isa_base, isa_avx2), and every header
// whose inline code it compiles (the arith headers, analysis/kernels.h, neighbourhood.h) puts
// that code in the same namespace: the copies have different names. In a kernel source compiled
// for AVX2 those headers come after arith/kernel_target.h, which includes the standard headers
// they use and then switches the instruction set on; the standard library's inline code and
// templates, parsed before the switch, stay compiled for any x86-64 even where the AVX2 copy
// instantiates them, so whichever copy of them the linker keeps runs everywhere (the test
// "isa_objects" checks the AVX2 objects for it).
//
// Code outside the kernels includes the same headers and gets the isa_base copy, through the
// using-directive each of them ends with.
#pragma once

#ifndef SCABROSIMETER_ISA
#define SCABROSIMETER_ISA isa_base
#endif

#if defined(SCABROSIMETER_ISA_AVX2) && !defined(SCABROSIMETER_KERNEL_TARGET)
#error "a kernel source compiled for AVX2 includes arith/kernel_target.h before its kernel headers"
#endif

namespace scab::isa {

// Whether the kernels compiled for AVX2 and FMA run: this build has them, the processor and the
// system support them, and the environment does not set SCABROSIMETER_BASELINE (to anything
// but empty or 0). Decided at the first call.
bool avx2_in_use();

// For tests: the choice made anew, `wanted` where the processor allows it. Returns the choice
// that was in force.
bool use_avx2(bool wanted);

}  // namespace scab::isa
