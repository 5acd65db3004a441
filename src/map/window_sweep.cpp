// A window of w = 2h + 1 cells centred on (i, j) covers lines i - h to i + h. Its sums are kept
// "down" each column (over those lines) and taken "across" (over columns j - h to j + h) for the
// line being computed; going to the next line adds the line that enters and subtracts the one
// that leaves. Every sum is of integers, exact: adding and subtracting in any order, or
// starting afresh on any line, gives the same sums, so every value depends on its window alone.
//
// The measures that compare a cell with its neighbours (rms-error, r) sum per-cell quantities
// over the window's interior, lines i - h + 1 to i + h - 1 and columns j - h + 1 to j + h - 1;
// the neighbours of those cells are inside the window.
//
// Compiled twice (arith/isa.h): for any x86-64 and for AVX2, each copy in a namespace of its own.
// The headers whose inline code both copies share come first, compiled for any x86-64; then
// arith/kernel_target.h switches the instruction set on for the rest of the file. The copies
// give the same bits: integer sums, and the same correctly rounded double operations (square
// roots, products, conversions; no contraction into FMA: -ffp-contract=off).
#include "map/window_sweep.h"

// <cmath> before <gmpxx.h> (through nearest_float.h): the other way round, GCC calls the
// library's sqrt for std::sqrt instead of the instruction, and not in vector lanes.
#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "map/homogeneity.h"
#include "map/nearest_float.h"
// clang-format off
#include "arith/kernel_target.h"
#include "arith/isa.h"
// clang-format on

namespace scab::map::SCABROSIMETER_EXPORTS {

namespace {

constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// A quantity's sums: down[j] over the window's lines in column j, across[j] over the window
// centred on column j.
template <typename T>
struct Sums {
  std::vector<T> down;
  std::vector<T> across;
  explicit Sums(int columns) : down(columns), across(columns) {}
  void clear() { std::fill(down.begin(), down.end(), T{0}); }
  // across[j] = down[j - half] + ... + down[j + half] for every j with a whole run.
  void slide_across(int half) {
    const int columns = static_cast<int>(down.size());
    T run = 0;
    for (int j = 0; j < 2 * half; ++j)
      run += down[j];
    for (int j = half; j < columns - half; ++j) {
      run += down[j + half];
      across[j] = run;
      run -= down[j - half];
    }
  }
};

// sqrt(n q - t^2) / n: the RMS of n samples whose sum is t and sum of squares q, in samples.
template <typename Wide>
double segment_root(int64_t n, int64_t t, Wide q) {
  const Wide spread = static_cast<Wide>(n) * q - static_cast<Wide>(t) * t;
  return std::sqrt(static_cast<double>(spread)) / static_cast<double>(n);
}

// A root as a whole number of 2^-fraction_bits. Exact when the root is 0 or at least
// 2^(52 - fraction_bits): its significand's last bit is then worth 2^-fraction_bits or more.
__int128 to_fixed(double root, int fraction_bits) {
  if (root == 0) return 0;
  uint64_t bits;
  std::memcpy(&bits, &root, sizeof bits);
  const uint64_t significand = (bits & ((uint64_t{1} << 52) - 1)) | (uint64_t{1} << 52);
  const int shift = static_cast<int>(bits >> 52) - 1075 + fraction_bits;
  assert(shift >= 0 && shift < 74);
  return static_cast<__int128>(significand) << shift;
}

// The bits after the point of the fixed-point roots of segments of `window` cells: a root of
// n <= window samples is 0 or at least 1 / n, since n q - t^2 is a whole number.
int fraction_bits_for(int window) {
  int bits = 0;
  while ((1 << bits) < window)
    ++bits;
  return 52 + bits;
}

// The largest window whose rms write_rms takes in doubles (approximate_rms_in_doubles).
constexpr int kLargestDoubleWindow = 37;

// x as a double, exactly, for |x| < 2^51, in integer and double lanes (no conversion instruction
// of 64-bit integers exists before AVX-512). Claim: the bits of 1.5 x 2^52 plus x are the bits
// of the double 1.5 x 2^52 + x. Proof: doubles from 2^52 to 2^53 are the whole numbers there,
// their bit patterns consecutive integers; 1.5 x 2^52 + x lies among them for |x| < 2^51. The
// subtraction of 1.5 x 2^52 then gives x, a whole number that a double holds: exactly.
inline double exact_double(int64_t x) {
  const int64_t bits = x + 0x4338000000000000;  // the bits of 1.5 x 2^52
  double shifted;
  std::memcpy(&shifted, &bits, sizeof shifted);
  return shifted - 0x1.8p52;
}

template <typename Wide>
class WindowSweep {
 public:
  // `complete`: every cell of the lines the sweep reads is valid, so that every window holds
  // all its cells and their count need not be summed.
  WindowSweep(const MapRequest& request, int window, const std::vector<Measure>& measures,
              const LinesView& input, bool complete);
  void compute_line(int line, const std::vector<float*>& outputs);

 private:
  bool uses(Measure measure) const {
    return std::find(measures_.begin(), measures_.end(), measure) != measures_.end();
  }
  const int32_t* samples(int line) const {
    assert(line >= input_.first_line && line < input_.first_line + input_.count);
    return input_.samples + static_cast<size_t>(line - input_.first_line) * columns_;
  }
  const uint8_t* valid(int line) const {
    return input_.valid + static_cast<size_t>(line - input_.first_line) * columns_;
  }
  void start(int line);
  void advance();
  template <int Sign>
  void add_line(int line, int interior_line);
  void add_moments(int line);
  void move_moments(int entering, int leaving);
  template <int Sign>
  void add_line_roots(int line);
  template <int Sign>
  void add_error_cells(int line);
  template <int Sign>
  void add_regression_cells(int line);
  void take_column_roots();
  void slide_across();
  void slide_moments();
  template <typename Value>
  void fill(float* out, const Value& value) const;
  void write(Measure measure, float* out);
  Wide spread(int j) const {
    const int64_t t = sum_.across[j];
    return static_cast<Wide>(count_.across[j]) * square_.across[j] - static_cast<Wide>(t) * t;
  }
  void write_rms(float* out);
  void approximate_rms_counting();
  void approximate_rms_in_doubles();
  float rms(int j, double approx) const;
  float rms_line(int j) const;
  float rms_column(int j) const;
  float homogeneity(int j) const;
  float rms_error(int j) const;
  float r(int j) const;

  std::vector<Measure> measures_;
  LinesView input_;
  int columns_;
  int half_;
  int fraction_bits_;
  double scale_;      // 10^decimal_places: a sample s is s / scale_ in the heights' unit
  int64_t scale_sq_;  // scale_ squared
  int64_t needed_;    // the valid cells a window needs
  bool exactly_;      // every nearest float decided with integers
  bool complete_;     // every cell valid: count_ holds w down and w^2 across, unchanging
  bool line_roots_, column_roots_, error_cells_, regression_cells_;
  int current_ = -1;  // the line whose window the sums cover
  // Every cell: its validity, sample and square.
  Sums<int64_t> count_, sum_;
  Sums<Wide> square_;
  // rms-line: the fixed-point roots of the window's line segments (down only) and their count.
  Sums<__int128> line_roots_sum_;
  Sums<int64_t> line_count_;
  // rms-column: down[j] the root of column j's segment, across[j] the window's sum of them.
  Sums<__int128> column_roots_sum_;
  Sums<int64_t> column_count_;
  // rms-error: the interior cells that have their 4 edge neighbours, and (4 z - s4)^2.
  Sums<int64_t> error_count_;
  Sums<Wide> error_;
  // r: the interior cells that have their 8 neighbours: x = z, y = s8 and their products.
  Sums<int64_t> pair_count_, x_, y_;
  Sums<Wide> xx_, xy_, yy_;
  std::vector<double> approx_;  // the approximations of one line's values
};

template <typename Wide>
WindowSweep<Wide>::WindowSweep(const MapRequest& request, int window,
                               const std::vector<Measure>& measures, const LinesView& input,
                               bool complete)
    : measures_(measures),
      input_(input),
      columns_(request.columns),
      half_((window - 1) / 2),
      fraction_bits_(fraction_bits_for(window)),
      scale_(std::pow(10.0, request.decimal_places)),
      scale_sq_(static_cast<int64_t>(scale_ * scale_)),
      needed_(cells_needed(request.min_valid, window)),
      exactly_(request.round_every_value_exactly),
      complete_(complete),
      line_roots_(uses(Measure::kRmsLine) || uses(Measure::kHomogeneity)),
      column_roots_(uses(Measure::kRmsColumn) || uses(Measure::kHomogeneity)),
      error_cells_(uses(Measure::kRmsError)),
      regression_cells_(uses(Measure::kR)),
      count_(request.columns),
      sum_(request.columns),
      square_(request.columns),
      line_roots_sum_(line_roots_ ? request.columns : 0),
      line_count_(line_roots_ ? request.columns : 0),
      column_roots_sum_(column_roots_ ? request.columns : 0),
      column_count_(column_roots_ ? request.columns : 0),
      error_count_(error_cells_ ? request.columns : 0),
      error_(error_cells_ ? request.columns : 0),
      pair_count_(regression_cells_ ? request.columns : 0),
      x_(regression_cells_ ? request.columns : 0),
      y_(regression_cells_ ? request.columns : 0),
      xx_(regression_cells_ ? request.columns : 0),
      xy_(regression_cells_ ? request.columns : 0),
      yy_(regression_cells_ ? request.columns : 0),
      approx_(request.columns) {
  if (complete_) {
    std::fill(count_.down.begin(), count_.down.end(), int64_t{window});
    std::fill(count_.across.begin(), count_.across.end(), int64_t{window} * window);
  }
}

template <typename Wide>
void WindowSweep<Wide>::compute_line(int line, const std::vector<float*>& outputs) {
  if (current_ >= 0 && line == current_ + 1) {
    advance();
  } else {
    start(line);
  }
  current_ = line;
  slide_across();
  for (size_t k = 0; k < measures_.size(); ++k)
    write(measures_[k], outputs[k]);
}

template <typename Wide>
void WindowSweep<Wide>::start(int line) {
  for (auto* sums : {&sum_, &line_count_, &error_count_, &pair_count_, &x_, &y_})
    sums->clear();
  if (!complete_) count_.clear();
  for (auto* sums : {&square_, &error_, &xx_, &xy_, &yy_})
    sums->clear();
  line_roots_sum_.clear();
  for (int k = line - half_; k <= line + half_; ++k) {
    add_moments(k);
    add_line<1>(k, k > line - half_ && k < line + half_ ? k : -1);
  }
}

template <typename Wide>
void WindowSweep<Wide>::advance() {
  // Window lines go from current_ - h .. current_ + h to one further; interior lines likewise.
  move_moments(current_ + 1 + half_, current_ - half_);
  add_line<1>(current_ + 1 + half_, current_ + half_);
  add_line<-1>(current_ - half_, current_ - half_ + 1);
}

// Adds (or with Sign -1 subtracts) `line` to the sums of the line roots, and `interior_line`
// (unless -1) to the sums of the interior cells.
template <typename Wide>
template <int Sign>
void WindowSweep<Wide>::add_line(int line, int interior_line) {
  if (line_roots_) add_line_roots<Sign>(line);
  if (interior_line < 0) return;
  if (error_cells_) add_error_cells<Sign>(interior_line);
  if (regression_cells_) add_regression_cells<Sign>(interior_line);
}

template <typename Wide>
void WindowSweep<Wide>::add_moments(int line) {
  const int32_t* s = samples(line);
  const uint8_t* v = valid(line);
  if (!complete_) {
    for (int j = 0; j < columns_; ++j)
      count_.down[j] += v[j];
  }
  for (int j = 0; j < columns_; ++j) {
    sum_.down[j] += s[j];
    square_.down[j] += static_cast<Wide>(s[j]) * s[j];
  }
}

// The cells' sums down each column from the window of one line to that of the next: `entering`
// added and `leaving` taken away, in one pass.
template <typename Wide>
void WindowSweep<Wide>::move_moments(int entering, int leaving) {
  const int32_t *in = samples(entering), *out = samples(leaving);
  if (!complete_) {
    const uint8_t *v_in = valid(entering), *v_out = valid(leaving);
    for (int j = 0; j < columns_; ++j)
      count_.down[j] += int64_t{v_in[j]} - v_out[j];
  }
  for (int j = 0; j < columns_; ++j) {
    sum_.down[j] += int64_t{in[j]} - out[j];
    square_.down[j] += static_cast<Wide>(in[j]) * in[j] - static_cast<Wide>(out[j]) * out[j];
  }
}

// The root of each segment of `line` centred on a column j (columns j - h to j + h).
template <typename Wide>
template <int Sign>
void WindowSweep<Wide>::add_line_roots(int line) {
  const int32_t* s = samples(line);
  const uint8_t* v = valid(line);
  int64_t n = 0, t = 0;
  Wide q = 0;
  for (int j = 0; j < 2 * half_; ++j) {
    n += v[j];
    t += s[j];
    q += static_cast<Wide>(s[j]) * s[j];
  }
  for (int j = half_; j < columns_ - half_; ++j) {
    const int entering = j + half_;
    n += v[entering];
    t += s[entering];
    q += static_cast<Wide>(s[entering]) * s[entering];
    if (n > 0) {
      line_roots_sum_.down[j] += Sign * to_fixed(segment_root(n, t, q), fraction_bits_);
      line_count_.down[j] += Sign;
    }
    const int leaving = j - half_;
    n -= v[leaving];
    t -= s[leaving];
    q -= static_cast<Wide>(s[leaving]) * s[leaving];
  }
}

template <typename Wide>
template <int Sign>
void WindowSweep<Wide>::add_error_cells(int line) {
  const int32_t *above = samples(line - 1), *here = samples(line), *below = samples(line + 1);
  const uint8_t *v_above = valid(line - 1), *v_here = valid(line), *v_below = valid(line + 1);
  for (int j = 1; j < columns_ - 1; ++j) {
    const int64_t whole = v_here[j] & v_above[j] & v_below[j] & v_here[j - 1] & v_here[j + 1];
    const int64_t s4 = int64_t{above[j]} + here[j + 1] + below[j] + here[j - 1];
    const int64_t difference = 4 * int64_t{here[j]} - s4;
    error_count_.down[j] += Sign * whole;
    error_.down[j] += Sign * whole * (static_cast<Wide>(difference) * difference);
  }
}

template <typename Wide>
template <int Sign>
void WindowSweep<Wide>::add_regression_cells(int line) {
  const int32_t *above = samples(line - 1), *here = samples(line), *below = samples(line + 1);
  const uint8_t *v_above = valid(line - 1), *v_here = valid(line), *v_below = valid(line + 1);
  for (int j = 1; j < columns_ - 1; ++j) {
    const int64_t whole = v_here[j] & v_here[j - 1] & v_here[j + 1] & v_above[j - 1] & v_above[j] &
                          v_above[j + 1] & v_below[j - 1] & v_below[j] & v_below[j + 1];
    const int64_t x = here[j];
    const int64_t y = int64_t{above[j - 1]} + above[j] + above[j + 1] + here[j - 1] + here[j + 1] +
                      below[j - 1] + below[j] + below[j + 1];
    pair_count_.down[j] += Sign * whole;
    x_.down[j] += Sign * whole * x;
    y_.down[j] += Sign * whole * y;
    xx_.down[j] += Sign * whole * (static_cast<Wide>(x) * x);
    xy_.down[j] += Sign * whole * (static_cast<Wide>(x) * y);
    yy_.down[j] += Sign * whole * (static_cast<Wide>(y) * y);
  }
}

// The root of every column's segment (the window's lines), from the cells' sums down.
template <typename Wide>
void WindowSweep<Wide>::take_column_roots() {
  for (int j = 0; j < columns_; ++j) {
    const int64_t n = count_.down[j];
    column_count_.down[j] = n > 0;
    column_roots_sum_.down[j] =
        n > 0 ? to_fixed(segment_root(n, sum_.down[j], square_.down[j]), fraction_bits_) : 0;
  }
}

template <typename Wide>
void WindowSweep<Wide>::slide_across() {
  slide_moments();
  if (column_roots_) {
    take_column_roots();
    column_roots_sum_.slide_across(half_);
    column_count_.slide_across(half_);
  }
  if (error_cells_) {
    error_count_.slide_across(half_ - 1);
    error_.slide_across(half_ - 1);
  }
  if (regression_cells_) {
    for (auto* sums : {&pair_count_, &x_, &y_})
      sums->slide_across(half_ - 1);
    for (auto* sums : {&xx_, &xy_, &yy_})
      sums->slide_across(half_ - 1);
  }
}

// Sums::slide_across for the cells' sum and sum of squares (and count, unless complete_), in
// one loop: running sums side by side.
template <typename Wide>
void WindowSweep<Wide>::slide_moments() {
  if (!complete_) count_.slide_across(half_);
  const int64_t* sum_down = sum_.down.data();
  const Wide* square_down = square_.down.data();
  int64_t sum = 0;
  Wide square = 0;
  for (int j = 0; j < 2 * half_; ++j) {
    sum += sum_down[j];
    square += square_down[j];
  }
  for (int j = half_; j < columns_ - half_; ++j) {
    sum += sum_down[j + half_];
    square += square_down[j + half_];
    sum_.across[j] = sum;
    square_.across[j] = square;
    sum -= sum_down[j - half_];
    square -= square_down[j - half_];
  }
}

template <typename Wide>
template <typename Value>
void WindowSweep<Wide>::fill(float* out, const Value& value) const {
  std::fill(out, out + half_, kNoValue);
  for (int j = half_; j < columns_ - half_; ++j)
    out[j] = count_.across[j] >= needed_ ? value(j) : kNoValue;
  std::fill(out + columns_ - half_, out + columns_, kNoValue);
}

template <typename Wide>
void WindowSweep<Wide>::write(Measure measure, float* out) {
  switch (measure) {
    case Measure::kRms:
      return write_rms(out);
    case Measure::kRmsLine:
      return fill(out, [this](int j) { return rms_line(j); });
    case Measure::kRmsColumn:
      return fill(out, [this](int j) { return rms_column(j); });
    case Measure::kHomogeneity:
      return fill(out, [this](int j) { return homogeneity(j); });
    case Measure::kRmsError:
      return fill(out, [this](int j) { return rms_error(j); });
    case Measure::kR:
      return fill(out, [this](int j) { return r(j); });
  }
}

// sqrt(N Q - T^2) / (N scale), rounded to the nearest float: first every approximation, then
// their rounding. The approximation is sqrt((N Q - T^2) x 1 / (N scale)^2), the inverse taken
// again only where N changes: within 2^-51 of the exact value relatively (four roundings of
// 2^-53 under the root, halved by it, and the root's own), and without a division per cell.
// The loops after the first run in vector lanes; the rare values that rounding cannot tell
// (near a float midpoint) are decided again one at a time. A window with too few valid cells
// takes NaN from the start: its root and its rounding stay NaN, which is never near a midpoint.
template <typename Wide>
void WindowSweep<Wide>::write_rms(float* out) {
  if (complete_ && sizeof(Wide) == 8 && 2 * half_ + 1 <= kLargestDoubleWindow) {
    approximate_rms_in_doubles();
  } else if (complete_) {
    // Every window holds its w^2 cells (needed_ or more): one divisor, without a branch.
    const int64_t n = count_.across[half_];
    const double divisor = static_cast<double>(n) * scale_;
    const double inverse = 1 / (divisor * divisor);
    for (int j = half_; j < columns_ - half_; ++j) {
      const int64_t t = sum_.across[j];
      approx_[j] =
          static_cast<double>(static_cast<Wide>(n) * square_.across[j] - static_cast<Wide>(t) * t) *
          inverse;
    }
  } else {
    approximate_rms_counting();
  }
  for (int j = half_; j < columns_ - half_; ++j)
    approx_[j] = std::sqrt(approx_[j]);
  for (int j = half_; j < columns_ - half_; ++j)
    out[j] = static_cast<float>(approx_[j]);  // a double's NaN is the float's: kNoValue
  uint32_t doubtful = exactly_;               // 32 bits wide, as the test's lanes
  for (int j = half_; j < columns_ - half_; ++j)
    doubtful |= near_float_boundary(approx_[j]);
  std::fill(out, out + half_, kNoValue);
  std::fill(out + columns_ - half_, out + columns_, kNoValue);
  if (doubtful == 0) return;
  for (int j = half_; j < columns_ - half_; ++j) {
    if (count_.across[j] >= needed_ && (exactly_ || near_float_boundary(approx_[j]))) {
      out[j] = rms(j, approx_[j]);
    }
  }
}

// write_rms's approximations where every window holds its n = w^2 cells and the sums are 64-bit
// (samples within 2^16 of 0), for w up to kLargestDoubleWindow: N Q - T^2 computed in doubles,
// exactly, in vector lanes. Claim: exact_double gives T and Q exactly, and n Q, T^2 and their
// difference are exact doubles, so the result is the double of the integer N Q - T^2, as in
// the 64-bit loop. Proof: |T| <= n 2^16 and 0 <= Q <= n 2^32, below 2^51 for n < 2^19; n Q and
// T^2 are at most w^4 2^32, below 2^53 for w <= 38, so whole numbers that doubles hold
// exactly, and so is their difference. Fallback: the 64-bit loop of write_rms.
template <typename Wide>
void WindowSweep<Wide>::approximate_rms_in_doubles() {
  const double n = static_cast<double>(count_.across[half_]);
  const double divisor = n * scale_;
  const double inverse = 1 / (divisor * divisor);
  for (int j = half_; j < columns_ - half_; ++j) {
    const double t = exact_double(sum_.across[j]);
    const double q = exact_double(static_cast<int64_t>(square_.across[j]));
    approx_[j] = (n * q - t * t) * inverse;
  }
}

// write_rms's approximations where windows may lack cells: NaN for those with too few.
template <typename Wide>
void WindowSweep<Wide>::approximate_rms_counting() {
  int64_t inverse_of = -1;
  double inverse = 0;
  for (int j = half_; j < columns_ - half_; ++j) {
    if (count_.across[j] != inverse_of) {
      inverse_of = count_.across[j];
      const double divisor = static_cast<double>(inverse_of) * scale_;
      inverse = 1 / (divisor * divisor);
    }
    approx_[j] = count_.across[j] >= needed_ ? static_cast<double>(spread(j)) * inverse
                                             : std::numeric_limits<double>::quiet_NaN();
  }
}

template <typename Wide>
float WindowSweep<Wide>::rms(int j, double approx) const {
  return nearest_float_of_root(approx, exactly_, [&](mpz_class& num, mpz_class& den) {
    const int64_t n = count_.across[j];
    num = to_mpz(spread(j));
    den = to_mpz(n) * to_mpz(n) * to_mpz(scale_sq_);
  });
}

template <typename Wide>
float WindowSweep<Wide>::rms_line(int j) const {
  const int64_t segments = line_count_.down[j];
  if (segments == 0) return kNoValue;
  const double total = std::ldexp(static_cast<double>(line_roots_sum_.down[j]), -fraction_bits_);
  return static_cast<float>(total / (static_cast<double>(segments) * scale_));
}

template <typename Wide>
float WindowSweep<Wide>::rms_column(int j) const {
  const int64_t segments = column_count_.across[j];
  if (segments == 0) return kNoValue;
  const double total =
      std::ldexp(static_cast<double>(column_roots_sum_.across[j]), -fraction_bits_);
  return static_cast<float>(total / (static_cast<double>(segments) * scale_));
}

template <typename Wide>
float WindowSweep<Wide>::homogeneity(int j) const {
  const int64_t t = sum_.across[j];
  const int64_t n = count_.across[j];
  const Wide spread = static_cast<Wide>(n) * square_.across[j] - static_cast<Wide>(t) * t;
  const ThreeRms three = {
      line_roots_sum_.down[j], line_count_.down[j],           column_roots_sum_.across[j],
      column_count_.across[j], static_cast<__int128>(spread), n,
      fraction_bits_};
  const double value = homogeneity_coefficient(three, exactly_);
  return std::isnan(value) ? kNoValue : static_cast<float>(value);
}

// sqrt(E / (16 (n - 1))) / scale, E the sum of (4 z - s4)^2 in samples, rounded to nearest.
template <typename Wide>
float WindowSweep<Wide>::rms_error(int j) const {
  const int64_t n = error_count_.across[j];
  if (n < 2) return kNoValue;
  const Wide sum = error_.across[j];
  const int64_t divisor = 16 * (n - 1) * scale_sq_;  // below 2^53: exact as a double
  const double approx = std::sqrt(static_cast<double>(sum) / static_cast<double>(divisor));
  return nearest_float_of_root(approx, exactly_, [&](mpz_class& num, mpz_class& den) {
    num = to_mpz(sum);
    den = to_mpz(divisor);
  });
}

// (n Sxy - Sx Sy) / sqrt((n Sxx - Sx^2) (n Syy - Sy^2)), rounded to the nearest float.
template <typename Wide>
float WindowSweep<Wide>::r(int j) const {
  const __int128 n = pair_count_.across[j];
  const __int128 sx = x_.across[j], sy = y_.across[j];
  const __int128 d1 = n * static_cast<__int128>(xx_.across[j]) - sx * sx;
  const __int128 d2 = n * static_cast<__int128>(yy_.across[j]) - sy * sy;
  const __int128 p = n * static_cast<__int128>(xy_.across[j]) - sx * sy;
  if (d1 <= 0 || d2 <= 0) return kNoValue;  // a constant x or y: no correlation
  const double approx = std::fabs(static_cast<double>(p)) /
                        std::sqrt(static_cast<double>(d1) * static_cast<double>(d2));
  const float magnitude =
      nearest_float_of_root(approx, exactly_, [&](mpz_class& num, mpz_class& den) {
        num = to_mpz(p) * to_mpz(p);
        den = to_mpz(d1) * to_mpz(d2);
      });
  return p < 0 ? -magnitude : magnitude;
}

}  // namespace

CellsChecked check_cells(const int32_t* samples, const uint8_t* valid, size_t cells,
                         int64_t limit) {
  // In 32-bit lanes, without a branch: one test after the loop. A sample s lies within
  // [-limit, limit] exactly when s + limit, taken modulo 2^32, is at most 2 limit (for a limit
  // below 2^31: s below -limit wraps to 2^32 - 2^31 + limit or more, s above limit stays below
  // 2^31 + limit; both exceed 2 limit). Every 32-bit sample is within a limit of 2^31.
  const bool any_sample = limit >= (int64_t{1} << 31);
  const auto shift = static_cast<uint32_t>(any_sample ? 0 : limit);
  const uint32_t span = any_sample ? UINT32_MAX : 2 * shift;
  uint32_t broken = 0;
  uint32_t missing = 0;
  for (size_t k = 0; k < cells; ++k) {
    const auto sample = static_cast<uint32_t>(samples[k]);
    const uint32_t is_valid = valid[k];
    broken |= static_cast<uint32_t>(is_valid > 1) | (is_valid & (sample + shift > span)) |
              ((is_valid ^ 1) & (sample != 0));
    missing |= is_valid ^ 1;
  }
  return {broken != 0, missing == 0};
}

template <typename Wide>
void sweep_window(const MapRequest& request, int window, const std::vector<Measure>& measures,
                  const LinesView& input, bool complete, int first, int count,
                  const std::vector<float*>& outputs, const std::atomic<bool>* stop) {
  assert(measures.size() == outputs.size());
  const int half = (window - 1) / 2;
  WindowSweep<Wide> sweep(request, window, measures, input, complete);
  std::vector<float*> line_outputs(outputs.size());
  for (int line = first; line < first + count; ++line) {
    if (stop && stop->load(std::memory_order_relaxed)) throw Stopped();
    const size_t offset = static_cast<size_t>(line - first) * request.columns;
    for (size_t k = 0; k < outputs.size(); ++k)
      line_outputs[k] = outputs[k] + offset;
    if (line < half || line >= request.lines - half) {
      for (float* out : line_outputs)
        std::fill(out, out + request.columns, kNoValue);
    } else {
      sweep.compute_line(line, line_outputs);
    }
  }
}

void sweep_window_64(const MapRequest& request, int window, const std::vector<Measure>& measures,
                     const LinesView& input, bool complete, int first, int count,
                     const std::vector<float*>& outputs, const std::atomic<bool>* stop) {
  sweep_window<int64_t>(request, window, measures, input, complete, first, count, outputs, stop);
}

void sweep_window_128(const MapRequest& request, int window, const std::vector<Measure>& measures,
                      const LinesView& input, bool complete, int first, int count,
                      const std::vector<float*>& outputs, const std::atomic<bool>* stop) {
  sweep_window<__int128>(request, window, measures, input, complete, first, count, outputs, stop);
}

}  // namespace scab::map::SCABROSIMETER_EXPORTS
