// Descriptive statistics and transformations of row-pointer matrices.
//
// -999 marks a missing value.  Functions ending in MV (and the Adj
// functions) skip missing values in every sum, count and extreme and copy a
// missing value unchanged to their result; the others treat -999 as a number.
// Unless stated, the result may be the source matrix itself.  In the Adj
// functions the result matrix comes before the source.
#pragma once

// ---- sums and single-vector statistics ----
double SumOfSquares(int n, const double* x);
double SumOfSquaresDev(int n, const double* x);
void MeanStDev(int n, const double* x, double* mean, double* sd);
double maxVector(int n, const double* x);
double minVector(int n, const double* x);
void RowTotalsMV(int n, int p, double** X, double* totals);
void ColTotalsMV(int n, int p, double** X, double* totals);
double MatrixTotalMV(int n, int p, double** X);
double CrossProduct2VecMV(int n, const double* x, const double* y);
double Covariance2VecMV(int n, const double* x, const double* y);
double Correlation2VecMV(int n, const double* x, const double* y);

// ---- row-by-row association matrices (n objects x p variables -> n x n) ----
void CrossProductMV(int n, int p, double** X, double** C);
void CovarianceMV(int n, int p, double** X, double** C);
void CorrelationMV(int n, int p, double** X, double** R);

// ---- centring, scaling, standardisation ----
void CenterRowsMV(int n, int p, double** X, double** Y);
void CenterRowsCovMV(int n, int p, double** X, double** Y);
void CenterColsMV(int n, int p, double** X, double** Y);
void CenterColsMV(int n, int p, float** X, double** Y);
void NormalizeRowsMV(int n, int p, double** X, double** Y);
void NormalizeCols(int n, int p, double** X, double** Y);
void NormalizeColsMV(int n, int p, double** X, double** Y);
void ZStandardizationRowsMV(int n, int p, double** X, double** Y);
void ZStandardizationRowsMV(int n, int p, const double* mean, const double* sd, double** X,
                            double** Y);
void ZStandardizationColsMV(int n, int p, double** X, double** Y);
void CorrAdj(int n, int p, double** Y, double** X);
// Mean of the non-missing values of column j of X (n rows); 0 when there is
// none.  A constant column has its value as mean exactly, so that centring
// it gives exact zeros.
double ColumnMeanMV(int n, double** X, int j);
void UnitSumRowsAdjMV(int n, int p, double** Y, double** X);
void RangeColsAdjMV(int n, int p, double** Y, double** X);
void GowerStandardizationRows(int n, int p, double** X);
void GowerStandardizationCols(int n, int p, double** X);
void MatrixUnitMaxTransf(int n, int p, double** X, double** Y);
void ScalarMatrixProd(int n, int p, double s, double** X, double** Y);
void DeviationsExpectationsMV(int n, int p, double** X, double** D);
void CopyMatrix(int n, int p, double** X, double** Y);
void UpperToLowerMatrix(int n, double** M);

// ---- ranks and orders ----
// order[k] = 1-based position in x of the (k+1)-th smallest value.
void RankVector(int n, const double* x, int* order);
void RankVectorAbs(int n, const double* x, int* order);
// Average ranks from 1 of the non-missing values; missing values stay -999.
void RankVectorAdjMV(int n, const double* x, double* ranks);
double MatrixPercentile(double P, int n, int p, double** X);

// ---- group counting ----
// distinct (may be null) receives the distinct values in ascending order.
void CountGroups(int n, const int* groups, int* count, int* distinct);
void CountGroupsSelect(int n, const int* groups, const int* select, int* count, int* distinct);
