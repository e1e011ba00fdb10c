#include <gtest/gtest.h>

#include <cmath>

#include "matrix_fixture.h"
#include "numeric/stats.h"

// Four units (rows) by three variables (columns), one value missing:
//   1   2    4
//   2  -999  1
//   3   5    3
//   6   9    8
// Worked by hand:
//   means 3, 16/3 (three values), 4; sums of squared deviations 14, 222/9, 26.
//   Pairs of column 0 and 2 use all rows: deviations (-2,-1,0,3), (0,-3,-1,4),
//     Sxy = 15, r = 15 / sqrt(14 * 26).
//   Pairs with column 1 use rows 0, 2, 3: column 0 there is (1,3,6), mean 10/3,
//     deviations (-7,-1,8)/3, Sxx = 114/9; column 1 deviations (-10,-1,11)/3,
//     Syy = 222/9; Sxy = 159/9, r = 159 / sqrt(114 * 222), covariance 159/18.
//     Column 2 there is (4,3,8), mean 5, deviations (-1,-2,3), S = 14;
//     Sxy with column 1 = (10 + 2 + 33) / 3 = 15, r = 15 / sqrt(222/9 * 14),
//     covariance 15/2.
static Mat Sample() { return Mat{{1, 2, 4}, {2, -999, 1}, {3, 5, 3}, {6, 9, 8}}; }

TEST(PairwiseStatistics, FourByThreeWithOneMissingValue) {
  Mat X = Sample();
  Mat Z(4, 3);
  ZStandardizationColsMV(4, 3, X, Z);  // divisor sqrt(SS / 4), the full row count
  EXPECT_NEAR(Z[3][1], (11.0 / 3) / std::sqrt(222.0 / 9 / 4), 1e-12);
  EXPECT_EQ(Z[1][1], -999);

  // Variables as rows for the row-by-row association matrices.
  Mat T(3, 4);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 3; j++) T[j][i] = X[i][j];
  Mat R(3, 3), V(3, 3);
  CorrelationMV(3, 4, T, R);
  CovarianceMV(3, 4, T, V);
  double r01 = 159 / std::sqrt(114.0 * 222), r02 = 15 / std::sqrt(14.0 * 26),
         r12 = 15 / std::sqrt(222.0 / 9 * 14);
  EXPECT_NEAR(R[0][1], r01, 1e-12);
  EXPECT_NEAR(R[0][2], r02, 1e-12);
  EXPECT_NEAR(R[1][2], r12, 1e-12);
  for (int i = 0; i < 3; i++) {
    EXPECT_NEAR(R[i][i], 1.0, 1e-12);
    for (int k = 0; k < 3; k++) EXPECT_EQ(R[i][k], R[k][i]);
  }
  EXPECT_NEAR(V[0][1], 159.0 / 18, 1e-12);
  EXPECT_NEAR(V[1][2], 7.5, 1e-12);
  EXPECT_NEAR(V[1][1], 222.0 / 9 / 2, 1e-12);
  EXPECT_NEAR(V[0][0], 14.0 / 3, 1e-12);

  double x[] = {1, -999, 2};
  EXPECT_DOUBLE_EQ(SumOfSquaresDev(3, x), 0.5);
}

// Columns 0 and 2 alone hold no missing value: the complete path gives the
// same r and the covariance 15 / 3.
TEST(PairwiseStatistics, CompletePath) {
  Mat X{{1, 2, 3, 6}, {4, 1, 3, 8}}, R(2, 2), V(2, 2);
  CorrelationMV(2, 4, X, R);
  CovarianceMV(2, 4, X, V);
  EXPECT_NEAR(R[0][1], 15 / std::sqrt(14.0 * 26), 1e-12);
  EXPECT_NEAR(V[1][0], 5.0, 1e-12);
  EXPECT_NEAR(Correlation2VecMV(4, X[0], X[1]), 15 / std::sqrt(14.0 * 26), 1e-12);
  EXPECT_NEAR(Covariance2VecMV(4, X[0], X[1]), 5.0, 1e-12);
}

// A constant row has deviations of exactly 0, even for values such as 0.1
// whose rounded mean differs from them; a correlation with it is 0 on both
// paths, never NaN nor a spurious +-1.
TEST(DegenerateData, ConstantRowsAndColumnsGiveZero) {
  Mat X{{0.1, 0.1, 0.1, 0.1}, {1, 2, 3, 5}};
  Mat R(2, 2);
  CorrelationMV(2, 4, X, R);
  EXPECT_EQ(R[0][1], 0.0);
  EXPECT_EQ(R[0][0], 0.0);
  X[1][2] = -999;
  CorrelationMV(2, 4, X, R);
  EXPECT_EQ(R[0][1], 0.0);
  Mat Z(2, 4);
  ZStandardizationRowsMV(2, 4, X, Z);
  for (int j = 0; j < 4; j++) EXPECT_EQ(Z[0][j], 0.0);

  Mat C{{0.3, 7}, {0.3, -999}, {0.3, 7}};
  Mat Y(3, 2);
  RangeColsAdjMV(3, 2, Y, C);
  for (int i = 0; i < 3; i++) EXPECT_EQ(Y[i][0], 0.0);
  EXPECT_EQ(Y[1][1], -999);
  Mat W{{0, 0, 0}};
  UnitSumRowsAdjMV(1, 3, W, W);
  EXPECT_EQ(W[0][0], 0.0);
  double one[] = {4};
  EXPECT_EQ(Covariance2VecMV(1, one, one), 0.0);
}

// Table (1 1 / 0 2) with a zero row and a zero column added: row totals 2, 2,
// column totals 1, 3, grand total 4.  D = (x T - r c) / (sqrt(r c) T):
// (4 - 2) / (4 sqrt 2), (4 - 6) / (4 sqrt 6), -2 / (4 sqrt 2), (8 - 6) / (4 sqrt 6).
TEST(Transformations, DeviationsFromExpectationAndScalings) {
  Mat X{{1, 1, 0}, {0, 2, 0}, {0, 0, 0}};
  Mat D(3, 3);
  DeviationsExpectationsMV(3, 3, X, D);
  EXPECT_NEAR(D[0][0], 2 / (4 * std::sqrt(2.0)), 1e-12);
  EXPECT_NEAR(D[0][1], -2 / (4 * std::sqrt(6.0)), 1e-12);
  EXPECT_NEAR(D[1][0], -2 / (4 * std::sqrt(2.0)), 1e-12);
  EXPECT_NEAR(D[1][1], 2 / (4 * std::sqrt(6.0)), 1e-12);
  EXPECT_EQ(D[0][2], 0.0);
  EXPECT_EQ(D[2][1], 0.0);

  // Column (1, 2, 3): mean 2, SS 2, values (-1, 0, 1) / sqrt 2 in single precision.
  Mat A{{1, -999}, {2, 5}, {3, 5}};
  Mat Y{{7, 7}, {7, 7}, {7, 7}};
  CorrAdj(3, 2, Y, A);
  EXPECT_EQ(Y[2][0], static_cast<double>(static_cast<float>(1 / std::sqrt(2.0))));
  EXPECT_EQ(Y[0][1], 7);  // missing position untouched
  EXPECT_EQ(Y[1][1], 0);  // constant column
}
