// Multiple linear regression by the normal equations, and residuals.
#pragma once

#include <cstdio>

// Y (n x p) on X (n x q): coefficients B (q x p), intercepts b0 (p),
// predicted values Yhat (n x p), coefficients of determination R2 (p), total
// sums of squares SStot (p; may be null).  The printing arguments are kept
// for the callers' sake; this system always passes no printout.
void regression(int n, int p, int q, double** Y, double** X, double** B, double* b0,
                double** Yhat, double* R2, double* SStot, bool print, FILE* stream,
                int language, bool printData);
void regression(int n, int p, int q, float** Y, float** X, double** B, double* b0,
                double** Yhat, double* R2, double* SStot, bool print, FILE* stream,
                int language, bool printData);
void regression(int n, int p, int q, double** Y, double** X, double** B, double* b0,
                double** Yhat, double* R2);
void regression(int n, int p, int q, float** Y, float** X, double** B, double* b0,
                double** Yhat, double* R2);

// Residuals of Y on the selected columns of X (all when select is null).
void Regression_ResidualsSelect(int n, int p, int q, double** Y, double** X, double** Res,
                                const int* select);
// Residuals of Y on the leading principal components of the selected columns
// of X; option 1 covariance-based, 2 correlation-based.
// The component scores of those regressions: S (n x at least the selected
// column count) receives the scores of the components used, one column
// each; returns their number.
int PCARegressionScores(int n, int q, double** X, const int* select, int option,
                        double overfitFactor, double** S);
void PCA_Regression_ResidualsSelect(int n, int p, int q, double** Y, double** X, double** Res,
                                    const int* select, int option, double overfitFactor);
// Residuals (upper triangle) of B's elements regressed on A's.
void ResidualsMatrixRegression(int n, double** A, double** B, double** Res);

// Limits the number of PCA axes in PCA regression to (n - 2) / factor.
extern double overfitFactorPCARegr;
