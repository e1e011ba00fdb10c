// Agreement between two descriptions of the same objects: matrix
// correlation, partial correlation, Procrustes and RV coefficients.
#include "multivariate/congruence.h"

#include <cmath>
#include <cstdarg>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/ordination.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "numeric/stats.h"

double MatrixCorr(int n, double** A, double** B) {
  if (n < 2) return 0.0;
  double sa = 0.0, sb = 0.0;
  long c = 0;
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) {
      if (IsMissing(A[i][j]) || IsMissing(B[i][j])) continue;
      sa += A[i][j];
      sb += B[i][j];
      c++;
    }
  if (c == 0) return 0.0;
  const double ma = sa / c, mb = sb / c;
  double saa = 0.0, sbb = 0.0, sab = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) {
      if (IsMissing(A[i][j]) || IsMissing(B[i][j])) continue;
      const double da = A[i][j] - ma, db = B[i][j] - mb;
      saa += da * da;
      sbb += db * db;
      sab += da * db;
    }
  if (saa == 0.0 || sbb == 0.0) return 0.0;
  return sab / std::sqrt(saa * sbb);
}

namespace {
// Pearson correlation of the pairs of values that forEach(f) hands to f, in
// its order, the pairs with a missing value left out: the means first, then
// the sums of the deviations.
template <class ForEach>
double CorrelationOfPairs(ForEach forEach) {
  double sa = 0.0, sb = 0.0;
  long c = 0;
  forEach([&](double x, double y) {
    if (IsMissing(x) || IsMissing(y)) return;
    sa += x;
    sb += y;
    c++;
  });
  if (c == 0) return 0.0;
  const double ma = sa / c, mb = sb / c;
  double saa = 0.0, sbb = 0.0, sab = 0.0;
  forEach([&](double x, double y) {
    if (IsMissing(x) || IsMissing(y)) return;
    const double da = x - ma, db = y - mb;
    saa += da * da;
    sbb += db * db;
    sab += da * db;
  });
  if (saa == 0.0 || sbb == 0.0) return 0.0;
  return sab / std::sqrt(saa * sbb);
}
}  // namespace

double PairsCorr(long n, const double* a, const double* b) {
  return CorrelationOfPairs([&](auto&& f) {
    for (long k = 0; k < n; k++) f(a[k], b[k]);
  });
}

double PermutedPairsCorr(int n, double** A, const int* list, double** B) {
  return CorrelationOfPairs([&](auto&& f) {
    for (int i = 0; i < n; i++) {
      const double* b = B[i];
      if (list == nullptr) {
        const double* a = A[i];
        for (int j = i + 1; j < n; j++) f(a[j], b[j]);
      } else {
        const double* a = A[list[i] - 1];
        for (int j = i + 1; j < n; j++) f(a[list[j] - 1], b[j]);
      }
    }
  });
}

// A controlling correlation of 1 (or -1) within 1e-9, or one whose square
// reaches 1 through rounding, leaves nothing to partial out: 0.
double PartialCorrelation(double rXY, double rXZ, double rYZ) {
  if (std::fabs(std::fabs(rXZ) - 1.0) < 1e-9 || std::fabs(std::fabs(rYZ) - 1.0) < 1e-9)
    return 0.0;
  const double vY = 1.0 - rYZ * rYZ, vX = 1.0 - rXZ * rXZ;
  if (!(vY > 0.0) || !(vX > 0.0)) return 0.0;
  return (rXY - rXZ * rYZ) / (std::sqrt(vY) * std::sqrt(vX));
}

// When both resemblances are 0 (so max(a, b) is 0) the two matrices do not
// vary and, as for constant matrices in MatrixCorr, the value is 0.
double TwoCommunityCorr(double a, double b) {
  const double m = Fmax(a, b);
  if (m == 0.0) return 0.0;
  return 1.0 - std::fabs(a - b) / m;
}

double CommunityMatrixCorr(int m, double** A, double** B) {
  if (m < 2) return 0.0;
  if (m == 2) return TwoCommunityCorr(A[0][1], B[0][1]);
  return MatrixCorr(m, A, B);
}

double vecProd(int n, double** A, double** B) {
  double s = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) s += A[i][j] * B[i][j];
  return s;
}

namespace {

// A copy of M with its missing values as 0: a term with a missing factor
// takes no part in a product.
void ZeroMissing(int rows, int cols, double** M) {
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++)
      if (IsMissing(M[i][j])) M[i][j] = 0.0;
}

}  // namespace

// The singular values of C (k x m, k <= m) are those of the m x m matrix C
// padded with zero rows; they are taken from the thin m x k matrix C'
// (Golub-Reinsch), which costs m k^2 instead of m^3.
double ProcrustesCoeff(int n, int p1, int p2, double** X, double** Y) {
  if (n < 2 || p1 < 1 || p2 < 1) return 0.0;
  const bool xFirst = p1 <= p2;
  const int k = xFirst ? p1 : p2, m = xFirst ? p2 : p1;
  double** A = xFirst ? X : Y;
  double** B = xFirst ? Y : X;

  double** At = dim2Double(k, n);
  for (int i = 0; i < n; i++)
    for (int a = 0; a < k; a++) At[a][i] = A[i][a];
  CenterRowsMV(k, n, At, At);
  double** Bc = dim2Double(n, m);
  CenterColsMV(n, m, B, Bc);
  GowerStandardizationRows(k, n, At);
  GowerStandardizationCols(n, m, Bc);
  ZeroMissing(k, n, At);
  ZeroMissing(n, m, Bc);

  double** Ct = dim2Double(m, k);  // C' = Bc' At' / (n - 1)
  DenseProd(true, true, m, k, n, 1.0 / (n - 1), Bc, At, 0.0, Ct);
  const double result = SumSingularValues(m, k, Ct);
  free2D(Ct, m);
  free2D(Bc, n);
  free2D(At, k);
  return result;
}

namespace {

// Frobenius norm squared of A' B for A (n x p) and B (n x q).
double CrossNormSq(int n, int p, int q, double** A, double** B, double** work) {
  DenseProd(true, false, p, q, n, 1.0, A, B, 0.0, work);
  double s = 0.0;
  for (int a = 0; a < p; a++)
    for (int b = 0; b < q; b++) s += work[a][b] * work[a][b];
  return s;
}

}  // namespace

// With Xc and Yc the column-centred configurations, the products of the
// n x n matrices SX = Xc Xc' and SY = Yc Yc' are those of the small cross
// products: vecProd(SX, SY) = |Xc' Yc|^2, vecProd(SX, SX) = |Xc' Xc|^2.
// A configuration that does not vary (all its centred products 0) shares no
// structure with the other one: 0.
double RVcoeff(int n, int p1, int p2, double** X, double** Y) {
  if (n < 1 || p1 < 1 || p2 < 1) return 0.0;
  double** Xc = dim2Double(n, p1);
  double** Yc = dim2Double(n, p2);
  CenterColsMV(n, p1, X, Xc);
  CenterColsMV(n, p2, Y, Yc);
  ZeroMissing(n, p1, Xc);
  ZeroMissing(n, p2, Yc);
  const int w = p1 > p2 ? p1 : p2;
  double** work = dim2Double(w, w);
  const double xy = CrossNormSq(n, p1, p2, Xc, Yc, work);
  const double xx = CrossNormSq(n, p1, p1, Xc, Xc, work);
  const double yy = CrossNormSq(n, p2, p2, Yc, Yc, work);
  free2D(work, w);
  free2D(Yc, n);
  free2D(Xc, n);
  const double den = std::sqrt(xx * yy);
  return den > 0.0 ? xy / den : 0.0;
}

// The component scores are those of the principal-component regression;
// they are centred and made orthonormal one after the other.  A score whose
// remaining sum of squares is at most 1e-10 of its own (a linear
// combination of the earlier ones to within rounding) is left out, as the
// regression leaves out such a predictor.
void CovariateBasisBuild(int n, int q, double** Z, double overfitFactor, CovariateBasis& b) {
  CovariateBasisFree(b);
  b.n = n;
  b.q = q;
  b.overfitFactor = overfitFactor;
  b.Z = dim2Double(n, q > 0 ? q : 1);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < q; j++) b.Z[i][j] = Z[i][j];
  b.missing = AnyMissingValue(n, q, Z);
  double** S = dim2Double(n, q > 0 ? q : 1);
  const int cap = q > 0 && n > 0 ? PCARegressionScores(n, q, b.Z, nullptr, 2, overfitFactor, S) : 0;
  b.Q = dim2Double(n, cap > 0 ? cap : 1);
  b.k = 0;
  std::vector<double> v(n > 0 ? n : 0);
  for (int a = 0; a < cap && !b.missing; a++) {
    const double mean = ColumnMeanMV(n, S, a);
    double ss0 = 0.0;
    for (int i = 0; i < n; i++) {
      v[i] = S[i][a] - mean;
      ss0 += v[i] * v[i];
    }
    for (int c = 0; c < b.k; c++) {
      double dot = 0.0;
      for (int i = 0; i < n; i++) dot += b.Q[i][c] * v[i];
      for (int i = 0; i < n; i++) v[i] -= dot * b.Q[i][c];
    }
    double ss = 0.0;
    for (int i = 0; i < n; i++) ss += v[i] * v[i];
    if (!(ss > 1e-10 * ss0)) continue;
    const double norm = std::sqrt(ss);
    for (int i = 0; i < n; i++) b.Q[i][b.k] = v[i] / norm;
    b.k++;
  }
  free2D(S, n);
}

void CovariateBasisFree(CovariateBasis& b) {
  free2D(b.Z, b.n);
  free2D(b.Q, b.n);
  b = CovariateBasis();
}

void CovariateResiduals(const CovariateBasis& b, int p, double** Y, double** Res) {
  const int n = b.n;
  if (n < 1 || p < 1) return;
  if (b.missing || AnyMissingValue(n, p, Y)) {
    PCA_Regression_ResidualsSelect(n, p, b.q, Y, b.Z, Res, nullptr, 2, b.overfitFactor);
    return;
  }
  std::vector<double> mean(p);
  for (int j = 0; j < p; j++) mean[j] = ColumnMeanMV(n, Y, j);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Res[i][j] = Y[i][j] - mean[j];
  if (b.k == 0) return;
  // Res -= Q (Q' Res).
  double** coef = dim2Double(b.k, p);
  DenseProd(true, false, b.k, p, n, 1.0, b.Q, Res, 0.0, coef);
  DenseProd(false, false, n, p, b.k, -1.0, b.Q, coef, 1.0, Res);
  free2D(coef, b.k);
}

double PartialCoefficient(const CovariateBasis& b, int p1, int p2, double** X, double** Y,
                          int method) {
  const int n = b.n;
  double** RX = dim2Double(n, p1);
  double** RY = dim2Double(n, p2);
  CovariateResiduals(b, p1, X, RX);
  CovariateResiduals(b, p2, Y, RY);
  const double result =
      method == 3 ? RVcoeff(n, p1, p2, RX, RY) : ProcrustesCoeff(n, p1, p2, RX, RY);
  free2D(RY, n);
  free2D(RX, n);
  return result;
}

// Method 2 gives the Procrustes and method 3 the RV coefficient of the
// residuals; any other method gives 0.  Without any covariate column there
// is nothing to remove and the coefficient of X and Y themselves is given.
double PartialMatrixCorrelation(int n, int p1, int p2, double** X, double** Y, int method,
                                double overfitFactor, int covariateCount, ...) {
  struct Covariate {
    int columns;
    const int* select;
    double** matrix;
  };
  std::vector<Covariate> covariates;
  va_list args;
  va_start(args, covariateCount);
  for (int c = 0; c < covariateCount; c++) {
    Covariate cov;
    cov.columns = va_arg(args, int);
    cov.select = va_arg(args, const int*);
    cov.matrix = va_arg(args, double**);
    covariates.push_back(cov);
  }
  va_end(args);
  if (method != 2 && method != 3) return 0.0;

  int q = 0;
  for (const Covariate& cov : covariates)
    for (int j = 0; j < cov.columns; j++)
      if (cov.select == nullptr || cov.select[j] == 1) q++;
  if (q == 0)
    return method == 3 ? RVcoeff(n, p1, p2, X, Y) : ProcrustesCoeff(n, p1, p2, X, Y);

  double** Z = dim2Double(n, q);
  int col = 0;
  for (const Covariate& cov : covariates)
    for (int j = 0; j < cov.columns; j++) {
      if (cov.select != nullptr && cov.select[j] != 1) continue;
      for (int i = 0; i < n; i++) Z[i][col] = cov.matrix[i][j];
      col++;
    }
  CovariateBasis basis;
  CovariateBasisBuild(n, q, Z, overfitFactor, basis);
  const double result = PartialCoefficient(basis, p1, p2, X, Y, method);
  CovariateBasisFree(basis);
  free2D(Z, n);
  return result;
}
