#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "matrix_fixture.h"
#include "numeric/linalg.h"

TEST(MatrixProducts, MissingValueRules) {
  Mat A{{-999, 5}, {0, 0}};
  Mat B{{3, 1}, {0, 2}};
  Mat C{{7, 7}, {7, 7}};
  EXPECT_EQ(MatrixProd(2, 2, 3, 2, A, B, C), 1);  // inner sizes differ
  EXPECT_EQ(C[0][0], 7);
  // Row 0: -999*3 skipped + 5*0 = 0 with a skipped term -> -999; -999*1
  // skipped + 5*2 = 10.  Row 1: sums of non-missing zeros stay 0.
  EXPECT_EQ(MatrixProdMV(2, 2, 2, 2, A, B, C), 0);
  EXPECT_EQ(C[0][0], -999);
  EXPECT_EQ(C[0][1], 10);
  EXPECT_EQ(C[1][0], 0);

  // Relative abundances (0.25, 0.75) of two OTUs with trait values 2 and 4,
  // the second OTU excluded: sum w A B = 0.5, rescaled by sum A / sum w A =
  // 1 / 0.25 gives 2, the mean trait of the included OTU.
  Mat W{{0.25, 0.75}};
  Mat T{{2, 10}, {4, 20}};
  Mat R(1, 2);
  int w[] = {1, 0}, all[] = {1, 1}, second[] = {0, 1};
  MatrixProdMV_Weight(1, 2, 2, 2, W, T, R, w, true);
  EXPECT_DOUBLE_EQ(R[0][0], 2);
  MatrixProdMV_Weight(1, 2, 2, 2, W, T, R, all, true);
  EXPECT_DOUBLE_EQ(R[0][1], 0.25 * 10 + 0.75 * 20);
  // Only column 1 selected: (0.25*10 + 0.75*20) / (0.25 + 0.75).
  MatrixProdSelectMV_Adjust_Weight(1, 2, 2, 2, W, T, R, second, all);
  EXPECT_EQ(R[0][0], 0);
  EXPECT_DOUBLE_EQ(R[0][1], 17.5);
  // Adjusted and weighted, no -999 rule: an all-missing term stays 0.
  Mat M{{-999, -999}};
  MatrixProdSelectMV_Adjust_Weight(1, 2, 2, 2, M, T, R, all, w, true);
  EXPECT_EQ(R[0][0], 0);
}

TEST(GaussJordan, InverseSolutionAndSingularMatrices) {
  const double v[3][3] = {{0, 2, 1}, {2, 5, 3}, {1, 3, 6}};  // zero first pivot on the diagonal
  Mat a(4, 4), b(4, 2);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) a[i + 1][j + 1] = v[i][j];
  // Right-hand side A * (1, -2, 3).
  const double x[3] = {1, -2, 3};
  for (int i = 0; i < 3; i++) b[i + 1][1] = v[i][0] * x[0] + v[i][1] * x[1] + v[i][2] * x[2];
  gaussj(a, 3, b, 1);
  for (int i = 0; i < 3; i++) {
    EXPECT_NEAR(b[i + 1][1], x[i], 1e-12);
    for (int j = 0; j < 3; j++) {
      double s = 0;
      for (int k = 0; k < 3; k++) s += v[i][k] * a[k + 1][j + 1];
      EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
    }
  }

  // Rank one: reported, elimination goes on, nothing becomes inf or NaN.
  Mat s{{0, 0, 0}, {0, 1, 2}, {0, 2, 4}};
  Mat c{{0, 0}, {0, 1}, {0, 2}};
  testing::internal::CaptureStderr();
  gaussj(s, 2, c, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "gaussj: Singular Matrix-2");
  for (int i = 1; i <= 2; i++) EXPECT_TRUE(std::isfinite(c[i][1]) && std::isfinite(s[i][i]));
  // All four elements tie for the pivot: the last one, (2, 2), is taken, so
  // the second unknown solves x1 + x2 = 1 and the first is the one left at 0.
  Mat t{{0, 0, 0}, {0, 1, 1}, {0, 1, 1}};
  Mat r{{0, 0}, {0, 1}, {0, 1}};
  testing::internal::CaptureStderr();
  gaussj(t, 2, r, 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(r[1][1], 0);
  EXPECT_EQ(r[2][1], 1);
  Mat nan{{0, 0}, {0, std::numeric_limits<double>::quiet_NaN()}};
  testing::internal::CaptureStderr();
  gaussj(nan, 1, c, 0);  // no usable pivot at all: must stay in bounds
  testing::internal::GetCapturedStderr();
}

// [[4, 2], [2, 3]] = L L' with L = [[2, 0], [1, sqrt 2]].
TEST(Cholesky, FactorAndFailure) {
  Mat a{{4, 2}, {2, 3}};
  double p[2];
  EXPECT_EQ(choldc(a, 2, p), 1);
  EXPECT_DOUBLE_EQ(p[0], 2);
  EXPECT_DOUBLE_EQ(p[1], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(a[1][0], 1);
  Mat b{{1, 2}, {2, 1}};
  testing::internal::CaptureStdout();
  EXPECT_EQ(choldc(b, 2, p), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\ncholdc failed");
}

TEST(SortAndRank, CarriesCompanionAndAveragesTies) {
  std::vector<double> x(101, 5.0), y(101);
  for (int i = 1; i <= 100; i++) y[i] = i;
  sort2(100, x.data(), y.data());
  std::vector<double> ys(y.begin() + 1, y.end());
  std::sort(ys.begin(), ys.end());
  for (int i = 0; i < 100; i++) ASSERT_EQ(ys[i], i + 1);

  // 1000 values with many ties: sorted, and each companion still names its value.
  unsigned seed = 12345;
  std::vector<double> v(1001), id(1001), orig(1001);
  for (int i = 1; i <= 1000; i++) {
    seed = seed * 1103515245u + 12345u;
    v[i] = orig[i] = (seed >> 16) % 50;
    id[i] = i;
  }
  sort2(1000, v.data(), id.data());
  for (int i = 1; i <= 1000; i++) {
    if (i > 1) {
      ASSERT_LE(v[i - 1], v[i]);
    }
    ASSERT_EQ(v[i], orig[static_cast<int>(id[i])]);
  }

  double w[] = {0, 1, 2, 2, 3}, s = -1;
  crank(4, w, &s);
  EXPECT_EQ(std::vector<double>(w + 1, w + 5), (std::vector<double>{1, 2.5, 2.5, 4}));
  EXPECT_EQ(s, 6);  // one group of t = 2 ties: 8 - 2
}

TEST(Support, NrerrorEndsTheProgram) {
  EXPECT_EXIT(nrerror("NSTACK too small in sort2."), testing::ExitedWithCode(1),
              "NSTACK too small in sort2.\nSorry, you have to quit and restart the program.\n");
}
