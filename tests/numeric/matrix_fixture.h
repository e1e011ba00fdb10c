// A row-pointer matrix from the allocation family, released on scope exit
// (shared by the numeric and multivariate tests).
#pragma once

#include <initializer_list>

#include "QELib/qelibDim.h"

struct Mat {
  int rows, cols;
  double** p;
  Mat(int r, int c) : rows(r), cols(c), p(dim2Double(r, c)) {}
  Mat(std::initializer_list<std::initializer_list<double>> v)
      : Mat(static_cast<int>(v.size()), static_cast<int>(v.begin()->size())) {
    int i = 0;
    for (auto& row : v) {
      int j = 0;
      for (double x : row) p[i][j++] = x;
      i++;
    }
  }
  ~Mat() { free2D(p, rows); }
  Mat(Mat&& o) noexcept : rows(o.rows), cols(o.cols), p(o.p) { o.p = nullptr, o.rows = 0; }
  Mat(const Mat&) = delete;
  Mat& operator=(const Mat&) = delete;
  operator double**() const { return p; }
  double* operator[](int i) const { return p[i]; }
};
