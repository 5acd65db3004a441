// The one dispatch table: every function that the kernel sources compile once for each
// instruction set (arith/isa.h), each copy declared, and the function that calls the copy in
// use.
//
// An entry is one line, SCABROSIMETER_KERNEL(result, name, (parameters), (arguments)). It
// declares scab::isa_base::name, scab::isa_avx2::name... for the copies this build has (a kernel
// source defines them in namespace SCABROSIMETER_EXPORTS), and defines scab::name, declared in
// the kernel's own header, which calls the copy that isa::copy_in_use() names. A new kernel
// source goes into SCABROSIMETER_KERNEL_SOURCES (CMakeLists.txt), and each of its entry points
// here, with the include of its header.
#include "analysis/passes.h"
#include "arith/isa.h"
#include "raster/samples.h"
#if SCABROSIMETER_HAS_EXACT
#include "exact/scan_kernels.h"
#endif

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

namespace scab {

SCABROSIMETER_KERNEL(ProfileSums, profile_pass, (const LineSource& heights), (heights))
SCABROSIMETER_KERNEL(NeighbourSums, rms_error_pass, (const LineSource& heights), (heights))
SCABROSIMETER_KERNEL(void, fold_samples,
                     (int width, const unsigned char* bytes, long n, SampleRange& range),
                     (width, bytes, n, range))
SCABROSIMETER_KERNEL(SampleExtremes, samples_to_heights,
                     (int width, const unsigned char* bytes, long n, double factor, double* out),
                     (width, bytes, n, factor, out))

#if SCABROSIMETER_HAS_EXACT
namespace exact {
SCABROSIMETER_KERNEL(Range, decode,
                     (int width, const unsigned char* bytes, int64_t n, int16_t* grey,
                      int32_t* value),
                     (width, bytes, n, grey, value))
SCABROSIMETER_KERNEL(LinePart, sum_line,
                     (Kind kind, LineView line, int64_t first, int64_t end, ColumnLanes columns),
                     (kind, line, first, end, columns))
SCABROSIMETER_KERNEL(NeighbourPart, neighbours,
                     (Kind kind, LineView above, LineView middle, LineView below, int64_t first,
                      int64_t end),
                     (kind, above, middle, below, first, end))
}  // namespace exact
#endif

}  // namespace scab
