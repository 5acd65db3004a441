// The neighbour means and differences of the RMS error pass against the model, on lines that
// the window's checks must not take for exact.
#include "analysis/neighbourhood.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "arith/xreal.h"
#include "float_cases.h"
#include "heights_support.h"

namespace scab {
namespace {

using test::hex;
using test::Random;

// The means and differences of the middle line of `lines` (three lines), against the model:
// the neighbours summed in their order, every step rounded as the model rounds it.
void expect_model(const std::vector<std::vector<double>>& lines, const std::string& what) {
  const test::Heights heights(lines);
  const HeightFacts facts = facts_of(heights.range());
  Window window(heights, facts);
  window.move_to(1);
  const long m = heights.columns() - 2;
  std::vector<double> means(m), difs(m);
  const auto& above = lines[0];
  const auto& row = lines[1];
  const auto& below = lines[2];
  long wrong = 0;
  std::string first;
  for (const int neighbours : {8, 4}) {
    if (neighbours == 8) {
      all_neighbour_differences(means.data(), difs.data(), window, m, facts);
    } else {
      edge_neighbour_differences(means.data(), difs.data(), window, m, facts);
    }
    for (long j = 0; j < m; j++) {
      const double terms[8] = {above[j + 1], row[j + 2],   below[j + 1], row[j],
                               above[j],     above[j + 2], below[j + 2], below[j]};
      double sum = terms[0];
      for (int k = 1; k < neighbours; k++)
        sum = rnd(xreal(sum) + terms[k]);
      const double mean = rnd(xreal(sum) * (neighbours == 8 ? 0.125 : 0.25));
      const double dif = abs_d(xreal(row[j + 1]) - mean);
      if ((hex(means[j]) != hex(mean) || hex(difs[j]) != hex(dif)) && wrong++ == 0) {
        first = std::to_string(neighbours) + " neighbours, cell " + std::to_string(j) + ": " +
                hex(means[j]) + " " + hex(difs[j]) + ", model " + hex(mean) + " " + hex(dif);
      }
    }
  }
  EXPECT_EQ(wrong, 0) << what << ": " << first;
}

// Values at both ends of nine binades about the middle value of the centre line, with all
// their bits: wider than one band, so the lines must not be found within it, and the sums must
// be checked.
TEST(Neighbourhood, LinesWiderThanABand) {
  Random random{88};
  const long n = 1002;
  for (int round = 0; round < 60; round++) {
    std::vector<std::vector<double>> lines(3, std::vector<double>(n));
    const int middle = random.range(-30, 30);
    for (auto& line : lines) {
      for (double& v : line)
        v = std::ldexp(std::fabs(random.real(0, 0)), random.coin() ? middle + 4 : middle - 5);
    }
    lines[1][n / 2] = std::ldexp(1.5, middle);
    const Band band = band_about(lines[1][n / 2]);
    EXPECT_FALSE(within(band, lines[0].data(), n) && within(band, lines[1].data(), n) &&
                 within(band, lines[2].data(), n));
    expect_model(lines, "round " + std::to_string(round));
  }
}

// Cells and neighbours far apart in magnitude (10 to 13 binades), where the model's difference,
// rounded to 64 bits first, is not the plain double difference; and lines within one band,
// where the plain sums are the model's.
TEST(Neighbourhood, CellsFarFromTheirNeighboursAndLinesWithinABand) {
  Random random{404};
  const long n = 600;
  for (int round = 0; round < 20; round++) {
    std::vector<std::vector<double>> far(3, std::vector<double>(n));
    std::vector<std::vector<double>> near(3, std::vector<double>(n));
    const int e = random.range(-20, 40);
    for (int i = 0; i < 3; i++) {
      for (long j = 0; j < n; j++) {
        far[i][j] = i == 1 && j % 2 ? random.real(e, e) : random.real(e - 13, e - 10);
        near[i][j] = random.real(e - 4, e + 4);
      }
    }
    near[1][n / 2] = std::ldexp(1.0, e);
    expect_model(far, "far, round " + std::to_string(round));
    expect_model(near, "near, round " + std::to_string(round));
  }
}

}  // namespace
}  // namespace scab
