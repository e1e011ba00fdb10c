#include <gtest/gtest.h>
#include <gsl/gsl_eigen.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "matrix_fixture.h"
#include "numeric/regression.h"

// x = (1, 2, 3, 4), y = (2, 3, 5, 6): means 2.5 and 4, Sxy = 7, Sxx = 5,
// Syy = 10.  B = Sxy / Sxx = 1.4, b0 = 4 - 1.4 * 2.5 = 0.5,
// R2 = Sxy^2 / (Sxx Syy) = 0.98.
TEST(Regression, OnePredictorByHand) {
  Mat X{{1}, {2}, {3}, {4}}, Y{{2}, {3}, {5}, {6}}, B(1, 1), Yhat(4, 1);
  double b0, R2, SS;
  regression(4, 1, 1, Y, X, B, &b0, Yhat, &R2, &SS, false, nullptr, 0, false);
  EXPECT_NEAR(B[0][0], 1.4, 1e-12);
  EXPECT_NEAR(b0, 0.5, 1e-12);
  EXPECT_NEAR(R2, 0.98, 1e-12);
  EXPECT_NEAR(SS, 10, 1e-12);
  EXPECT_NEAR(Yhat[3][0], 0.5 + 1.4 * 4, 1e-12);
  EXPECT_EQ(X[0][0], 1);  // predictors left as they were
}

// y1 = 1 + 2 x1 - 3 x2 and y2 = x1 + x2 exactly.
TEST(Regression, ExactLinearResponsesInBothPrecisions) {
  const double x[6][2] = {{1, 0}, {2, 1}, {0, 3}, {4, 1}, {5, 5}, {3, 2}};
  Mat X(6, 2), Y(6, 2), B(2, 2), Yhat(6, 2), Res(6, 2);
  float** Xf = dim2Dfloat(6, 2);
  float** Yf = dim2Dfloat(6, 2);
  for (int i = 0; i < 6; i++) {
    X[i][0] = Xf[i][0] = static_cast<float>(x[i][0]);
    X[i][1] = Xf[i][1] = static_cast<float>(x[i][1]);
    Y[i][0] = Yf[i][0] = static_cast<float>(1 + 2 * x[i][0] - 3 * x[i][1]);
    Y[i][1] = Yf[i][1] = static_cast<float>(x[i][0] + x[i][1]);
  }
  double b0[2], R2[2];
  for (int precision = 0; precision < 2; precision++) {
    if (precision == 0)
      regression(6, 2, 2, Y, X, B, b0, Yhat, R2);
    else
      regression(6, 2, 2, Yf, Xf, B, b0, Yhat, R2);
    EXPECT_NEAR(B[0][0], 2, 1e-12);
    EXPECT_NEAR(B[1][0], -3, 1e-12);
    EXPECT_NEAR(B[1][1], 1, 1e-12);
    EXPECT_NEAR(b0[0], 1, 1e-12);
    EXPECT_NEAR(b0[1], 0, 1e-12);
    EXPECT_NEAR(R2[0], 1, 1e-12);
    EXPECT_NEAR(R2[1], 1, 1e-12);
  }
  Regression_ResidualsSelect(6, 2, 2, Y, X, Res, nullptr);
  for (int i = 0; i < 6; i++) EXPECT_NEAR(Res[i][0], 0, 1e-12);
  free2D(Xf, 6);
  free2D(Yf, 6);
}

TEST(Regression, DegenerateInputsGiveDefinedValues) {
  // A constant predictor contributes nothing: the fit is the one on x alone.
  Mat X{{1, 7}, {2, 7}, {3, 7}, {4, 7}}, Y{{2}, {3}, {5}, {6}}, B(2, 1), Yhat(4, 1);
  double b0, R2;
  testing::internal::CaptureStderr();
  regression(4, 1, 2, Y, X, B, &b0, Yhat, &R2);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "gaussj: Singular Matrix-2");
  EXPECT_NEAR(B[0][0], 1.4, 1e-12);
  EXPECT_EQ(B[1][0], 0);
  EXPECT_NEAR(R2, 0.98, 1e-12);

  // More predictors than rows: a saturated fit, residuals 0.
  Mat Xw{{1, 0, 2, 5, 1}, {3, 1, 0, 2, 2}, {0, 4, 1, 1, 3}}, Yw{{1}, {5}, {2}}, Res(3, 1);
  testing::internal::CaptureStderr();
  Regression_ResidualsSelect(3, 1, 5, Yw, Xw, Res, nullptr);
  testing::internal::GetCapturedStderr();
  for (int i = 0; i < 3; i++) EXPECT_NEAR(Res[i][0], 0, 1e-9);
}

// Twelve units, eight predictors; the responses are the predictors
// themselves.  On the first k covariance components the residual sum of
// squares is the sum of the 8 - k smallest eigenvalues of Xc'Xc, computed
// here straight from the centred data.  (n - 2) / 2 = 5 components are used
// with the default factor, all eight with factor 1 (cap 10).
TEST(Regression, PrincipalComponentRegressionCapsTheComponents) {
  const int n = 12, q = 8;
  Mat X(n, q), Res(n, q);
  unsigned seed = 7;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < q; j++) {
      seed = seed * 1103515245u + 12345u;
      X[i][j] = ((seed >> 16) % 1000) / 100.0;
    }
  gsl_matrix* S = gsl_matrix_calloc(q, q);
  gsl_vector* ev = gsl_vector_alloc(q);
  gsl_eigen_symm_workspace* w = gsl_eigen_symm_alloc(q);
  std::vector<double> mean(q, 0.0);
  for (int i = 0; i < n; i++)
    for (int a = 0; a < q; a++) mean[a] += X[i][a] / n;
  for (int i = 0; i < n; i++)
    for (int a = 0; a < q; a++)
      for (int b = 0; b < q; b++) *gsl_matrix_ptr(S, a, b) += (X[i][a] - mean[a]) * (X[i][b] - mean[b]);
  gsl_eigen_symm(S, ev, w);
  std::vector<double> lambda(ev->data, ev->data + q);
  std::sort(lambda.begin(), lambda.end());
  gsl_eigen_symm_free(w);
  gsl_vector_free(ev);
  gsl_matrix_free(S);
  auto rss = [&] {
    double s = 0;
    for (int i = 0; i < n; i++)
      for (int j = 0; j < q; j++) s += Res[i][j] * Res[i][j];
    return s;
  };
  EXPECT_EQ(overfitFactorPCARegr, 2.0);
  PCA_Regression_ResidualsSelect(n, q, q, X, X, Res, nullptr, 1, overfitFactorPCARegr);
  EXPECT_NEAR(rss(), lambda[0] + lambda[1] + lambda[2], 1e-9);
  PCA_Regression_ResidualsSelect(n, q, q, X, X, Res, nullptr, 1, 1.0);
  EXPECT_NEAR(rss(), 0, 1e-9);
  PCA_Regression_ResidualsSelect(n, q, q, X, X, Res, nullptr, 2, 1.0);
  EXPECT_NEAR(rss(), 0, 1e-9);
}

// B = 2 A + 1 above the diagonal, exact in single precision, except for one
// element raised by 1.  Pairs taken row by row: x = (1, 2, 4, 3, 5, 8),
// mean 23/6, Sxx = 119 - 529/6 = 185/6.  A unit deviation at x = 1 leaves the
// residual 1 - h with leverage h = 1/6 + (17/6)^2 / (185/6) = 1/6 + 289/1110,
// i.e. 636/1110; the other residuals are -H e1 and all of them sum to 0.
// The lower triangle is not written, and Res may be B itself.
TEST(Regression, MatrixElementResiduals) {
  Mat A{{0, 1, 2, 4}, {0, 0, 3, 5}, {0, 0, 0, 8}, {0, 0, 0, 0}};
  Mat B(4, 4);
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) B[i][j] = j > i ? 2 * A[i][j] + 1 : -7;
  B[0][1] += 1;
  ResidualsMatrixRegression(4, A, B, B);
  double sum = 0;
  for (int i = 0; i < 4; i++)
    for (int j = i + 1; j < 4; j++) sum += B[i][j];
  EXPECT_NEAR(sum, 0, 1e-5);
  EXPECT_NEAR(B[0][1], 636.0 / 1110, 1e-5);
  EXPECT_EQ(B[1][0], -7);
}
