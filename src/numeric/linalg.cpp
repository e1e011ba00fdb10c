#include "numeric/linalg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <utility>
#include <vector>

#include "QELib/qelibDim.h"
#include "numeric/linalg_internal.h"

#include <dlfcn.h>
#include <gsl/gsl_cblas.h>
#include <omp.h>

// ---- matrix products ------------------------------------------------------------

namespace {

void ClearMatrix(int n, int m, double** C) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < m; j++) C[i][j] = 0.0;
}

bool BothPresent(double a, double b) { return !IsMissing(a) && !IsMissing(b); }

// The weighted product behind the MV variants.  w null means weight 1.
// missingRule: an exact 0 built with a skipped missing term becomes -999.
// adjust: the sum is multiplied by (sum A) / (sum w A) over the terms used;
// when either total is 0 there is nothing to rescale and the sum is kept.
// The same product for a B without missing values and mostly zeros (a crisp
// belonging, an identity): each row of A meets only the non-zero elements of
// the rows of B.  The terms left out are exact zeros, the others are added
// in the order of the full sum, so the results are the same to the last bit.
void CompressedWeightedProduct(int n, int k, int m, double** A, const std::vector<int>& start,
                               const std::vector<int>& col, const std::vector<double>& val,
                               double** C, const int* w, bool adjust, bool missingRule,
                               const int* select);

bool SparseWeightedProduct(int n, int k, int m, double** A, double** B, double** C,
                           const int* w, bool adjust, bool missingRule, const int* select) {
  size_t nonZero = 0;
  for (int l = 0; l < k; l++)
    for (int j = 0; j < m; j++) {
      if (IsMissing(B[l][j])) return false;
      if (B[l][j] != 0.0) nonZero++;
    }
  if (nonZero * 4 > static_cast<size_t>(k) * m) return false;
  std::vector<int> start(k + 1, 0), col;
  std::vector<double> val;
  col.reserve(nonZero);
  val.reserve(nonZero);
  for (int l = 0; l < k; l++) {
    for (int j = 0; j < m; j++)
      if (B[l][j] != 0.0) {
        col.push_back(j);
        val.push_back(B[l][j]);
      }
    start[l + 1] = static_cast<int>(col.size());
  }
  CompressedWeightedProduct(n, k, m, A, start, col, val, C, w, adjust, missingRule, select);
  return true;
}

// The weighted product with B given by its non-zero elements: row l of B
// holds (col[e], val[e]) for e from start[l] to start[l + 1].
void CompressedWeightedProduct(int n, int k, int m, double** A, const std::vector<int>& start,
                               const std::vector<int>& col, const std::vector<double>& val,
                               double** C, const int* w, bool adjust, bool missingRule,
                               const int* select) {
  std::vector<double> s(m > 0 ? m : 1);
  for (int i = 0; i < n; i++) {
    std::fill(s.begin(), s.end(), 0.0);
    double sumA = 0.0, sumWA = 0.0;
    bool skipped = false;
    for (int l = 0; l < k; l++) {
      const double a = A[i][l];
      if (IsMissing(a)) {
        skipped = true;
        continue;
      }
      const double wl = w != nullptr ? w[l] : 1.0;
      for (int e = start[l]; e < start[l + 1]; e++) s[col[e]] += wl * a * val[e];
      sumA += a;
      sumWA += wl * a;
    }
    for (int j = 0; j < m; j++) {
      if (select != nullptr && select[j] != 1) {
        C[i][j] = 0.0;
        continue;
      }
      double v = s[j];
      if (adjust && sumA != 0.0 && sumWA != 0.0) v /= sumWA / sumA;
      if (missingRule && v == 0.0 && skipped) v = kMissing;
      C[i][j] = v;
    }
  }
}

void WeightedProduct(int n, int k, int m, double** A, double** B, double** C, const int* w,
                     bool adjust, bool missingRule, const int* select) {
  if (SparseWeightedProduct(n, k, m, A, B, C, w, adjust, missingRule, select)) return;
  for (int i = 0; i < n; i++)
    for (int j = 0; j < m; j++) {
      C[i][j] = 0.0;
      if (select != nullptr && select[j] != 1) continue;
      double s = 0.0, sumA = 0.0, sumWA = 0.0;
      bool skipped = false;
      for (int l = 0; l < k; l++) {
        if (!BothPresent(A[i][l], B[l][j])) {
          skipped = true;
          continue;
        }
        double wl = w != nullptr ? w[l] : 1.0;
        s += wl * A[i][l] * B[l][j];
        sumA += A[i][l];
        sumWA += wl * A[i][l];
      }
      if (adjust && sumA != 0.0 && sumWA != 0.0) s /= sumWA / sumA;
      if (missingRule && s == 0.0 && skipped) s = kMissing;
      C[i][j] = s;
    }
}

}  // namespace

int MatrixProd(int nA, int kA, int kB, int mB, double** A, double** B, double** C) {
  if (kA != kB) return 1;
  ClearMatrix(nA, mB, C);
  for (int i = 0; i < nA; i++)
    for (int j = 0; j < mB; j++) {
      double s = 0.0;
      for (int l = 0; l < kA; l++)
        if (BothPresent(A[i][l], B[l][j])) s += A[i][l] * B[l][j];
      C[i][j] = s;
    }
  return 0;
}

int MatrixProdMV(int nA, int kA, int kB, int mB, double** A, double** B, double** C) {
  if (kA != kB) return 1;
  WeightedProduct(nA, kA, mB, A, B, C, nullptr, false, true, nullptr);
  return 0;
}

int MatrixProdMV_Weight(int nA, int kA, int kB, int mB, double** A, double** B, double** C,
                        const int* w) {
  if (kA != kB) return 1;
  WeightedProduct(nA, kA, mB, A, B, C, w, false, true, nullptr);
  return 0;
}

int MatrixProdMV_Weight(int nA, int kA, int kB, int mB, double** A, double** B, double** C,
                        const int* w, bool adjust) {
  if (kA != kB) return 1;
  WeightedProduct(nA, kA, mB, A, B, C, w, adjust, true, nullptr);
  return 0;
}

void MatrixProdMV_WeightCrisp(int nA, int kA, int g, double** A, const int* typeOf, double** C,
                              const int* w, bool adjust) {
  std::vector<int> start(kA + 1, 0), col;
  for (int l = 0; l < kA; l++) {
    if (typeOf[l] >= 0 && typeOf[l] < g) col.push_back(typeOf[l]);
    start[l + 1] = static_cast<int>(col.size());
  }
  const std::vector<double> ones(col.size(), 1.0);
  CompressedWeightedProduct(nA, kA, g, A, start, col, ones, C, w, adjust, true, nullptr);
}

// Weighted sum divided by the total of A over the terms used: a weighted
// average.  A total of 0 leaves the sum (then 0 for non-negative A) as it is.
int MatrixProdSelectMV_Adjust_Weight(int nA, int kA, int kB, int mB, double** A, double** B,
                                     double** C, const int* select, const int* w) {
  if (kA != kB) return 1;
  for (int i = 0; i < nA; i++)
    for (int j = 0; j < mB; j++) {
      C[i][j] = 0.0;
      if (select[j] != 1) continue;
      double s = 0.0, sumA = 0.0;
      for (int l = 0; l < kA; l++) {
        if (!BothPresent(A[i][l], B[l][j])) continue;
        s += w[l] * A[i][l] * B[l][j];
        sumA += A[i][l];
      }
      C[i][j] = sumA != 0.0 ? s / sumA : s;
    }
  return 0;
}

int MatrixProdSelectMV_Adjust_Weight(int nA, int kA, int kB, int mB, double** A, double** B,
                                     double** C, const int* select, const int* w, bool adjust) {
  if (kA != kB) return 1;
  WeightedProduct(nA, kA, mB, A, B, C, w, adjust, false, select);
  return 0;
}

int MatrixSum(int rA, int cA, int rB, int cB, double** A, double** B, double** C, int s) {
  if (rA != rB || cA != cB) return 1;
  for (int i = 0; i < rA; i++)
    for (int j = 0; j < cA; j++) C[i][j] = A[i][j] + s * B[i][j];
  return 0;
}

namespace {

using DgemmFunction = void (*)(enum CBLAS_ORDER, enum CBLAS_TRANSPOSE, enum CBLAS_TRANSPOSE, int,
                               int, int, double, const double*, int, const double*, int, double,
                               double*, int);

using SvdFunction = void (*)(const char*, const char*, const int*, const int*, double*,
                            const int*, double*, double*, const int*, double*, const int*,
                            double*, const int*, int*);

// The optimised BLAS named at build time (with the LAPACK it carries),
// loaded once in a namespace of its own: the rest of the program keeps GSL's
// CBLAS.  GSL's product serves when it cannot be loaded.
using DsyrkFunction = void (*)(enum CBLAS_ORDER, enum CBLAS_UPLO, enum CBLAS_TRANSPOSE, int, int,
                               double, const double*, int, double, double*, int);

struct Optimised {
  DgemmFunction dgemm = &cblas_dgemm;
  DsyrkFunction dsyrk = &cblas_dsyrk;
  SvdFunction dgesvd = nullptr;
};

Optimised Resolve() {
  Optimised o;
#ifdef QUILTA_BLAS_PATH
  if (void* handle = dlopen(QUILTA_BLAS_PATH, RTLD_NOW | RTLD_LOCAL)) {
    if (void* f = dlsym(handle, "cblas_dgemm")) o.dgemm = reinterpret_cast<DgemmFunction>(f);
    if (void* f = dlsym(handle, "cblas_dsyrk")) o.dsyrk = reinterpret_cast<DsyrkFunction>(f);
    if (void* f = dlsym(handle, "dgesvd_")) o.dgesvd = reinterpret_cast<SvdFunction>(f);
  }
#endif
  return o;
}

const Optimised& Library() {
  static const Optimised o = Resolve();
  return o;
}

DgemmFunction Dgemm() { return Library().dgemm; }

// Runs a call of the optimised library with one thread: its OpenMP build
// uses as many threads as OpenMP allows outside a parallel region, and one
// thread gives the same digits whatever the number of processors.  Inside a
// parallel region it keeps to one thread by itself.
template <class Call>
void OneThread(Call call) {
  const int team = omp_in_parallel() ? 1 : omp_get_max_threads();
  if (team > 1) {
    omp_set_num_threads(1);
    call();
    omp_set_num_threads(team);
  } else {
    call();
  }
}

}  // namespace

// A dense copy of M when its rows are not one block (null when they are).
static double** DenseCopy(int rows, int cols, double** M) {
  if (rows < 1 || cols < 1 || IsDenseMatrix(rows, cols, M)) return nullptr;
  double** D = dim2Double(rows, cols);
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) D[i][j] = M[i][j];
  return D;
}

void DenseProd(bool transA, bool transB, int rows, int cols, int inner, double alpha,
               double** A, double** B, double beta, double** C) {
  if (rows < 1 || cols < 1) return;
  if (inner < 1) {
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < cols; j++) C[i][j] = beta == 0.0 ? 0.0 : beta * C[i][j];
    return;
  }
  const int aRows = transA ? inner : rows, aCols = transA ? rows : inner;
  const int bRows = transB ? cols : inner, bCols = transB ? inner : cols;
  double** Ad = DenseCopy(aRows, aCols, A);
  double** Bd = DenseCopy(bRows, bCols, B);
  double** Cd = DenseCopy(rows, cols, C);
  double** a = Ad ? Ad : A;
  double** b = Bd ? Bd : B;
  double** c = Cd ? Cd : C;
  OneThread([&] {
    Dgemm()(CblasRowMajor, transA ? CblasTrans : CblasNoTrans, transB ? CblasTrans : CblasNoTrans,
            rows, cols, inner, alpha, a[0], aCols, b[0], bCols, beta, c[0], cols);
  });
  if (Cd) {
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < cols; j++) C[i][j] = Cd[i][j];
    free2D(Cd, rows);
  }
  free2D(Bd, bRows);
  free2D(Ad, aRows);
}

void DenseGram(int rows, int cols, double** A, double** G) {
  if (rows < 1) return;
  if (cols < 1) {
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < rows; j++) G[i][j] = 0.0;
    return;
  }
  double** Ad = DenseCopy(rows, cols, A);
  double** Gd = DenseCopy(rows, rows, G);
  double** a = Ad ? Ad : A;
  double** g = Gd ? Gd : G;
  OneThread([&] {
    Library().dsyrk(CblasRowMajor, CblasUpper, CblasNoTrans, rows, cols, 1.0, a[0], cols, 0.0,
                    g[0], rows);
  });
  for (int i = 0; i < rows; i++)
    for (int j = i + 1; j < rows; j++) g[j][i] = g[i][j];
  if (Gd) {
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < rows; j++) G[i][j] = Gd[i][j];
    free2D(Gd, rows);
  }
  free2D(Ad, rows);
}

bool DenseSingularValues(int rows, int cols, double** A, double* s) {
  const SvdFunction svd = Library().dgesvd;
  if (svd == nullptr || rows < 1 || cols < 1) return false;
  // The rows of A read column by column are A' (cols x rows), which has the
  // same singular values.
  const int m = cols, n = rows, lda = cols, one = 1;
  std::vector<double> a(static_cast<size_t>(rows) * cols);
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) a[static_cast<size_t>(i) * cols + j] = A[i][j];
  double query = 0.0, dummy = 0.0;
  int lwork = -1, info = 0;
  OneThread([&] { svd("N", "N", &m, &n, a.data(), &lda, s, &dummy, &one, &dummy, &one, &query, &lwork, &info); });
  if (info != 0) return false;
  lwork = static_cast<int>(query) + 1;
  std::vector<double> work(lwork);
  OneThread([&] {
    svd("N", "N", &m, &n, a.data(), &lda, s, &dummy, &one, &dummy, &one, work.data(), &lwork,
        &info);
  });
  return info == 0;
}

// ---- transposition and copies ---------------------------------------------------

void TransposeMatrix(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[j][i] = X[i][j];
}

void TransposeSqMatrix(int n, double** X, double** Y) {
  for (int i = 0; i < n; i++) {
    Y[i][i] = X[i][i];
    for (int j = i + 1; j < n; j++) {
      double a = X[i][j], b = X[j][i];
      Y[i][j] = b;
      Y[j][i] = a;
    }
  }
}

void Convertn_n1(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[i + 1][j + 1] = X[i][j];
}

void Convertn1_n(int n, int p, double** X, double** Y) {
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Y[i][j] = X[i + 1][j + 1];
}

// ---- Gauss-Jordan elimination -----------------------------------------------------

// Full pivoting: the pivot is the element of largest magnitude among the rows
// and columns not yet used, the last one found on ties.  A pivot whose
// magnitude is not above the tolerance of its column is a zero pivot: it is
// reported, and instead of dividing by it the row is multiplied by 0, so the
// variable of that column takes no part in the solution (its row and column
// of the inverse and its row of the solutions become 0) and everything stays
// finite.  When nothing can serve as pivot (only NaN left) the previous pivot
// column is used again, which the next step reports as a column chosen twice.
int GaussJordan(double** a, int n, double** b, int m, const double* tol, bool report) {
  if (n < 1) return 0;
  int* indxc = ivector(1, n);
  int* indxr = ivector(1, n);
  int* ipiv = ivector(1, n);
  int singular = 0;
  int irow = 1, icol = 1;
  for (int j = 1; j <= n; j++) ipiv[j] = 0;
  for (int i = 1; i <= n; i++) {
    double big = 0.0;
    for (int j = 1; j <= n; j++)
      if (ipiv[j] != 1)
        for (int k = 1; k <= n; k++) {
          if (ipiv[k] == 0) {
            if (std::fabs(a[j][k]) >= big) {
              big = std::fabs(a[j][k]);
              irow = j;
              icol = k;
            }
          } else if (ipiv[k] > 1) {
            if (report) fputs("gaussj: Singular Matrix-1", stderr);
            singular++;
          }
        }
    ++ipiv[icol];
    if (irow != icol) {
      for (int l = 1; l <= n; l++) std::swap(a[irow][l], a[icol][l]);
      for (int l = 1; l <= m; l++) std::swap(b[irow][l], b[icol][l]);
    }
    indxr[i] = irow;
    indxc[i] = icol;
    double piv = a[icol][icol];
    double limit = tol != nullptr ? tol[icol] : 0.0;
    double pivinv;
    if (std::fabs(piv) <= limit) {
      if (report) fputs("gaussj: Singular Matrix-2", stderr);
      singular++;
      pivinv = 0.0;
    } else {
      pivinv = 1.0 / piv;
    }
    a[icol][icol] = 1.0;
    for (int l = 1; l <= n; l++) a[icol][l] *= pivinv;
    for (int l = 1; l <= m; l++) b[icol][l] *= pivinv;
    for (int ll = 1; ll <= n; ll++)
      if (ll != icol) {
        double dum = a[ll][icol];
        a[ll][icol] = 0.0;
        for (int l = 1; l <= n; l++) a[ll][l] -= a[icol][l] * dum;
        for (int l = 1; l <= m; l++) b[ll][l] -= b[icol][l] * dum;
      }
  }
  for (int l = n; l >= 1; l--)
    if (indxr[l] != indxc[l])
      for (int k = 1; k <= n; k++) std::swap(a[k][indxr[l]], a[k][indxc[l]]);
  free_ivector(ipiv, 1, n);
  free_ivector(indxr, 1, n);
  free_ivector(indxc, 1, n);
  return singular;
}

void gaussj(double** a, int n, double** b, int m) { GaussJordan(a, n, b, m, nullptr, true); }

// ---- Cholesky -----------------------------------------------------------------------

int choldc(double** a, int n, double* p) {
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      double s = a[i][j];
      for (int k = i - 1; k >= 0; k--) s -= a[i][k] * a[j][k];
      if (i == j) {
        if (s <= 0.0) {
          printf("\ncholdc failed");
          return 0;
        }
        p[i] = std::sqrt(s);
      } else {
        a[j][i] = s / p[i];
      }
    }
  return 1;
}

// ---- sorting and ranking ------------------------------------------------------------

// Quicksort of x[1..n] carrying y along: partitioning element the median of
// the first, middle and last elements, straight insertion for subarrays of at
// most 7 elements, the pending subarrays on an explicit stack of 50 entries
// (always the larger one pushed, so 50 entries suffice for any n below 2^25).
void sort2(int n, double* x, double* y) {
  constexpr int kInsertion = 7;
  constexpr int kStack = 50;
  if (n < 2) return;
  int* istack = ivector(1, kStack);
  int jstack = 0;
  int l = 1, ir = n;
  for (;;) {
    if (ir - l < kInsertion) {
      for (int j = l + 1; j <= ir; j++) {
        double a = x[j], b = y[j];
        int i = j - 1;
        for (; i >= l; i--) {
          if (x[i] <= a) break;
          x[i + 1] = x[i];
          y[i + 1] = y[i];
        }
        x[i + 1] = a;
        y[i + 1] = b;
      }
      if (jstack == 0) break;
      ir = istack[jstack];
      l = istack[jstack - 1];
      jstack -= 2;
    } else {
      int k = (l + ir) >> 1;
      std::swap(x[k], x[l + 1]);
      std::swap(y[k], y[l + 1]);
      if (x[l] > x[ir]) {
        std::swap(x[l], x[ir]);
        std::swap(y[l], y[ir]);
      }
      if (x[l + 1] > x[ir]) {
        std::swap(x[l + 1], x[ir]);
        std::swap(y[l + 1], y[ir]);
      }
      if (x[l] > x[l + 1]) {
        std::swap(x[l], x[l + 1]);
        std::swap(y[l], y[l + 1]);
      }
      // x[l] <= a <= x[ir] bound both scans (a NaN stops them too, since
      // every comparison with it is false).
      int i = l + 1, j = ir;
      double a = x[l + 1], b = y[l + 1];
      for (;;) {
        do i++;
        while (x[i] < a);
        do j--;
        while (x[j] > a);
        if (j < i) break;
        std::swap(x[i], x[j]);
        std::swap(y[i], y[j]);
      }
      x[l + 1] = x[j];
      x[j] = a;
      y[l + 1] = y[j];
      y[j] = b;
      jstack += 2;
      if (jstack > kStack) {
        free_ivector(istack, 1, kStack);
        nrerror("NSTACK too small in sort2.");
      }
      if (ir - i + 1 >= j - l) {
        istack[jstack] = ir;
        istack[jstack - 1] = i;
        ir = j - 1;
      } else {
        istack[jstack] = j - 1;
        istack[jstack - 1] = l;
        l = i;
      }
    }
  }
  free_ivector(istack, 1, kStack);
}

void crank(int n, double* w, double* s) {
  *s = 0.0;
  int j = 1;
  while (j < n) {
    if (w[j + 1] != w[j]) {
      w[j] = j;
      ++j;
    } else {
      int jt = j + 1;
      while (jt <= n && w[jt] == w[j]) jt++;
      double rank = 0.5 * (j + jt - 1);
      for (int ji = j; ji <= jt - 1; ji++) w[ji] = rank;
      double t = jt - j;
      *s += t * t * t - t;
      j = jt;
    }
  }
  if (j == n) w[n] = n;
}

// ---- support ------------------------------------------------------------------------

void nrerror(const char* text) {
  fflush(stdout);
  fprintf(stderr, "%s\n", text);
  fputs("Sorry, you have to quit and restart the program.\n", stderr);
  exit(1);
}

// The block always starts at index min(lo, 0), so that every index from lo
// to hi lies inside it and no pointer is ever formed outside the block.
int* ivector(long lo, long hi) {
  long first = lo < 0 ? lo : 0;
  long count = (hi >= first ? hi - first : 0) + 1;
  int* v = static_cast<int*>(calloc(static_cast<size_t>(count), sizeof(int)));
  if (v == nullptr) nrerror("allocation failure in ivector()");
  return v - first;
}

void free_ivector(int* v, long lo, long /*hi*/) {
  if (v == nullptr) return;
  long first = lo < 0 ? lo : 0;
  free(v + first);
}
