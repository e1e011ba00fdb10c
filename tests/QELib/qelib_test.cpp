#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <string>

#include "QELib/qelibDim.h"

static std::string Capture(const std::function<void(FILE*)>& print) {
  FILE* fp = tmpfile();
  print(fp);
  std::string s;
  rewind(fp);
  for (int c; (c = fgetc(fp)) != EOF;) s += static_cast<char>(c);
  fclose(fp);
  return s;
}

TEST(Allocation, ZeroFilledAndEmptyShapes) {
  double** m = dim2Double(3, 4);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 4; j++) EXPECT_EQ(m[i][j], 0.0);
  free2D(m, 3);
  void** empty = dim2D(8, 0, 5);
  EXPECT_NE(empty, nullptr);
  free2DVoid(empty, 0);
  double*** cube = dim3Double(2, 3, 4);
  EXPECT_EQ(cube[1][2][3], 0.0);
  free3D(cube, 2, 3);
}

// The layouts of one matrix, in double and in single precision.
TEST(Printing, MatrixLayouts) {
  double** m = dim2Double(2, 2);
  float** f = dim2Dfloat(2, 2);
  const double v[2][2] = {{1, 0.5}, {2.5e6, 2}};
  for (int i = 0; i < 2; i++)
    for (int j = 0; j < 2; j++) m[i][j] = v[i][j], f[i][j] = static_cast<float>(v[i][j]);
  const std::string aligned = "      1\t    0.5\t\n2.5e+06\t      2\t\n";
  EXPECT_EQ(Capture([&](FILE* fp) { PrintMatrixTab(fp, 2, 2, m, 6); }), "1\t0.5\t\n2.5e+06\t2\t\n");
  EXPECT_EQ(Capture([&](FILE* fp) { EXPECT_EQ(PrintMatrix(fp, 2, 2, m, 6, 0), 7); }), aligned);
  EXPECT_EQ(Capture([&](FILE* fp) { PrintMatrix(fp, 2, 2, f, 6, 0); }), aligned);
  EXPECT_EQ(Capture([&](FILE* fp) { PrintLowerHalfMatrixTab(fp, 2, m, 6); }),
            "1\t\n2.5e+06\t2\t\n");
  EXPECT_EQ(Capture([](FILE* fp) { PrintMatrixTab(fp, 0, 3, nullptr, 6); }), "");
  EXPECT_EQ(GetWidthMax(0, 0, static_cast<double**>(nullptr), 6), 0);
  free2D(m, 2);
  free2D(f, 2);
}

TEST(Printing, WrapsRowsWiderThanMaxColsPrint) {
  const int saved = maxColsPrint;
  maxColsPrint = 3;  // each element of width 1 adds 2: wrap before the third
  std::string s = Capture([](FILE* fp) {
    double** m = dim2Double(1, 4);
    for (int j = 0; j < 4; j++) m[0][j] = j;
    PrintMatrix(fp, 1, 4, m, 6, 1);
    free2D(m, 1);
  });
  maxColsPrint = saved;
  EXPECT_EQ(s, "0\t1\t\n \t2\t3\t\n");
}

TEST(Printing, Vectors) {
  EXPECT_EQ(Capture([](FILE* fp) {
              int v[] = {10, 20, 30}, order[] = {3, 1, 2};
              PrintVectorTab(fp, 3, v, order);
            }),
            "30\t10\t20\t\n");
  EXPECT_EQ(Capture([](FILE* fp) {
              double v[] = {0.25, 1.0 / 3};
              PrintVectorTab(fp, 2, v, 3, nullptr);
            }),
            "0.25\t0.333\t\n");
  EXPECT_EQ(Capture([](FILE* fp) { PrintVectorTab(fp, 0, (const int*)nullptr, nullptr); }), "\n");
}

TEST(Comparison, UlpTolerance) {
  EXPECT_TRUE(AlmostEqual2sComplement(1.0, 1.0 + 1e-9, 1));
  EXPECT_FALSE(AlmostEqual2sComplement(1.0, 1.0001, 1));
  EXPECT_TRUE(AlmostEqual2sComplement(0.0, -0.0, 1));
  // Neighbouring single-precision values are one unit apart.
  float f = 1.0f, next = std::nextafter(1.0f, 2.0f), after = std::nextafter(next, 2.0f);
  EXPECT_TRUE(AlmostEqual2sComplement(f, next, 1));
  EXPECT_FALSE(AlmostEqual2sComplement(f, after, 1));
  // Across zero: the smallest positive and negative values are two units apart.
  float tiny = std::nextafter(0.0f, 1.0f);
  EXPECT_FALSE(AlmostEqual2sComplement(tiny, -tiny, 1));
  EXPECT_TRUE(AlmostEqual2sComplement(tiny, -tiny, 2));
  EXPECT_TRUE(IsLargerThanOrEqual(-3, 2, 1, true));
  EXPECT_FALSE(IsLargerThanOrEqual(-3, 2, 1, false));
  EXPECT_TRUE(IsLargerThanOrEqual(0.7, 0.7 + 1e-12, 1, false));
  EXPECT_FALSE(IsLargerThanOrEqual(1.0, 1.0001, 1, false));
  // Far apart across zero: the distance in units (about 2^32) must not wrap
  // around a 32-bit integer and look small.
  EXPECT_FALSE(AlmostEqual2sComplement(3.0e38f, -3.0e38f, 4194303));
  EXPECT_FALSE(AlmostEqual2sComplement(1.0f, -1.0f, 4194303));
}

TEST(Utilities, FactorialStatesAndConversions) {
  EXPECT_EQ(Factorial(0), 1.0);
  // 20! = 2432902008176640000 = 2^18 * 9280784638125: exact in double.
  EXPECT_EQ(Factorial(20), 2432902008176640000.0);
  double x[] = {0, 2, 2, -999, 5};
  EXPECT_EQ(CountStates(5, x), 3);
  double y[] = {1.2, 1.9, -3, -999};  // 1.2 and 1.9 are the same state; -3 has none
  EXPECT_EQ(CountStates(4, y), 1);
  double z[] = {-999, -999};
  EXPECT_EQ(CountStates(2, z), 0);
  EXPECT_EQ(ToInt(1e300), 2147483647);
  EXPECT_EQ(ToInt(-1e300), -2147483647 - 1);
  EXPECT_EQ(ToInt(2.9), 2);
}
