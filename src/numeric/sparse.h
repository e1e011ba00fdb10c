// Compressed rows of a mostly-zero matrix (the performances of the OTUs
// present in each community) and the products the community structures
// take from them.
#pragma once

#include <cstddef>
#include <vector>

struct SparseRows {
  int rows = 0;
  int cols = 0;
  std::vector<int> start;      // rows + 1: the cells of row r are start[r]..start[r+1)
  std::vector<int> index;      // column of each cell, ascending within a row
  std::vector<double> value;   // its value (never an exact 0)
};

// The cells of M (rows x cols) that are not exactly 0.
void SparseRowsBuild(int rows, int cols, double** M, SparseRows& s);
// t = the cells of s by column: row j of t holds the cells (r, v) of column
// j of s, r ascending.
void SparseRowsTranspose(const SparseRows& s, SparseRows& t);
// Y[r][yFirst..yFirst + len) = sum over the cells (j, v) of row r of v
// X[rowOf[e]][xFirst..xFirst + len), for every row r, where rowOf[e] is the
// row of X that cell e reads (SparseRowsMapRows).  Each element adds its
// terms in the order of the row's cells.  The
// columns go a band at a time: the band of one row of Y is summed in
// registers over the row's cells, and the band of X, read by every row,
// stays in the cache.
void SparseRowsTimes(const SparseRows& s, const int* rowOf, double** X, int xFirst, int len,
                     double** Y, int yFirst);
// rowOf[e] = map[j] - 1 for each cell e of column j (j itself when map is
// null): the rows a permutation makes the cells read.
void SparseRowsMapRows(const SparseRows& s, const int* map, int* rowOf);
// Number of cells kept, and the sum over rows of the squared row counts.
size_t SparseRowsCount(const SparseRows& s);
double SparseRowsPairs(const SparseRows& s);


// Scratch of SparseQuadraticForms for rows s and n OTUs.
struct QuadraticScratch {
  std::vector<int> inverse;   // n
  std::vector<int> fill;      // rows
  std::vector<int> pos;       // cells: permuted position of each cell, by row
  std::vector<double> val;    // cells: its value
  std::vector<int> segment;   // rows x (tiles + 1): first cell of each tile
};
void QuadraticScratchInit(const SparseRows& s, int n, QuadraticScratch& w);

// The quadratic forms of every row r of s: with (j, u), (k, v) two cells of
// the row and a = map(j), b = map(k) (map(j) = map[j] - 1, or j when map is
// null), q0[r] = sum u v D[a][b] and, when D1 is given, q1[r] = sum u v
// D1[a][b] (D and D1 symmetric, n x n).  byColumn is the transpose of s.  The
// cells of each row are taken in the order of their permuted positions, D in
// square tiles that stay in the cache while every row adds the pairs that
// fall in them (each unordered pair once, doubled, and the diagonal); the
// order of the additions depends on the permutation only.
void SparseQuadraticForms(const SparseRows& s, const SparseRows& byColumn, const int* map,
                          double** D, double** D1, int n, QuadraticScratch& w, double* q0,
                          double* q1);
