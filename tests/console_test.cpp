#include "run/console.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace scab {
namespace {

using test::rest_of;
using test::stream_of;

TEST(Console, KeyReadTakesOneByteOrReturnsAtTheEnd) {
  FILE* in = stream_of("xy");
  console_getch(in);
  EXPECT_EQ(rest_of(in), "y");
  console_getch(in);  // at the end: returns at once
  fclose(in);
}

}  // namespace
}  // namespace scab
