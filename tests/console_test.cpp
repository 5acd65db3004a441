#include "run/console.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/paths.h"

namespace scab {
namespace {

// A stream holding `text`, positioned at its start.
FILE* stream_of(const std::string& text) {
  FILE* file = tmpfile();
  fwrite(text.data(), 1, text.size(), file);
  rewind(file);
  return file;
}

std::string rest_of(FILE* file) {
  std::string rest;
  for (int c = fgetc(file); c != EOF; c = fgetc(file))
    rest += static_cast<char>(c);
  return rest;
}

TEST(Console, ReadIntLikeScanf) {
  FILE* in = stream_of("  42\n-7\t+3 12abc");
  int value = 0;
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, 42);
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, -7);
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, 3);
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, 12);
  EXPECT_EQ(rest_of(in), "abc");  // what follows the digits waits for the next read
  fclose(in);
}

TEST(Console, ReadIntRejectsTextAndOverflowAndSeesTheEnd) {
  FILE* in = stream_of("abc 2147483647 -2147483648 2147483648 -99999999999999999999 - 5");
  int value = 17;
  EXPECT_EQ(read_int(in, value), ReadStatus::not_a_number);
  EXPECT_EQ(value, 17);
  EXPECT_EQ(rest_of(in).substr(0, 3), "abc");
  fclose(in);

  in = stream_of("2147483647 -2147483648 2147483648 -99999999999999999999 - 5 ");
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, 2147483647);
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, -2147483647 - 1);
  EXPECT_EQ(read_int(in, value), ReadStatus::not_a_number);
  EXPECT_EQ(read_int(in, value), ReadStatus::not_a_number);
  EXPECT_EQ(read_int(in, value), ReadStatus::not_a_number);  // a sign alone
  EXPECT_EQ(read_int(in, value), ReadStatus::ok);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(read_int(in, value), ReadStatus::end_of_input);
  fclose(in);
}

TEST(Console, ReadWordAndDiscardLine) {
  FILE* in = stream_of("  dem1 relief\r\nrest of line\nnext");
  std::string word;
  EXPECT_EQ(read_word(in, word), ReadStatus::ok);
  EXPECT_EQ(word, "dem1");
  EXPECT_EQ(read_word(in, word), ReadStatus::ok);
  EXPECT_EQ(word, "relief");
  discard_line(in);  // the \r\n of the first line
  discard_line(in);
  EXPECT_EQ(read_word(in, word), ReadStatus::ok);
  EXPECT_EQ(word, "next");
  EXPECT_EQ(read_word(in, word), ReadStatus::end_of_input);
  fclose(in);

  const std::string long_name(5000, 'x');
  in = stream_of(long_name + " ");
  EXPECT_EQ(read_word(in, word), ReadStatus::ok);
  EXPECT_EQ(word, long_name);
  fclose(in);
}

TEST(Console, BoundedReadsStopAtTheirBoundAndLeaveTheRest) {
  FILE* in = stream_of("12345 000000000000123456 -00042x abcdefg h");
  int value = 0;
  EXPECT_EQ(read_int(in, value, 5), ReadStatus::ok);
  EXPECT_EQ(value, 12345);
  EXPECT_EQ(read_int(in, value, 5), ReadStatus::not_a_number);  // more than 5 digits
  EXPECT_EQ(value, 12345);
  EXPECT_EQ(fgetc(in), '0');  // the sixth digit, not read
  EXPECT_EQ(read_int(in, value, 30), ReadStatus::ok);
  EXPECT_EQ(value, 123456);
  EXPECT_EQ(read_int(in, value, 5), ReadStatus::ok);  // the sign is not a digit
  EXPECT_EQ(value, -42);
  std::string word;
  EXPECT_EQ(read_word(in, word, 4), ReadStatus::ok);
  EXPECT_EQ(word, "x");
  EXPECT_EQ(read_word(in, word, 4), ReadStatus::ok);
  EXPECT_EQ(word, "abcd");
  EXPECT_EQ(rest_of(in), "efg h");
  fclose(in);
}

TEST(Console, KeyReadTakesOneByteOrReturnsAtTheEnd) {
  FILE* in = stream_of("xy");
  console_getch(in);
  EXPECT_EQ(rest_of(in), "y");
  console_getch(in);  // at the end: returns at once
  fclose(in);
}

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

}  // namespace
}  // namespace scab
