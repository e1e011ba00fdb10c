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
