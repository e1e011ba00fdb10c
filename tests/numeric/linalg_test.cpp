#include <gtest/gtest.h>

#include <cmath>

#include "matrix_fixture.h"
#include "numeric/linalg.h"

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

// A crisp belonging (one 1 per row, mostly zeros) takes the sums over its
// non-zero elements: each element is the weighted total of its type's
// performances, with the scale adjustment over all present performances and
// -999 for a zero built with a skipped missing cell.
TEST(WeightedProducts, CrispBelongingSumsPerType) {
  const int m = 3, n = 8, g = 4;
  Mat A(m, n), C(n, g), got(m, g);
  const int type[8] = {0, 2, 1, 0, 3, 2, 0, 1};
  const int w[8] = {1, 1, 0, 1, 1, 1, 0, 1};
  const double a[3][8] = {
      {2, 0, 1, 3, 0, 5, 4, 0}, {0, -999, 0, 0, 0, 0, 1, 2}, {1, 1, 1, 1, 1, 1, 1, 1}};
  for (int i = 0; i < n; i++) C[i][type[i]] = 1.0;
  for (int c = 0; c < m; c++)
    for (int i = 0; i < n; i++) A[c][i] = a[c][i];
  for (const bool adjust : {false, true}) {
    MatrixProdMV_Weight(m, n, n, g, A, C, got, w, adjust);
    // Row 1: type 0 = 2 + 3 (OTU 7 weight 0), type 1 = 0 (OTU 3 weight 0),
    // type 2 = 5, type 3 = 0; adjust divides by (sum w a)/(sum a) = 10/15.
    const double f0 = adjust ? 10.0 / 15.0 : 1.0;
    EXPECT_DOUBLE_EQ(got[0][0], 5.0 / f0);
    EXPECT_EQ(got[0][1], 0.0);
    EXPECT_DOUBLE_EQ(got[0][2], 5.0 / f0);
    // Row 2: the missing cell of OTU 2 (type 2) marks every zero sum -999;
    // type 1 = 2 (OTU 8); totals 3, weighted 2.
    const double f1 = adjust ? 2.0 / 3.0 : 1.0;
    EXPECT_EQ(got[1][0], -999.0);
    EXPECT_DOUBLE_EQ(got[1][1], 2.0 / f1);
    EXPECT_EQ(got[1][2], -999.0);
    EXPECT_EQ(got[1][3], -999.0);
    // Row 3: type sizes counted with weights: 2, 1, 2, 1; adjust 6/8.
    const double f2 = adjust ? 6.0 / 8.0 : 1.0;
    const double want[4] = {2, 1, 2, 1};
    for (int t = 0; t < g; t++) EXPECT_DOUBLE_EQ(got[2][t], want[t] / f2);
  }
}
