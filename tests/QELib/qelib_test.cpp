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

// Out-of-range values (user input among them) clamp instead of overflowing.
TEST(Utilities, ToIntClampsAndTruncates) {
  EXPECT_EQ(ToInt(1e300), 2147483647);
  EXPECT_EQ(ToInt(-1e300), -2147483647 - 1);
  EXPECT_EQ(ToInt(2.9), 2);
}
