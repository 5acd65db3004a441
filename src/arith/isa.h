// One program for every x86-64: the hot code compiled once for each instruction set, and the
// copy that the processor runs chosen when the program starts.
//
// The kernel sources (cmake/kernels.cmake: the two passes, the sample loops, the element-wise
// loops, the engines' scan and sweep) are compiled as part of their library, for any x86-64:
// the baseline copy. With GCC on x86-64 they are compiled once more for each wider copy of the
// list below. The digits are the same whichever copy runs: the arithmetic is the model's,
// whatever the instructions.
//
// The copies never meet at link time. A wider copy is compiled with SCABROSIMETER_COPY naming
// it (avx2, avx512), and every header whose inline code it compiles (the arith headers,
// analysis/kernels.h, neighbourhood.h) puts that code between SCABROSIMETER_COPY_BEGIN and
// SCABROSIMETER_COPY_END, in the namespace scab::isa_avx2 (or isa_avx512): the copies have
// names of their own. Everywhere else those macros are empty, and the code is the baseline's,
// in scab. In a wider copy those headers come after arith/kernel_target.h, which includes the
// standard headers they use and then switches the instruction set on: the standard library's
// inline code and templates, parsed before the switch, stay compiled for any x86-64 even where
// a wider copy instantiates them, so whichever copy of them the linker keeps runs everywhere
// (the isa_objects_* tests check the wider objects for it).
//
// A kernel source defines its entry points in namespace SCABROSIMETER_EXPORTS: scab::isa_base in
// the baseline, scab::isa_avx2 or scab::isa_avx512 in a wider copy. The dispatch
// (src/dispatch/kernel.h, and a table per library) declares every copy of each entry point, and
// defines the function of its own name that calls the copy in use.
//
// No standard header here: in a wider copy this header comes after the switch.
#pragma once

// The copies this build has, in order, each as X(name, ...), the baseline first: with GCC on
// x86-64 (SCABROSIMETER_WIDE_COPIES, set by CMake), the baseline, x86-64-v3 and x86-64-v4. The
// arguments after X are passed on to it.
#if defined(SCABROSIMETER_WIDE_COPIES)
#define SCABROSIMETER_FOR_EACH_COPY(X, ...) \
  X(base, __VA_ARGS__) X(avx2, __VA_ARGS__) X(avx512, __VA_ARGS__)
#else
#define SCABROSIMETER_FOR_EACH_COPY(X, ...) X(base, __VA_ARGS__)
#endif

// What each copy is compiled for (a wider copy's GCC target), and whether the processor and the
// system run it (libgcc checks XCR0, that the system saves the wide registers, before it reports
// AVX, AVX2 or AVX-512). The levels named by their extensions rather than as an arch=: the code
// keeps the generic tuning of the rest of the program, and inline functions compiled for any
// x86-64 still inline into it.
#define SCABROSIMETER_RUNS_base true
#define SCABROSIMETER_TARGET_avx2 "avx2,fma,bmi,bmi2,lzcnt,popcnt,f16c,movbe,xsave"
#define SCABROSIMETER_RUNS_avx2 (__builtin_cpu_supports("x86-64-v3") != 0)
#define SCABROSIMETER_TARGET_avx512 \
  SCABROSIMETER_TARGET_avx2 ",avx512f,avx512bw,avx512cd,avx512dq,avx512vl"
#define SCABROSIMETER_RUNS_avx512 (__builtin_cpu_supports("x86-64-v4") != 0)

#define SCABROSIMETER_PASTE_(a, b) a##b
#define SCABROSIMETER_PASTE(a, b) SCABROSIMETER_PASTE_(a, b)

// The namespace of a copy's code, inside scab: empty for the baseline.
#if defined(SCABROSIMETER_COPY)
#define SCABROSIMETER_COPY_BEGIN namespace SCABROSIMETER_PASTE(isa_, SCABROSIMETER_COPY) {
#define SCABROSIMETER_COPY_END }
#else
#define SCABROSIMETER_COPY_BEGIN
#define SCABROSIMETER_COPY_END
#endif

// The namespace of a copy's entry points, inside scab.
#if defined(SCABROSIMETER_COPY)
#define SCABROSIMETER_EXPORTS SCABROSIMETER_PASTE(isa_, SCABROSIMETER_COPY)
#else
#define SCABROSIMETER_EXPORTS isa_base
#endif

#if defined(SCABROSIMETER_COPY) && !defined(SCABROSIMETER_KERNEL_TARGET)
#error "a wider copy includes arith/kernel_target.h before its kernel headers"
#endif

namespace scab::isa {

// The copy in use, as its place in SCABROSIMETER_FOR_EACH_COPY: the widest one that this build
// has, the processor and the system support, and the environment allows. SCABROSIMETER_ISA set
// to a copy's name allows that copy at most; SCABROSIMETER_BASELINE set (to anything but empty
// or 0) allows the baseline only. Decided at the first call.
int copy_in_use();

// The copies this build has, and their names, in order.
int copy_count();
const char* copy_name(int index);

// The widest copy that the processor runs and that SCABROSIMETER_BASELINE and SCABROSIMETER_ISA
// allow, given their values (null where unset).
int widest_allowed(const char* baseline, const char* named);

// For tests: whether the processor runs copy `index`; and the choice made anew, `index` (which
// the processor must run). Returns the choice that was in force.
bool runs(int index);
int use_copy(int index);

}  // namespace scab::isa
