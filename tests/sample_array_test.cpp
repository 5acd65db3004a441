// Samples in memory read as the raw raster reads the same bytes from a file, whatever the
// layout of the memory.
#include "raster/sample_array.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "float_cases.h"
#include "test_support.h"

namespace scab {
namespace {

TEST(SampleArray, LinesAndRangeAreTheRawRastersInEveryLayout) {
  test::Random random{7};
  const int lines = 5, columns = 7;
  for (const int width : {1, 2, 4}) {
    std::string bytes(static_cast<size_t>(lines * columns * width), '\0');
    for (char& b : bytes)
      b = static_cast<char>(random.next() >> 56);
    test::TempFolder folder;
    folder.write("r.raw", bytes);
    RawRaster raster(InputFile(folder.path() + "/r.raw"), lines, columns, width);
    const double factor = width == 1 ? 1.0 : 0.1;
    raster.set_factor(factor);

    // The same samples laid out three ways: line after line; column after column (Fortran
    // order); line after line every other sample, the lines from the last up.
    const auto* row_major = reinterpret_cast<const unsigned char*>(bytes.data());
    std::vector<unsigned char> column_major(bytes.size()), sparse(bytes.size() * 2);
    for (int i = 0; i < lines; i++) {
      for (int j = 0; j < columns; j++) {
        const unsigned char* sample = row_major + (i * columns + j) * width;
        std::memcpy(&column_major[static_cast<size_t>((j * lines + i) * width)], sample, width);
        std::memcpy(&sparse[static_cast<size_t>(((lines - 1 - i) * columns + j) * 2 * width)],
                    sample, width);
      }
    }
    const ptrdiff_t w = width;
    const SampleArray layouts[] = {
        SampleArray(row_major, lines, columns, width, columns * w, w),
        SampleArray(column_major.data(), lines, columns, width, w, lines * w),
        SampleArray(sparse.data() + (lines - 1) * columns * 2 * w, lines, columns, width,
                    -columns * 2 * w, 2 * w),
    };
    for (const SampleArray& array : layouts) {
      SampleArray converted = array;
      converted.set_factor(factor);
      EXPECT_EQ(converted.minimum(), raster.minimum()) << width;
      EXPECT_EQ(converted.maximum(), raster.maximum()) << width;
      const HeightRange a = converted.range(), b = raster.range();
      EXPECT_EQ(test::hex(a.lowest), test::hex(b.lowest));
      EXPECT_EQ(test::hex(a.highest), test::hex(b.highest));
      EXPECT_EQ(test::hex(a.smallest), test::hex(b.smallest));
      EXPECT_EQ(a.whole, b.whole);
      std::vector<double> from_array(columns), from_file(columns);
      for (int i = 0; i < lines; i++) {
        converted.line(i, from_array.data());
        raster.line(i, from_file.data());
        EXPECT_EQ(from_array, from_file) << "width " << width << ", line " << i;
      }
    }
  }
}

}  // namespace
}  // namespace scab
