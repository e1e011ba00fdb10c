// Zero-filled allocation of vectors, row-pointer matrices and three-way
// arrays; matrix and vector printers; tolerant comparison and small utilities.
//
// Every allocator returns zero-filled storage or does not return: when memory
// runs out it rings the bell and raises failure code 1.  A matrix is an array
// of row pointers into one block that holds the table and the rows (row i
// right after row i - 1), so whole rows are exchanged by exchanging pointers
// and a matrix whose rows are in order is a dense row-major array.  Single
// rows are never released on their own: free2D releases the whole block.  A
// matrix does not know its sizes; the caller passes the row count again when
// releasing it.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

// ---- allocation --------------------------------------------------------
void* dim1D_Clear(size_t count, size_t size);
void* dim1D(size_t size, size_t count);
char* dim1Dchar(int count);
int* dim1Dint(int count);
float* dim1Dfloat(int count);
double* dim1Double(int count);
void** dim2D(size_t size, int rows, int columns);
// True when the rows of M (rows x columns doubles) lie one after the other,
// so that M[0] is a dense row-major array with leading dimension columns.
bool IsDenseMatrix(int rows, int columns, double** M);
// True when the n x n matrix M equals its transpose element for element.
bool IsSymmetricMatrix(int n, double** M);
char** dim2Dchar(int rows, int columns);
int** dim2Dint(int rows, int columns);
float** dim2Dfloat(int rows, int columns);
double** dim2Double(int rows, int columns);
void*** dim3D(size_t size, int planes, int rows, int columns);
int*** dim3Dint(int planes, int rows, int columns);
double*** dim3Double(int planes, int rows, int columns);

void free1D(void* p);
void free2DVoid(void** p, int rows);
template <class T>
inline void free2D(T** p, int rows) {
  free2DVoid(reinterpret_cast<void**>(p), rows);
}
void free3DVoid(void*** p, int planes, int rows);
template <class T>
inline void free3D(T*** p, int planes, int rows) {
  free3DVoid(reinterpret_cast<void***>(p), planes, rows);
}

// ---- printing ----------------------------------------------------------
// Writes rows 0..rows - 1 of a table of about `cells` numbers, the text of
// row i made by format(i, text) (text empty on entry): a large table's rows
// are formatted by the team of threads a block at a time (format must then
// write only its own text), the file written in row order on the calling
// thread, which shows progress under the given name.
void WriteRows(FILE* fp, int rows, long long cells, const char* progress,
               const std::function<void(int, std::string&)>& format);
// Widest matrix row printed before wrapping (preference), and significant
// digits callers pass when printing results (preference).
extern int maxColsPrint;
extern int sDigits;

void PrintMatrixTab(FILE* fp, int rows, int columns, double** M, int digits);
void PrintLowerHalfMatrixTab(FILE* fp, int n, double** M, int digits);
int PrintMatrix(FILE* fp, int rows, int columns, double** M, int digits, int width);
int PrintMatrix(FILE* fp, int rows, int columns, float** M, int digits, int width);
int PrintMatrixFloat(FILE* fp, int rows, int columns, double** M, int digits, int width);
int GetWidthMax(int rows, int columns, double** M, int digits);
int GetWidthMax(int rows, int columns, float** M, int digits);
void PrintVectorTab(FILE* fp, int n, const int* v, const int* order);
void PrintVectorTab(FILE* fp, int n, const double* v, int digits, const int* order);

// ---- comparison and small utilities -------------------------------------
bool AlmostEqual2sComplement(double a, double b, int maxUlps);
bool AlmostEqual2sComplement(float a, float b, int maxUlps);
bool IsLargerThanOrEqual(double a, double b, int maxUlps, bool absolute);
bool AlmostEqual_Tolerance(double a, double b, double tolerance);
double Fmax(double a, double b);
double Fmin(double a, double b);
double Factorial(double x);
// Number of states among the non-missing values of x: each value truncated to
// an integer 0..max is one state.  Negative values (other than the missing
// code) have no state and are skipped like missing values.
int CountStates(int n, const double* x);
// A number read as a double, truncated to int and clamped to the int range
// (NaN gives 0), so that no typed or read value can overflow a conversion.
int ToInt(double x);
int compareInt(const void* a, const void* b);
template <class T>
inline void swap(T* v, int i, int j) {
  T t = v[i];
  v[i] = v[j];
  v[j] = t;
}

// The missing-value code of W, E and every derived matrix.
constexpr double kMissing = -999.0;
inline bool IsMissing(double x) { return x == kMissing; }
// True when some element of the rows x cols matrix M is missing.
bool AnyMissingValue(int rows, int cols, double** M);
