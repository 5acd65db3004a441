// The benchmark's speed limit: the figures scabrosimeter prints, computed as fast as plain
// arithmetic allows, to measure what scabrosimeter's reproducible rounding costs.
//
//   limit_peer RAW LINES COLUMNS WIDTH SCALE
//
// The arguments are numpy_peer.py's: WIDTH 1 is an unsigned 8-bit image, 2 an unsigned 16-bit
// DEM, 4 a signed 32-bit DEM (least significant byte first); SCALE the metres per stored unit.
// It writes the per-line RMS table to RAW.limit.xls and prints the figures as numpy_peer.py
// does, with |r| ("r(sqrt)") after r as scabrosimeter has it, and "undefined" for a figure that
// has no value. Cells missing from a short file are 0, as in scabrosimeter.
//
// How it gets its speed:
// - The raster is streamed: each thread preads a block of lines at a time and keeps three
//   decoded lines for the neighbourhoods, so memory stays a few MiB whatever the raster's size.
// - One pass: every figure comes from sums taken while the lines go by. The lines are split in
//   two halves, one thread each, with their own sums added up at the end; each thread also
//   reads the line beyond its half that its last (or first) neighbourhoods need.
// - Every sum is a sum of integers in sample units (samples, their squares, neighbour sums and
//   their products with the sample), so it is exact in any order. Metres (SCALE) enter only in
//   the last formulas, where a few divisions and square roots are the only rounded steps. For
//   example a line's n Σ(z - m)² is (n Σk² - (Σk)²) SCALE², with k the stored samples.
// - The loops over a line are plain loops over arrays of 16- or 32-bit integers, summed in
//   pieces short enough for each partial sum to fit its type (ImageSamples and the others
//   below), which the compiler vectorises. On x86-64 they are compiled twice, for the baseline
//   and for AVX2, and the machine's own choice is made at run time.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using Int128 = __int128;

// The hot loops are written once and inlined into each instruction-set variant below.
#define HOT_INLINE inline __attribute__((always_inline))

// Bytes of one block of lines read at a time by each thread (at least one line). A block that
// stays in the core's cache while it is decoded is faster than a larger one.
constexpr size_t kBlockBytes = 128 * 1024;

// How each kind of sample is summed. E is a cell's sum of its 8 neighbours, F of its 4 edge
// neighbours, D = 4k - F. Value holds a sample, E and F; within a piece of kPiece cells of a
// line, Small sums samples, E and the distances |8k - E| and |D|, and Product sums the
// products k², kE, E² and D²; ColumnSum and ColumnSquares sum k and k² down the columns for
// kColumnLines lines at most, after which they are added to 128-bit totals. The bounds in the
// comments show that no sum can overflow.

// 8-bit images, 0 <= k < 2^8: E < 2^11 fits 16 bits (16 cells to a vector), every product
// < 2^22, a piece's sums < 2^30, a column's Σk² over 2^15 lines < 2^31.
struct ImageSamples {
  static constexpr int kWidth = 1;
  static constexpr bool kFromFirst = false;
  static constexpr size_t kPiece = 256;
  static constexpr long kColumnLines = 32768;
  using Value = int16_t;
  using Small = int32_t;
  using Product = int32_t;
  using ColumnSum = int32_t;
  using ColumnSquares = int32_t;
};

// 16-bit DEMs, 0 <= k < 2^16: E < 2^19, a piece's Small sums < 2^30, products < 2^38, a
// column's Σk over 2^15 lines < 2^31.
struct Dem16Samples {
  static constexpr int kWidth = 2;
  static constexpr bool kFromFirst = false;
  static constexpr size_t kPiece = 2048;
  static constexpr long kColumnLines = 32768;
  using Value = int32_t;
  using Small = int32_t;
  using Product = int64_t;
  using ColumnSum = int32_t;
  using ColumnSquares = int64_t;
};

// 32-bit DEMs whose every sample lies within 2^23 of the raster's first sample (8 km in
// millimetres: most DEMs). Samples are taken as their difference from the first one, which
// changes none of the figures: |k| < 2^23, |E|, |8k - E| < 2^27, products < 2^52, a piece's
// product sums < 2^62, a column's Σk² over 2^16 lines < 2^62.
struct NearDem32Samples {
  static constexpr int kWidth = 4;
  static constexpr bool kFromFirst = true;
  static constexpr size_t kPiece = 1024;
  static constexpr long kColumnLines = 65536;
  static constexpr int64_t kReach = int64_t(1) << 23;
  using Value = int32_t;
  using Small = int64_t;
  using Product = int64_t;
  using ColumnSum = int64_t;
  using ColumnSquares = int64_t;
};

// Any 32-bit DEM: |k| <= 2^31, E < 2^35, products < 2^70 (not vectorised: the others cover
// nearly every DEM).
struct AnyDem32Samples {
  static constexpr int kWidth = 4;
  static constexpr bool kFromFirst = false;
  static constexpr size_t kPiece = size_t(1) << 20;
  static constexpr long kColumnLines = long(1) << 30;
  using Value = int64_t;
  using Small = int64_t;
  using Product = Int128;
  using ColumnSum = int64_t;
  using ColumnSquares = Int128;
};

struct Options {
  std::string raw;
  long lines = 0, columns = 0;
  int width = 0;
  double scale = 0;
};

// The exact sums of one raster line.
struct LineSums {
  int64_t sum = 0;     // Σk
  Int128 squares = 0;  // Σk²
};

// Sums over the interior cells (neighbourhood pass). With them, the 8-neighbour mean y is
// E / 8 and the 4-neighbour mean q is F / 4.
struct NeighbourSums {
  Int128 sample = 0;          // Σk
  Int128 sample_squares = 0;  // Σk²
  Int128 eight = 0;           // ΣE
  Int128 eight_squares = 0;   // ΣE²
  Int128 sample_eight = 0;    // ΣkE
  Int128 eight_distance = 0;  // Σ|8k - E|, 8 Σ|z - y| in sample units
  Int128 four_squares = 0;    // ΣD², 16 Σ(z - q)²
  Int128 four_distance = 0;   // Σ|D|

  void add(const NeighbourSums& other) {
    sample += other.sample;
    sample_squares += other.sample_squares;
    eight += other.eight;
    eight_squares += other.eight_squares;
    sample_eight += other.sample_eight;
    eight_distance += other.eight_distance;
    four_squares += other.four_squares;
    four_distance += other.four_distance;
  }
};

// What one thread takes from its half of the lines.
template <class Kind>
struct Share {
  long first = 0, end = 0;  // its own lines: [first, end)
  // Σk and Σk² down each column: of the latest lines, and the totals of the lines before
  // (empty until the first kColumnLines lines are done).
  std::vector<typename Kind::ColumnSum> recent_sum;
  std::vector<typename Kind::ColumnSquares> recent_squares;
  long recent_lines = 0;
  std::vector<Int128> column_sum, column_squares;
  NeighbourSums neighbours;
  std::string error;  // empty when all went well

  Share(long first_line, long end_line, size_t columns)
      : first(first_line), end(end_line), recent_sum(columns), recent_squares(columns) {}

  void add_recent_to_totals() {
    column_sum.resize(recent_sum.size());
    column_squares.resize(recent_sum.size());
    for (size_t j = 0; j < column_sum.size(); j++) {
      column_sum[j] += recent_sum[j];
      column_squares[j] += recent_squares[j];
      recent_sum[j] = 0;
      recent_squares[j] = 0;
    }
    recent_lines = 0;
  }
};

// An integer of up to 128 bits that remembers whether any step of a formula overflowed, so
// that a final formula is evaluated exactly where it can be and in long double where not.
struct Checked {
  Int128 value;
  bool overflow = false;
  Checked(Int128 v, bool o = false) : value(v), overflow(o) {}
};
Checked operator*(Checked a, Checked b) {
  Int128 r;
  const bool o = __builtin_mul_overflow(a.value, b.value, &r);
  return Checked(r, a.overflow || b.overflow || o);
}
Checked operator-(Checked a, Checked b) {
  Int128 r;
  const bool o = __builtin_sub_overflow(a.value, b.value, &r);
  return Checked(r, a.overflow || b.overflow || o);
}
Checked operator+(Checked a, Checked b) {
  Int128 r;
  const bool o = __builtin_add_overflow(a.value, b.value, &r);
  return Checked(r, a.overflow || b.overflow || o);
}

// formula(a, b, ...) as a double: exact up to its final rounding when its integer evaluation
// stays within 128 bits, else evaluated in long double.
template <class Formula, class... Integers>
double evaluate(Formula formula, Integers... integers) {
  const Checked exact = formula(Checked(integers)...);
  if (!exact.overflow) return static_cast<double>(exact.value);
  return static_cast<double>(formula(static_cast<long double>(integers)...));
}

// n Σk² - (Σk)²: n times the sum of squared deviations from the mean, in sample units (never
// below 0, which only the long double evaluation could give).
double spread(Int128 count, Int128 sum, Int128 squares) {
  return std::max(
      0.0, evaluate([](auto n, auto s, auto q) { return n * q - s * s; }, count, sum, squares));
}

template <int Width>
HOT_INLINE int32_t sample_at(const unsigned char* bytes) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  if constexpr (Width == 1) {
    return bytes[0];
  } else if constexpr (Width == 2) {
    uint16_t v;
    std::memcpy(&v, bytes, 2);
    return v;
  } else {
    int32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
  }
#else
  uint32_t v = 0;
  for (int b = Width - 1; b >= 0; b--)
    v = v << 8 | bytes[b];
  return static_cast<int32_t>(v);
#endif
}

// Decodes one line into `line`, as differences from `first` for NearDem32Samples, and tells
// whether every sample lies within that kind's reach of `first` (always, for the others).
template <class Kind>
HOT_INLINE bool decode(const unsigned char* bytes, size_t columns, int32_t first,
                       typename Kind::Value* line) {
  if constexpr (Kind::kFromFirst) {
    int32_t lowest = INT32_MAX, highest = INT32_MIN;
    for (size_t j = 0; j < columns; j++) {
      const int32_t k = sample_at<Kind::kWidth>(bytes + j * Kind::kWidth);
      lowest = std::min(lowest, k);
      highest = std::max(highest, k);
      // Wraps around for a sample out of reach; the line is then not used.
      line[j] = static_cast<int32_t>(static_cast<uint32_t>(k) - static_cast<uint32_t>(first));
    }
    return int64_t(highest) - first < Kind::kReach && int64_t(first) - lowest < Kind::kReach;
  } else {
    for (size_t j = 0; j < columns; j++)
      line[j] = sample_at<Kind::kWidth>(bytes + j * Kind::kWidth);
    return true;
  }
}

// Adds a decoded line of the thread's own to the column sums, and returns its line sums.
template <class Kind>
HOT_INLINE LineSums sum_line(const typename Kind::Value* line, size_t columns, Share<Kind>& share) {
  using Small = typename Kind::Small;
  using Product = typename Kind::Product;
  using ColumnSum = typename Kind::ColumnSum;
  using ColumnSquares = typename Kind::ColumnSquares;
  if (share.recent_lines == Kind::kColumnLines) share.add_recent_to_totals();
  share.recent_lines++;
  ColumnSum* column_sum = share.recent_sum.data();
  ColumnSquares* column_squares = share.recent_squares.data();
  LineSums sums;
  for (size_t start = 0; start < columns; start += Kind::kPiece) {
    const size_t end = std::min(columns, start + Kind::kPiece);
    Small sum = 0;
    Product squares = 0;
    for (size_t j = start; j < end; j++) {
      const typename Kind::Value k = line[j];
      sum += k;
      squares += Product(k) * k;
      column_sum[j] += ColumnSum(k);
      column_squares[j] += ColumnSquares(k) * k;
    }
    sums.sum += sum;
    sums.squares += squares;
  }
  return sums;
}

// Adds the interior cells of line `middle`, whose neighbours are the lines above and below.
template <class Kind>
HOT_INLINE void neighbourhoods(const typename Kind::Value* above,
                               const typename Kind::Value* middle,
                               const typename Kind::Value* below, const LineSums& middle_sums,
                               size_t columns, NeighbourSums& sums) {
  using Value = typename Kind::Value;
  using Small = typename Kind::Small;
  using Product = typename Kind::Product;
  const size_t last = columns - 1;
  // The interior cells' Σk and Σk² are the line's, less its first and last cells.
  sums.sample += middle_sums.sum - int64_t(middle[0]) - int64_t(middle[last]);
  sums.sample_squares +=
      middle_sums.squares - Int128(middle[0]) * middle[0] - Int128(middle[last]) * middle[last];
  for (size_t start = 1; start < last; start += Kind::kPiece) {
    const size_t end = std::min(last, start + Kind::kPiece);
    Small eight = 0, eight_distance = 0, four_distance = 0;
    Product eight_squares = 0, sample_eight = 0, four_squares = 0;
    for (size_t j = start; j < end; j++) {
      const Value k = middle[j];
      const Value four = above[j] + below[j] + middle[j - 1] + middle[j + 1];
      const Value all = four + above[j - 1] + above[j + 1] + below[j - 1] + below[j + 1];
      const Value off_eight = 8 * k - all;
      const Value off_four = 4 * k - four;
      eight += all;
      eight_squares += Product(all) * all;
      sample_eight += Product(k) * all;
      eight_distance += off_eight < 0 ? -off_eight : off_eight;
      four_squares += Product(off_four) * off_four;
      four_distance += off_four < 0 ? -off_four : off_four;
    }
    sums.eight += eight;
    sums.eight_squares += eight_squares;
    sums.sample_eight += sample_eight;
    sums.eight_distance += eight_distance;
    sums.four_squares += four_squares;
    sums.four_distance += four_distance;
  }
}

// Reads `count` bytes at `offset`; what lies beyond the end of the file reads as zeros.
bool read_at(int file, unsigned char* into, size_t count, off_t offset, std::string& error) {
  size_t done = 0;
  while (done < count) {
    const ssize_t got = pread(file, into + done, count - done, offset + static_cast<off_t>(done));
    if (got < 0) {
      if (errno == EINTR) continue;
      error = std::strerror(errno);
      return false;
    }
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  std::memset(into + done, 0, count - done);
  return true;
}

// What every thread shares: the file, its first sample, the line sums (each thread writes its
// own lines'), and whether a sample out of the kind's reach was found.
struct Scan {
  int file;
  const Options& options;
  int32_t first_sample;
  std::vector<LineSums>& line_sums;
  std::atomic<bool>& out_of_reach;
};

// One thread's work: its own lines' sums, and the neighbourhoods of the interior cells of its
// own lines, which also need the line just before and just after its half.
template <class Kind>
HOT_INLINE void scan_share(const Scan& scan, Share<Kind>& share) {
  const size_t columns = static_cast<size_t>(scan.options.columns);
  const long lines = scan.options.lines;
  const size_t line_bytes = columns * Kind::kWidth;
  const bool with_neighbourhoods = lines >= 3 && columns >= 3;
  // Lines read: the own ones, with one more at each side where it exists.
  const long read_first = share.first > 0 ? share.first - 1 : 0;
  const long read_end = share.end < lines ? share.end + 1 : lines;
  const long block_lines = std::max<long>(1, static_cast<long>(kBlockBytes / line_bytes));
  std::vector<unsigned char> block(static_cast<size_t>(block_lines) * line_bytes);
  // Line i is decoded into window[i % 3]; lines i - 2 and i - 1 are in the two others.
  std::vector<typename Kind::Value> window[3];
  for (auto& line : window)
    line.resize(columns);
  for (long block_first = read_first; block_first < read_end; block_first += block_lines) {
    if (scan.out_of_reach.load(std::memory_order_relaxed)) return;
    const long count = std::min(block_lines, read_end - block_first);
    if (!read_at(scan.file, block.data(), static_cast<size_t>(count) * line_bytes,
                 static_cast<off_t>(block_first) * static_cast<off_t>(line_bytes), share.error)) {
      return;
    }
    for (long i = block_first; i < block_first + count; i++) {
      typename Kind::Value* line = window[i % 3].data();
      const unsigned char* bytes = block.data() + static_cast<size_t>(i - block_first) * line_bytes;
      if (!decode<Kind>(bytes, columns, scan.first_sample, line)) {
        scan.out_of_reach.store(true, std::memory_order_relaxed);
        return;
      }
      if (i >= share.first && i < share.end) {
        scan.line_sums[static_cast<size_t>(i)] = sum_line<Kind>(line, columns, share);
      }
      const long centre = i - 1;
      if (with_neighbourhoods && i - 2 >= read_first && centre >= share.first &&
          centre < share.end) {
        neighbourhoods<Kind>(window[(i - 2) % 3].data(), window[centre % 3].data(), line,
                             scan.line_sums[static_cast<size_t>(centre)], columns,
                             share.neighbours);
      }
    }
  }
}

template <class Kind>
void scan_share_baseline(const Scan& scan, Share<Kind>& share) {
  scan_share<Kind>(scan, share);
}

#if defined(__x86_64__) && defined(__GNUC__)
template <class Kind>
__attribute__((target("avx2"))) void scan_share_avx2(const Scan& scan, Share<Kind>& share) {
  scan_share<Kind>(scan, share);
}
#endif

template <class Kind>
void scan_share_here(const Scan& scan, Share<Kind>& share) {
#if defined(__x86_64__) && defined(__GNUC__)
  if (__builtin_cpu_supports("avx2")) {
    scan_share_avx2<Kind>(scan, share);
    return;
  }
#endif
  scan_share_baseline<Kind>(scan, share);
}

// The sums of every line and column and of the interior cells, in sample units.
struct RasterSums {
  std::vector<LineSums> lines;
  std::vector<Int128> column_sum, column_squares;
  NeighbourSums neighbours;
};

// Scans the raster on two threads, one half of the lines each. False when a sample is out of
// the kind's reach (the sums are then incomplete), or on a read error (`error` says which).
template <class Kind>
bool scan_raster(int file, const Options& options, int32_t first_sample, RasterSums& sums,
                 std::string& error) {
  const size_t columns = static_cast<size_t>(options.columns);
  const long half = options.lines / 2;
  std::atomic<bool> out_of_reach(false);
  sums.lines.assign(static_cast<size_t>(options.lines), LineSums());
  const Scan scan{file, options, first_sample, sums.lines, out_of_reach};
  Share<Kind> shares[2] = {Share<Kind>(0, half, columns),
                           Share<Kind>(half, options.lines, columns)};
  std::thread second([&] { scan_share_here<Kind>(scan, shares[1]); });
  scan_share_here<Kind>(scan, shares[0]);
  second.join();
  for (Share<Kind>& share : shares) {
    if (!share.error.empty()) {
      error = share.error;
      return false;
    }
    if (!share.column_sum.empty()) share.add_recent_to_totals();
  }
  if (out_of_reach) return false;
  sums.column_sum.assign(columns, 0);
  sums.column_squares.assign(columns, 0);
  for (const Share<Kind>& share : shares) {
    const bool in_totals = !share.column_sum.empty();
    for (size_t j = 0; j < columns; j++) {
      sums.column_sum[j] += in_totals ? share.column_sum[j] : share.recent_sum[j];
      sums.column_squares[j] += in_totals ? share.column_squares[j] : share.recent_squares[j];
    }
  }
  sums.neighbours = shares[0].neighbours;
  sums.neighbours.add(shares[1].neighbours);
  return true;
}

// A 32-bit DEM is scanned as NearDem32Samples first; when a sample lies out of its reach the
// scan stops and the raster is scanned again as AnyDem32Samples.
bool scan_any_raster(int file, const Options& options, RasterSums& sums, std::string& error) {
  if (options.width == 1) return scan_raster<ImageSamples>(file, options, 0, sums, error);
  if (options.width == 2) return scan_raster<Dem16Samples>(file, options, 0, sums, error);
  unsigned char first[4];
  if (!read_at(file, first, 4, 0, error)) return false;
  if (scan_raster<NearDem32Samples>(file, options, sample_at<4>(first), sums, error)) return true;
  if (!error.empty()) return false;
  return scan_raster<AnyDem32Samples>(file, options, 0, sums, error);
}

// The table, as "%d\t%f\n" a line would write it: std::to_chars formats as printf does, and
// many times faster.
std::string table_text(const std::vector<double>& line_rms) {
  std::string text;
  text.reserve(line_rms.size() * 24);
  char row[400];  // "%f" of the largest double has 309 digits before the point
  for (size_t i = 0; i < line_rms.size(); i++) {
    char* end = std::to_chars(row, row + sizeof row, i + 1).ptr;
    *end++ = '\t';
    end = std::to_chars(end, row + sizeof row - 1, line_rms[i], std::chars_format::fixed, 6).ptr;
    *end++ = '\n';
    text.append(row, end);
  }
  return text;
}

void print_figure(const char* label, double value) {
  if (std::isfinite(value)) {
    std::printf("%s%f", label, value);
  } else {
    std::printf("%sundefined", label);
  }
}

bool parse_options(int argc, char** argv, Options& options) {
  if (argc != 6) return false;
  char* end;
  options.raw = argv[1];
  options.lines = std::strtol(argv[2], &end, 10);
  if (*end != '\0' || options.lines < 1) return false;
  options.columns = std::strtol(argv[3], &end, 10);
  if (*end != '\0' || options.columns < 1) return false;
  options.width = static_cast<int>(std::strtol(argv[4], &end, 10));
  if (*end != '\0' || (options.width != 1 && options.width != 2 && options.width != 4)) {
    return false;
  }
  options.scale = std::strtod(argv[5], &end);
  return *end == '\0' && options.scale > 0 && std::isfinite(options.scale);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parse_options(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: limit_peer RAW LINES COLUMNS WIDTH SCALE\n"
                 "  WIDTH 1 (8-bit image), 2 (16-bit DEM) or 4 (32-bit DEM); SCALE > 0\n");
    return 2;
  }
  const int file = open(options.raw.c_str(), O_RDONLY);
  if (file < 0) {
    std::fprintf(stderr, "limit_peer: %s: %s\n", options.raw.c_str(), std::strerror(errno));
    return 1;
  }
  RasterSums sums;
  std::string error;
  if (!scan_any_raster(file, options, sums, error)) {
    std::fprintf(stderr, "limit_peer: %s: %s\n", options.raw.c_str(), error.c_str());
    return 1;
  }
  close(file);
  const long lines = options.lines, columns = options.columns;
  const double scale = options.scale;

  // Profile figures: RMS of each line and each column, and of the whole raster.
  std::vector<double> line_rms(static_cast<size_t>(lines));
  Int128 total = 0, total_squares = 0;
  double line_rms_sum = 0;
  for (size_t i = 0; i < line_rms.size(); i++) {
    const LineSums& line = sums.lines[i];
    line_rms[i] =
        scale * std::sqrt(spread(columns, line.sum, line.squares)) / static_cast<double>(columns);
    line_rms_sum += line_rms[i];
    total += line.sum;
    total_squares += line.squares;
  }
  double column_rms_sum = 0;
  for (size_t j = 0; j < sums.column_sum.size(); j++) {
    column_rms_sum += scale * std::sqrt(spread(lines, sums.column_sum[j], sums.column_squares[j])) /
                      static_cast<double>(lines);
  }
  const Int128 cells = Int128(lines) * columns;
  const double cell_count = static_cast<double>(cells);
  const double rms_line = line_rms_sum / static_cast<double>(lines);
  const double rms_column = column_rms_sum / static_cast<double>(columns);
  const double rms_image = scale * std::sqrt(spread(cells, total, total_squares)) / cell_count;
  const double deviation = cells > 1 ? rms_image / std::sqrt(cell_count - 1) : NAN;
  const double rms_total = (std::fabs(rms_line - rms_column) + std::fabs(rms_line - rms_image) +
                            std::fabs(rms_column - rms_image)) /
                           3;
  const double average = (rms_line + rms_column + rms_image) / 3;
  const double homogeneity = average != 0 ? rms_total / average * 100 : NAN;

  // Neighbourhood figures, from the sums over the n interior cells. In sample units the
  // regression's n Σxy - Σx Σy and the like carry SCALE² / 8 (x with y), SCALE² (x with x)
  // and SCALE² / 64 (y with y), which cancel in r and, but for the 8, in the slope.
  double slope = NAN, r = NAN, rms_error = NAN, deviation_2 = NAN;
  const Int128 interior = Int128(lines - 2) * (columns - 2);
  if (lines >= 3 && columns >= 3 && interior >= 2) {
    const NeighbourSums& interior_sums = sums.neighbours;
    const auto cross = [](auto n, auto a, auto b, auto c) { return n * a - b * c; };
    const double xy = evaluate(cross, interior, interior_sums.sample_eight, interior_sums.sample,
                               interior_sums.eight);
    const double xx = evaluate(cross, interior, interior_sums.sample_squares, interior_sums.sample,
                               interior_sums.sample);
    const double yy = evaluate(cross, interior, interior_sums.eight_squares, interior_sums.eight,
                               interior_sums.eight);
    if (xx != 0) slope = xy / (8 * xx);
    if (xx > 0 && yy > 0) r = xy / (std::sqrt(xx) * std::sqrt(yy));
    const double n = static_cast<double>(interior);
    rms_error = scale / 4 * std::sqrt(static_cast<double>(interior_sums.four_squares) / (n - 1));
    // With a = |D| and G = Σ|8k - E|: |z - q| - d = SCALE (2n a - G) / (8n), so
    // Σ(|z - q| - d)² = SCALE² / (64 n) (4n Σa² - 4 G Σa + G²), an exact integer in brackets.
    const double spread_2 = evaluate(
        [](auto count, auto a2, auto a, auto g) {
          const auto part = count * a2 - g * a;
          return part + part + part + part + g * g;
        },
        interior, interior_sums.four_squares, interior_sums.four_distance,
        interior_sums.eight_distance);
    deviation_2 = scale / 8 * std::sqrt(std::max(0.0, spread_2) / (n * (n - 1)));
  }

  FILE* table = std::fopen((options.raw + ".limit.xls").c_str(), "w");
  if (!table) {
    std::fprintf(stderr, "limit_peer: %s.limit.xls: %s\n", options.raw.c_str(),
                 std::strerror(errno));
    return 1;
  }
  const std::string text = table_text(line_rms);
  const bool written = std::fwrite(text.data(), 1, text.size(), table) == text.size();
  if (std::fclose(table) != 0 || !written) {
    std::fprintf(stderr, "limit_peer: %s.limit.xls: %s\n", options.raw.c_str(),
                 std::strerror(errno));
    return 1;
  }

  print_figure("RMS line ", rms_line);
  print_figure(" column ", rms_column);
  print_figure(" image ", rms_image);
  print_figure(" sd ", deviation);
  print_figure(" total ", rms_total);
  print_figure(" average ", average);
  print_figure(" homogeneity ", homogeneity);
  print_figure("\nslope ", slope);
  print_figure(" r ", r);
  print_figure(" r(sqrt) ", std::fabs(r));
  print_figure(" r2 ", r * r);
  print_figure(" RMS error ", rms_error);
  print_figure(" sd ", deviation_2);
  std::printf("\n");
  return 0;
}
