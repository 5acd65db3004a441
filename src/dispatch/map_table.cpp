// The roughness maps' kernels, each compiled once for each instruction set: the sweep of a
// window size and the check of the cells (dispatch/kernel.h says how an entry reads).
#include "dispatch/kernel.h"
#include "map/window_sweep.h"

namespace scab {

namespace map {
SCABROSIMETER_KERNEL(CellsChecked, check_cells,
                     (const int32_t* samples, const uint8_t* valid, size_t cells, int64_t limit),
                     (samples, valid, cells, limit))
SCABROSIMETER_KERNEL(void, sweep_window_64,
                     (const MapRequest& request, int window, const std::vector<Measure>& measures,
                      const LinesView& input, bool complete, int first, int count,
                      const std::vector<float*>& outputs, const std::atomic<bool>* stop),
                     (request, window, measures, input, complete, first, count, outputs, stop))
SCABROSIMETER_KERNEL(void, sweep_window_128,
                     (const MapRequest& request, int window, const std::vector<Measure>& measures,
                      const LinesView& input, bool complete, int first, int count,
                      const std::vector<float*>& outputs, const std::atomic<bool>* stop),
                     (request, window, measures, input, complete, first, count, outputs, stop))
}  // namespace map

}  // namespace scab
