// Summaries (exact/summary.h): the summaries of any tiling of a raster, merged in any order and
// grouping, some of them through bytes, give the whole raster's sums and figures bit for bit;
// merging refuses what does not fit; bytes that are not a summary are refused, never trusted.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "exact/driver.h"
#include "exact/figures.h"
#include "exact_oracle.h"

namespace scab::exact {
namespace {

using test::TestRaster;

Summary block_summary(const TestRaster& t, const Block& block) {
  int64_t stride;
  const std::vector<unsigned char> window = test::window_bytes(t, block, &stride);
  return summarise_block(t.raster, block, window.data(), stride);
}

Summary through_bytes(const Summary& s) {
  const std::vector<unsigned char> bytes = serialize(s);
  Summary out;
  std::string error;
  EXPECT_TRUE(parse(bytes.data(), bytes.size(), out, error)) << error;
  return out;
}

// A random guillotine tiling: each rectangle cut across or along at a random place, down to
// single lines, single columns and single cells now and then.
void tile(std::mt19937_64& random, const Block& b, std::vector<Block>& out) {
  const int64_t lines = b.end_line - b.first_line, columns = b.end_column - b.first_column;
  if ((lines == 1 && columns == 1) || random() % 5 == 0) {
    out.push_back(b);
    return;
  }
  const bool across = columns == 1 || (lines > 1 && random() % 2 == 0);
  Block first = b, second = b;
  if (across) {
    first.end_line = second.first_line =
        b.first_line + 1 + static_cast<int64_t>(random() % (lines - 1));
  } else {
    first.end_column = second.first_column =
        b.first_column + 1 + static_cast<int64_t>(random() % (columns - 1));
  }
  tile(random, first, out);
  tile(random, second, out);
}

// Merges the summaries two at a time, picked at random, some through bytes on the way.
Summary merge_at_random(std::mt19937_64& random, std::vector<Summary> parts) {
  while (parts.size() > 1) {
    const size_t a = random() % parts.size();
    size_t b = random() % (parts.size() - 1);
    b += b >= a;
    std::string error;
    EXPECT_TRUE(merge(parts[a], parts[b], error)) << error;
    if (random() % 4 == 0) parts[a] = through_bytes(parts[a]);
    parts.erase(parts.begin() + static_cast<long>(b));
  }
  return parts[0];
}

void expect_same_figures(const ExactFigures& a, const ExactFigures& b) {
  const ExactFigure ExactFigures::*all[] = {
      &ExactFigures::rms_line,    &ExactFigures::rms_column,
      &ExactFigures::rms_image,   &ExactFigures::standard_deviation,
      &ExactFigures::rms_total,   &ExactFigures::average_rms,
      &ExactFigures::homogeneity, &ExactFigures::homogeneity_report,
      &ExactFigures::slope,       &ExactFigures::r,
      &ExactFigures::r_abs,       &ExactFigures::r2,
      &ExactFigures::rms_error,   &ExactFigures::rms_error_sd};
  for (auto figure : all) {
    EXPECT_EQ((a.*figure).text, (b.*figure).text);
    EXPECT_EQ((a.*figure).value, (b.*figure).value);
  }
  ASSERT_EQ(a.line_rms.size(), b.line_rms.size());
  for (size_t i = 0; i < a.line_rms.size(); i++) {
    EXPECT_EQ(a.line_rms[i].text, b.line_rms[i].text);
    EXPECT_EQ(a.line_rms[i].value, b.line_rms[i].value);
  }
}

// The merged summary against the whole raster's: the same sums, and figures bit for bit.
void expect_same_as_whole(const Summary& merged, const TestRaster& t) {
  const Summary whole = block_summary(t, Block{0, t.raster.lines, 0, t.raster.columns});
  ASSERT_TRUE(merged.whole());
  EXPECT_TRUE(merged.lines == whole.lines && merged.columns == whole.columns);
  EXPECT_TRUE(merged.interior == whole.interior);
  EXPECT_EQ(merged.minimum, whole.minimum);
  EXPECT_EQ(merged.maximum, whole.maximum);
  ExactFigures from_parts, from_whole;
  std::string error;
  ASSERT_TRUE(exact_figures(merged, true, from_parts, error)) << error;
  ASSERT_TRUE(exact_figures(whole, true, from_whole, error)) << error;
  expect_same_figures(from_parts, from_whole);
}

TEST(Summaries, RandomTilingsMergedAnyWayGiveTheWholeRastersFigures) {
  std::mt19937_64 random(99);
  const std::pair<int64_t, int64_t> shapes[] = {{1, 40}, {40, 1},  {2, 30},
                                                {3, 3},  {17, 23}, {31, 12}};
  for (SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
    for (const auto& [lines, columns] : shapes) {
      for (int round = 0; round < 4; round++) {
        const TestRaster t =
            test::make_raster(random, round % 2 ? "random" : "flat", type,
                              type == SampleType::grey8 ? 0 : round, lines, columns);
        std::vector<Block> blocks;
        tile(random, Block{0, lines, 0, columns}, blocks);
        std::vector<Summary> parts;
        for (const Block& b : blocks) {
          parts.push_back(block_summary(t, b));
          if (random() % 3 == 0) parts.back() = through_bytes(parts.back());
        }
        const Summary merged = merge_at_random(random, parts);
        EXPECT_LE(merged.blocks.size(), blocks.size());
        expect_same_as_whole(merged, t);
      }
    }
  }
}

// Five blocks that no straight cut separates (a pinwheel), merged in every order of a chain.
TEST(Summaries, APinwheelTilingMergedInEveryOrder) {
  std::mt19937_64 random(4);
  const TestRaster t = test::make_raster(random, "random", SampleType::height16, 2, 7, 7);
  const Block pinwheel[] = {{0, 2, 0, 5}, {0, 5, 5, 7}, {5, 7, 2, 7}, {2, 7, 0, 2}, {2, 5, 2, 5}};
  std::vector<int> order = {0, 1, 2, 3, 4};
  do {
    Summary merged = empty_summary(t.raster);
    for (int k : order) {
      std::string error;
      ASSERT_TRUE(merge(merged, block_summary(t, pinwheel[k]), error)) << error;
    }
    EXPECT_EQ(merged.blocks.size(), 5u);
    expect_same_as_whole(merged, t);
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST(Summaries, MergeRefusesWhatDoesNotFit) {
  std::mt19937_64 random(6);
  const TestRaster t = test::make_raster(random, "random", SampleType::height16, 1, 10, 12);
  const Summary left = block_summary(t, Block{0, 10, 0, 6});
  std::string error;
  // Overlapping blocks, by one cell.
  Summary into = left;
  EXPECT_FALSE(merge(into, block_summary(t, Block{9, 10, 5, 12}), error));
  EXPECT_NE(error.find("overlap"), std::string::npos) << error;
  EXPECT_TRUE(into == left);  // unchanged
  EXPECT_FALSE(merge(into, left, error));
  // Other rasters: lines, columns, sample type, unit.
  for (Raster other :
       {Raster{11, 12, SampleType::height16, 1}, Raster{10, 13, SampleType::height16, 1},
        Raster{10, 12, SampleType::height32, 1}, Raster{10, 12, SampleType::height16, 2}}) {
    TestRaster u = t;
    u.raster = other;
    u.samples.resize(static_cast<size_t>(other.lines * other.columns), 7);
    error.clear();
    EXPECT_FALSE(merge(into, block_summary(u, Block{0, 1, 6, 12}), error));
    EXPECT_NE(error.find("different rasters"), std::string::npos) << error;
    EXPECT_TRUE(into == left);
  }
  // Figures only from the whole raster.
  ExactFigures figures;
  EXPECT_FALSE(exact_figures(left, false, figures, error));
  EXPECT_NE(error.find("whole raster"), std::string::npos) << error;
}

TEST(Summaries, BytesThatAreNotASummaryAreRefused) {
  std::mt19937_64 random(8);
  const TestRaster t = test::make_raster(random, "random", SampleType::height32, 3, 6, 9);
  const Summary s = block_summary(t, Block{1, 5, 2, 9});
  const std::vector<unsigned char> bytes = serialize(s);
  EXPECT_TRUE(through_bytes(s) == s);
  Summary out;
  std::string error;
  for (size_t size = 0; size < bytes.size(); size++)
    EXPECT_FALSE(parse(bytes.data(), size, out, error)) << size;
  std::vector<unsigned char> longer = bytes;
  longer.push_back(0);
  EXPECT_FALSE(parse(longer.data(), longer.size(), out, error));
  std::vector<unsigned char> other = bytes;
  other[0] = 2;  // another version
  EXPECT_FALSE(parse(other.data(), other.size(), out, error));
  EXPECT_NE(error.find("version 2"), std::string::npos) << error;
  // A count of blocks far beyond the bytes: refused before anything is allocated.
  other = bytes;
  other[4 + 4 + 16 + 7] = 0x40;
  EXPECT_FALSE(parse(other.data(), other.size(), out, error));
  // Random corruption: refused, or taken as a sound summary whose figures are refused or
  // computed; never a crash.
  for (int round = 0; round < 3000; round++) {
    other = bytes;
    for (int k = 0; k < 1 + round % 4; k++)
      other[random() % other.size()] ^= static_cast<unsigned char>(1 + random() % 255);
    if (!parse(other.data(), other.size(), out, error)) continue;
    EXPECT_EQ(check_summary(out), "");
    ExactFigures figures;
    exact_figures(out, round % 2 == 0, figures, error);
  }
}

// Sums whose 192-bit totals lie beyond 2^127 and 2^128 (a raster of more than 2^59 cells would
// have them) merge and travel through bytes exactly.
TEST(Summaries, WideSumsMergeAndTravelExactly) {
  const Raster raster{3, 3, SampleType::height32, 0};
  Summary a = empty_summary(raster), b = empty_summary(raster);
  a.blocks = {Block{0, 1, 0, 3}};
  b.blocks = {Block{1, 3, 0, 3}};
  const Int128 top = Int128(~Uint128(0) >> 1);
  for (int k = 0; k < 5; k++) {
    a.interior.eight_squares.add(top);
    b.interior.eight_squares.add(top - 7);
    b.interior.sample_eight.add(-top - 1);
  }
  const mpz_class expected = 5 * test::big(top) + 5 * test::big(top - 7),
                  negative = 5 * test::big(-top - 1);
  std::string error;
  Summary merged = through_bytes(a);
  ASSERT_TRUE(merge(merged, through_bytes(b), error)) << error;
  merged = through_bytes(merged);
  EXPECT_EQ(test::big(merged.interior.eight_squares), expected);
  EXPECT_EQ(test::big(merged.interior.sample_eight), negative);
}

}  // namespace
}  // namespace scab::exact
