// Beals smoothing: the probability of each OTU in each community given the
// other OTUs present, from the co-occurrences of OTUs over all communities.
#include "multivariate/beals.h"

#include "QELib/qelibDim.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"

void ConditionalProb(int n, int s, double** X, double** M, int mode) {
  ConditionalProb(n, s, X, M, mode, false);
}

void ConditionalProb(int n, int s, double** X, double** M, int mode, bool unitRows) {
  for (int j = 0; j < s; j++)
    for (int k = 0; k < s; k++) {
      double sum = 0.0;
      for (int c = 0; c < n; c++) {
        const double xj = X[c][j], xk = X[c][k];
        if (IsMissing(xj) || IsMissing(xk)) continue;
        if (mode == 0)
          sum += xj > 0.0 && xk > 0.0 ? 1.0 : 0.0;
        else if (mode == 1)
          sum += xk > 0.0 ? xj : 0.0;
        else if (mode == 2)
          sum += xj * xk;
      }
      M[j][k] = sum;
    }
  if (mode != 2)
    for (int j = 0; j < s; j++) {
      const double diag = M[j][j];
      if (diag > 0.0)
        for (int k = 0; k < s; k++) M[j][k] /= diag;
      M[j][j] = 1.0;
    }
  if (unitRows)
    for (int j = 0; j < s; j++) {
      double sum = 0.0;
      for (int k = 0; k < s; k++)
        if (!IsMissing(M[j][k])) sum += M[j][k];
      if (sum == 0.0) sum = 1.0;
      for (int k = 0; k < s; k++)
        if (!IsMissing(M[j][k])) M[j][k] /= sum;
    }
}

namespace {

// Missing performances in W are left out of every weighted sum (and of the
// row totals); the smoothed value of a missing cell is still estimated from
// the other OTUs of its community.  With the odds transformation a
// conditional probability of exactly 1 has no finite odds and its term is
// left out.
void Smooth(int n, int s, double** W, double** X, double** Y, bool includeTarget, int mode,
            bool unitRows, bool odds) {
  double** M = dim2Double(s, s);
  ConditionalProb(n, s, X, M, mode, unitRows);
  double** Wr = dim2Double(n, s);
  UnitSumRowsAdjMV(n, s, Wr, W);
  if (includeTarget) {
    MatrixProd(n, s, s, s, Wr, M, Y);
  } else {
    for (int j = 0; j < s; j++) M[j][j] = 0.0;
    for (int i = 0; i < n; i++)
      for (int j = 0; j < s; j++) {
        const double w = IsMissing(Wr[i][j]) ? 0.0 : Wr[i][j];
        if (1.0 - w == 0.0) {
          Y[i][j] = 0.0;
          continue;
        }
        double sum = 0.0;
        for (int k = 0; k < s; k++) {
          if (IsMissing(Wr[i][k])) continue;
          double m = M[k][j];
          if (odds) {
            if (m == 1.0) continue;
            m = m / (1.0 - m);
          }
          sum += Wr[i][k] / (1.0 - w) * m;
        }
        Y[i][j] = sum;
      }
  }
  free2D(Wr, n);
  free2D(M, s);
}

}  // namespace

void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode) {
  Smooth(n, s, W, X, Y, includeTarget, mode, false, mode == 2);
}

void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode, bool unitRows) {
  Smooth(n, s, W, X, Y, includeTarget, mode, unitRows, unitRows);
}
