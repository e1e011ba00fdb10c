// Gower similarity over mixed variables: binary (1), nominal (2),
// quantitative (3) and ordinal (4).
#include <cfloat>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/resemblance.h"
#include "numeric/stats.h"

namespace {

// Range of a column over its non-missing values.  The maximum starts from
// the smallest positive normal value of the working precision and the
// minimum from the largest, so a column of zeros or negative values gets
// that small value minus its minimum, and an all-missing column a negative
// range (never used: it has no pair to compare).
template <class Real>
double ColumnRange(int n, double** X, int k, Real smallest, Real largest) {
  Real max = smallest, min = largest;
  for (int i = 0; i < n; i++) {
    const Real v = static_cast<Real>(X[i][k]);
    if (IsMissing(X[i][k])) continue;
    if (v > max) max = v;
    if (v < min) min = v;
  }
  return static_cast<double>(max - min);
}


void RankColumn(int n, double** X, int k) {
  std::vector<double> column(n), ranks(n);
  for (int i = 0; i < n; i++) column[i] = X[i][k];
  RankVectorAdjMV(n, column.data(), ranks.data());
  for (int i = 0; i < n; i++) X[i][k] = ranks[i];
}

// Numerator and denominator contributions of one variable to the similarity
// of a pair; a missing value contributes nothing.
void Partial(int type, double x, double y, double range, double w, bool doubleZeros,
             double* num, double* den) {
  if (IsMissing(x) || IsMissing(y)) return;
  switch (type) {
    case 3:
    case 4:
      *num += range > 0.0 ? w * (1.0 - std::fabs(x - y) / range) : w;
      *den += w;
      break;
    case 2:
      if (x == y) *num += w;
      *den += w;
      break;
    case 1:
      if (x != y) {
        *den += w;
      } else if (x != 0.0 || doubleZeros) {
        *num += w;
        *den += w;
      }
      break;
    default:
      break;
  }
}

// Fills the full matrix from the per-variable ranges and weights; a pair
// with no comparable variable (denominator 0) gets similarity 0.
void GowerFill(int n, int p, const int* types, double** X, double** S,
               const std::vector<double>& range, const std::vector<double>& weight,
               bool doubleZeros) {
  for (int i = 0; i < n; i++) {
    S[i][i] = 1.0;
    for (int j = i + 1; j < n; j++) {
      double num = 0.0, den = 0.0;
      for (int k = 0; k < p; k++)
        Partial(types[k], X[i][k], X[j][k], range[k], weight[k], doubleZeros, &num, &den);
      S[i][j] = S[j][i] = den > 0.0 ? num / den : 0.0;
    }
  }
}

}  // namespace

double VectorRange(int n, const double* x) {
  double max = DBL_MIN, min = DBL_MAX;
  for (int i = 0; i < n; i++) {
    if (IsMissing(x[i])) continue;
    if (x[i] > max) max = x[i];
    if (x[i] < min) min = x[i];
  }
  return static_cast<float>(max - min);
}

// GowerMV does not rank ordinal variables: they are compared on their values
// like quantitative ones.
void GowerMV(int n, int p, const int* types, double** X, double** S, const double* range,
             const double* weight) {
  std::vector<double> r(p, 0.0), w(p, 1.0);
  for (int k = 0; k < p; k++) {
    if (weight != nullptr) w[k] = weight[k];
    if (types[k] != 3 && types[k] != 4) continue;
    r[k] = range != nullptr ? range[k] : ColumnRange<float>(n, X, k, FLT_MIN, FLT_MAX);
  }
  GowerFill(n, p, types, X, S, r, w, false);
}

// The range array is not used: ranges always come from the data.
void GowerMVOpt(int n, int p, const int* types, double** X, double** S, const float* /*range*/,
                const float* weight, int doubleZeroOpt) {
  std::vector<double> r(p, 0.0), w(p, 1.0);
  for (int k = 0; k < p; k++) {
    if (weight != nullptr) w[k] = weight[k];
    if (types[k] == 4) RankColumn(n, X, k);
    if (types[k] == 3 || types[k] == 4)
      r[k] = static_cast<float>(ColumnRange<double>(n, X, k, DBL_MIN, DBL_MAX));
  }
  GowerFill(n, p, types, X, S, r, w, doubleZeroOpt != 0);
}

void GowerMVPartial_dAbsences(int n, int type, double* x, double** S, double range,
                              double weight, int doubleZeroOpt) {
  if (type == 4) {
    std::vector<double> ranks(n);
    RankVectorAdjMV(n, x, ranks.data());
    for (int i = 0; i < n; i++) x[i] = ranks[i];
    range = VectorRange(n, x);
  } else if (type == 3 && range == 0.0) {
    range = VectorRange(n, x);
  }
  const double w = weight < 0.0 ? 1.0 : weight;
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      double v = kMissing;
      const double a = x[i], b = x[j];
      if (w != 0.0 && !IsMissing(a) && !IsMissing(b)) {
        if (type == 3 || type == 4) {
          v = range > 0.0 ? w * (1.0 - std::fabs(a - b) / range) : w;
        } else if (type == 2) {
          v = a == b ? w : 0.0;
        } else if (type == 1 && doubleZeroOpt == 1) {
          v = a == b ? w : 0.0;
        } else if (type == 1 && doubleZeroOpt == 0) {
          if (a != b)
            v = 0.0;
          else if (a != 0.0)
            v = w;
        }
      }
      S[i][j] = S[j][i] = static_cast<float>(v);
    }
}
