// The roughness-map engine against a plain evaluation of every window in MPFR, at its edges and
// with missing cells, and computed in runs, on threads and with 64- or 128-bit sums: bit for bit.
#include <gtest/gtest.h>
#include <mpfr.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <vector>

#include "arith/isa.h"
#include "copies_support.h"
#include "map/measures.h"
#include "map/roughness_map.h"

using namespace scab::map;

namespace {

// An MPFR number of 256 bits, with the arithmetic the reference needs.
class Real {
 public:
  Real(long value = 0) {  // NOLINT: converts like a number
    mpfr_init2(v_, 256);
    mpfr_set_si(v_, value, MPFR_RNDN);
  }
  Real(const Real& other) {
    mpfr_init2(v_, 256);
    mpfr_set(v_, other.v_, MPFR_RNDN);
  }
  Real& operator=(const Real& other) {
    mpfr_set(v_, other.v_, MPFR_RNDN);
    return *this;
  }
  ~Real() { mpfr_clear(v_); }
  static Real of_double(double value) {
    Real real;
    mpfr_set_d(real.v_, value, MPFR_RNDN);
    return real;
  }
  friend Real operator+(const Real& a, const Real& b) { return apply(mpfr_add, a, b); }
  friend Real operator-(const Real& a, const Real& b) { return apply(mpfr_sub, a, b); }
  friend Real operator*(const Real& a, const Real& b) { return apply(mpfr_mul, a, b); }
  friend Real operator/(const Real& a, const Real& b) { return apply(mpfr_div, a, b); }
  friend Real sqrt(const Real& a) {
    Real result;
    mpfr_sqrt(result.v_, a.v_, MPFR_RNDN);
    return result;
  }
  friend Real abs(const Real& a) {
    Real result;
    mpfr_abs(result.v_, a.v_, MPFR_RNDN);
    return result;
  }
  bool is_zero() const { return mpfr_zero_p(v_) != 0; }
  bool operator<(const Real& other) const { return mpfr_less_p(v_, other.v_) != 0; }
  float rounded(mpfr_rnd_t direction) const { return mpfr_get_flt(v_, direction); }
  long ceiling() const { return mpfr_get_si(v_, MPFR_RNDU); }

 private:
  template <typename Op>
  static Real apply(Op op, const Real& a, const Real& b) {
    Real result;
    op(result.v_, a.v_, b.v_, MPFR_RNDN);
    return result;
  }
  mpfr_t v_;
};

struct Raster {
  int lines = 0;
  int columns = 0;
  std::vector<int32_t> samples;
  std::vector<uint8_t> valid;
  int32_t at(int i, int j) const { return samples[static_cast<size_t>(i) * columns + j]; }
  bool ok(int i, int j) const { return valid[static_cast<size_t>(i) * columns + j] != 0; }
  LinesView view() const { return {samples.data(), valid.data(), 0, lines}; }
};

Raster random_raster(int lines, int columns, int64_t lowest, int64_t highest, unsigned seed,
                     double missing = 0) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int64_t> sample(lowest, highest);
  std::bernoulli_distribution is_missing(missing);
  Raster raster{lines, columns, {}, {}};
  for (int k = 0; k < lines * columns; ++k) {
    const bool gone = is_missing(random);
    raster.samples.push_back(gone ? 0 : static_cast<int32_t>(sample(random)));
    raster.valid.push_back(gone ? 0 : 1);
  }
  return raster;
}

std::vector<Layer> every_measure(const std::vector<int>& windows) {
  std::vector<Layer> layers;
  for (const Measure measure : all_measures()) {
    for (const int window : windows) {
      if (window >= smallest_window(measure)) layers.push_back({measure, window});
    }
  }
  return layers;
}

MapRequest request_of(const Raster& raster, const std::vector<Layer>& layers, int places = 0,
                      int64_t limit = int64_t{1} << 31, double min_valid = 1) {
  MapRequest request;
  request.lines = raster.lines;
  request.columns = raster.columns;
  request.layers = layers;
  request.decimal_places = places;
  request.sample_limit = limit;
  request.min_valid = min_valid;
  return request;
}

using Map = std::vector<std::vector<float>>;

Map compute(const MapRequest& request, const Raster& raster, int threads = 1) {
  Map map(request.layers.size(),
          std::vector<float>(static_cast<size_t>(request.lines) * request.columns));
  std::vector<float*> outputs;
  for (std::vector<float>& layer : map)
    outputs.push_back(layer.data());
  compute_lines_threaded(request, raster.view(), 0, request.lines, outputs, threads);
  return map;
}

bool same_bits(const Map& a, const Map& b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k].size() != b[k].size() ||
        std::memcmp(a[k].data(), b[k].data(), a[k].size() * sizeof(float)) != 0) {
      return false;
    }
  }
  return true;
}

// ---- The reference: each measure of one window, straight from its definition, in MPFR. ----

Real rms_of(const std::vector<Real>& heights) {
  Real sum = 0;
  for (const Real& z : heights)
    sum = sum + z;
  const Real mean = sum / Real(static_cast<long>(heights.size()));
  Real squares = 0;
  for (const Real& z : heights)
    squares = squares + (z - mean) * (z - mean);
  return sqrt(squares / Real(static_cast<long>(heights.size())));
}

Real mean_of(const std::vector<Real>& values) {
  Real sum = 0;
  for (const Real& value : values)
    sum = sum + value;
  return sum / Real(static_cast<long>(values.size()));
}

struct Window {
  const Raster& raster;
  int line, column, half, places;
  Real height(int i, int j) const {
    Real scale = 1;
    for (int k = 0; k < places; ++k)
      scale = scale * Real(10);
    return Real(raster.at(i, j)) / scale;
  }
  // The heights of the window's valid cells whose (line, column) offsets satisfy `keep`.
  std::vector<Real> heights(const std::function<bool(int, int)>& keep) const {
    std::vector<Real> found;
    for (int i = line - half; i <= line + half; ++i) {
      for (int j = column - half; j <= column + half; ++j) {
        if (raster.ok(i, j) && keep(i, j)) found.push_back(height(i, j));
      }
    }
    return found;
  }
};

std::optional<Real> mean_segment_rms(const Window& w, bool along_lines) {
  std::vector<Real> roots;
  for (int k = -w.half; k <= w.half; ++k) {
    const std::vector<Real> segment =
        w.heights([&](int i, int j) { return along_lines ? i == w.line + k : j == w.column + k; });
    if (!segment.empty()) roots.push_back(rms_of(segment));
  }
  if (roots.empty()) return std::nullopt;
  return mean_of(roots);
}

// RMS error against the 4-neighbour mean over the interior cells with their 4 neighbours.
std::optional<Real> rms_error_of(const Window& w) {
  Real squares = 0;
  long cells = 0;
  for (int i = w.line - w.half + 1; i < w.line + w.half; ++i) {
    for (int j = w.column - w.half + 1; j < w.column + w.half; ++j) {
      const Raster& r = w.raster;
      if (!(r.ok(i, j) && r.ok(i - 1, j) && r.ok(i + 1, j) && r.ok(i, j - 1) && r.ok(i, j + 1)))
        continue;
      const Real q =
          (w.height(i - 1, j) + w.height(i, j + 1) + w.height(i + 1, j) + w.height(i, j - 1)) /
          Real(4);
      squares = squares + (w.height(i, j) - q) * (w.height(i, j) - q);
      ++cells;
    }
  }
  if (cells < 2) return std::nullopt;
  return sqrt(squares / Real(cells - 1));
}

// Pearson's r of the interior cells that have their 8 neighbours with their 8-neighbour means.
std::optional<Real> r_of(const Window& w) {
  std::vector<Real> xs, ys;
  for (int i = w.line - w.half + 1; i < w.line + w.half; ++i) {
    for (int j = w.column - w.half + 1; j < w.column + w.half; ++j) {
      bool whole = true;
      Real neighbours = 0;
      for (int di = -1; di <= 1; ++di) {
        for (int dj = -1; dj <= 1; ++dj) {
          whole = whole && w.raster.ok(i + di, j + dj);
          if (di != 0 || dj != 0) neighbours = neighbours + w.height(i + di, j + dj);
        }
      }
      if (!whole) continue;
      xs.push_back(w.height(i, j));
      ys.push_back(neighbours / Real(8));
    }
  }
  if (xs.empty()) return std::nullopt;
  const Real mx = mean_of(xs), my = mean_of(ys);
  Real sxy = 0, sxx = 0, syy = 0;
  for (size_t k = 0; k < xs.size(); ++k) {
    sxy = sxy + (xs[k] - mx) * (ys[k] - my);
    sxx = sxx + (xs[k] - mx) * (xs[k] - mx);
    syy = syy + (ys[k] - my) * (ys[k] - my);
  }
  if (sxx.is_zero() || syy.is_zero()) return std::nullopt;
  return sxy / sqrt(sxx * syy);
}

std::optional<Real> homogeneity_of(const Real& r1, const Real& r2, const Real& r3) {
  const Real total = r1 + r2 + r3;
  if (total.is_zero()) return std::nullopt;
  return Real(100) * (abs(r1 - r2) + abs(r1 - r3) + abs(r2 - r3)) / total;
}

long cells_needed_exactly(double min_valid, int window) {
  return (Real::of_double(min_valid) * Real(static_cast<long>(window) * window)).ceiling();
}

// What the engine must give for `measure` over the window: nothing where there is no value.
std::optional<Real> reference(const Window& w, Measure measure, double min_valid) {
  const std::vector<Real> cells = w.heights([](int, int) { return true; });
  if (static_cast<long>(cells.size()) < cells_needed_exactly(min_valid, 2 * w.half + 1)) {
    return std::nullopt;
  }
  switch (measure) {
    case Measure::kRms:
      return rms_of(cells);
    case Measure::kRmsLine:
      return mean_segment_rms(w, true);
    case Measure::kRmsColumn:
      return mean_segment_rms(w, false);
    case Measure::kHomogeneity:
      return homogeneity_of(*mean_segment_rms(w, true), *mean_segment_rms(w, false), rms_of(cells));
    case Measure::kRmsError:
      return rms_error_of(w);
    case Measure::kR:
      break;
  }
  return r_of(w);
}

// rms, rms-error and r are the nearest float to their exact value; the measures that add
// rounded roots are one of the two floats around it.
void expect_matches(float got, const std::optional<Real>& expected, Measure measure,
                    const std::string& where) {
  if (!expected) {
    EXPECT_TRUE(std::isnan(got)) << where << ": " << got << " where there is no value";
    return;
  }
  const bool nearest =
      measure == Measure::kRms || measure == Measure::kRmsError || measure == Measure::kR;
  if (nearest) {
    EXPECT_EQ(got, expected->rounded(MPFR_RNDN)) << where;
  } else {
    EXPECT_GE(got, expected->rounded(MPFR_RNDD)) << where;
    EXPECT_LE(got, expected->rounded(MPFR_RNDU)) << where;
  }
}

void check_against_reference(const Raster& raster, const std::vector<int>& windows, int places,
                             int64_t limit, double min_valid) {
  const MapRequest request = request_of(raster, every_measure(windows), places, limit, min_valid);
  const Map map = compute(request, raster);
  for (size_t k = 0; k < request.layers.size(); ++k) {
    const Layer layer = request.layers[k];
    const int half = (layer.window - 1) / 2;
    for (int i = 0; i < raster.lines; ++i) {
      for (int j = 0; j < raster.columns; ++j) {
        const std::string where =
            layer_description(layer) + " at " + std::to_string(i) + "," + std::to_string(j);
        const float got = map[k][static_cast<size_t>(i) * raster.columns + j];
        const bool whole =
            i >= half && j >= half && i < raster.lines - half && j < raster.columns - half;
        const std::optional<Real> expected =
            whole ? reference(Window{raster, i, j, half, places}, layer.measure, min_valid)
                  : std::nullopt;
        expect_matches(got, expected, layer.measure, where);
      }
    }
  }
}

}  // namespace

TEST(MapEngine, EachMeasureIsItsWindowsPlainEvaluation) {
  // 16-bit heights, 64-bit sums; heights about sea level in centimetres; the full 32-bit range.
  check_against_reference(random_raster(11, 13, 0, 65535, 1), {3, 5, 7}, 0, 65536, 1);
  check_against_reference(random_raster(11, 13, -300000, 900000, 2), {3, 5, 9}, 2, int64_t{1} << 31,
                          1);
  check_against_reference(random_raster(9, 10, INT32_MIN, INT32_MAX, 3), {5, 7}, 3,
                          int64_t{1} << 31, 1);
  // Few distinct heights: equal cells, constant lines and columns, repeated values.
  check_against_reference(random_raster(12, 12, 0, 2, 4), {3, 5, 11}, 1, 65536, 1);
}

TEST(MapEngine, MissingCellsCountAsTheFractionOfValidCellsAllows) {
  // Each measure over the valid cells only: segments with none are left out, and rms-error and
  // r take the interior cells whose neighbours are all valid.
  for (const double min_valid : {0.5, 0.9, 0.2}) {
    check_against_reference(random_raster(13, 12, 0, 1000, 5, 0.2), {3, 5, 7}, 0, 65536, min_valid);
    check_against_reference(random_raster(12, 11, -100000, 100000, 6, 0.35), {5, 7}, 1,
                            int64_t{1} << 31, min_valid);
  }
  // With every cell needed, a window with one missing cell has no value at all.
  check_against_reference(random_raster(12, 12, 0, 50, 7, 0.03), {3, 5}, 0, 65536, 1);
}

TEST(MapEngine, ConstantAndPlanarWindows) {
  Raster flat{8, 9, std::vector<int32_t>(72, 1234), std::vector<uint8_t>(72, 1)};
  const Map map = compute(request_of(flat, every_measure({5})), flat);
  const size_t centre = 4 * 9 + 4;
  EXPECT_EQ(map[0][centre], 0.0f);          // rms
  EXPECT_EQ(map[1][centre], 0.0f);          // rms-line
  EXPECT_EQ(map[2][centre], 0.0f);          // rms-column
  EXPECT_TRUE(std::isnan(map[3][centre]));  // homogeneity: 0 / 0
  EXPECT_EQ(map[4][centre], 0.0f);          // rms-error
  EXPECT_TRUE(std::isnan(map[5][centre]));  // r: no variation to correlate
  // A plane: every neighbour mean is its cell's height.
  Raster plane{8, 9, {}, std::vector<uint8_t>(72, 1)};
  for (int i = 0; i < 8; ++i) {
    for (int j = 0; j < 9; ++j)
      plane.samples.push_back(2 * i + 3 * j + 1);
  }
  const Map planar = compute(request_of(plane, every_measure({5})), plane);
  EXPECT_EQ(planar[4][centre], 0.0f);
  EXPECT_EQ(planar[5][centre], 1.0f);
}

TEST(MapEngine, ATieGoesToTheEvenFloat) {
  // Four valid cells, two at 0 and two at a: their RMS is a / 2, exactly halfway between two
  // floats when a / 2 = 2^24 + 1 or 2^24 + 3.
  for (const auto& [a, even] : {std::pair<int32_t, float>{(1 << 25) + 2, 16777216.0f},
                                std::pair<int32_t, float>{(1 << 25) + 6, 16777220.0f}}) {
    const Raster raster{3, 3, {0, 0, 0, 0, a, 0, a, 0, 0}, {1, 0, 1, 0, 1, 0, 1, 0, 0}};
    const MapRequest request = request_of(raster, {{Measure::kRms, 3}}, 0, int64_t{1} << 31, 0.4);
    EXPECT_EQ(compute(request, raster)[0][4], even) << a;
  }
}

TEST(MapEngine, HomogeneityStaysExactWhereTheThreeRmsNearlyAgree) {
  // In a Latin square of a, b, c every line and column holds a, b, c: the exact line, column
  // and window RMS are equal. The segments' roots, each rounded to a double, then differ from
  // the window's exact RMS by a rounding error: the coefficient of those roots is that tiny
  // difference, which a difference of doubles would lose.
  std::mt19937_64 random(9);
  std::uniform_int_distribution<int32_t> sample(0, 65535);
  int tiny = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t a = sample(random), b = sample(random), c = sample(random);
    Raster raster{3, 3, {a, b, c, b, c, a, c, a, b}, std::vector<uint8_t>(9, 1)};
    const float got = compute(request_of(raster, {{Measure::kHomogeneity, 3}}), raster)[0][4];
    // Each segment's root as defined: sqrt(3 q - t^2) / 3 in double arithmetic.
    const int64_t t = int64_t{a} + b + c;
    const int64_t q = int64_t{a} * a + int64_t{b} * b + int64_t{c} * c;
    const Real root = Real::of_double(std::sqrt(static_cast<double>(3 * q - t * t)) / 3);
    const Real window_rms = sqrt(Real(9 * 3 * q - 9 * t * t)) / Real(9);
    const std::optional<Real> expected = homogeneity_of(root, root, window_rms);
    if (!expected) continue;
    expect_matches(got, expected, Measure::kHomogeneity, "a Latin square");
    tiny += got < 1e-10f;
  }
  EXPECT_GT(tiny, 200);  // the differences are rounding errors, not zero
}

TEST(MapEngine, RunsThreadsAndSumWidthsGiveTheSameBits) {
  const Raster raster = random_raster(157, 41, 0, 4000, 11, 0.01);
  const MapRequest request = request_of(raster, every_measure({3, 9, 27}), 1, 65536, 0.9);
  const Map whole = compute(request, raster);
  for (const int threads : {2, 5})
    EXPECT_TRUE(same_bits(compute(request, raster, threads), whole)) << threads << " threads";
  MapRequest wide = request;
  wide.sample_limit = int64_t{1} << 31;  // 128-bit sums
  EXPECT_TRUE(same_bits(compute(wide, raster), whole));
  // Runs of any length, each from a copy of just the lines its windows reach.
  std::mt19937 random(12);
  Map in_runs = whole;
  const int reach = halo(request);
  for (int first = 0; first < raster.lines;) {
    const int count = std::min(raster.lines - first, 1 + static_cast<int>(random() % 40));
    const int from = std::max(0, first - reach);
    const int to = std::min(raster.lines, first + count + reach);
    const size_t offset = static_cast<size_t>(from) * raster.columns;
    const size_t cells = static_cast<size_t>(to - from) * raster.columns;
    const std::vector<int32_t> samples(raster.samples.begin() + offset,
                                       raster.samples.begin() + offset + cells);
    const std::vector<uint8_t> valid(raster.valid.begin() + offset,
                                     raster.valid.begin() + offset + cells);
    std::vector<float*> outputs;
    for (std::vector<float>& layer : in_runs) {
      std::fill(layer.begin() + first * raster.columns,
                layer.begin() + (first + count) * raster.columns, -1.0f);
      outputs.push_back(layer.data() + static_cast<size_t>(first) * raster.columns);
    }
    compute_lines(request, {samples.data(), valid.data(), from, to - from}, first, count, outputs);
    first += count;
  }
  EXPECT_TRUE(same_bits(in_runs, whole));
}

TEST(MapEngine, EveryValueDecidedExactlyIsTheSame) {
  const Raster raster = random_raster(40, 37, -2000000, 2000000, 13);
  MapRequest request = request_of(raster, every_measure({5, 11}), 2);
  const Map fast = compute(request, raster);
  request.round_every_value_exactly = true;
  const Map exact = compute(request, raster);
  for (size_t k = 0; k < request.layers.size(); ++k) {
    if (request.layers[k].measure == Measure::kHomogeneity) {
      // Its differences taken exactly or in doubles: the same within a unit of the last place.
      for (size_t c = 0; c < fast[k].size(); ++c) {
        if (std::isnan(fast[k][c])) continue;
        EXPECT_LE(std::fabs(fast[k][c] - exact[k][c]),
                  std::nextafter(fast[k][c], 1e30f) - fast[k][c]);
      }
    } else {
      EXPECT_EQ(0, std::memcmp(fast[k].data(), exact[k].data(), fast[k].size() * sizeof(float)))
          << layer_description(request.layers[k]);
    }
  }
}

TEST(MapEngine, RefusesInputThatBreaksItsPromises) {
  Raster raster = random_raster(10, 10, 0, 100, 14);
  const MapRequest request = request_of(raster, {{Measure::kRms, 5}}, 0, 65536);
  std::vector<float> out(100);
  const std::vector<float*> outputs = {out.data()};
  // Lines 3 and 4 need lines 1 to 6.
  EXPECT_THROW(compute_lines(request, {raster.samples.data() + 20, raster.valid.data() + 20, 2, 5},
                             3, 2, outputs),
               std::invalid_argument);
  EXPECT_NO_THROW(compute_lines(
      request, {raster.samples.data() + 10, raster.valid.data() + 10, 1, 6}, 3, 2, outputs));
  EXPECT_THROW(compute_lines(request, raster.view(), 8, 3, outputs), std::invalid_argument);
  EXPECT_THROW(compute_lines(request, raster.view(), 0, 10, {}), std::invalid_argument);
  raster.samples[55] = 70000;  // beyond the promised 65536
  EXPECT_THROW(compute_lines(request, raster.view(), 0, 10, outputs), std::invalid_argument);
  raster.samples[55] = 7;
  raster.valid[55] = 0;  // a missing cell must hold 0
  EXPECT_THROW(compute_lines(request, raster.view(), 0, 10, outputs), std::invalid_argument);
  MapRequest even = request;
  even.layers = {{Measure::kRms, 4}};
  EXPECT_THROW(compute_lines(even, raster.view(), 0, 10, outputs), std::invalid_argument);
}

TEST(MapEngine, SamplesUpToTheLimitAreTakenAndBeyondItRefused) {
  Raster raster = random_raster(6, 6, -100, 100, 15);
  const std::vector<float*> none;
  for (const int64_t limit : {int64_t{65536}, int64_t{1000}, int64_t{1}}) {
    const MapRequest request = request_of(raster, {{Measure::kRms, 3}}, 0, limit);
    std::vector<float> out(36);
    for (const int64_t sample : {-limit, limit, -limit - 1, limit + 1}) {
      Raster edge = random_raster(6, 6, -1, 1, 16);
      edge.samples[14] = static_cast<int32_t>(sample);
      const bool taken = sample >= -limit && sample <= limit;
      if (taken) {
        EXPECT_NO_THROW(compute_lines(request, edge.view(), 0, 6, {out.data()})) << sample;
      } else {
        EXPECT_THROW(compute_lines(request, edge.view(), 0, 6, {out.data()}), std::invalid_argument)
            << sample;
      }
    }
  }
  // With a limit of 2^31, every 32-bit sample, the two extremes too.
  raster.samples[3] = INT32_MIN;
  raster.samples[4] = INT32_MAX;
  std::vector<float> out(36);
  EXPECT_NO_THROW(
      compute_lines(request_of(raster, {{Measure::kRms, 3}}), raster.view(), 0, 6, {out.data()}));
  raster.valid[5] = 2;  // validity is 0 or 1
  EXPECT_THROW(
      compute_lines(request_of(raster, {{Measure::kRms, 3}}), raster.view(), 0, 6, {out.data()}),
      std::invalid_argument);
}

TEST(MapEngine, RunsWithAndWithoutMissingCellsGiveTheSameBits) {
  // Missing cells in lines 30 to 33 only: runs far from them hold every cell, and their windows'
  // counts are taken as whole; runs that reach them count.
  Raster raster = random_raster(90, 23, 0, 3000, 17);
  for (int j = 0; j < raster.columns; j += 3) {
    for (int i = 30; i < 34; ++i) {
      raster.samples[static_cast<size_t>(i) * raster.columns + j] = 0;
      raster.valid[static_cast<size_t>(i) * raster.columns + j] = 0;
    }
  }
  const MapRequest request = request_of(raster, every_measure({3, 7}), 1, 65536, 0.8);
  const Map whole = compute(request, raster);
  for (const int threads : {3, 7})
    EXPECT_TRUE(same_bits(compute(request, raster, threads), whole)) << threads << " threads";
  // On 7 threads the first runs and the last lie away from the missing lines; the whole, which
  // counts, is the plain evaluation.
  check_against_reference(raster, {3, 7}, 1, 65536, 0.8);
}

TEST(MapEngine, StopsOnceAsked) {
  const Raster raster = random_raster(200, 30, 0, 500, 18);
  const MapRequest request = request_of(raster, every_measure({5}), 0, 65536);
  Map map(request.layers.size(), std::vector<float>(200 * 30));
  std::vector<float*> outputs;
  for (std::vector<float>& layer : map)
    outputs.push_back(layer.data());
  std::atomic<bool> stop{true};
  EXPECT_THROW(compute_lines(request, raster.view(), 0, 200, outputs, &stop), Stopped);
  EXPECT_THROW(compute_lines_threaded(request, raster.view(), 0, 200, outputs, 4, &stop), Stopped);
  stop = false;
  EXPECT_NO_THROW(compute_lines_threaded(request, raster.view(), 0, 200, outputs, 4, &stop));
  EXPECT_TRUE(same_bits(map, compute(request, raster)));
}

TEST(MapEngine, EveryInstructionSetGivesTheSameBits) {
  // The sweep compiled for each instruction set the processor runs.
  const Raster raster = random_raster(73, 58, 0, 65535, 19, 0.02);
  const MapRequest request = request_of(raster, every_measure({3, 9, 21}), 2, 65536, 0.7);
  const Map base = compute(request, raster, 2);
  scab::test::on_every_copy(
      [&](const std::string&) { EXPECT_TRUE(same_bits(base, compute(request, raster, 2))); });
}

TEST(MapEngine, RmsOfExtremeSamplesInTheLargestWindowsIsExact) {
  // Samples of +-65536 only, the widest spread 64-bit sums allow: with windows of 37 (the
  // largest whose rms is taken in doubles) N Q - T^2 nears 2^53; 39 takes the 64-bit loop.
  std::mt19937 random(20);
  Raster raster = random_raster(42, 41, 0, 0, 21);
  for (int32_t& sample : raster.samples)
    sample = random() % 2 ? 65536 : -65536;
  check_against_reference(raster, {35, 37, 39}, 0, 65536, 1);
  check_against_reference(raster, {37}, 3, 65536, 1);
}
