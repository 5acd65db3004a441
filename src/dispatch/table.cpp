// The core's kernels, each compiled once for each instruction set: the passes and the sample
// loops (dispatch/kernel.h says how an entry reads).
#include "analysis/passes.h"
#include "dispatch/kernel.h"
#include "raster/samples.h"

namespace scab {

SCABROSIMETER_KERNEL(ProfileSums, profile_pass, (const LineSource& heights), (heights))
SCABROSIMETER_KERNEL(NeighbourSums, rms_error_pass, (const LineSource& heights), (heights))
SCABROSIMETER_KERNEL(void, fold_samples,
                     (int width, const unsigned char* bytes, long n, SampleRange& range),
                     (width, bytes, n, range))
SCABROSIMETER_KERNEL(SampleExtremes, samples_to_heights,
                     (int width, const unsigned char* bytes, long n, double factor, double* out),
                     (width, bytes, n, factor, out))

}  // namespace scab
