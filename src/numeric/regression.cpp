#include "numeric/regression.h"

#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/ordination.h"
#include "numeric/linalg.h"
#include "numeric/linalg_internal.h"
#include "numeric/stats.h"

double overfitFactorPCARegr = 2.0;

namespace {

// A predictor whose residual sum of squares, after the predictors already
// used, is at most this fraction of its own sum of squares is taken as a
// linear combination of them (tolerance 1 - R^2 of the predictor on the
// others).  Only collinearity to within rounding reaches it.
constexpr double kCollinearity = 1e-10;

// Least squares of Y (n x p) on X (n x q) by the normal equations on centred
// columns.  Neither Y nor X is modified.  Choices for data the normal
// equations cannot take as they stand:
// - Means are those of the non-missing values (in both precisions); a term
//   with a missing factor is left out of the cross products, and a missing
//   predictor value is predicted as if it were its column mean.
// - A predictor that is constant, or a linear combination of predictors
//   already used (always the case for some of them when there are more
//   predictors than rows), contributes nothing: its coefficient is 0, after
//   the elimination has reported the singular matrix.  The others are fitted
//   as if it were absent.
// - A response of zero variance has R-square 0.  R-square is computed over
//   the rows where the response is present.
// - With no predictor (q = 0) Yhat is the column means of Y.
void RegressionCore(int n, int p, int q, double** Y, double** X, double** B, double* b0,
                    double** Yhat, double* R2, double* SStot) {
  if (n < 0) n = 0;
  std::vector<double> ym(p > 0 ? p : 0), xm(q > 0 ? q : 0);
  for (int j = 0; j < p; j++) ym[j] = ColumnMeanMV(n, Y, j);
  for (int k = 0; k < q; k++) xm[k] = ColumnMeanMV(n, X, k);

  double** Yc = dim2Double(n, p);
  double** Xc = dim2Double(n, q);
  CenterColsMV(n, p, Y, Yc);
  CenterColsMV(n, q, X, Xc);

  std::vector<double> own(p > 0 ? p : 0);
  if (SStot == nullptr) SStot = own.data();
  std::vector<double> col(n > 0 ? n : 0);
  for (int j = 0; j < p; j++) {
    for (int i = 0; i < n; i++) col[i] = Yc[i][j];
    SStot[j] = SumOfSquaresDev(n, col.data());
  }

  if (q > 0) {
    double** Xt = dim2Double(q, n);
    double** XtX = dim2Double(q, q);
    double** XtY = dim2Double(q, p);
    TransposeMatrix(n, q, Xc, Xt);
    if (MatrixProd(q, n, n, q, Xt, Xc, XtX) != 0 || MatrixProd(q, n, n, p, Xt, Yc, XtY) != 0)
      printf("Matrices are not compatible");
    double** a = dim2Double(q + 1, q + 1);
    double** b = dim2Double(q + 1, p + 1);
    Convertn_n1(q, q, XtX, a);
    Convertn_n1(q, p, XtY, b);
    std::vector<double> tol(q + 1, 0.0);
    for (int k = 0; k < q; k++) tol[k + 1] = kCollinearity * std::fabs(XtX[k][k]);
    GaussJordan(a, q, b, p, tol.data(), true);
    Convertn1_n(q, p, b, B);
    free2D(a, q + 1);
    free2D(b, q + 1);
    free2D(XtY, q);
    free2D(XtX, q);
    free2D(Xt, q);
  }

  for (int j = 0; j < p; j++) {
    double s = ym[j];
    for (int k = 0; k < q; k++) s -= B[k][j] * xm[k];
    b0[j] = s;
  }

  // X restored from its centred copy; a missing value takes the column mean.
  double** Xr = dim2Double(n, q);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < q; k++) Xr[i][k] = IsMissing(Xc[i][k]) ? xm[k] : Xc[i][k] + xm[k];
  if (q > 0) {
    MatrixProd(n, q, q, p, Xr, B, Yhat);
  } else {
    for (int i = 0; i < n; i++)
      for (int j = 0; j < p; j++) Yhat[i][j] = 0.0;
  }

  for (int j = 0; j < p; j++) {
    int k = 0;
    for (int i = 0; i < n; i++)
      if (!IsMissing(Y[i][j])) col[k++] = Yhat[i][j];
    double ssReg = SumOfSquaresDev(k, col.data());
    R2[j] = SStot[j] > 0.0 ? ssReg / SStot[j] : 0.0;
    for (int i = 0; i < n; i++) Yhat[i][j] += b0[j];
  }

  free2D(Xr, n);
  free2D(Xc, n);
  free2D(Yc, n);
}

double** ToDouble(int n, int p, float** X) {
  double** D = dim2Double(n, p);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) D[i][j] = X[i][j];
  return D;
}

}  // namespace

// Nothing is printed: the printing arguments are accepted and ignored.
void regression(int n, int p, int q, double** Y, double** X, double** B, double* b0,
                double** Yhat, double* R2, double* SStot, bool /*print*/, FILE* /*stream*/,
                int /*language*/, bool /*printData*/) {
  RegressionCore(n, p, q, Y, X, B, b0, Yhat, R2, SStot);
}

void regression(int n, int p, int q, float** Y, float** X, double** B, double* b0,
                double** Yhat, double* R2, double* SStot, bool /*print*/, FILE* /*stream*/,
                int /*language*/, bool /*printData*/) {
  double** Yd = ToDouble(n, p, Y);
  double** Xd = ToDouble(n, q, X);
  RegressionCore(n, p, q, Yd, Xd, B, b0, Yhat, R2, SStot);
  free2D(Xd, n);
  free2D(Yd, n);
}

void regression(int n, int p, int q, double** Y, double** X, double** B, double* b0,
                double** Yhat, double* R2) {
  RegressionCore(n, p, q, Y, X, B, b0, Yhat, R2, nullptr);
}

void regression(int n, int p, int q, float** Y, float** X, double** B, double* b0,
                double** Yhat, double* R2) {
  regression(n, p, q, Y, X, B, b0, Yhat, R2, nullptr, false, nullptr, 0, false);
}

// Res may be Y itself.  A missing response stays missing in Res.
void Regression_ResidualsSelect(int n, int p, int q, double** Y, double** X, double** Res,
                                const int* select) {
  if (n < 1 || p < 1) return;
  int qs = 0;
  for (int k = 0; k < q; k++)
    if (select == nullptr || select[k] == 1) qs++;
  double** Xs = dim2Double(n, qs);
  for (int i = 0; i < n; i++)
    for (int k = 0, c = 0; k < q; k++)
      if (select == nullptr || select[k] == 1) Xs[i][c++] = X[i][k];
  double** B = dim2Double(qs, p);
  double** Yhat = dim2Double(n, p);
  std::vector<double> b0(p), R2(p);
  RegressionCore(n, p, qs, Y, Xs, B, b0.data(), Yhat, R2.data(), nullptr);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Res[i][j] = IsMissing(Y[i][j]) ? kMissing : Y[i][j] - Yhat[i][j];
  free2D(Yhat, n);
  free2D(B, qs);
  free2D(Xs, n);
}

// The component scores come from the principal components of the selected
// predictors (covariances for option 1, correlations for any other option).
// The number of components used is capped at (n - 2) / overfitFactor; a
// factor that is not positive sets no cap beyond the components kept, and
// fewer than 3 rows leave no component (residuals are then the centred
// responses).
int PCARegressionScores(int n, int q, double** X, const int* select, int option,
                        double overfitFactor, double** S) {
  if (n < 1) return 0;
  int qs = 0;
  for (int k = 0; k < q; k++)
    if (select == nullptr || select[k] == 1) qs++;
  // Variables as rows.
  double** V = dim2Double(qs, n);
  for (int k = 0, c = 0; k < q; k++)
    if (select == nullptr || select[k] == 1) {
      for (int i = 0; i < n; i++) V[c][i] = X[i][k];
      c++;
    }
  int reseCode = option == 1 ? 22 : 17;
  double** T = dim2Double(qs, n);
  if (option == 1) {
    CenterRowsCovMV(qs, n, V, T);
  } else {
    CenterRowsMV(qs, n, V, T);
    NormalizeRowsMV(qs, n, T, T);
  }
  double** C = dim2Double(qs, qs);
  CrossProductMV(qs, n, T, C);
  UpperToLowerMatrix(qs, C);

  double** scores = dim2Double(qs, n);
  int kept = qs > 0 ? OrdinationLib_Scores(qs, n, V, C, scores, 2, reseCode, 1) : 0;

  int cap = kept;
  if (overfitFactor > 0.0) {
    double limit = (n - 2) / overfitFactor;
    cap = limit < 0.0 ? 0 : (limit < kept ? static_cast<int>(limit) : kept);
  }
  if (cap > kept) cap = kept;
  for (int i = 0; i < n; i++)
    for (int a = 0; a < cap; a++) S[i][a] = scores[a][i];
  free2D(scores, qs);
  free2D(C, qs);
  free2D(T, qs);
  free2D(V, qs);
  return cap;
}

void PCA_Regression_ResidualsSelect(int n, int p, int q, double** Y, double** X, double** Res,
                                    const int* select, int option, double overfitFactor) {
  if (n < 1 || p < 1) return;
  double** S = dim2Double(n, q > 0 ? q : 1);
  const int cap = PCARegressionScores(n, q, X, select, option, overfitFactor, S);
  Regression_ResidualsSelect(n, p, cap, Y, S, Res, nullptr);
  free2D(S, n);
}

// The pairs are regressed in single precision, and the residual is the
// response as regressed (rounded to single precision) less its prediction,
// so that the residuals of each fit sum to 0.  Res may be B itself.  A
// missing element of B stays missing.
void ResidualsMatrixRegression(int n, double** A, double** B, double** Res) {
  if (n < 2) return;
  int m = n * (n - 1) / 2;
  float** y = dim2Dfloat(m, 1);
  float** x = dim2Dfloat(m, 1);
  for (int i = 0, r = 0; i < n; i++)
    for (int j = i + 1; j < n; j++, r++) {
      y[r][0] = static_cast<float>(B[i][j]);
      x[r][0] = static_cast<float>(A[i][j]);
    }
  double** coef = dim2Double(1, 1);
  double** yhat = dim2Double(m, 1);
  double b0 = 0.0, r2 = 0.0;
  regression(m, 1, 1, y, x, coef, &b0, yhat, &r2);
  for (int i = 0, r = 0; i < n; i++)
    for (int j = i + 1; j < n; j++, r++)
      Res[i][j] = IsMissing(y[r][0]) ? kMissing : static_cast<double>(y[r][0]) - yhat[r][0];
  free2D(yhat, m);
  free2D(coef, 1);
  free2D(x, m);
  free2D(y, m);
}
