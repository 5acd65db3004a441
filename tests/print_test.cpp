#include "analysis/print.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <string>

#include "test_support.h"

namespace scab {
namespace {

TEST(Print, UndefinedForMissingAndNonFiniteValues) {
  FILE* out = tmpfile();
  print_values(out, "\n\tr = %lf r(sqrt) = %lf r2 = %lf ", {-0.125, Value(), 1e6});
  print_values(out, "|%lf|%lf|%lf|",
               {0.0 / 1.0, std::numeric_limits<double>::quiet_NaN(),
                std::numeric_limits<double>::infinity()});
  EXPECT_EQ(test::contents(out),
            "\n\tr = -0.125000 r(sqrt) = undefined r2 = 1000000.000000 |0.000000|undefined|"
            "undefined|");
  fclose(out);
}

}  // namespace
}  // namespace scab
