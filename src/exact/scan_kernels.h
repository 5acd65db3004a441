// The hot loops of the scan, over one decoded line at a time: compiled once for each instruction
// set (arith/isa.h), the copy chosen at run time by the functions declared here
// (dispatch/exact_table.cpp). Each sums in
// narrow lanes over pieces of a line short enough that no lane can overflow (the kinds in
// scan_kernels.cpp state the bounds) and returns the line's totals in 128 bits.
#pragma once

#include <cstdint>

#include "exact/wide.h"

namespace scab::exact {

// How a line's samples are summed, chosen by their type and, for 32-bit samples, their range:
// near32 for samples below 2^24 in magnitude (a height up to 16 km in millimetres), any32 for
// the others.
enum class Kind { grey8, height16, near32, any32 };

// The samples below this magnitude (line, and its neighbour lines) take the kind near32.
constexpr int64_t kNearReach = int64_t(1) << 24;

// These are plain aggregates, without default member values: a constructor of theirs would be
// inline code compiled in the AVX2 copy outside its namespace (arith/isa.h). Value-initialize
// them ({}).

// A decoded line: grey levels as 16-bit integers, other samples as 32-bit ones.
struct LineView {
  const int16_t* grey;
  const int32_t* value;
};

// The least and greatest of some samples.
struct Range {
  int32_t least;
  int32_t most;
};

// Σk and Σk² of some samples of a line.
struct LinePart {
  int64_t sum;
  Uint128 squares;
};

// The sums over some interior cells of a line (E the sum of the 8 neighbours, F of the 4).
struct NeighbourPart {
  Int128 eight;          // ΣE
  Int128 sample_eight;   // ΣkE
  Int128 eight_squares;  // ΣE²
  Int128 eight_off;      // Σ|8k − E|
  Int128 four_squares;   // Σ(4k − F)²
  Int128 four_off;       // Σ|4k − F|
};

// Each column's sums of the samples added since the scanner last carried them into its wide
// totals, in lanes as narrow as the sample type allows (BlockScanner carries them in time):
// grey levels in sum32 and squares32, 16-bit heights in sum32 and squares64, 32-bit heights in
// sum64 and squares64. The others are null.
struct ColumnLanes {
  int32_t* sum32;
  int64_t* sum64;
  uint32_t* squares32;
  uint64_t* squares64;
};

// Decodes n >= 1 samples of `width` bytes (1, 2 or 4) into grey (width 1) or value (the
// others), and returns their range.
Range decode(int width, const unsigned char* bytes, int64_t n, int16_t* grey, int32_t* value);

// The sums of samples [first, end) of `line`, and each sample and its square added to its
// column's lanes (sample j to lanes[j]).
LinePart sum_line(Kind kind, LineView line, int64_t first, int64_t end, ColumnLanes columns);

// The sums over the cells [first, end) of `middle`, whose neighbours are the cells around them
// in `above`, `middle` and `below` (first >= 1, and each line holds at least end + 1 samples).
NeighbourPart neighbours(Kind kind, LineView above, LineView middle, LineView below, int64_t first,
                         int64_t end);

}  // namespace scab::exact
