#include <gtest/gtest.h>
#include <omp.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "multivariate/congruence.h"
#include "multivariate/resemblance.h"
#include "mv_util.h"
#include "numeric/stats.h"
#include "test_support.h"

namespace {

// A tab-separated table with a header row and the site number first.
std::vector<std::vector<double>> ReadTsv(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  std::vector<std::vector<double>> rows;
  while (std::getline(in, line)) {
    std::istringstream s(line);
    std::vector<double> row;
    double site, v;
    s >> site;
    while (s >> v) row.push_back(v);
    rows.push_back(row);
  }
  return rows;
}

Mat FromRows(const std::vector<std::vector<double>>& rows) {
  Mat m(static_cast<int>(rows.size()), static_cast<int>(rows[0].size()));
  for (int i = 0; i < m.rows; i++)
    for (int j = 0; j < m.cols; j++) m[i][j] = rows[i][j];
  return m;
}

}  // namespace

// Bray-Curtis of the vegetation against Euclidean distances of the
// Z-standardised soil variables: published matrix correlation 0.3047454127.
TEST(Resemblance, LichenPastureMantelCorrelation) {
  const auto spec = ReadTsv(std::string(QUILTA_TEST_DATA) + "/varespec.tsv");
  const auto chem = ReadTsv(std::string(QUILTA_TEST_DATA) + "/varechem.tsv");
  ASSERT_EQ(spec.size(), 24u);
  ASSERT_EQ(spec[0].size(), 44u);
  ASSERT_EQ(chem[0].size(), 14u);
  Mat veg = FromRows(spec), soil = FromRows(chem);
  ZStandardizationColsMV(24, 14, soil, soil);
  Mat bc(24, 24), eu(24, 24);
  ResemblanceLib(24, 44, veg, bc, 1, 20, 0, nullptr, 0, 0, 0, false);
  ResemblanceLib(24, 14, soil, eu, 1, 3, 0, nullptr, 0, 0, 0, false);
  EXPECT_NEAR(MatrixCorr(24, bc, eu), 0.3047454127, 1e-9);
}

// Missing values skipped pairwise: rows (0,0), (3,4), (-999,1):
// d12 = 5, d13 = |0-1| = 1, d23 = |4-1| = 3; a pair with nothing to compare is 0.
TEST(Resemblance, EuclideanFamilyAndAbsoluteValue) {
  Mat x = {{0, 0}, {3, 4}, {-999, 1}, {-999, -999}};
  Mat d(4, 4);
  EucliDistMV(4, 2, x, d);
  EXPECT_DOUBLE_EQ(d[0][1], 5);
  EXPECT_DOUBLE_EQ(d[0][2], 1);
  EXPECT_DOUBLE_EQ(d[1][2], 3);
  EXPECT_EQ(d[0][3], 0);
  const int second[] = {0, 1};
  EucliDistMVSelect(4, 2, x, d, second);
  EXPECT_DOUBLE_EQ(d[0][1], 4);
  EucliDistMVSelectOne(4, 2, x, d, 1);
  EXPECT_DOUBLE_EQ(d[0][1], 3);
  EXPECT_EQ(d[0][2], 0);
  EucliDistMVSelectOne(4, 2, x, d, 3);  // no such variable
  EXPECT_EQ(d[0][1], 0);
  // |1-2| + |2-0| = 3, the third variable missing.
  Mat y = {{1, 2, 3}, {2, 0, -999}};
  Mat a(2, 2);
  AbsValFunctionMV(2, 3, y, a);
  EXPECT_DOUBLE_EQ(a[0][1], 3);
}

TEST(Resemblance, EuclideanSameDigitsOnOneAndTwoThreads) {
  const int n = 61, p = 7;
  Mat x(n, p);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++) x[i][k] = (i * 37 + k * 11) % 17 == 0 ? -999 : std::sin(i * 1.3 + k);
  const int select[] = {1, 0, 1, 1, 0, 1, 1};
  std::vector<double> results[2];
  for (int t = 0; t < 2; t++) {
    omp_set_num_threads(t + 1);
    Mat a(n, n), b(n, n), c(n, n);
    EucliDist(n, p, x, a);
    EucliDistMV(n, p, x, b);
    EucliDistMVSelect(n, p, x, c, select);
    for (double** m : {a.m, b.m, c.m})
      for (int i = 0; i < n; i++)
        for (int j = i; j < n; j++) results[t].push_back(m[i][j]);
  }
  omp_set_num_threads(omp_get_num_procs());
  EXPECT_EQ(results[0], results[1]);
}

// Chord: (1,0) and (0,1) are sqrt(2) apart, a zero row is 1 from any row.
// With a missing value each pair normalises over its own variables:
// (3,4,-) and (6,8,1) become (0.6,0.8) twice: distance 0.
// Bray-Curtis: (1,2,3) vs (3,2,1): 4 / 12.  With a negative minimum -1 the
// values are shifted: (-1,1) vs (1,1): 2 / ((0+2) + (2+2)) = 1/3.
TEST(Resemblance, ChordAndBrayCurtis) {
  Mat x = {{1, 0}, {0, 1}, {0, 0}};
  Mat d(3, 3);
  ChordDistMV(3, 2, x, d);
  EXPECT_DOUBLE_EQ(d[0][1], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(d[0][2], 1);
  EXPECT_DOUBLE_EQ(d[1][2], 1);
  Mat y = {{3, 4, -999}, {6, 8, 1}};
  Mat e(2, 2);
  ChordDistMV(2, 3, y, e);
  EXPECT_NEAR(e[0][1], 0, 1e-12);

  Mat b = {{1, 2, 3}, {3, 2, 1}, {0, 0, 0}, {0, 0, 0}};
  Mat bc(4, 4);
  BrayCurtisMV(4, 3, b, bc);
  EXPECT_DOUBLE_EQ(bc[0][1], 1.0 / 3);
  EXPECT_EQ(bc[2][3], 0);  // nothing to compare
  Mat s = {{-1, 1}, {1, 1}};
  BrayCurtisMV(2, 2, s, e);
  EXPECT_DOUBLE_EQ(e[0][1], 1.0 / 3);
}

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
  EXPECT_EQ(s[2][2], 1);
  Mat z = {{1, 2, 10, 1, -999, 0}, {1, 3, 14, 3, 5, 0}, {0, 2, 20, 2, 7, 1}};
  GowerMVOpt(3, 6, types, z, s, nullptr, nullptr, 1);
  EXPECT_NEAR(s[0][1], 0.52, 1e-12);

  // Through the dispatcher, with both triangles filled.
  Mat w = {{1, 2, 10, 1, -999, 0}, {1, 3, 14, 3, 5, 0}, {0, 2, 20, 2, 7, 1}};
  int t[] = {1, 2, 3, 4, 3, 1};
  ResemblanceLib(3, 6, w, s, 1, 5, 0, t, 0, 0, 0, false);
  EXPECT_NEAR(s[2][1], 0.15, 1e-12);

  // GowerMV with a given range 20 and weights 1, 3 on two interval traits:
  // (1*(1-4/20) + 3*(1-0)) / 4 = 0.95.
  const int q[] = {3, 3};
  const double range[] = {20, 5}, weight[] = {1, 3};
  Mat v = {{10, 1}, {14, 1}};
  Mat g(2, 2);
  GowerMV(2, 2, q, v, g, range, weight);
  EXPECT_NEAR(g[0][1], 0.95, 1e-12);
}

TEST(Resemblance, GowerPartialOfOneTrait) {
  Mat s(3, 3);
  double bin[] = {1, 0, 0};
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, 2, 0);
  EXPECT_EQ(s[0][0], 2);
  EXPECT_EQ(s[0][1], 0);
  EXPECT_EQ(s[1][2], -999);  // double absence
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, -1, 1);
  EXPECT_EQ(s[1][2], 1);  // counted, negative weight taken as 1
  GowerMVPartial_dAbsences(3, 1, bin, s, 0, 0, 1);
  EXPECT_EQ(s[0][0], -999);  // weight 0
  double q[] = {2, 6, -999};  // range 0 given: taken from the column, 4
  GowerMVPartial_dAbsences(3, 3, q, s, 0, 1, 0);
  EXPECT_EQ(s[0][1], 0);
  EXPECT_EQ(s[1][0], 0);
  EXPECT_EQ(s[0][2], -999);
  EXPECT_EQ(s[1][1], 1);
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
  Mat e = {{0, 0}, {0, 0}};
  Mat t(2, 2);
  Jaccard(2, 2, e, t);
  EXPECT_EQ(t[0][1], 0);
  JaccardTurnover(2, 2, e, t);
  EXPECT_EQ(t[0][1], -999);
  SorensenNestedness(2, 2, e, t);
  EXPECT_EQ(t[0][1], -999);
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
  MutualEntropyPairwiseMV(2, 4, x, d, 1.0, false);
  EXPECT_NEAR(d[0][1], std::log(2.0), 1e-6);
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
  EXPECT_NEAR(s[0][1], 1.0 / 3, 1e-7);
  EXPECT_EQ(s[1][0], s[0][1]);
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
  EXPECT_DOUBLE_EQ(d[0][1], 5);  // (0,0,0) vs (3,4,0)
  EXPECT_DOUBLE_EQ(d[1][0], 5);
  EXPECT_DOUBLE_EQ(d[0][2], 1);
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
  const int expected[] = {1, 0, 0, 1, 0, 17, 3, 3, 2, 2, 18, 1};
  for (int opt = 0; opt <= 11; opt++) EXPECT_EQ(TranslateReseOpt_QUILTA_VARIMO(opt), expected[opt]);
}
