// The dispatch of the kernels: a function that the kernel sources compile once for each
// instruction set (arith/isa.h) is declared in each copy, and the function of its own name calls
// the copy in use.
//
// An entry is one line, SCABROSIMETER_KERNEL(result, name, (parameters), (arguments)), in the
// namespace of the kernel's header. It declares isa_base::name, isa_avx2::name... in that
// namespace for the copies this build has (a kernel source defines them in namespace
// SCABROSIMETER_EXPORTS), and defines name, declared in the kernel's own header, which calls the
// copy that isa::copy_in_use() names. The entries of a library stand in one file of this folder:
// table.cpp for the core's kernels, exact_table.cpp and map_table.cpp for the engines'. A new
// kernel source goes into its library's scabrosimeter_add_kernels() (cmake/kernels.cmake), and
// each of its entry points into the library's table, with the include of its header.
#pragma once

#include "arith/isa.h"

#define SCABROSIMETER_DECLARE_COPY(copy, result, name, parameters) \
  namespace isa_##copy {                                           \
    result name parameters;                                        \
  }
#define SCABROSIMETER_COPY_ADDRESS(copy, result, name, parameters) &isa_##copy::name,
#define SCABROSIMETER_KERNEL(result, name, parameters, arguments)                           \
  SCABROSIMETER_FOR_EACH_COPY(SCABROSIMETER_DECLARE_COPY, result, name, parameters)         \
  result name parameters {                                                                  \
    static result(*const kCopies[]) parameters = {                                          \
        SCABROSIMETER_FOR_EACH_COPY(SCABROSIMETER_COPY_ADDRESS, result, name, parameters)}; \
    return kCopies[isa::copy_in_use()] arguments;                                           \
  }
