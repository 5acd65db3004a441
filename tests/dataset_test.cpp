#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "dataset/descriptor.h"
#include "dataset/paths.h"
#include "dataset/raw_layout.h"
#include "dataset/units.h"
#include "test_support.h"

namespace scab {
namespace {

TEST(Paths, WindowsPathsMapUnderTheImagesRoot) {
#ifndef _WIN32
  EXPECT_EQ(host_path("images", "c:\\images\\dem1\\relief_m2.raw"), "images/dem1/relief_m2.raw");
  EXPECT_EQ(host_path("/data/root/", "c:\\images\\a\\b\\c.txt"), "/data/root/a/b/c.txt");
  EXPECT_EQ(host_path("/data", "c:\\images\\x"), "/data/x");
#else
  // On Windows the path is used as it is; another root given in place of c:\images\ (as the
  // tests do) takes its place, backslashes kept.
  EXPECT_EQ(default_images_root(), "c:\\images\\");
  EXPECT_EQ(host_path(default_images_root(), "c:\\images\\dem1\\relief_m2.raw"),
            "c:\\images\\dem1\\relief_m2.raw");
  EXPECT_EQ(host_path("", "c:\\images\\x"), "c:\\images\\x");
  EXPECT_EQ(host_path("C:\\Temp\\t1", "c:\\images\\a\\b.txt"), "C:\\Temp\\t1\\a\\b.txt");
  EXPECT_EQ(host_path("C:/Temp/t1/", "c:\\images\\a\\b.txt"), "C:/Temp/t1/a\\b.txt");
#endif
  // A name is one component of a path: nothing that could lead out of the dataset's folder.
  for (const char* name : {"dem1", "relief", "a.b", "...", "x..", "-", "nom_fichier", "\xe9t\xe9"})
    EXPECT_TRUE(is_plain_name(name)) << name;
  for (const std::string& name :
       std::vector<std::string>{"", ".", "..", "a\\b", "..\\x", "a/b", "../x", "/", "c:x",
                                "c:", std::string("a\0b", 3), "tab\x01", "del\x7f"})
    EXPECT_FALSE(is_plain_name(name)) << name;
  EXPECT_EQ(raster_suffix(0, 0), "_m2");
  EXPECT_EQ(raster_suffix(0, 1), "_m4");
  EXPECT_EQ(raster_suffix(0, -3), "_m4");
  EXPECT_EQ(raster_suffix(1, 0), "");
}

TEST(Paths, EachDatasetNameSaysItsSampleWidth) {
  EXPECT_EQ(dataset_folder_path("dem1"), "c:\\images\\dem1\\");
  const DatasetPaths dem16 = dataset_paths("c:\\images\\d\\", "r", false, 0);
  EXPECT_EQ(dem16.raw, "c:\\images\\d\\r_m2.raw");
  EXPECT_EQ(dem16.descriptor, "c:\\images\\d\\r_m2.txt");
  EXPECT_EQ(dataset_paths("c:\\images\\d\\", "r", false, 5).raw, "c:\\images\\d\\r_m4.raw");
  EXPECT_EQ(dataset_paths("c:\\images\\d\\", "r", true, 0).descriptor, "c:\\images\\d\\r.txt");
  // The name read back gives the width the dialog's answers read.
  for (const bool image : {false, true}) {
    for (const int answer : {0, 1, 2, -1}) {
      const std::string raw = dataset_paths("/x/", "r", image, answer).raw;
      EXPECT_EQ(sample_bytes_named(raw.substr(0, raw.size() - 4)), sample_bytes(image, answer))
          << image << answer;
    }
  }
  EXPECT_EQ(sample_bytes_named("m2"), 1);
  EXPECT_EQ(sample_bytes_named("x_m2_old"), 1);
  EXPECT_EQ(sample_bytes_named(""), 1);
}

TEST(RawLayout, BytesReadAndBytesDescribedForEachAnswer) {
  for (const int answer : {0, 1, 2, 7, -1, INT_MIN}) {
    EXPECT_EQ(sample_bytes(true, answer), 1);
    EXPECT_EQ(descriptor_bytes_per_sample(true, answer), 1);
  }
  EXPECT_EQ(sample_bytes(false, 0), 2);
  EXPECT_EQ(sample_bytes(false, 1), 4);
  // Any other width answer is read 32 bits a sample, but described as 1 byte.
  for (const int answer : {2, 7, -1, INT_MAX, INT_MIN}) {
    EXPECT_EQ(sample_bytes(false, answer), 4) << answer;
    EXPECT_EQ(descriptor_bytes_per_sample(false, answer), 1) << answer;
  }
  EXPECT_EQ(descriptor_bytes_per_sample(false, 0), 2);
  EXPECT_EQ(descriptor_bytes_per_sample(false, 1), 4);
  EXPECT_EQ(raw_bytes_expected(INT_MAX, INT_MAX, 4), 18446744056529682436u);
  EXPECT_EQ(short_file_warning("c:\\images\\d\\r_m2.raw", 5, 12),
            "the file c:\\images\\d\\r_m2.raw holds 5 bytes where 12 were expected; the cells it "
            "does not reach are taken as 0.");
}

TEST(Units, SymbolsNamesAndFactorsOfEachUnit) {
  const char* const symbols[] = {"m", "dm", "cm", "mm"};
  const char* const names[] = {"metres", "decimetres", "centimetres", "millimetres"};
  const char* const report_names[] = {"meters", "decimeters", "centimeters", "millimeters"};
  const double factors[] = {1, 1 / 10.0, 1 / 100.0, 1 / 1000.0};
  ASSERT_EQ(kUnitCount, 4);
  for (int unit = 0; unit < kUnitCount; unit++) {
    EXPECT_TRUE(is_unit(unit));
    EXPECT_STREQ(unit_symbol(unit), symbols[unit]);
    EXPECT_EQ(unit_of_symbol(symbols[unit]), unit);
    EXPECT_STREQ(unit_name(unit), names[unit]);
    EXPECT_STREQ(unit_report_name(unit), report_names[unit]);
    EXPECT_EQ(metres_per_unit(unit), factors[unit]);  // the doubles nearest 10^-unit
    EXPECT_EQ(unit_decimals(unit), unit);
  }
  EXPECT_FALSE(is_unit(-1));
  EXPECT_FALSE(is_unit(4));
  for (const char* symbol : {"", "M", "km", "m ", "metres"})
    EXPECT_EQ(unit_of_symbol(symbol), -1) << symbol;
}

TEST(Descriptor, WrittenAsTheProgramWritesItAndReadBack) {
  FILE* file = tmpfile();
  write_descriptor(file, 300, 400, 2, 25);
  EXPECT_EQ(test::contents(file), "300\n400\n2\n0\n65500\n25\n");
  rewind(file);
  DescriptorNumbers numbers;
  EXPECT_EQ(read_descriptor(file, numbers), "");
  fclose(file);
  EXPECT_EQ(numbers.lines, 300);
  EXPECT_EQ(numbers.columns, 400);
  EXPECT_EQ(numbers.bytes_per_sample, 2);
  EXPECT_EQ(numbers.minimum, 0);
  EXPECT_EQ(numbers.maximum, 65500);
  EXPECT_EQ(numbers.pixel_size, 25);
  EXPECT_TRUE(gives_a_raster(numbers));
}

TEST(Descriptor, ARefusalSaysWhatTheFileGives) {
  const test::TempFolder folder;
  const auto refusal = [&folder](const std::string& text) {
    folder.write("r.txt", text);
    const DescriptorReading reading = read_descriptor_file(InputFile(folder.path() + "/r.txt"));
    EXPECT_EQ(reading.open_error, 0);
    EXPECT_EQ(reading.read_error, 0);
    EXPECT_FALSE(gives_a_raster(reading.numbers)) << text;
    return descriptor_refusal("D.txt", reading);
  };
  EXPECT_EQ(refusal("0 5"),
            "The descriptor file D.txt gives 0 lines and 5 columns: a raster "
            "needs at least 1 of each");
  EXPECT_EQ(refusal("7"),
            "The descriptor file D.txt gives 7 lines and 0 columns: a raster "
            "needs at least 1 of each");
  const std::string not_given =
      "The descriptor file D.txt does not give the numbers of lines and "
      "columns: it holds ";
  EXPECT_EQ(refusal("4 x5"), not_given + "\"x5\" where a number was expected");
  EXPECT_EQ(refusal("99999999999 5"),
            not_given + "99999999999, a number too large for the program (at most 2147483647)");
  EXPECT_EQ(refusal("\xEF\xBB\xBF"
                    "4 5"),
            "The descriptor file D.txt does not give the numbers of lines and columns: it begins "
            "with a byte-order mark (the bytes EF BB BF), which is not a number: save it as plain "
            "text without one");
  // Words past the second number are not looked at.
  folder.write("r.txt", "4 5 junk");
  EXPECT_TRUE(gives_a_raster(read_descriptor_file(InputFile(folder.path() + "/r.txt")).numbers));
}

}  // namespace
}  // namespace scab
