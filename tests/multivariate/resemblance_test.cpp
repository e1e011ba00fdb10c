#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "multivariate/congruence.h"
#include "multivariate/resemblance.h"
#include "../numeric/matrix_fixture.h"
#include "numeric/stats.h"

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

// x = 1 1 1 0 0 1, y = 1 0 0 1 0 1: a = 2, b = 2, c = 1, d = 1.
// Jaccard 2/5; dissimilarity 3/5 = turnover 2*1/(2+2) = 0.5 + nestedness
// (1/5)*(2/4) = 0.1.  Sorensen 4/7; dissimilarity 3/7 = turnover 1/3 +
// nestedness (1/7)*(2/3) = 2/21.
TEST(Resemblance, BinaryCoefficients) {
  Mat x = {{1, 1, 1, 0, 0, 1}, {1, 0, 0, 1, 0, 1}, {0, 0, 0, 0, 0, 0}};
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
               {SorensenNestedness, 2.0 / 21}};
  Mat s(3, 3);
  for (const Case& c : cases) {
    c.f(3, 6, x, s);
    EXPECT_NEAR(s[0][1], c.value, 1e-12);
  }
  // Two empty rows: Jaccard 0, turnover undefined.
  Jaccard(3, 6, x, s);
  EXPECT_EQ(s[2][2], 0);
  JaccardTurnover(3, 6, x, s);
  EXPECT_EQ(s[2][2], -999);
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
