// The scan's hot loops (exact/scan_kernels.h), compiled once for each instruction set.
//
// Each kind of sample is summed in the narrowest integers that provably cannot overflow, so
// that the loops vectorize: Value holds a sample, its neighbour sums E (8 cells) and F (4) and
// the differences 8k − E and 4k − F; within a piece of kPiece cells, Small sums values and
// Product sums products. The bounds are in each kind's comment; a piece's sums go into
// 128-bit totals.
#include "exact/scan_kernels.h"

// clang-format off
#include "arith/kernel_target.h"
#include "arith/isa.h"
#include "raster/sample_bytes.h"
// clang-format on

namespace scab::exact::SCABROSIMETER_EXPORTS {
namespace {

// Grey levels, 0 <= k < 2^8: |E|, |8k − E| <= 8 × 255 < 2^11 and |4k − F| < 2^10 fit 16 bits;
// every product is below 2^22, and a piece's Small and Product sums below 2^8 × 2^22 = 2^30.
struct Grey8 {
  using Value = int16_t;
  using Small = int32_t;
  using Product = int32_t;
  static constexpr int64_t kPiece = 256;
  static int32_t* sums(ColumnLanes c) { return c.sum32; }
  static uint32_t* squares(ColumnLanes c) { return c.squares32; }
};

// 16-bit heights, 0 <= k < 2^16: |E|, |8k − E| < 2^19 fit 32 bits, a piece's Small sums are
// below 2^11 × 2^19 = 2^30; products below 2^38, their sums below 2^49.
struct Height16 {
  using Value = int32_t;
  using Small = int32_t;
  using Product = int64_t;
  static constexpr int64_t kPiece = 2048;
  static int32_t* sums(ColumnLanes c) { return c.sum32; }
  static uint64_t* squares(ColumnLanes c) { return c.squares64; }
};

// 32-bit heights below 2^24 in magnitude (kNearReach), in the line and its neighbours:
// |E| <= 2^27, |8k − E| <= 2^28 fit 32 bits; products below 2^54, a piece's sums below
// 2^8 × 2^54 = 2^62.
struct Near32 {
  using Value = int32_t;
  using Small = int64_t;
  using Product = int64_t;
  static constexpr int64_t kPiece = 256;
  static int64_t* sums(ColumnLanes c) { return c.sum64; }
  static uint64_t* squares(ColumnLanes c) { return c.squares64; }
};

// Any 32-bit heights, |k| <= 2^31: |E| <= 2^34 and |8k − E| <= 2^35 need 64 bits, a piece's
// Small sums are below 2^20 × 2^35 = 2^55; products below 2^70 need 128 bits, and a whole
// line's sums below 2^31 × 2^70 = 2^101.
struct Any32 {
  using Value = int64_t;
  using Small = int64_t;
  using Product = Int128;
  static constexpr int64_t kPiece = int64_t(1) << 20;
  static int64_t* sums(ColumnLanes c) { return c.sum64; }
  static uint64_t* squares(ColumnLanes c) { return c.squares64; }
};

using raw_bytes::sample_at;

// The range is taken in the samples' own width: more lanes to a vector.
template <int kWidth, class Sample, class Out>
Range decode_as(const unsigned char* bytes, int64_t n, Out* out) {
  Sample least = std::numeric_limits<Sample>::max(), most = std::numeric_limits<Sample>::min();
  for (int64_t j = 0; j < n; j++) {
    const Sample k = static_cast<Sample>(sample_at<kWidth>(bytes, j));
    out[j] = static_cast<Out>(k);
    least = k < least ? k : least;
    most = k > most ? k : most;
  }
  return Range{least, most};
}

template <class K, class In>
LinePart sum_as(const In* line, int64_t first, int64_t end, ColumnLanes columns) {
  using Small = typename K::Small;
  using Product = typename K::Product;
  auto* column_sum = K::sums(columns);
  auto* column_squares = K::squares(columns);
  using SquareLane = std::remove_pointer_t<decltype(column_squares)>;
  LinePart part{};
  for (int64_t start = first; start < end; start += K::kPiece) {
    const int64_t stop = std::min(end, start + K::kPiece);
    Small sum = 0;
    Product squares = 0;
    for (int64_t j = start; j < stop; j++) {
      const typename K::Value k = line[j];
      sum += k;
      squares += Product(k) * k;
      column_sum[j] += k;
      column_squares[j] += static_cast<SquareLane>(Product(k) * k);
    }
    part.sum += sum;
    part.squares += static_cast<Uint128>(squares);
  }
  return part;
}

template <class K, class In>
NeighbourPart neighbours_as(const In* above, const In* middle, const In* below, int64_t first,
                            int64_t end) {
  using Value = typename K::Value;
  using Small = typename K::Small;
  using Product = typename K::Product;
  NeighbourPart part{};
  for (int64_t start = first; start < end; start += K::kPiece) {
    const int64_t stop = std::min(end, start + K::kPiece);
    Small eight = 0, eight_off = 0, four_off = 0;
    Product sample_eight = 0, eight_squares = 0, four_squares = 0;
    for (int64_t j = start; j < stop; j++) {
      const Value k = middle[j];
      // Each sample widened before it is added: the sums exceed 32 bits for Any32.
      const Value four =
          Value(Value(above[j]) + Value(below[j]) + Value(middle[j - 1]) + Value(middle[j + 1]));
      const Value all = Value(four + Value(above[j - 1]) + Value(above[j + 1]) +
                              Value(below[j - 1]) + Value(below[j + 1]));
      const Value off_eight = Value(8 * k - all);
      const Value off_four = Value(4 * k - four);
      eight += all;
      sample_eight += Product(k) * all;
      eight_squares += Product(all) * all;
      eight_off += off_eight < 0 ? -off_eight : off_eight;
      four_squares += Product(off_four) * off_four;
      four_off += off_four < 0 ? -off_four : off_four;
    }
    part.eight += eight;
    part.sample_eight += sample_eight;
    part.eight_squares += eight_squares;
    part.eight_off += eight_off;
    part.four_squares += four_squares;
    part.four_off += four_off;
  }
  return part;
}

}  // namespace

Range decode(int width, const unsigned char* bytes, int64_t n, int16_t* grey, int32_t* value) {
  if (width == 1) return decode_as<1, uint8_t>(bytes, n, grey);
  if (width == 2) return decode_as<2, uint16_t>(bytes, n, value);
  return decode_as<4, int32_t>(bytes, n, value);
}

LinePart sum_line(Kind kind, LineView line, int64_t first, int64_t end, ColumnLanes columns) {
  switch (kind) {
    case Kind::grey8:
      return sum_as<Grey8>(line.grey, first, end, columns);
    case Kind::height16:
      return sum_as<Height16>(line.value, first, end, columns);
    case Kind::near32:
      return sum_as<Near32>(line.value, first, end, columns);
    case Kind::any32:
      break;
  }
  return sum_as<Any32>(line.value, first, end, columns);
}

NeighbourPart neighbours(Kind kind, LineView above, LineView middle, LineView below, int64_t first,
                         int64_t end) {
  switch (kind) {
    case Kind::grey8:
      return neighbours_as<Grey8>(above.grey, middle.grey, below.grey, first, end);
    case Kind::height16:
      return neighbours_as<Height16>(above.value, middle.value, below.value, first, end);
    case Kind::near32:
      return neighbours_as<Near32>(above.value, middle.value, below.value, first, end);
    case Kind::any32:
      break;
  }
  return neighbours_as<Any32>(above.value, middle.value, below.value, first, end);
}

}  // namespace scab::exact::SCABROSIMETER_EXPORTS
