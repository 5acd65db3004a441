// The sums of one window size, carried from line to line: the engine of compute_lines.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "map/measures.h"
#include "map/roughness_map.h"

namespace scab::map {

// Whether every exact sum of `request` fits 64 bits: samples within 65536 of 0 and windows up to
// 181 cells (README.md, "Exact sums"). Otherwise they are taken in 128 bits.
bool sums_fit_64_bits(const MapRequest& request);

// What check_cells found: a cell that breaks compute_lines' promises (a valid sample further
// from 0 than the limit, validity other than 0 or 1, a missing cell whose sample is not 0), and
// whether every cell is valid.
struct CellsChecked {
  bool broken = false;
  bool complete = false;
};

// Writes the values of `measures` over windows of `window` cells on lines [first, first +
// count) to outputs[k] (measure k), each line `request.columns` floats after the one before.
// `input` holds the lines those windows cover; `complete` says that every cell of those lines
// is valid. The sums are taken in 64 bits (sweep_window_64, only where sums_fit_64_bits(request))
// or in 128 (sweep_window_128). Throws Stopped once `stop` (when not null) is set, read before
// each line.
void sweep_window_64(const MapRequest& request, int window, const std::vector<Measure>& measures,
                     const LinesView& input, bool complete, int first, int count,
                     const std::vector<float*>& outputs, const std::atomic<bool>* stop);
void sweep_window_128(const MapRequest& request, int window, const std::vector<Measure>& measures,
                      const LinesView& input, bool complete, int first, int count,
                      const std::vector<float*>& outputs, const std::atomic<bool>* stop);

// The samples and validity of `cells` cells checked against `limit`.
CellsChecked check_cells(const int32_t* samples, const uint8_t* valid, size_t cells, int64_t limit);

// window_sweep.cpp is compiled once for each instruction set (arith/isa.h); the copies give the
// same bits, and the functions above call the one in use (dispatch/map_table.cpp).

}  // namespace scab::map
