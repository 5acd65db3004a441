#include "raster/raw_raster.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"

namespace scab {
namespace {

// A 16-bit raster whose sample (i, j) is `sample(i, j)`, written to `path`.
template <typename Sample>
RawRaster raster_of(const test::TempFolder& folder, const std::string& name, int lines, int columns,
                    Sample sample) {
  std::string bytes;
  for (int i = 0; i < lines; i++) {
    for (int j = 0; j < columns; j++)
      bytes += test::bytes16({sample(i, j)});
  }
  folder.write(name, bytes);
  return RawRaster(InputFile(folder.path() + "/" + name), lines, columns, 2);
}

// Readers of one raster and of another, used in turn on one thread and each a different order:
// a block of lines held for one reader never stands in for another's.
TEST(RawRaster, ReadersInTurnEachGiveTheirOwnLines) {
  const test::TempFolder folder;
  // 1000 columns of 2 bytes: a block holds 32 lines, so the orders cross blocks often.
  constexpr int kLines = 100, kColumns = 1000;
  const auto a_sample = [](int i, int j) { return (i * 1000 + j) % 65536; };
  const auto b_sample = [](int i, int j) { return (i * 7 + j * 3 + 11) % 65536; };
  const RawRaster a = raster_of(folder, "a_m2.raw", kLines, kColumns, a_sample);
  const RawRaster b = raster_of(folder, "b_m2.raw", kLines, kColumns, b_sample);
  const std::unique_ptr<LineReader> forward = a.reader(), backward = a.reader(), other = b.reader();
  std::vector<double> line(kColumns);
  const auto expect_line = [&](LineReader& reader, int i, const auto& sample, const char* which) {
    reader.line(i, line.data());
    for (int j = 0; j < kColumns; j += 97)
      ASSERT_EQ(line[static_cast<size_t>(j)], sample(i, j)) << which << " line " << i;
  };
  for (int k = 0; k < kLines; k++) {
    expect_line(*forward, k, a_sample, "forward");
    expect_line(*backward, kLines - 1 - k, a_sample, "backward");
    expect_line(*other, (k * 37) % kLines, b_sample, "other");
  }
}

}  // namespace
}  // namespace scab
