// Gauss-Jordan elimination with a tolerance for zero pivots, shared by
// gaussj and the regression.
#pragma once

// As gaussj (1-based a and b).  A pivot of magnitude at most tol[col] (tol
// 1-based, null = exactly 0) counts as zero: the variable of that column is
// left out of the solution instead of dividing by the pivot.  The singular
// messages go to the standard error stream when report is true.  Returns the
// number of singular steps met.
int GaussJordan(double** a, int n, double** b, int m, const double* tol, bool report);
