// Ordination: principal coordinates, principal components, correspondence
// analysis; GSL eigen decomposition and singular value decomposition.
// Eigenvectors and scores are stored axis by row.
#pragma once

bool EigenHouseholderQL_GSL_D(int n, double** A, double** vectors, double* values);
bool SingValueDecomp(int m, int n, double** A, double** U, double* w, double** V);
// Sum of the singular values of A (m x n); A with m < n is read as padded
// with zero rows.  0 when A holds a value that is not finite or the
// decomposition fails.  A is not modified.
double SumSingularValues(int m, int n, double** A);
void DissToCenterProdMatrix(int n, double** D, double** G, bool alreadySquared);
void ProdToSqDist(int n, double** S, double** D);
void CorrToSqDist(int n, double** R, double** D);
void ProbToDissim(int n, double** P, double** D);
// method 1 PCoA, 2 PCA, 3 CA; reseCode is the ResemblanceLib code of rese;
// orientation 1 = data is n x p.  Returns 1.
int OrdinationLib_D(int n, int p, double** data, double** rese, double** vectors,
                    double** scores, int* axesKept, double* values, bool* eigenOk, int method,
                    int reseCode, int orientation);
int OrdinationLib_Scores(int n, int p, double** data, double** rese, double** scores, int method,
                         int reseCode, int orientation);
