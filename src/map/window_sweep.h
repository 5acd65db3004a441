// The sums of one window size, carried from line to line: the engine of compute_lines.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "map/measures.h"
#include "map/roughness_map.h"

namespace scab::map {

// Whether every exact sum of `spec` fits 64 bits: samples within 65536 of 0 and windows up to
// 181 cells (README.md, "Exact sums"). Otherwise they are taken in 128 bits.
bool sums_fit_64_bits(const MapSpec& spec);

// Writes the values of `measures` over windows of `window` cells on lines [first, first +
// count) to outputs[k] (measure k), each line `spec.columns` floats after the one before.
// `input` holds the lines those windows cover; `complete` says that every cell of those lines
// is valid. Wide is int64_t where sums_fit_64_bits(spec), else __int128. Throws Stopped once
// `stop` (when not null) is set, read before each line.
//
// window_sweep.cpp is compiled for any x86-64 (isa_base) and, where the build has it, for AVX2
// (isa_avx2: arith/isa.h); the two copies give the same bits, and compute_lines calls the one
// for the processor.
namespace isa_base {
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
