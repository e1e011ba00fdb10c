// What a process sends another, packed into bytes: numbers, vectors and
// row-pointer matrices one after the other, read back in the same order.
// Both ends run the same program on the same kind of machine, so values go
// as their bytes.  A message read past its end (a fault of the program, not
// of the data) raises failure code 2.
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <vector>

struct Pack {
  std::vector<char> bytes;
  size_t at = 0;  // reading position
};

void PutBytes(Pack& p, const void* data, size_t size);
void GetBytes(Pack& p, void* data, size_t size);

template <class T>
void Put(Pack& p, const T& value) {
  static_assert(std::is_trivially_copyable_v<T>);
  PutBytes(p, &value, sizeof value);
}
template <class T>
T Get(Pack& p) {
  static_assert(std::is_trivially_copyable_v<T>);
  T value;
  GetBytes(p, &value, sizeof value);
  return value;
}

// n values of a vector (or none when v is null: a null vector reads back
// null).
template <class T>
void PutVector(Pack& p, const T* v, int n) {
  Put<char>(p, v != nullptr);
  if (v != nullptr && n > 0) PutBytes(p, v, sizeof(T) * static_cast<size_t>(n));
}
// A new vector of at least one element (zero-filled past n), or null.
int* GetInts(Pack& p, int n);
double* GetDoubles(Pack& p, int n);
// Into an existing vector (which must be there when one was sent).
template <class T>
void GetVectorInto(Pack& p, T* v, int n) {
  if (Get<char>(p) && n > 0) GetBytes(p, v, sizeof(T) * static_cast<size_t>(n));
}

// rows x cols matrices, row by row; null reads back null.
void PutMatrix(Pack& p, int rows, int cols, double** M);
void PutMatrix(Pack& p, int rows, int cols, int** M);
void PutMatrix(Pack& p, int rows, int cols, char** M);
// A new matrix with at least one column, or null.
double** GetMatrix(Pack& p, int rows, int cols);
// Into an existing matrix of at least rows x cols.
void GetMatrixInto(Pack& p, int rows, int cols, double** M);
void GetMatrixInto(Pack& p, int rows, int cols, int** M);
void GetMatrixInto(Pack& p, int rows, int cols, char** M);
