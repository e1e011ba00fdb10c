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

  double** C = dim2Double(m, m);  // rows k..m-1 stay zero
  MatrixProd(k, n, n, m, At, Bc, C);
  for (int a = 0; a < k; a++)
    for (int b = 0; b < m; b++) C[a][b] /= (n - 1);

  double** U = dim2Double(m, m);
  double** V = dim2Double(m, m);
  double* w = dim1Double(m);
  double result = 0.0;
  if (SingValueDecomp(m, m, C, U, w, V))
    for (int a = 0; a < m; a++) result += w[a];
  free1D(w);
  free2D(V, m);
  free2D(U, m);
  free2D(C, m);
  free2D(Bc, n);
  free2D(At, k);
  return result;
}

namespace {

// S = Xc Xc' for the column-centred X (n x p).
double** CenteredProducts(int n, int p, double** X) {
  double** Xc = dim2Double(n, p);
  CenterColsMV(n, p, X, Xc);
  double** Xt = dim2Double(p, n);
  for (int i = 0; i < n; i++)
    for (int a = 0; a < p; a++) Xt[a][i] = Xc[i][a];
  double** S = dim2Double(n, n);
  MatrixProd(n, p, p, n, Xc, Xt, S);
  free2D(Xt, p);
  free2D(Xc, n);
  return S;
}

}  // namespace

// A configuration that does not vary (all its centred products 0) shares no
// structure with the other one: 0.
double RVcoeff(int n, int p1, int p2, double** X, double** Y) {
  if (n < 1 || p1 < 1 || p2 < 1) return 0.0;
  double** SX = CenteredProducts(n, p1, X);
  double** SY = CenteredProducts(n, p2, Y);
  const double xy = vecProd(n, SX, SY), xx = vecProd(n, SX, SX), yy = vecProd(n, SY, SY);
  free2D(SY, n);
  free2D(SX, n);
  const double den = std::sqrt(xx * yy);
  return den > 0.0 ? xy / den : 0.0;
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
  double** RX = dim2Double(n, p1);
  double** RY = dim2Double(n, p2);
  PCA_Regression_ResidualsSelect(n, p1, q, X, Z, RX, nullptr, 2, overfitFactor);
  PCA_Regression_ResidualsSelect(n, p2, q, Y, Z, RY, nullptr, 2, overfitFactor);
  const double result =
      method == 3 ? RVcoeff(n, p1, p2, RX, RY) : ProcrustesCoeff(n, p1, p2, RX, RY);
  free2D(RY, n);
  free2D(RX, n);
  free2D(Z, n);
  return result;
}
