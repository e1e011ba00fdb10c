#include "numeric/sparse.h"

#include <algorithm>
#include <numeric>

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

// y += a x over len values; the vector unit is chosen at run time, each
// lane doing the same operations (no fused multiply-add).
__attribute__((target_clones("avx512f", "avx2", "default"))) static void AddMultiple(
    int len, double a, const double* __restrict x, double* __restrict y) {
  for (int t = 0; t < len; t++) y[t] += a * x[t];
}

void SparseRowTimes(const SparseRows& s, int r, const int* map, double** X, int len, double* y) {
  SparseRowTimes(s, r, map, X, 0, len, y);
}

void SparseRowTimes(const SparseRows& s, int r, const int* map, double** X, int first, int len,
                    double* y) {
  std::fill(y, y + len, 0.0);
  for (int e = s.start[r]; e < s.start[r + 1]; e++) {
    const int j = s.index[e];
    AddMultiple(len, s.value[e], X[map != nullptr ? map[j] - 1 : j] + first, y);
  }
}

void SparseRowQuadratic(const SparseRows& s, int r, const int* map, double** D, int n, bool two,
                        int* pos, double* val, double& q0, double& q1) {
  const int first = s.start[r], k = s.start[r + 1] - first;
  // The cells in the order of their permuted positions, so that the rows of
  // D are read forwards.
  for (int e = 0; e < k; e++) {
    const int j = s.index[first + e];
    pos[e] = map != nullptr ? map[j] - 1 : j;
    val[e] = s.value[first + e];
  }
  if (map != nullptr) {
    std::vector<int> order(k);
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(), [&](int a, int b) { return pos[a] < pos[b]; });
    std::vector<int> p2(k);
    std::vector<double> v2(k);
    for (int e = 0; e < k; e++) {
      p2[e] = pos[order[e]];
      v2[e] = val[order[e]];
    }
    std::copy(p2.begin(), p2.end(), pos);
    std::copy(v2.begin(), v2.end(), val);
  }
  // Each unordered pair once, doubled, and the diagonal.
  double a0 = 0.0, a1 = 0.0;
  for (int e = 0; e < k; e++) {
    const double* row = D[pos[e]];
    double s0 = 0.0, s1 = 0.0;
    for (int f = e + 1; f < k; f++) {
      s0 += val[f] * row[pos[f]];
      if (two) s1 += val[f] * row[n + pos[f]];
    }
    a0 += val[e] * (val[e] * row[pos[e]] + 2.0 * s0);
    if (two) a1 += val[e] * (val[e] * row[n + pos[e]] + 2.0 * s1);
  }
  q0 = a0;
  q1 = a1;
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

void SparseColumnsTimes(const SparseRows& cols, const int* map, double** X, int first, int len,
                        double** G) {
  for (int j = 0; j < cols.rows; j++) {
    const double* x = X[map != nullptr ? map[j] - 1 : j] + first;
    for (int e = cols.start[j]; e < cols.start[j + 1]; e++)
      AddMultiple(len, cols.value[e], x, G[cols.index[e]] + first);
  }
}
