// Matrices built from literals for the multivariate tests.
#pragma once

#include <initializer_list>
#include <vector>

#include "QELib/qelibDim.h"

// A row-pointer matrix owning its storage.
struct Mat {
  int rows, cols;
  double** m;
  Mat(int r, int c) : rows(r), cols(c), m(dim2Double(r, c)) {}
  Mat(std::initializer_list<std::initializer_list<double>> v)
      : rows(static_cast<int>(v.size())),
        cols(static_cast<int>(v.begin()->size())),
        m(dim2Double(rows, cols)) {
    int i = 0;
    for (auto& row : v) {
      int j = 0;
      for (double x : row) m[i][j++] = x;
      i++;
    }
  }
  ~Mat() { free2D(m, rows); }
  Mat(Mat&& o) noexcept : rows(o.rows), cols(o.cols), m(o.m) { o.m = nullptr; o.rows = 0; }
  Mat(const Mat&) = delete;
  Mat& operator=(const Mat&) = delete;
  double* operator[](int i) const { return m[i]; }
  operator double**() const { return m; }
};
