#include "numeric/stats.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "numeric/linalg.h"

namespace {

// Count, mean, sum of squared deviations and range of the non-missing values
// of a strided sequence (a row has stride 1 through a pointer; a column is
// read through the row pointers).
struct Moments {
  int k = 0;
  double sum = 0.0;
  double mean = 0.0;
  double ss = 0.0;  // sum of squared deviations from the mean
  double min = DBL_MAX;
  double max = -DBL_MAX;
};

template <class Get>
Moments ComputeMoments(int n, Get get) {
  Moments m;
  for (int i = 0; i < n; i++) {
    double v = get(i);
    if (IsMissing(v)) continue;
    m.k++;
    m.sum += v;
    if (v < m.min) m.min = v;
    if (v > m.max) m.max = v;
  }
  if (m.k == 0) return m;
  // A constant sequence takes its value as the mean exactly, so that its
  // deviations and its sum of squared deviations are exactly 0 (the rounded
  // quotient sum / k would leave deviations of the order of 1e-17, which a
  // later scaling by their own size would blow up to +-1).
  m.mean = (m.min == m.max) ? m.min : m.sum / m.k;
  // Two passes: never negative, unlike sum(x^2) - (sum x)^2 / k.
  for (int i = 0; i < n; i++) {
    double v = get(i);
    if (IsMissing(v)) continue;
    double d = v - m.mean;
    m.ss += d * d;
  }
  return m;
}

Moments RowMoments(int p, const double* x) {
  return ComputeMoments(p, [x](int j) { return x[j]; });
}

Moments ColMoments(int n, double** X, int j) {
  return ComputeMoments(n, [X, j](int i) { return X[i][j]; });
}

// Sum of squares of the non-missing values of column j.
double ColSumOfSquares(int n, double** X, int j) {
  double s = 0.0;
  for (int i = 0; i < n; i++)
    if (!IsMissing(X[i][j])) s += X[i][j] * X[i][j];
  return s;
}

}  // namespace

// ---- sums and single-vector statistics --------------------------------

double SumOfSquares(int n, const double* x) {
  double s = 0.0;
  for (int i = 0; i < n; i++)
    if (!IsMissing(x[i])) s += x[i] * x[i];
  return s;
}

double SumOfSquaresDev(int n, const double* x) { return RowMoments(n, x).ss; }

// Every value counts here, -999 included.  Fewer than two values give a
// standard deviation of 0 (and no values a mean of 0) instead of a quotient
// by zero.
void MeanStDev(int n, const double* x, double* mean, double* sd) {
  *mean = 0.0;
  *sd = 0.0;
  if (n < 1) return;
  double sum = 0.0, lo = x[0], hi = x[0];
  for (int i = 0; i < n; i++) {
    sum += x[i];
    lo = std::min(lo, x[i]);
    hi = std::max(hi, x[i]);
  }
  double m = (lo == hi) ? lo : sum / n;
  *mean = m;
  if (n < 2) return;
  double ss = 0.0;
  for (int i = 0; i < n; i++) ss += (x[i] - m) * (x[i] - m);
  *sd = std::sqrt(ss / (n - 1));
}

double maxVector(int n, const double* x) {
  double m = -DBL_MAX;
  for (int i = 0; i < n; i++)
    if (x[i] > m) m = x[i];
  return m;
}

double minVector(int n, const double* x) {
  double m = DBL_MAX;
  for (int i = 0; i < n; i++)
    if (x[i] < m) m = x[i];
  return m;
}

void RowTotalsMV(int n, int p, double** X, double* totals) {
  for (int i = 0; i < n; i++) {
    double s = 0.0;
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) s += X[i][j];
    totals[i] = s;
  }
}

void ColTotalsMV(int n, int p, double** X, double* totals) {
  for (int j = 0; j < p; j++) totals[j] = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) totals[j] += X[i][j];
}

double MatrixTotalMV(int n, int p, double** X) {
  double s = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) s += X[i][j];
  return s;
}

double CrossProduct2VecMV(int n, const double* x, const double* y) {
  double s = 0.0;
  for (int i = 0; i < n; i++)
    if (!IsMissing(x[i]) && !IsMissing(y[i])) s += x[i] * y[i];
  return s;
}

namespace {
// Means and sums of squares and products over the positions where both x and
// y are present.
struct PairMoments {
  int k = 0;
  double sxx = 0.0, syy = 0.0, sxy = 0.0;
  double mx = 0.0, my = 0.0;
};

PairMoments ComputePairMoments(int n, const double* x, const double* y) {
  auto both = [x, y](int i) { return !IsMissing(x[i]) && !IsMissing(y[i]); };
  Moments a = ComputeMoments(n, [&](int i) { return both(i) ? x[i] : kMissing; });
  Moments b = ComputeMoments(n, [&](int i) { return both(i) ? y[i] : kMissing; });
  PairMoments m;
  m.k = a.k;
  m.mx = a.mean;
  m.my = b.mean;
  m.sxx = a.ss;
  m.syy = b.ss;
  for (int i = 0; i < n; i++)
    if (both(i)) m.sxy += (x[i] - m.mx) * (y[i] - m.my);
  return m;
}
}  // namespace

// Fewer than two complete pairs give 0.
double Covariance2VecMV(int n, const double* x, const double* y) {
  PairMoments m = ComputePairMoments(n, x, y);
  if (m.k < 2) return 0.0;
  return m.sxy / (m.k - 1);
}

// A vector that is constant over the complete pairs has no correlation with
// anything: the result is 0, not a quotient by zero.
double Correlation2VecMV(int n, const double* x, const double* y) {
  PairMoments m = ComputePairMoments(n, x, y);
  if (m.sxx <= 0.0 || m.syy <= 0.0) return 0.0;
  double rx = std::sqrt(m.sxx), ry = std::sqrt(m.syy);
  double r = 0.0;
  for (int i = 0; i < n; i++)
    if (!IsMissing(x[i]) && !IsMissing(y[i])) r += ((x[i] - m.mx) / rx) * ((y[i] - m.my) / ry);
  return r;
}

// ---- row-by-row association matrices --------------------------------------

void CrossProductMV(int n, int p, double** X, double** C) {
  double** out = (C == X) ? dim2Double(n, n) : C;
  for (int i = 0; i < n; i++)
    for (int k = i; k < n; k++) out[i][k] = out[k][i] = CrossProduct2VecMV(p, X[i], X[k]);
  if (out != C) {
    CopyMatrix(n, n, out, C);
    free2D(out, n);
  }
}

void CovarianceMV(int n, int p, double** X, double** C) {
  if (AnyMissingValue(n, p, X)) {
    double** out = (C == X) ? dim2Double(n, n) : C;
    for (int i = 0; i < n; i++)
      for (int k = i; k < n; k++) out[i][k] = out[k][i] = Covariance2VecMV(p, X[i], X[k]);
    if (out != C) {
      CopyMatrix(n, n, out, C);
      free2D(out, n);
    }
    return;
  }
  double** T = dim2Double(n, p);
  CenterRowsCovMV(n, p, X, T);
  CrossProductMV(n, p, T, C);
  free2D(T, n);
}

void CorrelationMV(int n, int p, double** X, double** R) {
  if (AnyMissingValue(n, p, X)) {
    double** out = (R == X) ? dim2Double(n, n) : R;
    for (int i = 0; i < n; i++)
      for (int k = i; k < n; k++) out[i][k] = out[k][i] = Correlation2VecMV(p, X[i], X[k]);
    if (out != R) {
      CopyMatrix(n, n, out, R);
      free2D(out, n);
    }
    return;
  }
  double** T = dim2Double(n, p);
  CenterRowsMV(n, p, X, T);
  NormalizeRowsMV(n, p, T, T);
  CrossProductMV(n, p, T, R);
  free2D(T, n);
}

// ---- centring, scaling, standardisation -----------------------------------

void CenterRowsMV(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++) {
    Moments m = RowMoments(p, X[i]);
    for (int j = 0; j < p; j++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : X[i][j] - m.mean;
  }
}

// A row with fewer than two values is only centred (divisor 1).
void CenterRowsCovMV(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++) {
    Moments m = RowMoments(p, X[i]);
    double d = m.k > 1 ? std::sqrt(static_cast<double>(m.k - 1)) : 1.0;
    for (int j = 0; j < p; j++)
      Y[i][j] = IsMissing(X[i][j]) ? kMissing : (X[i][j] - m.mean) / d;
  }
}

void CenterColsMV(int n, int p, double** X, double** Y) {
  for (int j = 0; j < p; j++) {
    Moments m = ColMoments(n, X, j);
    for (int i = 0; i < n; i++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : X[i][j] - m.mean;
  }
}

void CenterColsMV(int n, int p, float** X, double** Y) {
  for (int j = 0; j < p; j++) {
    Moments m = ComputeMoments(n, [X, j](int i) { return static_cast<double>(X[i][j]); });
    for (int i = 0; i < n; i++) {
      double v = X[i][j];
      Y[i][j] = IsMissing(v) ? kMissing : v - m.mean;
    }
  }
}

void NormalizeRowsMV(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++) {
    double s = SumOfSquares(p, X[i]);
    double d = s > 0.0 ? std::sqrt(s) : 1.0;
    for (int j = 0; j < p; j++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : X[i][j] / d;
  }
}

void NormalizeCols(int n, int p, double** X, double** Y) {
  for (int j = 0; j < p; j++) {
    double s = 0.0;
    for (int i = 0; i < n; i++) s += X[i][j] * X[i][j];
    double d = s > 0.0 ? std::sqrt(s) : 1.0;
    for (int i = 0; i < n; i++) Y[i][j] = X[i][j] / d;
  }
}

void NormalizeColsMV(int n, int p, double** X, double** Y) {
  for (int j = 0; j < p; j++) {
    double s = ColSumOfSquares(n, X, j);
    double d = s > 0.0 ? std::sqrt(s) : 1.0;
    for (int i = 0; i < n; i++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : X[i][j] / d;
  }
}

void ZStandardizationRowsMV(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++) {
    Moments m = RowMoments(p, X[i]);
    double s = m.ss > 0.0 ? std::sqrt(m.ss / p) : 1.0;
    for (int j = 0; j < p; j++)
      Y[i][j] = IsMissing(X[i][j]) ? kMissing : (X[i][j] - m.mean) / s;
  }
}

// A given deviation of 0 (or a missing one) divides by 1: the row is only
// centred.
void ZStandardizationRowsMV(int n, int p, const double* mean, const double* sd, double** X,
                            double** Y) {
  for (int i = 0; i < n; i++) {
    double s = (sd[i] != 0.0 && !IsMissing(sd[i])) ? sd[i] : 1.0;
    for (int j = 0; j < p; j++)
      Y[i][j] = IsMissing(X[i][j]) ? kMissing : (X[i][j] - mean[i]) / s;
  }
}

void ZStandardizationColsMV(int n, int p, double** X, double** Y) {
  for (int j = 0; j < p; j++) {
    Moments m = ColMoments(n, X, j);
    double s = m.ss > 0.0 ? std::sqrt(m.ss / n) : 1.0;
    for (int i = 0; i < n; i++)
      Y[i][j] = IsMissing(X[i][j]) ? kMissing : (X[i][j] - m.mean) / s;
  }
}

void CorrAdj(int n, int p, double** Y, double** X) {
  for (int j = 0; j < p; j++) {
    Moments m = ColMoments(n, X, j);
    double d = m.ss > 0.0 ? std::sqrt(m.ss) : 1.0;
    for (int i = 0; i < n; i++)
      if (!IsMissing(X[i][j])) Y[i][j] = static_cast<float>((X[i][j] - m.mean) / d);
  }
}

void UnitSumRowsAdjMV(int n, int p, double** Y, double** X) {
  for (int i = 0; i < n; i++) {
    double t = 0.0;
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) t += X[i][j];
    if (t == 0.0) t = 1.0;
    for (int j = 0; j < p; j++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : X[i][j] / t;
  }
}

void RangeColsAdjMV(int n, int p, double** Y, double** X) {
  for (int j = 0; j < p; j++) {
    Moments m = ColMoments(n, X, j);
    double r = (m.k > 0 && m.max > m.min) ? m.max - m.min : 1.0;
    for (int i = 0; i < n; i++)
      Y[i][j] = IsMissing(X[i][j]) ? kMissing : (X[i][j] - m.min) / r;
  }
}

// With a single column (or row) the divisor p - 1 (n - 1) is taken as 1, and
// a total of 0 leaves the matrix as it is.
void GowerStandardizationRows(int n, int p, double** X) {
  double t = 0.0;
  for (int i = 0; i < n; i++) t += SumOfSquares(p, X[i]) / (p > 1 ? p - 1 : 1);
  if (!(t > 0.0)) return;
  double d = std::sqrt(t);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) X[i][j] /= d;
}

void GowerStandardizationCols(int n, int p, double** X) {
  double t = 0.0;
  for (int j = 0; j < p; j++) t += ColSumOfSquares(n, X, j) / (n > 1 ? n - 1 : 1);
  if (!(t > 0.0)) return;
  double d = std::sqrt(t);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++)
      if (!IsMissing(X[i][j])) X[i][j] /= d;
}

void MatrixUnitMaxTransf(int n, int p, double** X, double** Y) {
  double m = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++)
      if (X[i][j] > m) m = X[i][j];
  if (!(m > 0.0)) return;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[i][j] = X[i][j] / m;
}

void ScalarMatrixProd(int n, int p, double s, double** X, double** Y) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[i][j] = IsMissing(X[i][j]) ? kMissing : s * X[i][j];
}

void DeviationsExpectationsMV(int n, int p, double** X, double** D) {
  std::vector<double> r(std::max(n, 0)), c(std::max(p, 0));
  RowTotalsMV(n, p, X, r.data());
  ColTotalsMV(n, p, X, c.data());
  double t = 0.0;
  for (int i = 0; i < n; i++) t += r[i];
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) {
      double x = X[i][j];
      // t > 0 follows from positive totals of non-negative data; the test
      // also keeps mixed-sign tables from dividing by zero.
      if (!IsMissing(x) && r[i] > 0.0 && c[j] > 0.0 && t != 0.0)
        D[i][j] = (x * t - r[i] * c[j]) / (std::sqrt(r[i] * c[j]) * t);
      else
        D[i][j] = x;
    }
}

void CopyMatrix(int n, int p, double** X, double** Y) {
  if (X == Y) return;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[i][j] = X[i][j];
}

void UpperToLowerMatrix(int n, double** M) {
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) M[j][i] = M[i][j];
}

// ---- ranks and orders -------------------------------------------------------

namespace {
void RankVectorBy(int n, const double* x, int* order, bool absolute) {
  if (n < 1) return;
  std::vector<double> a(n + 1), b(n + 1);
  for (int i = 0; i < n; i++) {
    a[i + 1] = absolute ? std::fabs(x[i]) : x[i];
    b[i + 1] = i + 1;
  }
  sort2(n, a.data(), b.data());
  for (int k = 0; k < n; k++) order[k] = static_cast<int>(b[k + 1]);
}
}  // namespace

void RankVector(int n, const double* x, int* order) { RankVectorBy(n, x, order, false); }

void RankVectorAbs(int n, const double* x, int* order) { RankVectorBy(n, x, order, true); }

// Missing values are set aside before ranking rather than ranked below
// everything else and subtracted afterwards: the ranks are the same whenever
// every real value exceeds -999, and stay right for values below it.
void RankVectorAdjMV(int n, const double* x, double* ranks) {
  if (n < 1) return;
  std::vector<double> a(n + 1), b(n + 1);
  int k = 0;
  for (int i = 0; i < n; i++) {
    if (IsMissing(x[i])) {
      ranks[i] = kMissing;
      continue;
    }
    k++;
    a[k] = x[i];
    b[k] = i;
  }
  if (k == 0) return;
  sort2(k, a.data(), b.data());
  double s;
  crank(k, a.data(), &s);
  for (int r = 1; r <= k; r++) ranks[static_cast<int>(b[r])] = a[r];
}

double MatrixPercentile(double P, int n, int p, double** X) {
  double none = 3.4028234663852886e+38;
  if (n < 1 || p < 1) return none;
  int np = n * p;
  std::vector<double> v(np), r(np);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) v[i * p + j] = X[i][j];
  RankVectorAdjMV(np, v.data(), r.data());
  double best = none;
  bool found = false;
  for (int k = 0; k < np; k++) {
    if (IsMissing(r[k])) continue;
    if (r[k] / np > P && (!found || v[k] < best)) {
      best = v[k];
      found = true;
    }
  }
  return best;
}

// ---- group counting -----------------------------------------------------------

void CountGroups(int n, const int* groups, int* count, int* distinct) {
  CountGroupsSelect(n, groups, nullptr, count, distinct);
}

// A null select counts every position.
void CountGroupsSelect(int n, const int* groups, const int* select, int* count, int* distinct) {
  std::vector<int> g;
  g.reserve(std::max(n, 0));
  for (int i = 0; i < n; i++)
    if (select == nullptr || select[i] == 1) g.push_back(groups[i]);
  std::sort(g.begin(), g.end());
  g.erase(std::unique(g.begin(), g.end()), g.end());
  *count = static_cast<int>(g.size());
  if (distinct != nullptr)
    for (size_t k = 0; k < g.size(); k++) distinct[k] = g[k];
}

double ColumnMeanMV(int n, double** X, int j) {
  double s = 0.0, lo = 0.0, hi = 0.0;
  int k = 0;
  for (int i = 0; i < n; i++) {
    const double v = X[i][j];
    if (IsMissing(v)) continue;
    if (k == 0 || v < lo) lo = v;
    if (k == 0 || v > hi) hi = v;
    s += v;
    k++;
  }
  if (k == 0) return 0.0;
  return lo == hi ? lo : s / k;
}
