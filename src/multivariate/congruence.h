// Matrix congruence: matrix (Mantel) correlation, partial correlation,
// Procrustes and RV coefficients.
#pragma once

// Pearson correlation over the strict upper halves of two n x n matrices,
// pairs with -999 skipped; 0 when either half is constant or n < 2.
double MatrixCorr(int n, double** A, double** B);
// Correlation of X and Y with Z held constant; 0 when rXZ or rYZ is 1
// within 1e-9.
double PartialCorrelation(double rXY, double rXZ, double rYZ);
double ProcrustesCoeff(int n, int p1, int p2, double** X, double** Y);
double RVcoeff(int n, int p1, int p2, double** X, double** Y);
double vecProd(int n, double** A, double** B);
// Procrustes (method 2) or RV (method 3) between the residuals of X and Y on
// the covariates; after covariateCount come, for each covariate, its column
// count (int), its selection (const int*, may be null) and its matrix.
double PartialMatrixCorrelation(int n, int p1, int p2, double** X, double** Y, int method,
                                double overfitFactor, int covariateCount, ...);
// The leading principal components of a set of covariates (the columns of
// Z, n x q), as the partial coefficients use them: centred and orthonormal,
// k columns.  The residuals of a matrix regressed (with an intercept) on
// those components are its centred columns less their projections on the
// basis.  Covariates or responses with missing values take the regression
// itself.
struct CovariateBasis {
  int n = 0;
  int q = 0;
  int k = 0;
  double overfitFactor = 2.0;
  bool missing = false;   // Z holds a missing value
  double** Z = nullptr;   // n x q, a copy of the covariates
  double** Q = nullptr;   // n x k
};
void CovariateBasisBuild(int n, int q, double** Z, double overfitFactor, CovariateBasis& b);
void CovariateBasisFree(CovariateBasis& b);
// Res (n x p) = residuals of Y on the basis; Res may be Y.
void CovariateResiduals(const CovariateBasis& b, int p, double** Y, double** Res);
// Procrustes (method 2) or RV (method 3) of the residuals of X and Y on a
// basis.
double PartialCoefficient(const CovariateBasis& b, int p1, int p2, double** X, double** Y,
                          int method);

// Two-community rule: 1 - |a - b| / max(a, b) of the single off-diagonal
// elements of two 2 x 2 resemblance matrices.
double TwoCommunityCorr(double a, double b);
// Pearson correlation of two vectors of n pairs (the strict upper halves of
// two resemblance matrices read row by row), pairs with -999 skipped; 0 when
// either side is constant or no pair is left.  The arithmetic of MatrixCorr.
double PairsCorr(long n, const double* a, const double* b);
// PairsCorr of the strict upper halves of A, its rows and columns permuted
// (element i, j taken from A[list[i] - 1][list[j] - 1]; A itself when list is
// null), and of B (n x n each), read in place pair by pair in row order:
// the digits of PairsCorr on the two halves copied out.
double PermutedPairsCorr(int n, double** A, const int* list, double** B);
// Matrix correlation of two resemblance matrices between m communities: with
// two communities the two-community rule, with fewer than two 0.
double CommunityMatrixCorr(int m, double** A, double** B);
