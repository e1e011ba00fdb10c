// Resemblance measures between the rows of a data matrix.
//
// The output is a square matrix; unless stated a measure fills only the
// upper triangle including the diagonal and the caller (or ResemblanceLib)
// mirrors it.  -999 marks a missing value (exact comparison).
#pragma once

// Dispatcher over the measure codes 1..28; mirrors the upper triangle into
// the lower one.  direction 2 = between columns.  postTransform 1 squares, 2
// takes square roots of the upper triangle.  Returns 1.
int ResemblanceLib(int n, int p, double** data, double** rese, int direction, int measure,
                   int postTransform, int* varTypes, double param1, double param2,
                   int doubleZeroOpt, bool flag);
// Measure code of ResemblanceLib for the user's option rese_opt (1..10);
// 0 for the options that have no measure.
int TranslateReseOpt_QUILTA_VARIMO(int reseOpt);

// ---- Euclidean family (OpenMP over rows) ----
void EucliDist(int n, int p, double** X, double** D);
// threads: the team of a matrix formed once per analysis (1: the calling
// thread); the same digits either way.
void EucliDistMV(int n, int p, double** X, double** D, int threads = 1);
void EucliDistMVSelect(int n, int p, double** X, double** D, const int* select);
void EucliDistMVSelectOne(int n, int p, double** X, double** D, int k);

void AbsValFunctionMV(int n, int p, double** X, double** D);
void ChordDistMV(int n, int p, double** X, double** D);
double ChordDistSq2VecMV(int p, const double* x, const double* y);
void BrayCurtisMV(int n, int p, double** X, double** D);

// ---- Gower ----
void GowerMV(int n, int p, const int* types, double** X, double** S, const double* range,
             const double* weight);
void GowerMVOpt(int n, int p, const int* types, double** X, double** S, const float* range,
                const float* weight, int doubleZeroOpt);
// The range of the values that are not missing, in single precision.
double VectorRange(int n, const double* x);
// Partial similarity of one variable (column x of n values) for every pair.
void GowerMVPartial_dAbsences(int n, int type, double* x, double** S, double range,
                              double weight, int doubleZeroOpt);

// ---- binary coefficients ----
void JointFreq(int p, const double* x, const double* y, int* a, int* b, int* c, int* d);
void Jaccard(int n, int p, double** X, double** S);
void SimpleMatching(int n, int p, double** X, double** S);
void SokalMichener(int n, int p, double** X, double** S);
void Ochiai(int n, int p, double** X, double** S);
void Sorensen(int n, int p, double** X, double** S);
void MeanSquareContingency(int n, int p, double** X, double** S);
void JaccardDissimilarity(int n, int p, double** X, double** S);
void JaccardTurnover(int n, int p, double** X, double** S);
void JaccardNestedness(int n, int p, double** X, double** S);
void SorensenDissimilarity(int n, int p, double** X, double** S);
void SorensenTurnover(int n, int p, double** X, double** S);
void SorensenNestedness(int n, int p, double** X, double** S);

// ---- information and contingency measures ----
void IDivergenceMV(int n, int p, double** X, double** D);
void MutualInformationMV(int n, int p, double** X, double** D);
void MDISMV(int n, int p, double** X, double** D, bool writeTables);
void MutualEntropyPairwiseMV(int n, int p, double** X, double** D, double order,
                             bool writeTables);
void CoheCoefPairwiseMV(int n, int p, double** X, double** D, float order, bool writeTables);
void QuiSquareMV(int n, int p, double** X, double** D, bool writeTables);
void LegendreChodorowski(int n, int p, double** X, double** S, const double* weight, double k);
// Eigenvalues (larger, smaller) and eigenvectors of the 2 x 2 cross-product
// matrix of two rows; the optional outputs may be null.
void HierFactorialEigen(int p, const double* x, const double* y, double* first, double* second,
                        double* firstVector, double* secondVector);

// 0.5 * sum |x/X - y/Y| (squared differences when squared); 0 when a total
// is not positive.
double SumAbsDeviations(int n, const double* x, const double* y, bool squared);
