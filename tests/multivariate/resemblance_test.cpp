#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "multivariate/congruence.h"
#include "multivariate/resemblance.h"
#include "../numeric/matrix_fixture.h"
#include "numeric/stats.h"
#include "test_support.h"

namespace {

// A tab-separated table with a header row and the site number first.
Mat ReadTsv(const std::string& name, int rows, int cols) {
  std::ifstream in(std::string(QUILTA_TEST_DATA) + "/" + name);
  std::string header, site;
  std::getline(in, header);
  Mat m(rows, cols);
  for (int i = 0; i < rows; i++) {
    in >> site;
    for (int j = 0; j < cols; j++) in >> m[i][j];
  }
  EXPECT_TRUE(in.good()) << name;
  return m;
}

}  // namespace

// Bray-Curtis of the vegetation against Euclidean distances of the
// Z-standardised soil variables: published matrix correlation 0.3047454127.
TEST(Resemblance, LichenPastureMantelCorrelation) {
  Mat veg = ReadTsv("varespec.tsv", 24, 44), soil = ReadTsv("varechem.tsv", 24, 14);
  ZStandardizationColsMV(24, 14, soil, soil);
  Mat bc(24, 24), eu(24, 24);
  ResemblanceLib(24, 44, veg, bc, 1, 20, 0, nullptr, 0, 0, 0, false);
  ResemblanceLib(24, 14, soil, eu, 1, 3, 0, nullptr, 0, 0, 0, false);
  EXPECT_NEAR(MatrixCorr(24, bc, eu), 0.3047454127, 1e-9);
}

// Euclidean, missing values skipped pairwise: rows (0,0), (3,4), (-,1):
// d12 = 5, d13 = |0-1| = 1, d23 = 3; a pair with nothing to compare is 0.
// Absolute value function: (1,2,3) vs (2,0,-): 1 + 2 = 3.
// Six traits: binary, nominal, interval, ordinal, interval (missing for OTU 1),
// binary (absent for OTUs 1 and 2).
//   OTU1: 1 2 10 1 -999 0     OTU2: 1 3 14 3 5 0     OTU3: 0 2 20 2 7 1
// Ranges: interval 10, ordinal ranks (1,3,2) range 2, second interval 2.
// S12: binary 1/1, nominal 0/1, interval 1-4/10 = 0.6, ordinal 1-2/2 = 0,
//      missing nothing, double zero nothing: 1.6/4 = 0.4 (with double zeros
//      counted: 2.6/5 = 0.52).
// S13: 0/1 + 1/1 + 0/1 + 0.5/1 + 0 + 0/1 = 1.5/5 = 0.3.
// S23: 0 + 0 + 0.4 + 0.5 + (1-2/2 = 0) + 0 over 6 = 0.15.
TEST(Resemblance, GowerMixedTraits) {
  const int types[] = {1, 2, 3, 4, 3, 1};
  Mat x = {{1, 2, 10, 1, -999, 0}, {1, 3, 14, 3, 5, 0}, {0, 2, 20, 2, 7, 1}};
  Mat s(3, 3);
  GowerMVOpt(3, 6, types, x, s, nullptr, nullptr, 0);
  EXPECT_NEAR(s[0][1], 0.4, 1e-12);
  EXPECT_NEAR(s[1][0], 0.4, 1e-12);
  EXPECT_NEAR(s[0][2], 0.3, 1e-12);
  EXPECT_NEAR(s[1][2], 0.15, 1e-12);
  // The ordinal column is now its ranks, the same values here.
  GowerMVOpt(3, 6, types, x, s, nullptr, nullptr, 1);
  EXPECT_NEAR(s[0][1], 0.52, 1e-12);
  int t[] = {1, 2, 3, 4, 3, 1};
  ResemblanceLib(3, 6, x, s, 1, 5, 0, t, 0, 0, 0, false);
  EXPECT_NEAR(s[2][1], 0.15, 1e-12);

  // GowerMV with a given range 20 and weights 1, 3 on two interval traits:
  // (1*(1-4/20) + 3*(1-0)) / 4 = 0.95.
  const int q[] = {3, 3};
  const double range[] = {20, 5}, weight[] = {1, 3};
  Mat v = {{10, 1}, {14, 1}}, g(2, 2);
  GowerMV(2, 2, q, v, g, range, weight);
  EXPECT_NEAR(g[0][1], 0.95, 1e-12);
}

TEST(Resemblance, GowerPartialOfOneTrait) {
  Mat s(3, 3);
  double bin[] = {1, 0, 0};
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, 2, 0);
  EXPECT_EQ(std::vector<double>(s[1], s[1] + 3), (std::vector<double>{0, -999, -999}));
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, -1, 1);
  EXPECT_EQ(s[1][2], 1);  // counted, negative weight taken as 1
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, 0, 1);
  EXPECT_EQ(s[0][0], -999);  // weight 0
  double q[] = {2, 6, -999};  // range 0 given: taken from the column, 4
  GowerMVPartial_dAbsences(3, 3, q, s, 0, 1, 0);
  EXPECT_EQ(std::vector<double>(s[0], s[0] + 3), (std::vector<double>{1, 0, -999}));
}

// x = 1 1 1 0 0 1, y = 1 0 0 1 0 1: a = 2, b = 2, c = 1, d = 1.
// Jaccard 2/5; dissimilarity 3/5 = turnover 2*1/(2+2) = 0.5 + nestedness
// (1/5)*(2/4) = 0.1.  Sorensen 4/7; dissimilarity 3/7 = turnover 1/3 +
// nestedness (1/7)*(2/3) = 2/21.  Simple matching 3/6, Sokal-Michener 2/6,
// Ochiai 2/sqrt(3*4).  Mean square contingency of x with z = 1 1 1 0 0 0:
// a=3 b=1 c=0 d=2: (6-0)^2 / (3*4*2*3) = 0.5.
TEST(Resemblance, BinaryCoefficients) {
  Mat x = {{1, 1, 1, 0, 0, 1}, {1, 0, 0, 1, 0, 1}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 0, 0, 0}};
  struct Case {
    void (*f)(int, int, double**, double**);
    double value;
  } cases[] = {{Jaccard, 0.4},
               {JaccardDissimilarity, 0.6},
               {JaccardTurnover, 0.5},
               {JaccardNestedness, 0.1},
               {Sorensen, 4.0 / 7},
               {SorensenDissimilarity, 3.0 / 7},
               {SorensenTurnover, 1.0 / 3},
               {SorensenNestedness, 2.0 / 21},
               {SimpleMatching, 0.5},
               {SokalMichener, 2.0 / 6},
               {Ochiai, 2 / std::sqrt(12.0)}};
  Mat s(4, 4);
  for (const Case& c : cases) {
    c.f(4, 6, x, s);
    EXPECT_NEAR(s[0][1], c.value, 1e-12);
  }
  MeanSquareContingency(4, 6, x, s);
  EXPECT_NEAR(s[0][3], 0.5, 1e-12);
  // Two empty rows: Jaccard 0, turnover undefined.
  Jaccard(4, 6, x, s);
  EXPECT_EQ(s[2][2], 0);
  JaccardTurnover(4, 6, x, s);
  EXPECT_EQ(s[2][2], -999);
}

// Rows 1 1 2 2 and 1 1 2 2: table [[2,0],[0,2]], expectations 1: chi-square 4;
// mutual information 2 * 0.5 ln(0.5/0.25) = ln 2, MDIS 2*4*ln 2; coherence 1,
// its dissimilarity (code 8) 0.  Divergence of (1,0) and (0,1): 2 ln 2, totals
// equal so the mutual form keeps it.
TEST(Resemblance, InformationAndContingency) {
  Mat x = {{1, 1, 2, 2}, {1, 1, 2, 2}};
  Mat d(2, 2);
  QuiSquareMV(2, 4, x, d, false);
  EXPECT_NEAR(d[0][1], 4, 1e-12);
  MDISMV(2, 4, x, d, false);
  EXPECT_NEAR(d[0][1], 8 * std::log(2.0), 1e-12);
  CoheCoefPairwiseMV(2, 4, x, d, 1.0f, false);
  EXPECT_NEAR(d[0][1], 1, 1e-12);
  ResemblanceLib(2, 4, x, d, 1, 8, 0, nullptr, 1.0, 0, 0, false);
  EXPECT_EQ(d[0][1], 0);
  // Constant rows: no association, never NaN.
  Mat c = {{3, 3, 3}, {5, 5, 5}};
  CoheCoefPairwiseMV(2, 3, c, d, 1.0f, false);
  EXPECT_EQ(d[0][1], 0);

  Mat p = {{1, 0}, {0, 1}};
  MutualInformationMV(2, 2, p, d);
  EXPECT_NEAR(d[0][1], 2 * std::log(2.0), 1e-6);

  TempDir dir;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path.c_str()), 0);
  QuiSquareMV(2, 4, x, d, true);
  ASSERT_EQ(chdir(cwd), 0);
  const std::string tables = ReadFile(dir.file("Tables.txt"));
  EXPECT_EQ(CountOf(tables, "\nContingency table var.1 x var.2:\nRow states (2): "), 1);
  EXPECT_EQ(CountOf(tables, "\nColumn states (2): "), 3);
}

// k = 1: (2,0,3) vs (2,1,5): variable 1 counts 2(1+1-0)/(2+2+0) = 1, variable 2
// only the denominator (a zero), variable 3 differs by more than k: 1/3.
// Code 21: rows (1,2,3) and (1,3,2) correlate at 0.5, smaller eigenvalue 0.5.
// Relative profiles (1,1,2)/4 and (1,3,0)/4: 0.5 (0 + 0.5 + 0.5) = 0.5.
TEST(Resemblance, LegendreEigenAndProfiles) {
  Mat x = {{2, 0, 3}, {2, 1, 5}};
  Mat s(2, 2);
  LegendreChodorowski(2, 3, x, s, nullptr, 1);
  EXPECT_NEAR(s[1][0], 1.0 / 3, 1e-7);
  Mat y = {{1, 2, 3}, {1, 3, 2}};
  ResemblanceLib(2, 3, y, s, 1, 21, 0, nullptr, 0, 0, 0, false);
  EXPECT_NEAR(s[0][1], 0.5, 1e-12);
  double first = 0, second = 0;
  HierFactorialEigen(3, y[0], y[1], &first, &second, nullptr, nullptr);
  // [[14, 13], [13, 14]]: eigenvalues 27 and 1.
  EXPECT_NEAR(first, 27, 1e-12);
  EXPECT_NEAR(second, 1, 1e-12);
  const double a[] = {1, 1, 2}, b[] = {1, 3, 0}, z[] = {0, 0, 0};
  EXPECT_DOUBLE_EQ(SumAbsDeviations(3, a, b, false), 0.5);
  EXPECT_DOUBLE_EQ(SumAbsDeviations(3, a, b, true), 0.5 * (0.25 + 0.25));
  EXPECT_EQ(SumAbsDeviations(3, a, z, false), 0);
}

TEST(ResemblanceLib, DirectionTransformationsAndMissingMeasures) {
  // Columns of a 3 x 5 matrix: 5 x 5 distances, data untouched.
  Mat x = {{0, 3, 0, 1, 1}, {0, 4, 0, 1, 2}, {0, 0, 1, 1, 3}};
  Mat d(5, 5);
  ResemblanceLib(3, 5, x, d, 2, 3, 0, nullptr, 0, 0, 0, false);
  EXPECT_DOUBLE_EQ(d[1][0], 5);  // (0,0,0) vs (3,4,0)
  EXPECT_EQ(x[1][1], 4);
  // Square roots after the measure, mirrored.
  ResemblanceLib(3, 5, x, d, 2, 3, 2, nullptr, 0, 0, 0, false);
  EXPECT_DOUBLE_EQ(d[1][0], std::sqrt(5.0));
  ResemblanceLib(3, 5, x, d, 2, 3, 1, nullptr, 0, 0, 0, false);
  EXPECT_DOUBLE_EQ(d[0][1], 25);
  // No measure: a defined matrix of zeros, whatever it held.
  for (int code : {0, 29}) {
    d[2][3] = 42;
    ResemblanceLib(3, 5, x, d, 2, code, 0, nullptr, 0, 0, 0, false);
    EXPECT_EQ(d[2][3], 0);
  }
}
