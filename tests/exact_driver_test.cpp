// The driver (exact/driver.h): the raster read once on any number of threads gives the same
// summary; a raw file is read as the program reads it, short or not; a failed read stops the
// whole with its message; the threads come from SCABROSIMETER_THREADS.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include "exact/driver.h"
#include "exact_oracle.h"

namespace scab::exact {
namespace {

using test::TestRaster;

Summary summary_of(const TestRaster& t, int threads) {
  const std::vector<unsigned char> bytes = t.bytes();
  const int64_t line_bytes = t.raster.columns * static_cast<int>(t.raster.type);
  const MemorySource source(bytes.data(), line_bytes, line_bytes);
  Summary summary;
  std::string error;
  EXPECT_TRUE(summarise(source, t.raster, threads, summary, error)) << error;
  return summary;
}

TEST(ExactDriver, AnyNumberOfThreadsGivesTheSameSummary) {
  std::mt19937_64 random(12);
  const std::pair<int64_t, int64_t> shapes[] = {{1, 9}, {2, 5}, {3, 700}, {6, 6}, {50, 33}};
  for (SampleType type : {SampleType::grey8, SampleType::height16, SampleType::height32}) {
    for (const auto& [lines, columns] : shapes) {
      const TestRaster t = test::make_raster(random, "random", type, 0, lines, columns);
      const Summary one = summary_of(t, 1);
      const Block whole{0, lines, 0, columns};
      EXPECT_EQ(test::compare_sums(one, test::oracle_sums(t, whole), whole), "");
      EXPECT_TRUE(one.whole());
      for (int threads : {2, 3, 7})
        EXPECT_TRUE(summary_of(t, threads) == one) << threads;
    }
  }
}

class TempFile {
 public:
  explicit TempFile(const std::vector<unsigned char>& bytes)
      : path_((std::filesystem::temp_directory_path() /
               ("exact_driver_" + std::to_string(std::random_device()()) + ".raw"))
                  .string()) {
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
  }
  ~TempFile() { std::filesystem::remove(path_); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// A file cut short reads as the program reads it: a sample cut in two keeps its first bytes as
// its low-order bytes, and every cell after it is 0.
TEST(ExactDriver, ReadsARawFileAndItsShortEnd) {
  std::mt19937_64 random(13);
  TestRaster t = test::make_raster(random, "random", SampleType::height32, 3, 9, 11);
  const std::vector<unsigned char> bytes = t.bytes();
  for (size_t cut : {bytes.size(), bytes.size() - 1, bytes.size() / 2 + 2, size_t(0)}) {
    const TempFile file(
        std::vector<unsigned char>(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
    const RawFileSource source(file.path(), 11 * 4);
    ASSERT_EQ(source.error(), "");
    EXPECT_EQ(source.size(), static_cast<int64_t>(cut));
    TestRaster expected = t;
    std::vector<unsigned char> padded(bytes.begin(), bytes.begin() + static_cast<long>(cut));
    padded.resize(bytes.size(), 0);
    for (size_t c = 0; c < expected.samples.size(); c++) {
      uint32_t k = 0;
      for (int b = 3; b >= 0; b--)
        k = k << 8 | padded[c * 4 + static_cast<size_t>(b)];
      expected.samples[c] = static_cast<int32_t>(k);
    }
    for (int threads : {1, 3}) {
      Summary summary;
      std::string error;
      ASSERT_TRUE(summarise(source, t.raster, threads, summary, error)) << error;
      EXPECT_TRUE(summary == summary_of(expected, 1)) << cut;
    }
  }
  const RawFileSource missing("/nonexistent/folder/raster.raw", 4);
  EXPECT_NE(missing.error().find("/nonexistent/folder/raster.raw"), std::string::npos);
  Summary summary;
  std::string error;
  EXPECT_FALSE(summarise(missing, t.raster, 2, summary, error));
  EXPECT_EQ(error, missing.error());
}

// A source that fails from one line on, as a disk or a network mount can.
class FailingSource : public SampleSource {
 public:
  FailingSource(const std::vector<unsigned char>& bytes, int64_t line_bytes, int64_t bad_line)
      : memory_(bytes.data(), line_bytes, line_bytes), bad_line_(bad_line) {}
  bool read(int64_t first, int64_t count, unsigned char* bytes, std::string& error) const override {
    if (first + count > bad_line_) {
      error = "line " + std::to_string(bad_line_) + " cannot be read";
      return false;
    }
    return memory_.read(first, count, bytes, error);
  }

 private:
  MemorySource memory_;
  int64_t bad_line_;
};

TEST(ExactDriver, AFailedReadStopsItWithItsMessage) {
  std::mt19937_64 random(14);
  const TestRaster t = test::make_raster(random, "random", SampleType::height16, 0, 40, 20);
  const std::vector<unsigned char> bytes = t.bytes();
  for (int64_t bad : {0, 19, 39}) {
    for (int threads : {1, 2, 5}) {
      const FailingSource source(bytes, 40, bad);
      Summary summary;
      std::string error;
      EXPECT_FALSE(summarise(source, t.raster, threads, summary, error));
      EXPECT_EQ(error, "line " + std::to_string(bad) + " cannot be read");
    }
  }
}

TEST(ExactDriver, ThreadsFromTheEnvironment) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const char* saved = std::getenv("SCABROSIMETER_THREADS");
  const std::string kept = saved ? saved : "";
  setenv("SCABROSIMETER_THREADS", "3", 1);
  EXPECT_EQ(threads_from_environment(), 3);
  setenv("SCABROSIMETER_THREADS", "1024", 1);
  EXPECT_EQ(threads_from_environment(), 1024);
  for (const char* wrong : {"", "0", "-2", "1025", "2x", "many", "99999999999999999999"}) {
    setenv("SCABROSIMETER_THREADS", wrong, 1);
    EXPECT_EQ(threads_from_environment(), cores) << wrong;
  }
  unsetenv("SCABROSIMETER_THREADS");
  EXPECT_EQ(threads_from_environment(), cores);
  if (saved) setenv("SCABROSIMETER_THREADS", kept.c_str(), 1);
}

}  // namespace
}  // namespace scab::exact
