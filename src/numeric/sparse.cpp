#include "numeric/sparse.h"

#include <algorithm>
#include <cstring>

void SparseRowsBuild(int rows, int cols, double** M, SparseRows& s) {
  s.rows = rows;
  s.cols = cols;
  s.start.assign(rows + 1, 0);
  s.index.clear();
  s.value.clear();
  for (int r = 0; r < rows; r++) {
    for (int j = 0; j < cols; j++)
      if (M[r][j] != 0.0) {
        s.index.push_back(j);
        s.value.push_back(M[r][j]);
      }
    s.start[r + 1] = static_cast<int>(s.index.size());
  }
}

size_t SparseRowsCount(const SparseRows& s) { return s.index.size(); }

double SparseRowsPairs(const SparseRows& s) {
  double pairs = 0.0;
  for (int r = 0; r < s.rows; r++) {
    const double k = s.start[r + 1] - s.start[r];
    pairs += k * k;
  }
  return pairs;
}

void SparseRowsMapRows(const SparseRows& s, const int* map, int* rowOf) {
  const size_t cells = s.index.size();
  for (size_t e = 0; e < cells; e++) rowOf[e] = map != nullptr ? map[s.index[e]] - 1 : s.index[e];
}

namespace {

// Eight doubles; the operations on them are those of eight scalars, lane by
// lane (no fused multiply-add), whatever vector unit carries them.
typedef double Lanes __attribute__((vector_size(64)));

constexpr int kAhead = 8;

// One band of 8 VECTORS columns of one row of Y: the terms held in
// registers while the row's cells are added in order.
template <int VECTORS>
__attribute__((always_inline)) inline void RowBand(int first, int last, const int* rowOf,
                                                   const double* value, double** X, int xFirst,
                                                   double* y) {
  Lanes acc[VECTORS];
#pragma GCC unroll 16
  for (int k = 0; k < VECTORS; k++) acc[k] = Lanes{};
  for (int e = first; e < last; e++) {
    const Lanes v = Lanes{} + value[e];
    const double* x = X[rowOf[e]] + xFirst;
    // The band of a later cell's row is asked for now: the rows come in no
    // order the processor could guess.
    if (e + kAhead < last) {
      const double* ahead = X[rowOf[e + kAhead]] + xFirst;
#pragma GCC unroll 16
      for (int k = 0; k < VECTORS; k++) __builtin_prefetch(ahead + 8 * k);
    }
#pragma GCC unroll 16
    for (int k = 0; k < VECTORS; k++) {
      Lanes xv;
      memcpy(&xv, x + 8 * k, sizeof xv);
      acc[k] += v * xv;
    }
  }
#pragma GCC unroll 16
  for (int k = 0; k < VECTORS; k++) memcpy(y + 8 * k, &acc[k], sizeof acc[k]);
}

// The columns left after the full bands, one at a time.
__attribute__((always_inline)) inline void RowColumn(int first, int last, const int* rowOf,
                                                     const double* value, double** X, int xCol,
                                                     double* y) {
  double acc = 0.0;
  for (int e = first; e < last; e++) acc += value[e] * X[rowOf[e]][xCol];
  *y = acc;
}

}  // namespace

__attribute__((target_clones("avx512f", "avx2", "default"))) void SparseRowsTimes(
    const SparseRows& s, const int* rowOf, double** X, int xFirst, int len, double** Y,
    int yFirst) {
  constexpr int kBand = 64;
  const int* start = s.start.data();
  const double* value = s.value.data();
  int t = 0;
  for (; t + kBand <= len; t += kBand)
    for (int r = 0; r < s.rows; r++)
      RowBand<kBand / 8>(start[r], start[r + 1], rowOf, value, X, xFirst + t, Y[r] + yFirst + t);
  for (; t + 8 <= len; t += 8)
    for (int r = 0; r < s.rows; r++)
      RowBand<1>(start[r], start[r + 1], rowOf, value, X, xFirst + t, Y[r] + yFirst + t);
  for (; t < len; t++)
    for (int r = 0; r < s.rows; r++)
      RowColumn(start[r], start[r + 1], rowOf, value, X, xFirst + t, Y[r] + yFirst + t);
}

// Positions per tile of D: two tiles of this side (one of each half) take
// about half of the processor's second-level cache.
constexpr int kTile = 192;

void QuadraticScratchInit(const SparseRows& s, int n, QuadraticScratch& w) {
  const int tiles = (n + kTile - 1) / kTile;
  w.inverse.assign(n > 0 ? n : 1, 0);
  w.fill.assign(s.rows > 0 ? s.rows : 1, 0);
  w.pos.assign(s.index.size() + 1, 0);
  w.val.assign(s.index.size() + 1, 0.0);
  w.segment.assign(static_cast<size_t>(s.rows) * (tiles + 1) + 1, 0);
}

namespace {

// Sum of v[f] d[a[f]] over f in [first, last), four partial sums taken in
// turn (the processor adds them side by side) and added at the end.
inline double GatherDot(int first, int last, const int* a, const double* v, const double* d) {
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  int f = first;
  for (; f + 4 <= last; f += 4) {
    s0 += v[f] * d[a[f]];
    s1 += v[f + 1] * d[a[f + 1]];
    s2 += v[f + 2] * d[a[f + 2]];
    s3 += v[f + 3] * d[a[f + 3]];
  }
  for (; f < last; f++) s0 += v[f] * d[a[f]];
  return (s0 + s1) + (s2 + s3);
}

}  // namespace

void SparseQuadraticForms(const SparseRows& s, const SparseRows& byColumn, const int* map,
                          double** D, double** D1, int n, QuadraticScratch& w, double* q0,
                          double* q1) {
  const int rows = s.rows, tiles = (n + kTile - 1) / kTile;
  const bool two = D1 != nullptr;
  for (int r = 0; r < rows; r++) {
    q0[r] = 0.0;
    if (two) q1[r] = 0.0;
  }
  if (rows == 0 || n == 0) return;
  // The cells of every row in ascending permuted position: OTU by OTU in
  // the order of their positions, each added to the rows holding it.
  for (int j = 0; j < n; j++) w.inverse[map != nullptr ? map[j] - 1 : j] = j;
  for (int r = 0; r < rows; r++) w.fill[r] = s.start[r];
  for (int a = 0; a < n; a++) {
    const int j = w.inverse[a];
    for (int e = byColumn.start[j]; e < byColumn.start[j + 1]; e++) {
      const int at = w.fill[byColumn.index[e]]++;
      w.pos[at] = a;
      w.val[at] = byColumn.value[e];
    }
  }
  // The first cell of each tile of positions, row by row.
  int* segment = w.segment.data();
  for (int r = 0; r < rows; r++) {
    int* seg = segment + static_cast<size_t>(r) * (tiles + 1);
    int e = s.start[r];
    for (int t = 0; t < tiles; t++) {
      seg[t] = e;
      while (e < s.start[r + 1] && w.pos[e] < (t + 1) * kTile) e++;
    }
    seg[tiles] = s.start[r + 1];
  }
  const int* pos = w.pos.data();
  const double* val = w.val.data();
  for (int ti = 0; ti < tiles; ti++)
    for (int tj = ti; tj < tiles; tj++)
      for (int r = 0; r < rows; r++) {
        const int* seg = segment + static_cast<size_t>(r) * (tiles + 1);
        const int e0 = seg[ti], e1 = seg[ti + 1], f0 = seg[tj], f1 = seg[tj + 1];
        if (e0 == e1 || f0 == f1) continue;
        double a0 = 0.0, a1 = 0.0;
        for (int e = e0; e < e1; e++) {
          const double* row = D[pos[e]];
          const double* row1 = two ? D1[pos[e]] : nullptr;
          if (ti == tj) {
            a0 += val[e] * (val[e] * row[pos[e]] + 2.0 * GatherDot(e + 1, f1, pos, val, row));
            if (two)
              a1 += val[e] * (val[e] * row1[pos[e]] + 2.0 * GatherDot(e + 1, f1, pos, val, row1));
          } else {
            a0 += val[e] * (2.0 * GatherDot(f0, f1, pos, val, row));
            if (two) a1 += val[e] * (2.0 * GatherDot(f0, f1, pos, val, row1));
          }
        }
        q0[r] += a0;
        if (two) q1[r] += a1;
      }
}

void SparseRowsTranspose(const SparseRows& s, SparseRows& t) {
  t.rows = s.cols;
  t.cols = s.rows;
  t.start.assign(s.cols + 1, 0);
  for (int j : s.index) t.start[j + 1]++;
  for (int j = 0; j < s.cols; j++) t.start[j + 1] += t.start[j];
  t.index.resize(s.index.size());
  t.value.resize(s.value.size());
  std::vector<int> fill(t.start.begin(), t.start.end() - 1);
  for (int r = 0; r < s.rows; r++)
    for (int e = s.start[r]; e < s.start[r + 1]; e++) {
      const int at = fill[s.index[e]]++;
      t.index[at] = r;
      t.value[at] = s.value[e];
    }
}
