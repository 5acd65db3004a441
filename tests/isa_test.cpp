// The copies of the sample loops (arith/isa.h): the same heights and the same range from each,
// the model's; the conversion's extremes, the range's. (The passes' copies are compared in
// reference_passes_test.cpp, the program's in end_to_end_test.cpp.)
#include "arith/isa.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "arith/xreal.h"
#include "copies_support.h"
#include "float_cases.h"
#include "raster/samples.h"

namespace scab {
namespace {

using test::hex;

int32_t sample_of(const std::vector<unsigned char>& bytes, int width, size_t j) {
  const unsigned char* b = &bytes[j * width];
  if (width == 1) return b[0];
  if (width == 2) return b[0] | b[1] << 8;
  return static_cast<int32_t>(static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
                              static_cast<uint32_t>(b[2]) << 16 |
                              static_cast<uint32_t>(b[3]) << 24);
}

TEST(Isa, SampleLoopsGiveTheModelsHeightsAndRangeOnEveryCopy) {
  test::Random random{31};
  for (const int width : {1, 2, 4}) {
    for (const double factor : {1.0, 0.1, 0.01, 0.001, 3.7, 0x1p70, -0x1p-70}) {
      const long n = random.range(1, 1500);
      std::vector<unsigned char> bytes(static_cast<size_t>(n * width));
      for (auto& b : bytes)
        b = static_cast<unsigned char>(random.next() >> 56);
      if (n > 3) bytes[0] = bytes[1] = 0;  // a zero sample, left out of the least magnitude
      SampleRange expected;
      std::vector<double> model(static_cast<size_t>(n));
      for (size_t j = 0; j < model.size(); j++) {
        const int32_t s = sample_of(bytes, width, j);
        expected.low = std::min(expected.low, s);
        expected.high = std::max(expected.high, s);
        if (s != 0) expected.smallest = std::min<int64_t>(expected.smallest, std::llabs(s));
        model[j] = rnd(xreal(s) * factor);
      }
      test::on_every_copy([&](const std::string& copy) {
        const std::string what =
            copy + ", width " + std::to_string(width) + ", factor " + hex(factor);
        SampleRange range;
        fold_samples(width, bytes.data(), n, range);
        EXPECT_EQ(range.low, expected.low) << what;
        EXPECT_EQ(range.high, expected.high) << what;
        EXPECT_EQ(range.smallest, expected.smallest) << what;
        std::vector<double> heights(static_cast<size_t>(n));
        const SampleExtremes extremes =
            samples_to_heights(width, bytes.data(), n, factor, heights.data());
        EXPECT_EQ(extremes.low, expected.low) << what;
        EXPECT_EQ(extremes.high, expected.high) << what;
        for (size_t j = 0; j < heights.size(); j++) {
          ASSERT_EQ(hex(heights[j]), hex(model[j])) << what << ", sample " << j;
        }
      });
    }
  }
}

// The copy in use: the widest the processor runs, unless the environment allows less.
TEST(Isa, TheEnvironmentChoosesAmongTheCopies) {
  ASSERT_GE(isa::copy_count(), 1);
  EXPECT_STREQ(isa::copy_name(0), "base");
  EXPECT_TRUE(isa::runs(0));
  int widest = 0;
  for (int index = 1; index < isa::copy_count(); index++)
    widest = isa::runs(index) ? index : widest;
  EXPECT_EQ(isa::widest_allowed(nullptr, nullptr), widest);
  EXPECT_EQ(isa::widest_allowed("", nullptr), widest);
  EXPECT_EQ(isa::widest_allowed("0", "no such copy"), widest);
  EXPECT_EQ(isa::widest_allowed("1", nullptr), 0);
  EXPECT_EQ(isa::widest_allowed("yes", "avx512"), 0);
  EXPECT_EQ(isa::widest_allowed(nullptr, "base"), 0);
  for (int index = 0; index < isa::copy_count(); index++) {
    int expected = index;
    while (!isa::runs(expected))
      expected--;
    EXPECT_EQ(isa::widest_allowed(nullptr, isa::copy_name(index)), expected) << index;
  }
  const int before = isa::use_copy(0);
  EXPECT_EQ(isa::copy_in_use(), 0);
  EXPECT_EQ(isa::use_copy(before), 0);
}

}  // namespace
}  // namespace scab
