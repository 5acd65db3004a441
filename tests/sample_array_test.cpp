// Samples in memory read as the raw raster reads the same bytes from a file, whatever the
// layout of the memory.
#include "raster/sample_array.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/passes.h"
#include "float_cases.h"
#include "test_support.h"

namespace scab {
namespace {

TEST(SampleArray, LinesAndRangeAreTheRawRastersInEveryLayout) {
  test::Random random{7};
  const int lines = 5;
  // 9000 columns: the first reading takes a line in several pieces.
  for (const auto& [columns, width] : {std::pair{7, 1}, {7, 2}, {7, 4}, {9000, 2}, {9000, 4}}) {
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
      const std::unique_ptr<LineReader> array_reader = converted.reader();
      const std::unique_ptr<LineReader> file_reader = raster.reader();
      for (int i = 0; i < lines; i++) {
        array_reader->line(i, from_array.data());
        file_reader->line(i, from_file.data());
        EXPECT_EQ(from_array, from_file) << "width " << width << ", line " << i << ", " << columns;
      }
    }
  }
}

// An array of `lines` lines that all lie at the same place (line stride 0): as long as wanted,
// without the memory.
struct RepeatedLine {
  explicit RepeatedLine(int columns) : samples(static_cast<size_t>(columns) * 2) {
    for (size_t k = 0; k < samples.size(); k++)
      samples[k] = static_cast<unsigned char>(k * 37);
  }
  SampleArray array(int lines, const std::atomic<bool>* stop,
                    const std::function<void()>& waiting = {}) const {
    const int columns = static_cast<int>(samples.size() / 2);
    return SampleArray(samples.data(), lines, columns, 2, 0, 2, stop, waiting);
  }
  std::vector<unsigned char> samples;
};

TEST(SampleArray, StopsReadingWhenTold) {
  const RepeatedLine repeated(4096);
  std::atomic<bool> stop{false};

  // The first reading of 2^31 - 1 lines would take hours: `waiting` is called about every
  // 200 ms meanwhile, and the reading ends as soon as it sets the flag.
  int calls = 0;
  const auto set_on_second_call = [&] {
    if (++calls == 2) stop = true;
  };
  EXPECT_THROW(repeated.array(INT32_MAX, &stop, set_on_second_call), ReadingStopped);
  EXPECT_EQ(calls, 2);

  // A reader reads until the flag is set, then stops.
  stop = false;
  const SampleArray array = repeated.array(3, &stop);
  const std::unique_ptr<LineReader> reader = array.reader();
  std::vector<double> line(4096);
  reader->line(2, line.data());
  EXPECT_EQ(line[1], 74 + 111 * 256);  // bytes 2 and 3
  stop = true;
  EXPECT_THROW(reader->line(0, line.data()), ReadingStopped);

  // The passes stop with it: the flag is set as they begin (without threads, before), and
  // run_passes throws ReadingStopped rather than give results.
  stop = false;
  const SampleArray large = repeated.array(10000, &stop);
  EXPECT_THROW(run_passes(large, [&] { stop = true; }), ReadingStopped);
}

}  // namespace
}  // namespace scab
