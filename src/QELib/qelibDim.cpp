#include "QELib/qelibDim.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <omp.h>
#include <sys/mman.h>

#include "shell/console.h"
#include "shell/failure.h"
#include "shell/numtext.h"

int maxColsPrint = 2147483647;
int sDigits = 6;

// ---- allocation --------------------------------------------------------

void* dim1D_Clear(size_t count, size_t size) {
  // calloc checks count * size for overflow; one byte at least so that an
  // empty vector is a valid, freeable block and never mistaken for failure.
  if (count == 0 || size == 0) {
    count = 1;
    size = 1;
  }
  void* p = calloc(count, size);
  if (p == nullptr) {
    fputc(7, stdout);
    fflush(stdout);
    RaiseFailure(kFailMemory);
  }
  return p;
}

void* dim1D(size_t size, size_t count) { return dim1D_Clear(count, size); }

static size_t CountOf(int n) { return n > 0 ? static_cast<size_t>(n) : 0; }

char* dim1Dchar(int count) { return static_cast<char*>(dim1D(sizeof(char), CountOf(count))); }
int* dim1Dint(int count) { return static_cast<int*>(dim1D(sizeof(int), CountOf(count))); }
float* dim1Dfloat(int count) { return static_cast<float*>(dim1D(sizeof(float), CountOf(count))); }
double* dim1Double(int count) {
  return static_cast<double*>(dim1D(sizeof(double), CountOf(count)));
}

// A large matrix is read a row at a time in any order (the rows of permuted
// OTUs): on pages of 2 MB the processor's address translation covers all of
// it.  Only advice: where the system keeps small pages nothing changes.
static void AdviseLargePages(void* block, size_t bytes) {
#ifdef MADV_HUGEPAGE
  constexpr uintptr_t kPage = uintptr_t{1} << 21;
  if (bytes < 4 * kPage) return;
  const uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kPage - 1) & ~(kPage - 1);
  const uintptr_t last = (reinterpret_cast<uintptr_t>(block) + bytes) & ~(kPage - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

// One block holds the row pointers followed by the rows, each row right
// after the previous one, so that a matrix whose rows were never exchanged is
// also one dense row-major array (what the BLAS products read).  Rows are
// still exchanged by exchanging pointers; the whole block is released by
// free2D, never row by row.
void** dim2D(size_t size, int rows, int columns) {
  const size_t r = CountOf(rows), c = CountOf(columns);
  // The rows start on a 64-byte boundary after the pointer table.
  const size_t table = (r * sizeof(void*) + 63) / 64 * 64;
  if (size != 0 && c != 0 && r > (SIZE_MAX - table - 64) / size / c) {
    fputc(7, stdout);
    fflush(stdout);
    RaiseFailure(kFailMemory);
  }
  const size_t bytes = table + r * c * size + 64;
  char* block = static_cast<char*>(dim1D_Clear(bytes, 1));
  AdviseLargePages(block, bytes);
  void** p = reinterpret_cast<void**>(block);
  const uintptr_t start = reinterpret_cast<uintptr_t>(block) + table;
  char* data = block + table + ((64 - start % 64) % 64);
  for (size_t i = 0; i < r; i++) p[i] = data + i * c * size;
  return p;
}

char** dim2Dchar(int rows, int columns) {
  return reinterpret_cast<char**>(dim2D(sizeof(char), rows, columns));
}
int** dim2Dint(int rows, int columns) {
  return reinterpret_cast<int**>(dim2D(sizeof(int), rows, columns));
}
float** dim2Dfloat(int rows, int columns) {
  return reinterpret_cast<float**>(dim2D(sizeof(float), rows, columns));
}
double** dim2Double(int rows, int columns) {
  return reinterpret_cast<double**>(dim2D(sizeof(double), rows, columns));
}

void*** dim3D(size_t size, int planes, int rows, int columns) {
  void*** p = static_cast<void***>(dim1D(sizeof(void**), CountOf(planes)));
  for (int k = 0; k < planes; k++) {
    try {
      p[k] = dim2D(size, rows, columns);
    } catch (const QuiltaFailure&) {
      free3DVoid(p, k, rows);
      throw;
    }
  }
  return p;
}

int*** dim3Dint(int planes, int rows, int columns) {
  return reinterpret_cast<int***>(dim3D(sizeof(int), planes, rows, columns));
}
double*** dim3Double(int planes, int rows, int columns) {
  return reinterpret_cast<double***>(dim3D(sizeof(double), planes, rows, columns));
}

void free1D(void* p) { free(p); }

void free2DVoid(void** p, int /*rows*/) { free(p); }

void free3DVoid(void*** p, int planes, int rows) {
  if (p == nullptr) return;
  for (int k = 0; k < planes; k++) free2DVoid(p[k], rows);
  free(p);
}

// ---- printing ----------------------------------------------------------

// A large table (a quarter of a million numbers and more) has its rows
// formatted by the team of threads, a block at a time, outside any other
// parallel region: only the text is made in parallel, the file is written
// in row order by the calling thread.
constexpr long long kParallelCells = 1 << 18;

void WriteRows(FILE* fp, int rows, long long cells, const char* progress,
               const std::function<void(int, std::string&)>& format) {
  if (rows < 1) return;
  const bool team = cells >= kParallelCells && !omp_in_parallel() && omp_get_max_threads() > 1;
  const long long perRow = std::max<long long>(1, cells / rows);
  const int block = team ? static_cast<int>(std::clamp<long long>(kParallelCells / perRow, 1, rows))
                         : 1;
  std::vector<std::string> text(static_cast<size_t>(block));
  for (int first = 0; first < rows; first += block) {
    const int count = std::min(block, rows - first);
#pragma omp parallel for schedule(dynamic, 1) if (team)
    for (int r = 0; r < count; r++) {
      text[r].clear();
      format(first + r, text[r]);
    }
    for (int r = 0; r < count; r++) {
      HandleEventInfoWhere2(progress);
      fwrite(text[r].data(), 1, text[r].size(), fp);
    }
  }
}

// A row of "%.*g\t" and the line end.
static void FormatRow(int columns, const double* row, int digits, std::string& line) {
  for (int j = 0; j < columns; j++) {
    AppendG(line, row[j], digits);
    line += '\t';
  }
  line += '\n';
}

void PrintMatrixTab(FILE* fp, int rows, int columns, double** M, int digits) {
  WriteRows(fp, rows, static_cast<long long>(rows) * columns, "PrintMatrixTab",
            [&](int i, std::string& line) { FormatRow(columns, M[i], digits, line); });
}

void PrintLowerHalfMatrixTab(FILE* fp, int n, double** M, int digits) {
  WriteRows(fp, n, static_cast<long long>(n) * (n + 1) / 2, "PrintLowerHalfMatrixTab",
            [&](int i, std::string& line) { FormatRow(i + 1, M[i], digits, line); });
}

template <class T>
static int GetWidthMaxT(int rows, int columns, T** M, int digits) {
  int width = 0;
  std::string text;
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < columns; j++) {
      text.clear();
      int w = AppendG(text, static_cast<double>(M[i][j]), digits);
      width = std::max(width, w);
    }
  return width;
}

int GetWidthMax(int rows, int columns, double** M, int digits) {
  return GetWidthMaxT(rows, columns, M, digits);
}
int GetWidthMax(int rows, int columns, float** M, int digits) {
  return GetWidthMaxT(rows, columns, M, digits);
}

// "%*.*g\t" for each number, the width the widest number's unless given, and
// a line break (with an indent of the width) whenever a line exceeds
// maxColsPrint characters.  Each number is formatted once: the rows are
// formatted without padding first (by the team of threads when the matrix
// is large) and padded as they are written.
template <class T>
static int PrintMatrixT(FILE* fp, int rows, int columns, T** M, int digits, int width) {
  if (rows < 1) return width;
  std::vector<std::string> plain(static_cast<size_t>(rows));
  const bool team = static_cast<long long>(rows) * columns >= kParallelCells &&
                    !omp_in_parallel() && omp_get_max_threads() > 1;
  int widest = 0;
#pragma omp parallel for schedule(dynamic, 4) reduction(max : widest) if (team)
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < columns; j++) {
      widest = std::max(widest, AppendG(plain[i], static_cast<double>(M[i][j]), digits));
      plain[i] += '\t';
    }
  if (width == 0) width = widest;
  WriteRows(fp, rows, static_cast<long long>(rows) * columns, "PrintMatrix",
            [&](int i, std::string& line) {
              const std::string& numbers = plain[i];
              long long count = 0;
              size_t at = 0;
              for (int j = 0; j < columns; j++) {
                if (count > maxColsPrint) {
                  line += '\n';
                  line.append(static_cast<size_t>(width), ' ');
                  line += '\t';
                  count = 0;
                }
                const size_t end = numbers.find('\t', at);
                const size_t len = end - at;
                if (len < static_cast<size_t>(width)) line.append(width - len, ' ');
                line.append(numbers, at, len + 1);
                at = end + 1;
                count += width + 1;
              }
              line += '\n';
              std::string().swap(plain[i]);
            });
  return width;
}

int PrintMatrix(FILE* fp, int rows, int columns, double** M, int digits, int width) {
  return PrintMatrixT(fp, rows, columns, M, digits, width);
}
int PrintMatrix(FILE* fp, int rows, int columns, float** M, int digits, int width) {
  return PrintMatrixT(fp, rows, columns, M, digits, width);
}
int PrintMatrixFloat(FILE* fp, int rows, int columns, double** M, int digits, int width) {
  return PrintMatrixT(fp, rows, columns, M, digits, width);
}

void PrintVectorTab(FILE* fp, int n, const int* v, const int* order) {
  HandleEventInfoWhere2("PrintVectorTab");
  for (int k = 0; k < n; k++) fprintf(fp, "%d\t", order ? v[order[k] - 1] : v[k]);
  fputc('\n', fp);
}

void PrintVectorTab(FILE* fp, int n, const double* v, int digits, const int* order) {
  HandleEventInfoWhere2("PrintVectorTab");
  for (int k = 0; k < n; k++) fprintf(fp, "%.*g\t", digits, order ? v[order[k] - 1] : v[k]);
  fputc('\n', fp);
}

// ---- comparison and small utilities -------------------------------------

// Maps a single-precision value to an integer that is ordered like the
// numbers: the magnitude bits, negated for negative values (so -0 maps to 0).
static int64_t OrderedBits(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  int64_t magnitude = bits & 0x7FFFFFFFu;
  return (bits & 0x80000000u) ? -magnitude : magnitude;
}

bool AlmostEqual2sComplement(float a, float b, int maxUlps) {
  int64_t diff = OrderedBits(a) - OrderedBits(b);
  if (diff < 0) diff = -diff;
  return diff <= maxUlps;
}

bool AlmostEqual2sComplement(double a, double b, int maxUlps) {
  return AlmostEqual2sComplement(static_cast<float>(a), static_cast<float>(b), maxUlps);
}

bool IsLargerThanOrEqual(double a, double b, int maxUlps, bool absolute) {
  if (absolute) {
    a = fabs(a);
    b = fabs(b);
  }
  return a > b || AlmostEqual2sComplement(a, b, maxUlps);
}

bool AlmostEqual_Tolerance(double a, double b, double tolerance) {
  return fabs(a - b) < tolerance;
}

double Fmax(double a, double b) { return a > b ? a : b; }
double Fmin(double a, double b) { return a < b ? a : b; }

double Factorial(double x) {
  double f = 1.0;
  for (double k = x; k >= 2.0; k -= 1.0) f *= k;
  return f;
}

int CountStates(int n, const double* x) {
  std::vector<double> states;
  for (int i = 0; i < n; i++) {
    if (IsMissing(x[i]) || !(x[i] >= 0.0)) continue;
    states.push_back(std::trunc(x[i]));
  }
  std::sort(states.begin(), states.end());
  return static_cast<int>(std::unique(states.begin(), states.end()) - states.begin());
}

int ToInt(double x) {
  if (!(x == x)) return 0;
  if (x >= 2147483647.0) return 2147483647;
  if (x <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(x);
}

int compareInt(const void* a, const void* b) {
  int x = *static_cast<const int*>(a), y = *static_cast<const int*>(b);
  return (x > y) - (x < y);
}

// In square tiles, so that the column read in the lower half stays in the
// cache while the rows of the tile are read.
bool IsSymmetricMatrix(int n, double** M) {
  constexpr int kTile = 64;
  for (int i0 = 0; i0 < n; i0 += kTile)
    for (int j0 = i0; j0 < n; j0 += kTile) {
      const int i1 = std::min(n, i0 + kTile), j1 = std::min(n, j0 + kTile);
      for (int i = i0; i < i1; i++)
        for (int j = std::max(j0, i + 1); j < j1; j++)
          if (!(M[j][i] == M[i][j])) return false;
    }
  return true;
}

bool IsDenseMatrix(int rows, int columns, double** M) {
  for (int i = 1; i < rows; i++)
    if (M[i] != M[0] + static_cast<size_t>(i) * static_cast<size_t>(columns)) return false;
  return true;
}

bool AnyMissingValue(int rows, int cols, double** M) {
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++)
      if (IsMissing(M[i][j])) return true;
  return false;
}
