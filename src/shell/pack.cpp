#include "shell/pack.h"

#include "QELib/qelibDim.h"
#include "shell/failure.h"

void PutBytes(Pack& p, const void* data, size_t size) {
  const char* c = static_cast<const char*>(data);
  p.bytes.insert(p.bytes.end(), c, c + size);
}

void GetBytes(Pack& p, void* data, size_t size) {
  if (size > p.bytes.size() || p.at > p.bytes.size() - size) RaiseFailure(kFailEndOfFile);
  memcpy(data, p.bytes.data() + p.at, size);
  p.at += size;
}

int* GetInts(Pack& p, int n) {
  if (!Get<char>(p)) return nullptr;
  int* v = dim1Dint(n > 0 ? n : 1);
  if (n > 0) GetBytes(p, v, sizeof(int) * static_cast<size_t>(n));
  return v;
}

double* GetDoubles(Pack& p, int n) {
  if (!Get<char>(p)) return nullptr;
  double* v = dim1Double(n > 0 ? n : 1);
  if (n > 0) GetBytes(p, v, sizeof(double) * static_cast<size_t>(n));
  return v;
}

namespace {

template <class T>
void PutRows(Pack& p, int rows, int cols, T** M) {
  Put<char>(p, M != nullptr);
  if (M == nullptr || cols <= 0) return;
  for (int i = 0; i < rows; i++) PutBytes(p, M[i], sizeof(T) * static_cast<size_t>(cols));
}

template <class T>
void GetRows(Pack& p, int rows, int cols, T** M) {
  if (!Get<char>(p) || cols <= 0) return;
  for (int i = 0; i < rows; i++) GetBytes(p, M[i], sizeof(T) * static_cast<size_t>(cols));
}

}  // namespace

void PutMatrix(Pack& p, int rows, int cols, double** M) { PutRows(p, rows, cols, M); }
void PutMatrix(Pack& p, int rows, int cols, int** M) { PutRows(p, rows, cols, M); }
void PutMatrix(Pack& p, int rows, int cols, char** M) { PutRows(p, rows, cols, M); }

double** GetMatrix(Pack& p, int rows, int cols) {
  const size_t mark = p.at;
  if (!Get<char>(p)) return nullptr;
  p.at = mark;
  double** M = dim2Double(rows > 0 ? rows : 1, cols > 0 ? cols : 1);
  try {
    GetRows(p, rows, cols, M);
  } catch (...) {
    free2D(M, rows > 0 ? rows : 1);
    throw;
  }
  return M;
}

void GetMatrixInto(Pack& p, int rows, int cols, double** M) { GetRows(p, rows, cols, M); }
void GetMatrixInto(Pack& p, int rows, int cols, int** M) { GetRows(p, rows, cols, M); }
void GetMatrixInto(Pack& p, int rows, int cols, char** M) { GetRows(p, rows, cols, M); }
