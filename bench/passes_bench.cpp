// Micro-benchmarks of each pass and of the kernels under them, on a synthetic DEM held in
// memory (heights of a few hundred metres in decimetre steps, like a 16-bit DEM).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "analysis/neighbourhood.h"
#include "analysis/passes.h"
#include "arith/running_sum.h"

namespace {

// A reader of a source whose lines are computed: it calls the source's fill().
template <typename Source>
class FillingReader final : public scab::LineReader {
 public:
  explicit FillingReader(const Source& source) : source_(source) {}
  void line(int i, double* out) override { source_.fill(i, out); }

 private:
  const Source& source_;
};

class SyntheticDem final : public scab::LineSource {
 public:
  explicit SyntheticDem(int size) : size_(size) {}
  int lines() const override { return size_; }
  int columns() const override { return size_; }
  std::unique_ptr<scab::LineReader> reader() const override {
    return std::make_unique<FillingReader<SyntheticDem>>(*this);
  }
  void fill(int i, double* out) const {
    for (int j = 0; j < size_; j++) {
      uint32_t h = static_cast<uint32_t>(i) * 2654435761u ^ static_cast<uint32_t>(j) * 40503u;
      h ^= h >> 13;
      out[j] = (5000 + (i + j) * 3 + h % 50) * 0.1;
    }
  }
  scab::HeightRange range() const override {
    return {500, (5000 + 6 * size_ + 50) * 0.1, 500, false};
  }

 private:
  int size_;
};

void ProfilePass(benchmark::State& state) {
  const SyntheticDem dem(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(scab::profile_pass(dem));
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(ProfilePass)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void RmsErrorPass(benchmark::State& state) {
  const SyntheticDem dem(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(scab::rms_error_pass(dem));
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(RmsErrorPass)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);

void LineRead(benchmark::State& state) {
  const SyntheticDem dem(static_cast<int>(state.range(0)));
  std::vector<double> line(static_cast<size_t>(state.range(0)));
  const std::unique_ptr<scab::LineReader> reader = dem.reader();
  for (auto _ : state) {
    for (int i = 0; i < dem.lines(); i++)
      reader->line(i, line.data());
    benchmark::DoNotOptimize(line.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * state.range(0));
}
BENCHMARK(LineRead)->Arg(1000)->Unit(benchmark::kMillisecond);

double sum_from_zero(const std::vector<double>& values) {
  const double* v = values.data();
  return scab::fast::sum_of<scab::fast::Signs::non_negative>(0.0, static_cast<long>(values.size()),
                                                             [v](long k) { return v[k]; });
}

void RunningSum(benchmark::State& state) {
  std::vector<double> values(static_cast<size_t>(state.range(0)));
  for (size_t k = 0; k < values.size(); k++)
    values[k] = (5000 + k % 997) * 0.1;
  for (auto _ : state)
    benchmark::DoNotOptimize(sum_from_zero(values));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(RunningSum)->Arg(1 << 20);

// Running sums that start from zero, as a line's do: the total crosses many binades early on.
void LineSums(benchmark::State& state) {
  std::vector<double> values(static_cast<size_t>(state.range(0)));
  for (size_t k = 0; k < values.size(); k++)
    values[k] = (5000 + k % 997) * 0.1;
  for (auto _ : state) {
    for (int line = 0; line < 100; line++)
      benchmark::DoNotOptimize(sum_from_zero(values));
  }
  state.SetItemsProcessed(state.iterations() * 100 * state.range(0));
}
BENCHMARK(LineSums)->Arg(4000);

// A sum of products of heights and neighbour means, as the regression takes.
void ProductSums(benchmark::State& state) {
  const long n = state.range(0);
  std::vector<double> z(static_cast<size_t>(n)), y(static_cast<size_t>(n));
  for (long k = 0; k < n; k++) {
    z[k] = (5000 + k % 997) * 0.1;
    y[k] = (5003 + k % 991) * 0.1;
  }
  const double *x = z.data(), *m = y.data();
  for (auto _ : state) {
    auto products =
        scab::fast::product_chain<scab::fast::Signs::non_negative>(1e12, [x, m](long k) {
          return scab::fast::Product{x[k], m[k]};
        });
    scab::fast::advance_together(n, products);
    benchmark::DoNotOptimize(products.total);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(ProductSums)->Arg(1 << 16);

// Three lines whose neighbour sums the window cannot vouch for from the range alone (no facts):
// it checks each line against the band of the middle one.
class ThreeLines final : public scab::LineSource {
 public:
  explicit ThreeLines(int columns) : columns_(columns) {}
  int lines() const override { return 3; }
  int columns() const override { return columns_; }
  std::unique_ptr<scab::LineReader> reader() const override {
    return std::make_unique<FillingReader<ThreeLines>>(*this);
  }
  void fill(int i, double* out) const {
    for (int k = 0; k < columns_; k++)
      out[k] = (5000 + i * 3 + k % (97 - i * 7)) * 0.1;
  }
  scab::HeightRange range() const override { return {}; }

 private:
  int columns_;
};

void NeighbourDifferences(benchmark::State& state) {
  const long m = state.range(0);
  const ThreeLines lines(static_cast<int>(m + 2));
  const scab::HeightFacts facts;
  scab::Window window(lines, facts);
  window.move_to(1);
  std::vector<double> means(m), difs(m);
  for (auto _ : state) {
    scab::all_neighbour_differences(means.data(), difs.data(), window, m, facts);
    benchmark::DoNotOptimize(difs.data());
  }
  state.SetItemsProcessed(state.iterations() * m);
}
BENCHMARK(NeighbourDifferences)->Arg(4000);

}  // namespace

BENCHMARK_MAIN();
