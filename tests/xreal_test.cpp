#include "arith/xreal.h"

#include <gtest/gtest.h>

namespace scab {
namespace {

TEST(Xreal, ProductsAreFormedWithA64BitSignificandThenRounded) {
  EXPECT_EQ(rnd(xreal(3) * 0.1), 0x1.3333333333334p-2);
  EXPECT_EQ(rnd(xreal(6139) * 0.1), 0x1.32f3333333334p+9);
  EXPECT_EQ(rnd(xreal(19839) * 0.001), 0x1.3d6c8b4395810p+4);
  EXPECT_EQ(rnd(xreal(-5) * 0.1), -0.5);
  // The double product differs where the two roundings meet differently.
  volatile double factor = 0.1;
  EXPECT_NE(6139 * factor, rnd(xreal(6139) * 0.1));
}

TEST(Xreal, IntermediatesKeepTheirExtraBits) {
  // 2^53 + 1 cannot be a double, but it lives in an expression: (2^53 + 1) - 2^53 = 1.
  const double big = 0x1p53;
  EXPECT_EQ(rnd(xreal(big) + 1.0 - big), 1.0);
  // Stored between the two operations, it is lost.
  const double stored = rnd(xreal(big) + 1.0);
  EXPECT_EQ(rnd(xreal(stored) - big), 0.0);
  // A sum of products keeps each product to 64 bits: 1 + 2^-60 squared, minus 1.
  const double a = 1.0 + 0x1p-30;
  EXPECT_EQ(rnd(xreal(a) * a - 1.0), 0x1p-29 + 0x1p-60);
}

TEST(Xreal, ZeroTestAndLibraryFunctions) {
  EXPECT_TRUE((xreal(2.5) - 2.5).is_zero());
  EXPECT_FALSE((xreal(0x1p53) + 1.0 - 0x1p53).is_zero());
  EXPECT_EQ(sqrt_d(xreal(2.0) * 8.0), 4.0);
  EXPECT_EQ(abs_d(xreal(1.0) - 3.5), 2.5);
  EXPECT_EQ(rnd(xreal(7) / 2), 3.5);
}

}  // namespace
}  // namespace scab
