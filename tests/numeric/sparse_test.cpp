#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <vector>

#include "matrix_fixture.h"
#include "numeric/sparse.h"

namespace {

// A mostly-zero matrix with an empty row and rows of one cell, and a
// random permutation of its columns (numbered from 1).
struct Sparse {
  Mat W;
  std::vector<int> list;
  SparseRows rows, columns;
  Sparse(int m, int n, double occupancy, unsigned seed) : W(m, n), list(n) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    for (int c = 0; c < m; c++)
      for (int i = 0; i < n; i++)
        if (u(gen) < occupancy) W[c][i] = 0.5 + u(gen);
    for (int i = 0; i < n; i++) W[0][i] = 0.0;  // empty community
    for (int i = 0; i < n; i++) W[1][i] = i == n / 2 ? 2.0 : 0.0;
    std::iota(list.begin(), list.end(), 1);
    std::shuffle(list.begin(), list.end(), gen);
    SparseRowsBuild(m, n, W, rows);
    SparseRowsTranspose(rows, columns);
  }
};

}  // namespace

// Each row of the product, summed over the row's cells with the columns
// permuted, against the plain double sum; more columns than a band and a
// remainder of fewer than eight.
TEST(SparseRows, ProductWithPermutedRowsEqualsTheSum) {
  const int m = 7, n = 40, cols = 64 + 8 + 3;
  Sparse s(m, n, 0.3, 11);
  Mat X(n, cols), Y(m, cols);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < cols; k++) X[i][k] = std::sin(1.0 + i * 0.37 + k * 0.11);
  std::vector<int> rowOf(SparseRowsCount(s.rows));
  for (const int* map : {static_cast<const int*>(nullptr), static_cast<const int*>(s.list.data())}) {
    SparseRowsMapRows(s.rows, map, rowOf.data());
    SparseRowsTimes(s.rows, rowOf.data(), X, 0, cols, Y, 0);
    for (int c = 0; c < m; c++)
      for (int k = 0; k < cols; k++) {
        double want = 0.0;
        for (int i = 0; i < n; i++)
          if (s.W[c][i] != 0.0) want += s.W[c][i] * X[map ? map[i] - 1 : i][k];
        // Same terms in the same order: the same double.
        EXPECT_EQ(Y[c][k], want) << c << ", " << k;
      }
  }
}

// The quadratic forms of every row over the pairs of its cells, with the
// permuted positions spread over several tiles of D, against the double
// sum over all pairs of the definition; a second matrix too.
TEST(SparseRows, QuadraticFormsOverTilesEqualTheDoubleSum) {
  const int m = 9, n = 700;
  Sparse s(m, n, 0.08, 5);
  Mat D(n, n), D1(n, n);
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      D[i][j] = D[j][i] = std::fabs(std::cos(0.01 * i * j + i));
      D1[i][j] = D1[j][i] = 1.0 / (1.0 + i + j);
    }
  QuadraticScratch w;
  QuadraticScratchInit(s.rows, n, w);
  std::vector<double> q0(m), q1(m);
  for (const int* map : {static_cast<const int*>(nullptr), static_cast<const int*>(s.list.data())}) {
    SparseQuadraticForms(s.rows, s.columns, map, D, D1, n, w, q0.data(), q1.data());
    for (int c = 0; c < m; c++) {
      double want0 = 0.0, want1 = 0.0;
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) {
          const double uv = s.W[c][i] * s.W[c][j];
          if (uv == 0.0) continue;
          const int a = map ? map[i] - 1 : i, b = map ? map[j] - 1 : j;
          want0 += uv * D[a][b];
          want1 += uv * D1[a][b];
        }
      EXPECT_NEAR(q0[c], want0, 1e-12 * std::max(1.0, want0)) << "row " << c;
      EXPECT_NEAR(q1[c], want1, 1e-12 * std::max(1.0, want1)) << "row " << c;
    }
    EXPECT_EQ(q0[0], 0.0);
    EXPECT_EQ(q0[1], 4.0 * D[map ? map[n / 2] - 1 : n / 2][map ? map[n / 2] - 1 : n / 2]);
  }
}
