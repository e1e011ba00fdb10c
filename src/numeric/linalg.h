// Small dense linear algebra, sorting and ranking on row-pointer matrices.
//
// Products take (rows of A, columns of A, rows of B, columns of B, A, B, C),
// set every element of C to 0 first, and return 1 without computing when the
// columns of A differ from the rows of B, else 0.  Sorting, ranking and
// Gauss-Jordan follow the 1-based convention (element 0 unused).
#pragma once

int MatrixProd(int nA, int kA, int kB, int mB, double** A, double** B, double** C);
int MatrixProdMV(int nA, int kA, int kB, int mB, double** A, double** B, double** C);
int MatrixProdMV_Weight(int nA, int kA, int kB, int mB, double** A, double** B, double** C,
                        const int* w);
int MatrixProdMV_Weight(int nA, int kA, int kB, int mB, double** A, double** B, double** C,
                        const int* w, bool adjust);
// MatrixProdMV_Weight of A (nA x kA) with the crisp belonging of kA OTUs to
// g types (OTU l in column typeOf[l]; in none when typeOf[l] is not below
// g), without the kA x g matrix: the same digits.
void MatrixProdMV_WeightCrisp(int nA, int kA, int g, double** A, const int* typeOf, double** C,
                              const int* w, bool adjust);
int MatrixProdSelectMV_Adjust_Weight(int nA, int kA, int kB, int mB, double** A, double** B,
                                     double** C, const int* select, const int* w);
int MatrixProdSelectMV_Adjust_Weight(int nA, int kA, int kB, int mB, double** A, double** B,
                                     double** C, const int* select, const int* w, bool adjust);
int MatrixSum(int rA, int cA, int rB, int cB, double** A, double** B, double** C, int s);

// C = alpha op(A) op(B) + beta C through CBLAS (no missing-value handling):
// op(A) is rows x inner, op(B) inner x cols, C rows x cols; transA (transB)
// means A (B) is stored transposed.  The stored column counts are taken from
// the shapes.  Matrices whose rows are not in one dense block are copied
// first.  Safe to call from several threads at once.
void DenseProd(bool transA, bool transB, int rows, int cols, int inner, double alpha,
               double** A, double** B, double beta, double** C);
// G (rows x rows, full) = A A' through CBLAS dsyrk (A rows x cols), with the
// same provisions as DenseProd.
void DenseGram(int rows, int cols, double** A, double** G);
// The min(rows, cols) singular values of A, descending, into s, by the
// optimised LAPACK when it is installed; false (nothing computed) without it
// or when the decomposition fails.  A is not modified.
bool DenseSingularValues(int rows, int cols, double** A, double* s);

void TransposeMatrix(int n, int p, double** X, double** Y);
void TransposeSqMatrix(int n, double** X, double** Y);
void Convertn_n1(int n, int p, double** X, double** Y);
void Convertn1_n(int n, int p, double** X, double** Y);

// Gauss-Jordan with full pivoting, 1-based: a (n x n) becomes its inverse,
// b (n x m) the solutions.  Singular matrices are reported and the
// elimination goes on.
void gaussj(double** a, int n, double** b, int m);
// Cholesky factorisation, 0-based; returns 0 when the matrix is not positive
// definite.
int choldc(double** a, int n, double* p);

// 1-based: sorts x[1..n] ascending, rearranging y alike.
void sort2(int n, double* x, double* y);
// 1-based: replaces sorted w[1..n] by ranks (ties averaged); s = sum t^3 - t.
void crank(int n, double* w, double* s);

[[noreturn]] void nrerror(const char* text);
int* ivector(long lo, long hi);
void free_ivector(int* v, long lo, long hi);
