#include "run/console.h"

#include <gtest/gtest.h>

#include <string>

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

TEST(Console, KeyReadTakesOneByteOrReturnsAtTheEnd) {
  FILE* in = stream_of("xy");
  console_getch(in);
  EXPECT_EQ(rest_of(in), "y");
  console_getch(in);  // at the end: returns at once
  fclose(in);
}

}  // namespace
}  // namespace scab
