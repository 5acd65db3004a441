#include "dataset/text_input.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "test_support.h"

namespace scab {
namespace {

using test::rest_of;
using test::stream_of;

TEST(TextInput, ReadIntLikeScanf) {
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

TEST(TextInput, ReadIntRejectsTextAndOverflowAndSeesTheEnd) {
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

TEST(TextInput, ReadWordAndDiscardLine) {
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

TEST(TextInput, BoundedReadsStopAtTheirBoundAndLeaveTheRest) {
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

}  // namespace
}  // namespace scab
