#include <gtest/gtest.h>

#include <cmath>

#include "multivariate/congruence.h"
#include "../numeric/matrix_fixture.h"

// Upper halves A: 1 2 3 and B: 2 1 6.  Means 2 and 3; deviations (-1,0,1) and
// (-1,-2,3): r = 4 / sqrt(2 * 14) = 0.7559289460.  The lower halves and
// diagonals hold junk that must not be read.
TEST(MatrixCorr, ThreeByThreeMantel) {
  Mat A = {{99, 1, 2}, {-5, 99, 3}, {7, 8, 99}};
  Mat B = {{-1, 2, 1}, {40, -1, 6}, {0, 3, -1}};
  EXPECT_NEAR(MatrixCorr(3, A, B), 4 / std::sqrt(28.0), 1e-12);
  // A missing element drops the pair from both means: (1,3) vs (2,6), r = 1.
  A[0][2] = -999;
  EXPECT_NEAR(MatrixCorr(3, A, B), 1, 1e-12);
  Mat neg = {{0, -2, -1}, {0, 0, -6}, {0, 0, 0}};
  EXPECT_NEAR(MatrixCorr(3, B, neg), -1, 1e-12);
  Mat flat = {{0, 4, 4}, {0, 0, 4}, {0, 0, 0}};
  EXPECT_EQ(MatrixCorr(3, B, flat), 0);
}

// (0.5 - 0.4*0.3) / (sqrt(1 - 0.09) sqrt(1 - 0.16)) = 0.38 / 0.8743 = 0.434634.
TEST(PartialCorrelation, FormulaAndDegenerateControl) {
  EXPECT_NEAR(PartialCorrelation(0.5, 0.4, 0.3), 0.38 / (std::sqrt(0.91) * std::sqrt(0.84)),
              1e-12);
  EXPECT_EQ(PartialCorrelation(0.5, 0.3, 1 - 1e-10), 0);
  EXPECT_NEAR(TwoCommunityCorr(2, 3), 1 - 1.0 / 3, 1e-15);
  EXPECT_EQ(TwoCommunityCorr(0, 0), 0);
}

// x = (1,2,3), y = (1,3,2): centred (-1,0,1) and (-1,1,0), total variances
// 2/2 = 1, C = x'y / 2 = 0.5: Procrustes 0.5; RV = (x'y)^2 / (x'x y'y) = 1/4.
// Against the two columns X = [x, y] with Y = x: X is divided by sqrt(2),
// C row = (2, 1) / sqrt(2) / 2, its singular value sqrt(0.5 + 0.125).
TEST(Congruence, ProcrustesAndRVOfTinyConfigurations) {
  Mat x = {{1}, {2}, {3}}, y = {{1}, {3}, {2}};
  EXPECT_NEAR(ProcrustesCoeff(3, 1, 1, x, y), 0.5, 1e-12);
  EXPECT_NEAR(RVcoeff(3, 1, 1, x, y), 0.25, 1e-12);
  Mat xy = {{1, 1}, {2, 3}, {3, 2}};
  EXPECT_NEAR(ProcrustesCoeff(3, 2, 1, xy, x), std::sqrt(0.625), 1e-12);
  EXPECT_NEAR(ProcrustesCoeff(3, 1, 2, x, xy), std::sqrt(0.625), 1e-12);
  EXPECT_EQ(xy[1][1], 3);  // inputs untouched

  // Identical configurations give 1; rotating by 30 degrees, scaling by 3 and
  // shifting change nothing in Procrustes.
  Mat p = {{0, 0}, {1, 0}, {0, 2}, {3, 1}};
  Mat q(4, 2);
  const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
  for (int i = 0; i < 4; i++) {
    q[i][0] = 3 * (c * p[i][0] - s * p[i][1]) + 5;
    q[i][1] = 3 * (s * p[i][0] + c * p[i][1]) - 2;
  }
  EXPECT_NEAR(ProcrustesCoeff(4, 2, 2, p, p), 1, 1e-12);
  EXPECT_NEAR(ProcrustesCoeff(4, 2, 2, p, q), 1, 1e-12);
  EXPECT_NEAR(RVcoeff(4, 2, 2, p, p), 1, 1e-12);
  EXPECT_NEAR(RVcoeff(4, 2, 2, p, q), 1, 1e-12);
  Mat flat = {{2, 2}, {2, 2}, {2, 2}, {2, 2}};
  EXPECT_EQ(RVcoeff(4, 2, 2, p, flat), 0);
}

// Z = (1,2,3,4); e = (1,-1,-1,1) and f = (1,-3,3,-1) are orthogonal to the
// constant, to Z and to each other.  The residuals of X = Z + e and Y = Z + f
// on Z are e and f: RV and Procrustes 0.  With Y = 2Z + e both residuals are
// e: 1.  Without the covariate, with Zc = Z - 2.5 (Zc'Zc = 5, e'e = 4,
// f'f = 20), RV = r^2 = 5^2 / ((5 + 4)(5 + 20)) = 1/9.
TEST(PartialMatrixCorrelation, ResidualsOnCovariates) {
  Mat Z = {{1}, {2}, {3}, {4}};
  Mat X(4, 1), Y(4, 1), Y2(4, 1);
  const double e[] = {1, -1, -1, 1}, f[] = {1, -3, 3, -1};
  for (int i = 0; i < 4; i++) {
    X[i][0] = Z[i][0] + e[i];
    Y[i][0] = Z[i][0] + f[i];
    Y2[i][0] = 2 * Z[i][0] + e[i];
  }
  EXPECT_NEAR(RVcoeff(4, 1, 1, X, Y), 1.0 / 9, 1e-12);
  EXPECT_NEAR(PartialMatrixCorrelation(4, 1, 1, X, Y, 3, 1.0, 1, 1, nullptr, Z.p), 0, 1e-9);
  EXPECT_NEAR(PartialMatrixCorrelation(4, 1, 1, X, Y, 2, 1.0, 1, 1, nullptr, Z.p), 0, 1e-9);
  EXPECT_NEAR(PartialMatrixCorrelation(4, 1, 1, X, Y2, 3, 1.0, 1, 1, nullptr, Z.p), 1, 1e-9);
  // A selection that leaves out the second covariate's only column.
  const int none[] = {0};
  EXPECT_NEAR(PartialMatrixCorrelation(4, 1, 1, X, Y2, 2, 1.0, 2, 1, nullptr, Z.p, 1, none, X.p),
              1, 1e-9);
  EXPECT_EQ(PartialMatrixCorrelation(4, 1, 1, X, Y, 1, 1.0, 1, 1, nullptr, Z.p), 0);
}
