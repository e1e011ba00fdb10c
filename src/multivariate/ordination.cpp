#include "multivariate/ordination.h"

#include "numeric/linalg.h"

#include <gsl/gsl_eigen.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_vector.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "QELib/qelibDim.h"
#include "numeric/stats.h"
#include "shell/failure.h"

namespace {

template <class T>
T* Checked(T* p) {
  if (p == nullptr) {
    fputc(7, stdout);
    fflush(stdout);
    RaiseFailure(kFailMemory);
  }
  return p;
}

bool AllFinite(int m, int n, double** A) {
  for (int i = 0; i < m; i++)
    for (int j = 0; j < n; j++)
      if (!std::isfinite(A[i][j])) return false;
  return true;
}

// Signs of eigenvectors and singular vectors are arbitrary and differ between
// builds of the numerical library.  They are fixed here: the component of
// largest magnitude is made positive; among components equal in magnitude to
// within a relative 1e-9 (so that a difference in the last bit does not
// decide) the first one counts.  Returns true when the vector was negated.
template <class Get>
bool NeedsFlip(int n, Get get) {
  double big = 0.0;
  for (int k = 0; k < n; k++) big = std::fmax(big, std::fabs(get(k)));
  for (int k = 0; k < n; k++)
    if (std::fabs(get(k)) >= big * (1.0 - 1e-9)) return get(k) < 0.0;
  return false;
}

// false as soon as some value divided by the sum of all values is below
// -0.001.  With a sum of exactly 0 the quotient of a negative value is minus
// infinity, so any negative value fails; no division by 0 is made.
bool RatiosOk(int n, const double* v) {
  double s = 0.0;
  for (int i = 0; i < n; i++) s += v[i];
  for (int i = 0; i < n; i++) {
    if (s == 0.0) {
      if (v[i] < 0.0) return false;
    } else if (v[i] / s < -0.001) {
      return false;
    }
  }
  return true;
}

}  // namespace

// A matrix holding NaN or an infinity is not decomposed: values and vectors
// are set to 0 and the result is false.
bool EigenHouseholderQL_GSL_D(int n, double** A, double** vectors, double* values) {
  if (n < 1) return true;
  if (!AllFinite(n, n, A)) {
    for (int i = 0; i < n; i++) {
      values[i] = 0.0;
      for (int k = 0; k < n; k++) vectors[i][k] = 0.0;
    }
    return false;
  }
  gsl_matrix* m = Checked(gsl_matrix_alloc(n, n));
  gsl_matrix* evec = Checked(gsl_matrix_alloc(n, n));
  gsl_vector* eval = Checked(gsl_vector_alloc(n));
  gsl_eigen_symmv_workspace* w = Checked(gsl_eigen_symmv_alloc(n));
  for (int i = 0; i < n; i++)
    for (int k = 0; k < n; k++) gsl_matrix_set(m, i, k, A[i][k]);
  int status = gsl_eigen_symmv(m, eval, evec, w);
  gsl_eigen_symmv_sort(eval, evec, GSL_EIGEN_SORT_VAL_DESC);
  for (int i = 0; i < n; i++) {
    values[i] = gsl_vector_get(eval, i);
    bool flip = NeedsFlip(n, [evec, i](int k) { return gsl_matrix_get(evec, k, i); });
    for (int k = 0; k < n; k++) {
      double v = gsl_matrix_get(evec, k, i);
      vectors[i][k] = flip ? -v : v;
    }
  }
  gsl_eigen_symmv_free(w);
  gsl_vector_free(eval);
  gsl_matrix_free(evec);
  gsl_matrix_free(m);
  return status == 0 && RatiosOk(n, values);
}

// The decomposition needs at least as many rows as columns.  With fewer rows
// (m < n) A is padded with n - m rows of zeros, which leaves the singular
// values and V unchanged and adds only rows to U; the first m rows of U are
// returned, so A = U diag(w) V' still holds.  The pair of singular vectors
// of each value gets its sign from V (largest component positive).  An
// empty matrix succeeds with nothing written; one holding NaN or an infinity
// fails with nothing written.
bool SingValueDecomp(int m, int n, double** A, double** U, double* w, double** V) {
  if (m < 1 || n < 1) return true;
  if (!AllFinite(m, n, A)) return false;
  int rows = m >= n ? m : n;
  gsl_matrix* a = Checked(gsl_matrix_calloc(rows, n));
  gsl_matrix* v = Checked(gsl_matrix_alloc(n, n));
  gsl_vector* s = Checked(gsl_vector_alloc(n));
  gsl_vector* work = Checked(gsl_vector_alloc(n));
  for (int i = 0; i < m; i++)
    for (int j = 0; j < n; j++) gsl_matrix_set(a, i, j, A[i][j]);
  int status = gsl_linalg_SV_decomp(a, v, s, work);
  for (int k = 0; k < n; k++) {
    double sign = NeedsFlip(n, [v, k](int i) { return gsl_matrix_get(v, i, k); }) ? -1.0 : 1.0;
    w[k] = gsl_vector_get(s, k);
    for (int i = 0; i < n; i++) V[i][k] = sign * gsl_matrix_get(v, i, k);
    for (int i = 0; i < m; i++) U[i][k] = sign * gsl_matrix_get(a, i, k);
  }
  gsl_vector_free(work);
  gsl_vector_free(s);
  gsl_matrix_free(v);
  gsl_matrix_free(a);
  return status == 0 && RatiosOk(n, w);
}

// A tall matrix (many more rows than columns) is first reduced to the
// triangular factor R of its QR decomposition, which has the same singular
// values, so that the decomposition that follows is only cols x cols.
double SumSingularValues(int m, int n, double** A) {
  if (m < 1 || n < 1 || !AllFinite(m, n, A)) return 0.0;
  {
    std::vector<double> values(m < n ? m : n);
    if (DenseSingularValues(m, n, A, values.data())) {
      double sum = 0.0;
      for (double v : values) sum += v;
      return sum;
    }
  }
  // The singular values of A and A' are the same: decompose the tall one.
  const bool tall = m >= n;
  const int rows = tall ? m : n, cols = tall ? n : m;
  gsl_matrix* a = Checked(gsl_matrix_alloc(rows, cols));
  for (int i = 0; i < m; i++)
    for (int j = 0; j < n; j++) gsl_matrix_set(a, tall ? i : j, tall ? j : i, A[i][j]);
  int status = 0;
  if (rows > 2 * cols) {
    gsl_vector* tau = Checked(gsl_vector_alloc(cols));
    status = gsl_linalg_QR_decomp(a, tau);
    gsl_vector_free(tau);
    gsl_matrix* r = Checked(gsl_matrix_calloc(cols, cols));
    for (int i = 0; i < cols; i++)
      for (int j = i; j < cols; j++) gsl_matrix_set(r, i, j, gsl_matrix_get(a, i, j));
    gsl_matrix_free(a);
    a = r;
  }
  gsl_matrix* v = Checked(gsl_matrix_alloc(cols, cols));
  gsl_vector* s = Checked(gsl_vector_alloc(cols));
  gsl_vector* work = Checked(gsl_vector_alloc(cols));
  if (status == 0) status = gsl_linalg_SV_decomp(a, v, s, work);
  double sum = 0.0;
  for (int k = 0; k < cols; k++) sum += gsl_vector_get(s, k);
  gsl_vector_free(work);
  gsl_vector_free(s);
  gsl_matrix_free(v);
  gsl_matrix_free(a);
  return status == 0 ? sum : 0.0;
}

void DissToCenterProdMatrix(int n, double** D, double** G, bool alreadySquared) {
  if (n < 1) return;
  double** A = dim2Double(n, n);
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) A[i][j] = alreadySquared ? D[i][j] : D[i][j] * D[i][j];
  std::vector<double> mean(n);
  double total = 0.0;
  for (int i = 0; i < n; i++) {
    double s = 0.0;
    for (int j = 0; j < n; j++) {
      double v = i <= j ? A[i][j] : A[j][i];
      s += v;
      total += v;
    }
    mean[i] = s / n;
  }
  double g = total / (static_cast<double>(n) * n);
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) G[i][j] = -0.5 * (A[i][j] - mean[i] - mean[j] + g);
  free2D(A, n);
}

// D may be S itself: the diagonal is read before anything is written.
void ProdToSqDist(int n, double** S, double** D) {
  std::vector<double> diag(n > 0 ? n : 0);
  for (int i = 0; i < n; i++) diag[i] = S[i][i];
  for (int i = 0; i < n; i++) {
    for (int j = i + 1; j < n; j++) D[i][j] = diag[i] + diag[j] - 2.0 * S[i][j];
    D[i][i] = 0.0;
  }
}

void CorrToSqDist(int n, double** R, double** D) {
  for (int i = 0; i < n; i++) {
    for (int j = i + 1; j < n; j++) {
      double d = 2.0 * (1.0 - R[i][j]);
      D[i][j] = d;
      D[j][i] = d;
    }
    D[i][i] = 0.0;
  }
}

void ProbToDissim(int n, double** P, double** D) {
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      double d = 1.0 - P[i][j];
      D[i][j] = d;
      D[j][i] = d;
    }
}

namespace {

// Codes of the resemblance measures that are similarities or products.
bool IsSimilarityCode(int code) {
  switch (code) {
    case 1: case 5: case 6: case 7: case 9: case 10: case 11: case 12:
    case 13: case 14: case 15: case 16: case 17: case 19: case 22:
      return true;
    default:
      return false;
  }
}

// Objects by variables, whatever the orientation of data.
double** ObjectsByVariables(int n, int p, double** data, int orientation) {
  double** M = dim2Double(n, p);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) M[i][j] = orientation == 1 ? data[i][j] : data[j][i];
  return M;
}

double SumOfSquaresRow(int n, const double* v) {
  double s = 0.0;
  for (int k = 0; k < n; k++) s += v[k] * v[k];
  return s;
}

}  // namespace

// Axes kept: the leading eigenvalues above 1e-8 of the sum of the positive
// ones.  When every eigenvalue is rounding noise (a matrix that is zero up
// to rounding, such as the deviations of a table of rank one) that relative
// rule alone would keep noise as axes, so an eigenvalue must also exceed n
// times the machine epsilon of the scale of the matrix before cancellation:
// the largest squared distance for principal coordinates, the largest element
// of rese for principal components, and 1 (the largest possible inertia of
// an axis) for correspondence analysis.  On real data the relative rule is
// always the stricter one.  Any other method only decomposes the matrix and
// keeps axes, writing no scores.
int OrdinationLib_D(int n, int p, double** data, double** rese, double** vectors,
                    double** scores, int* axesKept, double* values, bool* eigenOk, int method,
                    int reseCode, int orientation) {
  *axesKept = 0;
  *eigenOk = true;
  if (n < 1) return 1;
  double** W = dim2Double(n, n);
  double scale = 0.0;
  if (method == 1) {
    if (IsSimilarityCode(reseCode)) {
      ProdToSqDist(n, rese, W);
    } else {
      for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) W[i][j] = rese[i][j] * rese[i][j];
    }
    UpperToLowerMatrix(n, W);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) scale = std::fmax(scale, std::fabs(W[i][j]));
    DissToCenterProdMatrix(n, W, W, true);
    UpperToLowerMatrix(n, W);
  } else {
    CopyMatrix(n, n, rese, W);
    if (method == 3) {
      scale = 1.0;
    } else {
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) scale = std::fmax(scale, std::fabs(W[i][j]));
    }
  }

  *eigenOk = EigenHouseholderQL_GSL_D(n, W, vectors, values);

  double positive = 0.0;
  for (int a = 0; a < n; a++)
    if (values[a] > 0.0) positive += values[a];
  double floor = n * DBL_EPSILON * scale;
  int kept = 0;
  if (positive > 0.0)
    while (kept < n && values[kept] > floor && 100.0 * values[kept] / positive > 1e-6) kept++;
  *axesKept = kept;

  if (method == 1) {
    for (int a = 0; a < kept; a++) {
      double ss = SumOfSquaresRow(n, vectors[a]);
      double f = ss > 0.0 ? std::sqrt(values[a] / ss) : 0.0;
      for (int k = 0; k < n; k++) scores[a][k] = vectors[a][k] * f;
    }
  } else if (method == 2) {
    double** M = ObjectsByVariables(n, p, data, orientation);
    for (int a = 0; a < kept; a++) {
      double len = std::sqrt(SumOfSquaresRow(n, vectors[a]));
      if (len > 0.0)
        for (int k = 0; k < n; k++) vectors[a][k] /= len;
    }
    if (reseCode == 22) {
      CenterRowsCovMV(n, p, M, M);
    } else if (reseCode == 17) {
      CenterRowsMV(n, p, M, M);
      NormalizeRowsMV(n, p, M, M);
    }
    for (int a = 0; a < kept; a++)
      for (int j = 0; j < p; j++) {
        double s = 0.0;
        for (int i = 0; i < n; i++)
          if (!IsMissing(M[i][j])) s += M[i][j] * vectors[a][i];
        scores[a][j] = s;
      }
    free2D(M, n);
  } else if (method == 3) {
    double** M = ObjectsByVariables(n, p, data, orientation);
    std::vector<double> r(n), c(p > 0 ? p : 0);
    RowTotalsMV(n, p, M, r.data());
    ColTotalsMV(n, p, M, c.data());
    double t = MatrixTotalMV(n, p, M);
    for (int a = 0; a < kept; a++)
      for (int i = 0; i < n; i++)
        if (r[i] > 0.0 && t / r[i] >= 0.0) vectors[a][i] *= std::sqrt(t / r[i]);
    for (int a = 0; a < kept; a++) {
      double root = std::sqrt(values[a]);
      for (int j = 0; j < p; j++) {
        if (!(c[j] > 0.0)) {
          scores[a][j] = 0.0;
          continue;
        }
        double s = 0.0;
        for (int i = 0; i < n; i++)
          if (!IsMissing(M[i][j])) s += M[i][j] * vectors[a][i] / (c[j] * root);
        scores[a][j] = s;
      }
    }
    free2D(M, n);
  }
  free2D(W, n);
  return 1;
}

int OrdinationLib_Scores(int n, int p, double** data, double** rese, double** scores, int method,
                         int reseCode, int orientation) {
  if (n < 1) return 0;
  double** vectors = dim2Double(n, n);
  double* values = dim1Double(n);
  int kept = 0;
  bool ok = true;
  OrdinationLib_D(n, p, data, rese, vectors, scores, &kept, values, &ok, method, reseCode,
                  orientation);
  free1D(values);
  free2D(vectors, n);
  return kept;
}
