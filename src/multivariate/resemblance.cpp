// The resemblance dispatcher and the distance measures on quantitative data:
// Euclidean family, absolute value function, chord, Bray-Curtis,
// Legendre-Chodorowski, the eigen similarity of two rows and the deviation
// of relative profiles.
#include "multivariate/resemblance.h"


#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/ordination.h"
#include "numeric/stats.h"

namespace {

}  // namespace

// Options 1, 2 and 4 have no measure between communities: they give 0, and
// ResemblanceLib answers code 0 with a matrix of zeros.  Options 7 and 9
// (relative Euclidean distance, relative absolute value function) are
// computed like 6 and 8, as the scaling-up analysis computes them, so that a
// permutation test recomputes the same measure as its observed statistic.
int TranslateReseOpt_QUILTA_VARIMO(int reseOpt) {
  switch (reseOpt) {
    case 3:
      return 1;
    case 5:
      return 17;
    case 6:
    case 7:
      return 3;
    case 8:
    case 9:
      return 2;
    case 10:
      return 18;
    case 1:
    case 2:
    case 4:
      return 0;
    default:
      return 1;
  }
}

// The output is zeroed first, so that a code with no measure (0 or any code
// outside 1..28) and the elements a measure leaves alone have a defined
// content.  Post-transformations leave the missing code -999 as it is, and
// the square root of a negative element is 0.
int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   int postTransform, int* varTypes, double param1, double param2,
                   int doubleZeroOpt, bool flag) {
  int rows = n, cols = p;
  double** X = data;
  if (direction == 2) {
    rows = p;
    cols = n;
    X = dim2Double(rows, cols);
    for (int i = 0; i < n; i++)
      for (int k = 0; k < p; k++) X[k][i] = data[i][k];
  }
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < rows; j++) rese[i][j] = 0.0;

  switch (measure) {
    case 1:
      CrossProductMV(rows, cols, X, rese);
      break;
    case 2:
      AbsValFunctionMV(rows, cols, X, rese);
      break;
    case 3:
      EucliDistMV(rows, cols, X, rese);
      break;
    case 4:
      MutualInformationMV(rows, cols, X, rese);
      break;
    case 5: {
      // varTypes has one entry per variable compared (per row of the data
      // with direction 2); without it every variable is quantitative.
      std::vector<int> types(std::max(cols, 0), 3);
      if (varTypes != nullptr) std::copy(varTypes, varTypes + cols, types.begin());
      GowerMVOpt(rows, cols, types.data(), X, rese, nullptr, nullptr, doubleZeroOpt);
      break;
    }
    case 6:
      MDISMV(rows, cols, X, rese, flag);
      break;
    case 7:
      MutualEntropyPairwiseMV(rows, cols, X, rese, param1, flag);
      break;
    case 8:
      CoheCoefPairwiseMV(rows, cols, X, rese, static_cast<float>(param1), flag);
      for (int i = 0; i < rows; i++)
        for (int j = i; j < rows; j++) {
          const double v = std::sqrt(1.0 - rese[i][j] * rese[i][j]);
          rese[i][j] = v > 0.0 ? v : 0.0;  // also 0 for a NaN root
        }
      break;
    case 9:
      CoheCoefPairwiseMV(rows, cols, X, rese, static_cast<float>(param1), flag);
      break;
    case 10:
      QuiSquareMV(rows, cols, X, rese, flag);
      break;
    case 11:
      Jaccard(rows, cols, X, rese);
      break;
    case 12:
      SimpleMatching(rows, cols, X, rese);
      break;
    case 13:
      SokalMichener(rows, cols, X, rese);
      break;
    case 14:
      Ochiai(rows, cols, X, rese);
      break;
    case 15:
      Sorensen(rows, cols, X, rese);
      break;
    case 16:
      MeanSquareContingency(rows, cols, X, rese);
      break;
    case 17:
      CorrelationMV(rows, cols, X, rese);
      break;
    case 18:
      ChordDistMV(rows, cols, X, rese);
      break;
    case 19:
      LegendreChodorowski(rows, cols, X, rese, nullptr,
                          static_cast<double>(static_cast<float>(param2)));
      break;
    case 20:
      BrayCurtisMV(rows, cols, X, rese);
      break;
    case 21: {
      double** W = dim2Double(rows, cols);
      CenterRowsMV(rows, cols, X, W);
      NormalizeRowsMV(rows, cols, W, W);
      for (int i = 0; i < rows; i++)
        for (int j = i + 1; j < rows; j++)
          HierFactorialEigen(cols, W[i], W[j], nullptr, &rese[i][j], nullptr, nullptr);
      free2D(W, rows);
      break;
    }
    case 22:
      CovarianceMV(rows, cols, X, rese);
      break;
    case 23:
      JaccardDissimilarity(rows, cols, X, rese);
      break;
    case 24:
      JaccardTurnover(rows, cols, X, rese);
      break;
    case 25:
      JaccardNestedness(rows, cols, X, rese);
      break;
    case 26:
      SorensenDissimilarity(rows, cols, X, rese);
      break;
    case 27:
      SorensenTurnover(rows, cols, X, rese);
      break;
    case 28:
      SorensenNestedness(rows, cols, X, rese);
      break;
    default:
      break;
  }

  if (postTransform == 1 || postTransform == 2)
    for (int i = 0; i < rows; i++)
      for (int j = i; j < rows; j++) {
        double& v = rese[i][j];
        if (IsMissing(v)) continue;
        v = postTransform == 1 ? v * v : (v > 0.0 ? std::sqrt(v) : 0.0);
      }
  for (int i = 0; i < rows; i++)
    for (int j = i + 1; j < rows; j++) rese[j][i] = rese[i][j];

  if (direction == 2) free2D(X, rows);
  return 1;
}

// ---- Euclidean family ---------------------------------------------------------
// Formed once per analysis.  The distances between the rows of a large
// matrix (the Beals-smoothed communities) are summed variable by variable
// for a block of rows against all the following ones, in vector registers:
// for each pair the variables are added in their order, each lane doing the
// same operations, so the distances are those of the pairwise loop.

namespace {

// a[j] += (col[j] - xi)^2 over the len following rows whose value is
// present (xi itself present).
__attribute__((target_clones("avx512f", "avx2", "default"))) void AddSquaredDifferencesMV(
    int len, double xi, const double* __restrict col, double* __restrict a) {
  for (int j = 0; j < len; j++) {
    const double x = col[j];
    const double d = x - xi;
    a[j] += x != kMissing ? d * d : 0.0;
  }
}

// D (upper half and diagonal) for the variables k with select[k] != 0
// (select null: all), skipping missing values pairwise.
void EuclideanUpperRows(int n, int p, double** X, double** D, const int* select, int threads) {
  std::vector<int> vars;
  for (int k = 0; k < p; k++)
    if (select == nullptr || select[k] != 0) vars.push_back(k);
  const int q = static_cast<int>(vars.size());
  std::vector<double> xt(static_cast<size_t>(q) * n);
  for (int t = 0; t < q; t++)
    for (int i = 0; i < n; i++) xt[static_cast<size_t>(t) * n + i] = X[i][vars[t]];
  // Rows in blocks of 16, so that a column of the transposed data serves
  // several rows while it is in the cache.
  // The blocks are shared by the team the caller hands over, if any.
  const int block = 16;
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (threads > 1)
  for (int i0 = 0; i0 < n; i0 += block) {
    const int rows = n - i0 < block ? n - i0 : block;
    for (int r = 0; r < rows; r++) {
      const int i = i0 + r;
      D[i][i] = 0.0;
      for (int j = i + 1; j < n; j++) D[i][j] = 0.0;
    }
    for (int t = 0; t < q; t++) {
      const double* row = &xt[static_cast<size_t>(t) * n];
      for (int r = 0; r < rows; r++) {
        const int i = i0 + r;
        if (row[i] == kMissing) continue;
        AddSquaredDifferencesMV(n - i - 1, row[i], row + i + 1, D[i] + i + 1);
      }
    }
    for (int r = 0; r < rows; r++) {
      const int i = i0 + r;
      for (int j = i + 1; j < n; j++) D[i][j] = D[i][j] > 0.0 ? std::sqrt(D[i][j]) : 0.0;
    }
  }
}

}  // namespace

// The shared loop: variable k enters the sum for rows i and j when
// use(k, x, y) holds for their values x and y.
template <class Use>
static void EuclideanRows(int n, int p, double** X, double** D, Use use) {
  for (int i = 0; i < n; i++) D[i][i] = 0.0;
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) {
      double sum = 0.0;
      for (int k = 0; k < p; k++) {
        if (!use(k, X[i][k], X[j][k])) continue;
        const double d = X[i][k] - X[j][k];
        sum += d * d;
      }
      D[i][j] = sum > 0.0 ? std::sqrt(sum) : 0.0;
    }
}

void EucliDist(int n, int p, double** X, double** D) {
  EuclideanRows(n, p, X, D, [](int, double, double) { return true; });
}

void EucliDistMV(int n, int p, double** X, double** D, int threads) {
  EuclideanUpperRows(n, p, X, D, nullptr, threads);
}

void EucliDistMVSelect(int n, int p, double** X, double** D, const int* select) {
  EuclideanUpperRows(n, p, X, D, select, 1);
}

// k counts variables from 1; a k outside 1..p selects no variable and every
// distance is 0.
void EucliDistMVSelectOne(int n, int p, double** X, double** D, int k) {
  for (int i = 0; i < n; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < n; j++) {
      if (k < 1 || k > p || IsMissing(X[i][k - 1]) || IsMissing(X[j][k - 1]))
        D[i][j] = 0.0;
      else
        D[i][j] = std::fabs(X[i][k - 1] - X[j][k - 1]);
    }
  }
}

// ---- other distances ------------------------------------------------------------

void AbsValFunctionMV(int n, int p, double** X, double** D) {
  for (int i = 0; i < n; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < n; j++) {
      double sum = 0.0;
      for (int k = 0; k < p; k++)
        if (!IsMissing(X[i][k]) && !IsMissing(X[j][k])) sum += std::fabs(X[i][k] - X[j][k]);
      D[i][j] = sum;
    }
  }
}

// Like the row normalisation, a vector whose sum of squares is 0 is divided
// by 1 (it stays zero).
double ChordDistSq2VecMV(int p, const double* x, const double* y) {
  double ssx = 0.0, ssy = 0.0;
  for (int k = 0; k < p; k++)
    if (!IsMissing(x[k]) && !IsMissing(y[k])) {
      ssx += x[k] * x[k];
      ssy += y[k] * y[k];
    }
  const double nx = ssx > 0.0 ? std::sqrt(ssx) : 1.0, ny = ssy > 0.0 ? std::sqrt(ssy) : 1.0;
  double sum = 0.0;
  for (int k = 0; k < p; k++)
    if (!IsMissing(x[k]) && !IsMissing(y[k])) {
      const double d = x[k] / nx - y[k] / ny;
      sum += d * d;
    }
  return sum;
}

void ChordDistMV(int n, int p, double** X, double** D) {
  if (!AnyMissingValue(n, p, X)) {
    double** W = dim2Double(n, p);
    NormalizeRowsMV(n, p, X, W);
    EucliDistMV(n, p, W, D);
    free2D(W, n);
    return;
  }
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) D[i][j] = std::sqrt(ChordDistSq2VecMV(p, X[i], X[j]));
}

// A pair with nothing to compare (denominator 0, e.g. two empty rows) gets 0.
void BrayCurtisMV(int n, int p, double** X, double** D) {
  double m = DBL_MAX;
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++)
      if (!IsMissing(X[i][k])) m = std::min(m, X[i][k]);
  const double s = m <= 0.0 ? m : 0.0;
  for (int i = 0; i < n; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < n; j++) {
      double num = 0.0, den = 0.0;
      for (int k = 0; k < p; k++) {
        const double x = X[i][k], y = X[j][k];
        if (IsMissing(x) || IsMissing(y)) continue;
        num += std::fabs(x - y);
        den += (x - s) + (y - s);
      }
      D[i][j] = den > 0.0 ? num / den : 0.0;
    }
  }
}

// Fills both triangles; a pair without any variable to compare gets 0.
void LegendreChodorowski(int n, int p, double** X, double** S, const double* weight, double k) {
  for (int i = 0; i < n; i++) {
    S[i][i] = 1.0;
    for (int j = i + 1; j < n; j++) {
      double num = 0.0, den = 0.0;
      for (int v = 0; v < p; v++) {
        const double x = X[i][v], y = X[j][v];
        if (IsMissing(x) || IsMissing(y) || !(x + y > 0.0)) continue;
        const double w = weight != nullptr ? weight[v] : 1.0;
        den += w;
        const double d = std::fabs(x - y);
        if (d <= k && x * y > 0.0) num += w * 2.0 * (k + 1.0 - d) / (2.0 + 2.0 * k + d * k);
      }
      S[i][j] = S[j][i] = den != 0.0 ? static_cast<float>(num / den) : 0.0;
    }
  }
}

void HierFactorialEigen(int p, const double* x, const double* y, double* first, double* second,
                        double* firstVector, double* secondVector) {
  double** C = dim2Double(2, 2);
  double** vectors = dim2Double(2, 2);
  double values[2] = {0.0, 0.0};
  C[0][0] = CrossProduct2VecMV(p, x, x);
  C[0][1] = C[1][0] = CrossProduct2VecMV(p, x, y);
  C[1][1] = CrossProduct2VecMV(p, y, y);
  EigenHouseholderQL_GSL_D(2, C, vectors, values);
  if (first != nullptr) *first = values[0];
  if (second != nullptr) *second = values[1];
  for (int a = 0; a < 2; a++) {
    if (firstVector != nullptr) firstVector[a] = vectors[0][a];
    if (secondVector != nullptr) secondVector[a] = vectors[1][a];
  }
  free2D(vectors, 2);
  free2D(C, 2);
}

double SumAbsDeviations(int n, const double* x, const double* y, bool squared) {
  double X = 0.0, Y = 0.0;
  for (int k = 0; k < n; k++) {
    X += x[k];
    Y += y[k];
  }
  if (!(X > 0.0) || !(Y > 0.0)) return 0.0;
  double sum = 0.0;
  for (int k = 0; k < n; k++) {
    const double d = x[k] / X - y[k] / Y;
    sum += squared ? d * d : std::fabs(d);
  }
  return 0.5 * sum;
}
