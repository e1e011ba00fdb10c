// Trait resemblance between OTUs, crisp and fuzzy belonging of OTUs to types,
// weighted products giving T, X and P, Rao quadratic entropy, and the
// resemblance between communities of the functional analysis.
#pragma once

// partial[i][j][k]: weighted partial similarity of OTUs i and j on trait k
// (a dim3Double(n, n, p) array).  B is n x p.
void gower_similarityPartial(int p, double** B, int n, double*** partial, const int* types,
                             const double* ranges, const double* weights);
// S (n x n, full) = weighted average of the partial similarities over the
// traits with weight > 0 that are comparable for the pair; -999 when none is.
void gower_similarityAverage(int n, int p, double*** partial, double** S, const double* weights);
// The same with weight 1 for each trait whose selection is 1.
void gower_similarityAverage(int n, int p, double*** partial, double** S, const int* select);

// S (n x n, full) as gower_similarityAverage of gower_similarityPartial with
// the same weights gives it, without the n x n x p array.
// threads: the team of a computation made once per analysis (1: the
// calling thread); the digits do not depend on it.
void gower_similarity(int p, double** B, int n, double** S, const int* types,
                       const double* ranges, const double* weights, int threads = 1);

// C[i][t] = 1 when OTU i carries the t-th label (labels ascending); a null
// partition makes every OTU its own type.
bool CrispBelonging(int n, int g, const int* partition, double** C);
// typeOf[i] = the column of OTU i in C (the position of its label among the
// distinct labels, ascending); the number of distinct labels.
int TypeColumns(int n, const int* partition, int* typeOf);
// Fuzzy belonging U (n x g) from the similarity (or dissimilarity) S, made
// symmetric from its upper triangle; every row of U sums to 1.
bool FuzzyBelonging(int n, int g, double** S, const int* partition, double** U,
                    bool isDissimilarity, int threads = 1);

// Rao quadratic entropy of one community with abundances p (n OTUs).
double RaoIndex_Weight(int n, const double* p, double** rese, bool isDissimilarity,
                       bool squareRoot, const int* w, bool restrictWithin, bool adjust);
double RaoIndex_Weight(int n, const double* p, double** rese, bool isDissimilarity,
                       bool squareRoot, const int* w, bool restrictWithin);

// The Gini-Simpson index: RaoIndex_Weight with the identity as similarity
// matrix (no square root), in time linear in the OTUs present.
double GiniSimpson_Weight(int n, const double* p, const int* w, bool restrictWithin,
                          bool adjust);

// Resemblance between communities (rows of data) for rese_opt 6..10; the
// Euclidean ones on the team of threads given (once per analysis).
void NominalReseNonHier(int rows, int columns, double** data, double** D, int reseOpt,
                        int threads = 1);

// True when some OTU is excluded (weight not > 0) and additivity is not kept.
bool ScaleAdjustFlag(int nOTUs, const int* weightOTUs, bool keepAdditivity);
