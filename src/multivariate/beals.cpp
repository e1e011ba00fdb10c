// Beals smoothing: the probability of each OTU in each community given the
// other OTUs present, from the co-occurrences of OTUs over all communities.
//
// Community matrices are mostly zeros, and a zero performance adds nothing
// to any of the sums below: both steps run over the non-zero performances
// of each community only, adding the remaining terms in the order of the
// full sums, so the results are those of the full sums to the last bit.
// It runs on the calling thread unless the caller hands it a team (once per
// analysis, never inside a permutation, a subset or a simulated data set):
// its rows are independent, each summed in the same order on any thread.
#include "multivariate/beals.h"

#include <algorithm>
#include <vector>

#include "QELib/qelibDim.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"

namespace {

// The non-zero, non-missing cells of each row of an n x s matrix
// (present), and among them the positive ones (positive).
struct RowLists {
  std::vector<int> presentStart, present, positiveStart, positive;
};

RowLists ListRows(int n, int s, double** X) {
  RowLists l;
  l.presentStart.assign(n + 1, 0);
  l.positiveStart.assign(n + 1, 0);
  for (int c = 0; c < n; c++) {
    for (int j = 0; j < s; j++) {
      const double x = X[c][j];
      if (IsMissing(x) || x == 0.0) continue;
      l.present.push_back(j);
      if (x > 0.0) l.positive.push_back(j);
    }
    l.presentStart[c + 1] = static_cast<int>(l.present.size());
    l.positiveStart[c + 1] = static_cast<int>(l.positive.size());
  }
  return l;
}

// y += w m over the OTUs whose element of m is not missing; adding an exact
// 0 instead of skipping leaves each sum as it is.  The vector unit is chosen
// at run time, each lane doing the same operations.
__attribute__((target_clones("avx512f", "avx2", "default"))) void AddRow(
    int s, double w, const double* __restrict m, double* __restrict y) {
  for (int j = 0; j < s; j++) y[j] += m[j] != kMissing ? w * m[j] : 0.0;
}

// y += (w / rest) m where rest is not 0.
__attribute__((target_clones("avx512f", "avx2", "default"))) void AddRowOver(
    int s, double w, const double* __restrict rest, const double* __restrict m,
    double* __restrict y) {
  for (int j = 0; j < s; j++) y[j] += rest[j] != 0.0 ? w / rest[j] * m[j] : 0.0;
}

// The communities holding each OTU (non-zero, or positive for mode 0), in
// order, and the OTUs each community adds to a row of N (non-zero for mode
// 2, else positive).
struct Cooccurrence {
  int mode = 0;
  RowLists rows;
  std::vector<int> colStart, colComm;
  Cooccurrence(int n, int s, double** X, int m) : mode(m), rows(ListRows(n, s, X)) {
    const std::vector<int>& rowStart = mode == 0 ? rows.positiveStart : rows.presentStart;
    const std::vector<int>& rowIdx = mode == 0 ? rows.positive : rows.present;
    colStart.assign(s + 1, 0);
    colComm.resize(rowIdx.size());
    for (int j : rowIdx) colStart[j + 1]++;
    for (int j = 0; j < s; j++) colStart[j + 1] += colStart[j];
    std::vector<int> fill(colStart.begin(), colStart.end() - 1);
    for (int c = 0; c < n; c++)
      for (int a = rowStart[c]; a < rowStart[c + 1]; a++) colComm[fill[rowIdx[a]]++] = c;
  }
};

// Rows first..last - 1 of M into R (row j of M in R[j - first]).
// N[j][k] sums over the communities c, in order, a term that is 0 unless
// X[c][j] is non-zero (mode 0 and 1: positive) and X[c][k] is positive (mode
// 2: non-zero); only those terms are added.  Each row is then divided by its
// diagonal (modes 0 and 1) and, with unitRows, by its total.
void ConditionalRows(const Cooccurrence& co, int s, double** X, int first, int last,
                     bool unitRows, double** R, int threads) {
  const int mode = co.mode;
  const std::vector<int>& kStart = mode == 2 ? co.rows.presentStart : co.rows.positiveStart;
  const std::vector<int>& kIdx = mode == 2 ? co.rows.present : co.rows.positive;
#pragma omp parallel for schedule(dynamic, 4) num_threads(threads) if (threads > 1)
  for (int j = first; j < last; j++) {
    double* row = R[j - first];
    for (int k = 0; k < s; k++) row[k] = 0.0;
    if (mode < 0 || mode > 2) continue;
    // The OTUs of a community are distinct: its additions are independent.
    for (int a = co.colStart[j]; a < co.colStart[j + 1]; a++) {
      const int c = co.colComm[a];
      const double add = mode == 0 ? 1.0 : X[c][j];
      const int* k = kIdx.data() + kStart[c];
      const int count = kStart[c + 1] - kStart[c];
      if (mode == 2) {
        const double* x = X[c];
#pragma omp simd
        for (int b = 0; b < count; b++) row[k[b]] += add * x[k[b]];
      } else {
#pragma omp simd
        for (int b = 0; b < count; b++) row[k[b]] += add;
      }
    }
    if (mode != 2) {
      const double diag = row[j];
      if (diag > 0.0)
        for (int k = 0; k < s; k++) row[k] /= diag;
      row[j] = 1.0;
    }
    if (unitRows) {
      double sum = 0.0;
      for (int k = 0; k < s; k++)
        if (!IsMissing(row[k])) sum += row[k];
      if (sum == 0.0) sum = 1.0;
      for (int k = 0; k < s; k++)
        if (!IsMissing(row[k])) row[k] /= sum;
    }
  }
}

}  // namespace

void ConditionalProb(int n, int s, double** X, double** M, int mode) {
  ConditionalProb(n, s, X, M, mode, false);
}

void ConditionalProb(int n, int s, double** X, double** M, int mode, bool unitRows,
                     int threads) {
  const Cooccurrence co(n, s, X, mode);
  ConditionalRows(co, s, X, 0, s, unitRows, M, threads);
}

namespace {

// Missing performances in W are left out of every weighted sum (and of the
// row totals); the smoothed value of a missing cell is still estimated from
// the other OTUs of its community.  With the odds transformation a
// conditional probability of exactly 1 has no finite odds and its term is
// left out.
//
// Each row of Y sums, over the OTUs its community holds in increasing
// order, the rows of M weighted by the community's performances (divided,
// without the target OTU, by what the target leaves of the community).  M
// (OTUs x OTUs) is never held whole: its rows are formed a few at a time,
// in increasing order, and added to every community holding their OTU
// before the next ones are formed.  Within that, the rows of Y are taken in
// blocks of communities and their columns in strips, so that the strips of
// M's rows and Y's rows in use stay in the cache.  Every element of Y adds
// its terms in the order of the OTUs, whatever the blocks and the threads.
void Smooth(int n, int s, double** W, double** X, double** Y, bool includeTarget, int mode,
            bool unitRows, bool odds, int threads) {
  constexpr int kBlockRows = 64, kStrip = 512, kChunk = 128;
  const Cooccurrence co(n, s, X, mode);
  double** Wr = dim2Double(n, s);
  UnitSumRowsAdjMV(n, s, Wr, W);
  const RowLists l = ListRows(n, s, Wr);
  // For each block of communities, the communities of the block holding
  // each OTU, in order, with their weights.
  const int blocks = (n + kBlockRows - 1) / kBlockRows;
  std::vector<std::vector<int>> kStart(blocks), kComm(blocks);
  std::vector<std::vector<double>> kWeight(blocks);
  for (int blk = 0; blk < blocks; blk++) {
    const int i0 = blk * kBlockRows, i1 = std::min(n, i0 + kBlockRows);
    std::vector<int>& start = kStart[blk];
    start.assign(s + 1, 0);
    for (int a = l.presentStart[i0]; a < l.presentStart[i1]; a++) start[l.present[a] + 1]++;
    for (int k = 0; k < s; k++) start[k + 1] += start[k];
    kComm[blk].resize(start[s]);
    kWeight[blk].resize(start[s]);
    for (int i = i0; i < i1; i++)
      for (int a = l.presentStart[i]; a < l.presentStart[i + 1]; a++) {
        const int k = l.present[a], at = start[k]++;
        kComm[blk][at] = i;
        kWeight[blk][at] = Wr[i][k];
      }
    for (int k = s; k > 0; k--) start[k] = start[k - 1];
    start[0] = 0;
  }
  for (int i = 0; i < n; i++)
    for (int j = 0; j < s; j++) Y[i][j] = 0.0;
  const int chunk = std::min(kChunk, s > 0 ? s : 1);
  double** M = dim2Double(chunk, s);
  for (int k0 = 0; k0 < s; k0 += chunk) {
    const int k1 = std::min(s, k0 + chunk);
    ConditionalRows(co, s, X, k0, k1, unitRows, M, threads);
    if (!includeTarget)
      for (int k = k0; k < k1; k++) {
        double* row = M[k - k0];
        row[k] = 0.0;
        // The odds of the conditional probabilities (0 for a probability of
        // 1: such a term adds nothing).
        if (odds)
          for (int j = 0; j < s; j++) row[j] = row[j] == 1.0 ? 0.0 : row[j] / (1.0 - row[j]);
      }
#pragma omp parallel num_threads(threads) if (threads > 1)
    {
      std::vector<double> rest(includeTarget ? 0 : static_cast<size_t>(kBlockRows) * kStrip);
#pragma omp for schedule(dynamic, 1)
      for (int blk = 0; blk < blocks; blk++) {
        const int i0 = blk * kBlockRows, i1 = std::min(n, i0 + kBlockRows);
        const std::vector<int>& start = kStart[blk];
        if (start[k1] == start[k0]) continue;
        const int* comm = kComm[blk].data();
        const double* weight = kWeight[blk].data();
        for (int j0 = 0; j0 < s; j0 += kStrip) {
          const int width = std::min(kStrip, s - j0);
          if (includeTarget) {
            for (int k = k0; k < k1; k++)
              for (int b = start[k]; b < start[k + 1]; b++)
                AddRow(width, weight[b], M[k - k0] + j0, Y[comm[b]] + j0);
          } else {
            for (int i = i0; i < i1; i++) {
              double* r = rest.data() + static_cast<size_t>(i - i0) * kStrip;
              for (int j = 0; j < width; j++) {
                const double w = Wr[i][j0 + j];
                r[j] = 1.0 - (IsMissing(w) ? 0.0 : w);
              }
            }
            for (int k = k0; k < k1; k++)
              for (int b = start[k]; b < start[k + 1]; b++) {
                const int i = comm[b];
                AddRowOver(width, weight[b], rest.data() + static_cast<size_t>(i - i0) * kStrip,
                           M[k - k0] + j0, Y[i] + j0);
              }
          }
        }
      }
    }
  }
  free2D(M, chunk);
  free2D(Wr, n);
}

}  // namespace

void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode) {
  Smooth(n, s, W, X, Y, includeTarget, mode, false, mode == 2, 1);
}

void BealsSmoothing(int n, int s, double** W, double** X, double** Y, bool includeTarget,
                    int mode, bool unitRows, int threads) {
  Smooth(n, s, W, X, Y, includeTarget, mode, unitRows, unitRows, threads);
}
