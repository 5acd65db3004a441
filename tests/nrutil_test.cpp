#include "raster/nrutil.h"

#include <gtest/gtest.h>

#include "test_support.h"

namespace scab {
namespace {

TEST(Nrutil, MatricesAreZeroFilledWithSeparateRows) {
  double** d = dmatrice(3, 2);
  ASSERT_NE(d, nullptr);
  for (int i = 0; i < 2; i++) {
    for (int j = 0; j < 3; j++)
      EXPECT_EQ(d[i][j], 0.0);
  }
  for (int j = 0; j < 3; j++)
    d[0][j] = 7.0;
  for (int j = 0; j < 3; j++)
    EXPECT_EQ(d[1][j], 0.0);
  EXPECT_NE(d[0], d[1]);
  frdmatrice(d, 2);

  unsigned char** uc = ucmatrice(5, 4);
  unsigned short** us = usmatrice(5, 4);
  short** s = smatrice(5, 4);
  int** im = imatrice(5, 4);
  float** f = fmatrice(5, 4);
  long double** ld = ldmatrice(5, 4);
  ASSERT_TRUE(uc && us && s && im && f && ld);
  EXPECT_EQ(uc[3][4] + us[3][4] + s[3][4] + im[3][4], 0);
  EXPECT_EQ(f[3][4], 0.0f);
  EXPECT_EQ(ld[3][4], 0.0L);
  frucmatrice(uc, 4);
  frusmatrice(us, 4);
  frsmatrice(s, 4);
  frimatrice(im, 4);
  frfmatrice(f, 4);
  frldmatrice(ld, 4);
}

TEST(Nrutil, VectorsAreZeroFilled) {
  double* d = dvecteur(10);
  int* i = ivecteur(10);
  unsigned char* uc = ucvecteur(10);
  unsigned short* us = usvecteur(10);
  short* s = svecteur(10);
  float* f = fvecteur(10);
  ASSERT_TRUE(d && i && uc && us && s && f);
  EXPECT_EQ(d[9] + i[9] + uc[9] + us[9] + s[9] + f[9], 0.0);
  frdvecteur(d);
  frivecteur(i);
  frucvecteur(uc);
  frusvecteur(us);
  frsvecteur(s);
  frfvecteur(f);
}

TEST(Nrutil, AFailedRowGivesNullAndReleasesWhatWasObtained) {
  // Call 1 is the table of row pointers, calls 2 to 5 the four rows.
  for (int fail = 1; fail <= 5; fail++) {
    test::AllocatorSpy allocator(fail);
    int** m = imatrice(3, 4);
    EXPECT_EQ(m, nullptr) << "failing call " << fail;
    EXPECT_EQ(allocator.calls(), fail) << "no row is attempted after a failure";
    EXPECT_EQ(allocator.live_blocks(), 0u) << "blocks kept after failing call " << fail;
  }
}

TEST(Nrutil, ReleaseGivesBackEveryBlock) {
  test::AllocatorSpy allocator;
  unsigned short** m = usmatrice(2, 3);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(allocator.live_blocks(), 4u);
  frusmatrice(m, 3);
  EXPECT_EQ(allocator.live_blocks(), 0u);
}

TEST(Nrutil, DimensionsBelowOneOrBeyondTheAddressSpaceGiveNull) {
  EXPECT_EQ(dmatrice(0, 3), nullptr);
  EXPECT_EQ(dmatrice(3, 0), nullptr);
  EXPECT_EQ(imatrice(-1, 3), nullptr);
  EXPECT_EQ(dvecteur(0), nullptr);
  EXPECT_EQ(dvecteur(-5), nullptr);
}

}  // namespace
}  // namespace scab
