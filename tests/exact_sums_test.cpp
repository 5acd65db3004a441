// The exact sums of blocks (exact/scan.h) against the same sums taken cell by cell in GMP
// integers: every sample type and kind of raster, blocks anywhere (on the raster's edges, one
// line or one column, the whole raster), samples on both sides of the reach where 32-bit
// samples change lanes, sums beyond 64 and 128 bits, and both copies of the kernels.
#include <gtest/gtest.h>

#include <random>

#include "arith/isa.h"
#include "copies_support.h"
#include "exact/driver.h"
#include "exact/scan.h"
#include "exact_oracle.h"

namespace scab::exact {
namespace {

using test::TestRaster;

Block random_block(std::mt19937_64& random, const Raster& raster) {
  const auto pick = [&](int64_t n, int64_t& first, int64_t& end) {
    first = std::uniform_int_distribution<int64_t>(0, n - 1)(random);
    end = std::uniform_int_distribution<int64_t>(first + 1, n)(random);
  };
  Block block;
  pick(raster.lines, block.first_line, block.end_line);
  pick(raster.columns, block.first_column, block.end_column);
  return block;
}

std::string block_sums_differ(const TestRaster& t, const Block& block) {
  int64_t stride;
  const std::vector<unsigned char> window = test::window_bytes(t, block, &stride);
  const Summary summary = summarise_block(t.raster, block, window.data(), stride);
  if (summary.blocks.size() != 1 || !(summary.blocks[0] == block)) return "the block's blocks";
  return test::compare_sums(summary, test::oracle_sums(t, block), block);
}

TEST(ExactSums, BlocksAgreeWithTheCells) {
  std::mt19937_64 random(11);
  const SampleType types[] = {SampleType::grey8, SampleType::height16, SampleType::height32};
  for (const char* kind : {"random", "flat", "constant", "extreme", "steps"}) {
    for (SampleType type : types) {
      for (int round = 0; round < 12; round++) {
        const int64_t lines = std::uniform_int_distribution<int64_t>(1, 9)(random);
        const int64_t columns = std::uniform_int_distribution<int64_t>(1, 600)(random);
        const int decimals = type == SampleType::grey8 ? 0 : round % 4;
        const TestRaster t = test::make_raster(random, kind, type, decimals, lines, columns);
        const Block whole{0, lines, 0, columns};
        EXPECT_EQ(block_sums_differ(t, whole), "") << kind << " " << lines << " x " << columns;
        for (int k = 0; k < 4; k++) {
          const Block block = random_block(random, t.raster);
          EXPECT_EQ(block_sums_differ(t, block), "")
              << kind << " " << lines << " x " << columns << ", lines " << block.first_line
              << " to " << block.end_line << ", columns " << block.first_column << " to "
              << block.end_column;
        }
      }
    }
  }
}

// 32-bit samples just inside and just outside the reach of the narrow lanes, in the same
// raster: a line's neighbour sums take the wide lanes when any of its three lines reaches out.
TEST(ExactSums, ThirtyTwoBitSamplesAroundTheNarrowLanesReach) {
  std::mt19937_64 random(5);
  for (int round = 0; round < 40; round++) {
    TestRaster t;
    t.raster = Raster{7, 70, SampleType::height32, 3};
    for (int64_t c = 0; c < 7 * 70; c++) {
      const int64_t edge =
          std::uniform_int_distribution<int>(0, 1)(random) ? kNearReach : -kNearReach;
      const int64_t k = edge + std::uniform_int_distribution<int64_t>(-3, 2)(random);
      // Most lines stay within the reach; some cells of some lines step out.
      const bool out = std::uniform_int_distribution<int>(0, 40)(random) == 0;
      t.samples.push_back(static_cast<int32_t>(out ? k : (k > 0 ? k - 8 : k + 8)));
    }
    EXPECT_EQ(block_sums_differ(t, Block{0, 7, 0, 70}), "") << "round " << round;
    EXPECT_EQ(block_sums_differ(t, Block{2, 5, 1, 69}), "") << "round " << round;
  }
}

// Columns of many lines of the largest samples: the narrow lanes of each column must be carried
// into the totals before they overflow: after four lines of 32-bit samples (Σk² beyond 64
// bits), 2^15 lines of 16-bit ones (Σk beyond 32 bits), 2^16 lines of grey levels (Σk²).
TEST(ExactSums, ColumnLanesAreCarriedInTime) {
  for (int32_t extreme : {INT32_MIN, INT32_MAX}) {
    TestRaster t;
    t.raster = Raster{41, 5, SampleType::height32, 0};
    t.samples.assign(41 * 5, extreme);
    t.samples[7] = extreme > 0 ? 12345 : -12345;  // lines of different reach
    EXPECT_EQ(block_sums_differ(t, Block{0, 41, 0, 5}), "");
    EXPECT_EQ(block_sums_differ(t, Block{3, 40, 1, 4}), "");
  }
  for (SampleType type : {SampleType::height16, SampleType::grey8}) {
    TestRaster t;
    const int64_t lines = type == SampleType::grey8 ? 65536 * 2 + 3 : 32768 * 2 + 3;
    t.raster = Raster{lines, 3, type, 0};
    t.samples.assign(static_cast<size_t>(lines * 3), type == SampleType::grey8 ? 255 : 65535);
    EXPECT_EQ(block_sums_differ(t, Block{0, lines, 0, 3}), "");
  }
}

TEST(ExactSums, EveryCopyOfTheKernelsAgrees) {
  std::mt19937_64 random(3);
  for (SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
    for (const char* kind : {"random", "extreme", "flat"}) {
      const TestRaster t = test::make_raster(random, kind, type, 0, 13, 3000);
      int64_t stride;
      const Block whole{0, 13, 0, 3000};
      const std::vector<unsigned char> window = test::window_bytes(t, whole, &stride);
      const test::OracleSums oracle = test::oracle_sums(t, whole);
      scab::test::on_every_copy([&](const std::string&) {
        const Summary chosen = summarise_block(t.raster, whole, window.data(), stride);
        EXPECT_EQ(test::compare_sums(chosen, oracle, whole), "") << kind;
      });
    }
  }
}

// The 192-bit sums against GMP: terms around ±2^63 and ±2^127, totals crossing 2^127 (where
// 128 signed bits overflow), 2^128 and back below zero.
TEST(ExactSums, WideSumsPastOneHundredTwentyEightBits) {
  const Int128 max128 = Int128(~Uint128(0) >> 1);
  const Int128 terms[] = {max128,
                          max128 - 1,
                          -max128 - 1,
                          Int128(1) << 126,
                          Int128(INT64_MAX) + 1,
                          Int128(INT64_MIN) - 1,
                          -1,
                          1,
                          Int128(3) << 125};
  std::mt19937_64 random(17);
  for (int round = 0; round < 200; round++) {
    Wide total, other;
    mpz_class expected = 0, expected_other = 0;
    for (int k = 0; k < 20; k++) {
      const Int128 term = terms[random() % (sizeof terms / sizeof terms[0])];
      (k % 3 == 0 ? other : total).add(term);
      (k % 3 == 0 ? expected_other : expected) += test::big(term);
    }
    ASSERT_EQ(test::big(total), expected);
    total.add(other);
    ASSERT_EQ(test::big(total), expected + expected_other);
    ASSERT_EQ(total.negative(), expected + expected_other < 0);
  }
}

}  // namespace
}  // namespace scab::exact
