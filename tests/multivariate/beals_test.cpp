#include <gtest/gtest.h>

#include <utility>

#include "multivariate/beals.h"
#include "../numeric/matrix_fixture.h"

namespace {

void ExpectMatrix(const Mat& m, std::initializer_list<std::initializer_list<double>> v) {
  int i = 0;
  for (auto& row : v) {
    int j = 0;
    for (double x : row) {
      EXPECT_NEAR(m[i][j], x, 1e-12) << "[" << i << "][" << j << "]";
      j++;
    }
    i++;
  }
}

}  // namespace

// Communities c1: 1 1 0, c2: 1 1 1, c3: 0 0 1.
// Mode 0: co-occurrence counts N = [[2,2,1],[2,2,1],[1,1,2]], rows divided by
// the diagonal: M = [[1,1,.5],[1,1,.5],[.5,.5,1]].
// Relative rows Wr: (.5,.5,0), (1/3,1/3,1/3), (0,0,1).
// With the target: Y = Wr M = [1,1,.5], [5/6,5/6,2/3], [.5,.5,1].
// Without (diagonal of M set to 0, the rest divided by 1 - w):
//   c1: j1 = (.5/.5)*1 = 1, j2 = 1, j3 = .5*.5 + .5*.5 = .5
//   c2: j1 = (1/3)/(2/3)*(1 + .5) = .75, j2 = .75, j3 = .5*(.5 + .5) = .5
//   c3: j1 = j2 = .5, j3 = 0 (the community holds only OTU 3)
TEST(Beals, ThreeByThreeByHand) {
  Mat W = {{1, 1, 0}, {1, 1, 1}, {0, 0, 1}};
  Mat M(3, 3), Y(3, 3);
  ConditionalProb(3, 3, W, M, 0);
  ExpectMatrix(M, {{1, 1, .5}, {1, 1, .5}, {.5, .5, 1}});
  BealsSmoothing(3, 3, W, W, Y, true, 0);
  ExpectMatrix(Y, {{1, 1, .5}, {5.0 / 6, 5.0 / 6, 2.0 / 3}, {.5, .5, 1}});
  BealsSmoothing(3, 3, W, W, Y, false, 0);
  ExpectMatrix(Y, {{1, 1, .5}, {.75, .75, .5}, {.5, .5, 0}});

  // A missing performance is left out of the sums: c1 = (1, 1, -) smooths
  // as (1, 1, 0) does.
  Mat Wm = {{1, 1, -999}, {1, 1, 1}, {0, 0, 1}};
  BealsSmoothing(3, 3, Wm, W, Y, true, 0);
  ExpectMatrix(Y, {{1, 1, .5}});
  BealsSmoothing(3, 3, Wm, W, Y, false, 0);
  ExpectMatrix(Y, {{1, 1, .5}});
}

// Abundances c1: 2 1 0, c2: 1 1 1, c3: 0 0 3.
// Mode 1, N[j][k] = total of j where k occurs:
//   row 1: 3, 3, 1 -> /3;  row 2: 2, 2, 1 -> /2;  row 3: 1, 1, 4 -> /4.
// Unit rows: row 1 sums to 7/3 -> (3/7, 3/7, 1/7).
// Mode 2: cross products [[5,3,1],[3,2,1],[1,1,10]], undivided.
TEST(Beals, ConditionalProbabilityModes) {
  Mat X = {{2, 1, 0}, {1, 1, 1}, {0, 0, 3}};
  Mat M(3, 3);
  ConditionalProb(3, 3, X, M, 1);
  ExpectMatrix(M, {{1, 1, 1.0 / 3}, {1, 1, .5}, {.25, .25, 1}});
  ConditionalProb(3, 3, X, M, 1, true);
  ExpectMatrix(M, {{3.0 / 7, 3.0 / 7, 1.0 / 7}});
  ConditionalProb(3, 3, X, M, 2);
  ExpectMatrix(M, {{5, 3, 1}, {3, 2, 1}, {1, 1, 10}});
  // An OTU absent everywhere keeps a zero row, with 1 on the diagonal.
  Mat A = {{1, 0}, {1, 0}};
  Mat N(2, 2);
  ConditionalProb(2, 2, A, N, 0);
  ExpectMatrix(N, {{1, 0}, {0, 1}});
}

// Odds of the unit-row conditional probabilities (3/7, 3/7, 1/7) etc. without
// the target: c3 holds only OTU 3 -> 0 there; c1, OTU 3 (w = 0):
// 2/3 * odds(M[1][3]) + 1/3 * odds(M[2][3]); M row 2 unit = (.4, .4, .2)
// after dividing (1, 1, .5) by 2.5, then the diagonal is 0:
// 2/3 * (1/7)/(6/7) + 1/3 * .2/.8 = 1/9 + 1/12.
TEST(Beals, OddsWithUnitRows) {
  Mat X = {{2, 1, 0}, {1, 1, 1}, {0, 0, 3}};
  Mat Y(3, 3);
  BealsSmoothing(3, 3, X, X, Y, false, 1, true);
  EXPECT_NEAR(Y[0][2], 1.0 / 9 + 1.0 / 12, 1e-12);
  EXPECT_EQ(Y[2][2], 0);
}

namespace {

// The sums of the smoothing written out over every OTU and community.
void FullSums(int n, int s, double** X, double** Y, bool includeTarget, int mode, bool unitRows,
              bool odds) {
  Mat N(s, s);
  for (int j = 0; j < s; j++)
    for (int k = 0; k < s; k++) {
      double sum = 0.0;
      for (int c = 0; c < n; c++) {
        const double xj = X[c][j], xk = X[c][k];
        if (xj == -999.0 || xk == -999.0) continue;
        if (mode == 0) sum += xj > 0.0 && xk > 0.0 ? 1.0 : 0.0;
        if (mode == 1) sum += xk > 0.0 ? xj : 0.0;
        if (mode == 2) sum += xj * xk;
      }
      N[j][k] = sum;
    }
  if (mode != 2)
    for (int j = 0; j < s; j++) {
      const double d = N[j][j];
      if (d > 0.0)
        for (int k = 0; k < s; k++) N[j][k] /= d;
      N[j][j] = 1.0;
    }
  if (unitRows)
    for (int j = 0; j < s; j++) {
      double t = 0.0;
      for (int k = 0; k < s; k++) t += N[j][k];
      if (t == 0.0) t = 1.0;
      for (int k = 0; k < s; k++) N[j][k] /= t;
    }
  Mat Wr(n, s);
  for (int c = 0; c < n; c++) {
    double t = 0.0;
    for (int j = 0; j < s; j++)
      if (X[c][j] != -999.0) t += X[c][j];
    if (t == 0.0) t = 1.0;
    for (int j = 0; j < s; j++) Wr[c][j] = X[c][j] == -999.0 ? -999.0 : X[c][j] / t;
  }
  if (!includeTarget)
    for (int j = 0; j < s; j++) N[j][j] = 0.0;
  for (int c = 0; c < n; c++)
    for (int j = 0; j < s; j++) {
      const double w = Wr[c][j] == -999.0 ? 0.0 : Wr[c][j];
      double sum = 0.0;
      for (int k = 0; k < s; k++) {
        if (Wr[c][k] == -999.0) continue;
        double m = N[k][j];
        if (includeTarget) {
          sum += Wr[c][k] * m;
          continue;
        }
        if (1.0 - w == 0.0) break;
        if (odds) {
          if (m == 1.0) continue;
          m = m / (1.0 - m);
        }
        sum += Wr[c][k] / (1.0 - w) * m;
      }
      Y[c][j] = sum;
    }
}

}  // namespace

// The smoothing runs over the non-zero performances only, the conditional
// probabilities a few rows at a time; it must give the full sums to the
// last bit, with missing values, an empty community, a community of one OTU
// and an OTU absent everywhere, in every mode, also when the OTUs are many
// more than the rows formed at a time, and on two threads.
TEST(Beals, SumsOverPresentOTUsEqualTheFullSums) {
  for (const auto& [n, s] : {std::pair{9, 7}, std::pair{30, 300}}) {
    Mat W(n, s);
    unsigned state = 12345;
    auto next = [&] { return (state = state * 1103515245u + 12345u) >> 16 & 0x7fff; };
    for (int c = 0; c < n; c++)
      for (int j = 0; j < s; j++) W[c][j] = next() % 3 == 0 ? 1.0 + next() % 50 / 7.0 : 0.0;
    for (int c = 0; c < n; c++) W[c][4] = 0.0;   // OTU absent everywhere
    for (int j = 0; j < s; j++) W[2][j] = 0.0;   // empty community
    for (int j = 0; j < s; j++) W[5][j] = j == 1 ? 3.0 : 0.0;  // a single OTU
    W[0][0] = W[7][3] = -999.0;
    int zeros = 0;
    for (int c = 0; c < n; c++)
      for (int j = 0; j < s; j++) zeros += W[c][j] == 0.0;
    ASSERT_GT(zeros, n * s / 3);
    for (int mode = 0; mode <= 2; mode++)
      for (int form = 0; form < 8; form++) {
        const bool include = form & 1, unitRows = form & 2;
        const int threads = form & 4 ? 2 : 1;
        SCOPED_TRACE(testing::Message() << s << " OTUs, mode " << mode << " include " << include
                                        << " unit " << unitRows << " threads " << threads);
        Mat got(n, s), want(n, s);
        // The plain form takes the odds in mode 2, the other with unit rows.
        const bool plain = !unitRows && threads == 1;
        if (plain)
          BealsSmoothing(n, s, W, W, got, include, mode);
        else
          BealsSmoothing(n, s, W, W, got, include, mode, unitRows, threads);
        FullSums(n, s, W, want, include, mode, unitRows, plain ? mode == 2 : unitRows);
        for (int c = 0; c < n; c++)
          for (int j = 0; j < s; j++) EXPECT_EQ(got[c][j], want[c][j]) << c << " " << j;
      }
  }
}
