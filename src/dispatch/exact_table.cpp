// The exact engine's kernels, each compiled once for each instruction set: the scan's hot loops
// (dispatch/kernel.h says how an entry reads).
#include "dispatch/kernel.h"
#include "exact/scan_kernels.h"

namespace scab {

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

}  // namespace scab
