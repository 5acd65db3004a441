// Moving-window roughness maps: lines of integer samples and their validity in, lines of
// float values out, one output line per input line and layer. Pure computation: the caller
// reads and writes the lines (map/ does it with GDAL).
//
// Every value is a function of its window's cells alone, computed from exact integer sums: the
// lines can be computed in any runs, on any number of threads, from any buffer that holds the
// lines they need, and the values are the same, bit for bit (README.md, "Seamless").
#pragma once

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "map/measures.h"

namespace scab::map {

// Lines of a raster of request.columns columns: line first_line + k starts at samples + k x columns
// and at valid + k x columns.
struct LinesView {
  const int32_t* samples = nullptr;  // 0 where a cell is missing
  const uint8_t* valid = nullptr;    // 1 where a cell holds a sample, 0 where it is missing
  int first_line = 0;
  int count = 0;
};

// Thrown by compute_lines when its `stop` flag is set: the lines it was computing are left
// incomplete. The flag is read once a line.
class Stopped : public std::runtime_error {
 public:
  Stopped() : std::runtime_error("the map was stopped") {}
};

// Computes lines [first, first + count) of every layer of `request`. `input` holds at least the
// lines [first - halo(request), first + count + halo(request)) that lie inside the raster. Layer
// k's value at (line, column) goes to outputs[k][(line - first) x request.columns + column]: NaN
// where the window is not whole inside the raster, holds too few valid cells, or the measure
// has no value (README.md). Throws std::invalid_argument when request_problem(request) is not
// empty, when `input` lacks a line, or when a sample breaks the view's or the request's promises
// (nonzero where missing, further from 0 than request.sample_limit); Stopped once `stop` (when
// given) is set.
void compute_lines(const MapRequest& request, const LinesView& input, int first, int count,
                   const std::vector<float*>& outputs, const std::atomic<bool>* stop = nullptr);

// The same, the lines split into `threads` runs computed at once (fewer where runs would be
// shorter than the windows); the values do not depend on the split. Where no thread can be
// started, the runs are computed one after the other.
void compute_lines_threaded(const MapRequest& request, const LinesView& input, int first, int count,
                            const std::vector<float*>& outputs, int threads,
                            const std::atomic<bool>* stop = nullptr);

// The number of threads to use: SCABROSIMETER_THREADS when it is set (a whole number from 1 to
// 1024, else std::invalid_argument), otherwise the number of processors.
int thread_count();

}  // namespace scab::map
