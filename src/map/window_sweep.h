// The sums of one window size, carried from line to line: the engine of compute_lines.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "map/measures.h"
#include "map/roughness_map.h"

namespace scab::map {

// Whether every exact sum of `spec` fits 64 bits: samples within 65536 of 0 and windows up to
// 181 cells (README.md, "Exact sums"). Otherwise they are taken in 128 bits.
bool sums_fit_64_bits(const MapSpec& spec);

// What check_cells found: a cell that breaks compute_lines' promises (a valid sample further
// from 0 than the limit, validity other than 0 or 1, a missing cell whose sample is not 0), and
// whether every cell is valid.
struct CellsChecked {
  bool broken = false;
  bool complete = false;
};

// Writes the values of `measures` over windows of `window` cells on lines [first, first +
// count) to outputs[k] (measure k), each line `spec.columns` floats after the one before.
// `input` holds the lines those windows cover; `complete` says that every cell of those lines
// is valid. Wide is int64_t where sums_fit_64_bits(spec), else __int128. Throws Stopped once
// `stop` (when not null) is set, read before each line.
//
// check_cells: the samples and validity of `cells` cells checked against `limit`.
//
// window_sweep.cpp is compiled for any x86-64 (isa_base) and, where the build has it, for AVX2
// (isa_avx2: arith/isa.h); the two copies give the same bits, and compute_lines calls the one
// for the processor.
namespace isa_base {
CellsChecked check_cells(const int32_t* samples, const uint8_t* valid, size_t cells, int64_t limit);
template <typename Wide>
void sweep_window(const MapSpec& spec, int window, const std::vector<Measure>& measures,
                  const LinesView& input, bool complete, int first, int count,
                  const std::vector<float*>& outputs, const std::atomic<bool>* stop);
extern template void sweep_window<int64_t>(const MapSpec&, int, const std::vector<Measure>&,
                                           const LinesView&, bool, int, int,
                                           const std::vector<float*>&, const std::atomic<bool>*);
extern template void sweep_window<__int128>(const MapSpec&, int, const std::vector<Measure>&,
                                            const LinesView&, bool, int, int,
                                            const std::vector<float*>&, const std::atomic<bool>*);
}  // namespace isa_base

namespace isa_avx2 {
CellsChecked check_cells(const int32_t* samples, const uint8_t* valid, size_t cells, int64_t limit);
template <typename Wide>
void sweep_window(const MapSpec& spec, int window, const std::vector<Measure>& measures,
                  const LinesView& input, bool complete, int first, int count,
                  const std::vector<float*>& outputs, const std::atomic<bool>* stop);
extern template void sweep_window<int64_t>(const MapSpec&, int, const std::vector<Measure>&,
                                           const LinesView&, bool, int, int,
                                           const std::vector<float*>&, const std::atomic<bool>*);
extern template void sweep_window<__int128>(const MapSpec&, int, const std::vector<Measure>&,
                                            const LinesView&, bool, int, int,
                                            const std::vector<float*>&, const std::atomic<bool>*);
}  // namespace isa_avx2

}  // namespace scab::map
