#include <gtest/gtest.h>

#include <cmath>

#include "../numeric/matrix_fixture.h"
#include "multivariate/ordination.h"
#include "numeric/stats.h"

namespace {

// Five points in the plane, the small example used to teach principal
// components.  Worked by hand: centred on (5.2, 2.6), the scatter matrix
// Xc'Xc is [[32.8, 6.4], [6.4, 23.2]]; its characteristic polynomial
// l^2 - 56 l + 720 has roots 28 +- 8, so the principal coordinates of the
// Euclidean distances have eigenvalues 36 and 20 (9 and 5 for the covariance
// matrix, divided by n - 1 = 4) and the others are 0.  Their sum, 56, is the
// trace of the centred matrix.
const double kPoints[5][2] = {{2, 1}, {3, 4}, {5, 0}, {7, 6}, {9, 2}};

void Distances(const int* order, Mat& D) {
  for (int i = 0; i < 5; i++)
    for (int j = 0; j < 5; j++) {
      const double* a = kPoints[order[i]];
      const double* b = kPoints[order[j]];
      D[i][j] = std::hypot(a[0] - b[0], a[1] - b[1]);
    }
}

struct Ordination {
  Mat vectors, scores;
  double values[8] = {};
  int kept = -1;
  bool ok = false;
  Ordination(int n, int p) : vectors(n, n), scores(n, p > n ? p : n) {}
};

}  // namespace

TEST(PrincipalCoordinates, EuclideanDistancesAreReproduced) {
  const int identity[5] = {0, 1, 2, 3, 4};
  Mat D(5, 5);
  Distances(identity, D);
  Ordination o(5, 5);
  OrdinationLib_D(5, 0, nullptr, D, o.vectors, o.scores, &o.kept, o.values, &o.ok, 1, 2, 1);
  EXPECT_TRUE(o.ok);
  ASSERT_EQ(o.kept, 2);
  EXPECT_NEAR(o.values[0], 36, 1e-10);
  EXPECT_NEAR(o.values[1], 20, 1e-10);
  double sum = 0;
  for (int a = 0; a < 5; a++) sum += o.values[a];
  EXPECT_NEAR(sum, 56, 1e-10);
  for (int i = 0; i < 5; i++)
    for (int j = 0; j < 5; j++) {
      double d = std::hypot(o.scores[0][i] - o.scores[0][j], o.scores[1][i] - o.scores[1][j]);
      EXPECT_NEAR(d, D[i][j], 1e-10);
    }

  // Products between the centred points (a similarity code) give the same
  // axes through S[i][i] + S[j][j] - 2 S[i][j].
  Mat S(5, 5);
  for (int i = 0; i < 5; i++)
    for (int j = 0; j < 5; j++)
      S[i][j] = (kPoints[i][0] - 5.2) * (kPoints[j][0] - 5.2) + (kPoints[i][1] - 2.6) * (kPoints[j][1] - 2.6);
  Ordination os(5, 5);
  OrdinationLib_D(5, 0, nullptr, S, os.vectors, os.scores, &os.kept, os.values, &os.ok, 1, 22, 1);
  ASSERT_EQ(os.kept, 2);
  for (int a = 0; a < 2; a++)
    for (int i = 0; i < 5; i++) EXPECT_NEAR(os.scores[a][i], o.scores[a][i], 1e-10);
}

// Distances 1, 1, 3 break the triangle inequality.  By hand, the centred
// matrix -J A J / 2 of the squared distances is
//   [[-5/9, 5/18, 5/18], [5/18, 19/9, -43/18], [5/18, -43/18, 19/9]]
// with eigenvectors (0, 1, -1), (1, 1, 1), (2, -1, -1) and eigenvalues
// 9/2, 0, -5/6.  The negative one is 0.23 of the sum: eigenOk is cleared and
// only the first axis is kept, scores sqrt(9/2) (0, 1, -1) / sqrt 2 with the
// first of the two largest components positive.
TEST(PrincipalCoordinates, NonEuclideanKeepsPositiveAxesOnly) {
  Mat D{{0, 1, 1}, {1, 0, 3}, {1, 3, 0}};
  Ordination o(3, 3);
  OrdinationLib_D(3, 0, nullptr, D, o.vectors, o.scores, &o.kept, o.values, &o.ok, 1, 3, 1);
  EXPECT_FALSE(o.ok);
  EXPECT_NEAR(o.values[0], 4.5, 1e-12);
  EXPECT_NEAR(o.values[1], 0, 1e-12);
  EXPECT_NEAR(o.values[2], -5.0 / 6, 1e-12);
  ASSERT_EQ(o.kept, 1);
  EXPECT_NEAR(o.scores[0][0], 0, 1e-12);
  EXPECT_NEAR(o.scores[0][1], 1.5, 1e-12);
  EXPECT_NEAR(o.scores[0][2], -1.5, 1e-12);
}

// Covariance-based components of four variables over ten units: the unit
// scores of different axes are uncorrelated (the scores are centred and
// their cross products vanish), and each axis has sum of squares equal to its
// eigenvalue.
TEST(PrincipalComponents, ScoresAreUncorrelated) {
  Mat X(4, 10), C(4, 4);
  unsigned seed = 99;
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 10; j++) {
      seed = seed * 1103515245u + 12345u;
      X[i][j] = ((seed >> 16) % 100) / 10.0 + (i == 1 ? X[0][j] : 0);
    }
  CovarianceMV(4, 10, X, C);
  Ordination o(4, 10);
  OrdinationLib_D(4, 10, X, C, o.vectors, o.scores, &o.kept, o.values, &o.ok, 2, 22, 1);
  ASSERT_EQ(o.kept, 4);
  for (int a = 0; a < 4; a++) {
    double s = 0;
    for (int j = 0; j < 10; j++) s += o.scores[a][j];
    EXPECT_NEAR(s, 0, 1e-10);
    for (int b = a; b < 4; b++)
      EXPECT_NEAR(CrossProduct2VecMV(10, o.scores[a], o.scores[b]), a == b ? o.values[a] : 0, 1e-10);
  }
}

namespace {
int CorrespondenceAxes(Mat& T, Ordination& o) {
  Mat Dev(T.rows, T.cols), R(T.rows, T.rows);
  DeviationsExpectationsMV(T.rows, T.cols, T, Dev);
  CrossProductMV(T.rows, T.cols, Dev, R);
  OrdinationLib_D(T.rows, T.cols, T, R, o.vectors, o.scores, &o.kept, o.values, &o.ok, 3, 0, 1);
  return o.kept;
}
}  // namespace

// The 2 x 3 table (2 1 0 / 1 2 0): deviations +-1/6, cross products
// +-1/18, one axis of inertia (ad - bc)^2 / (r1 r2 c1 c2) = 9/81 = 1/9 with
// vector (1, -1) / sqrt 2; times sqrt(t / r) = sqrt 2 the object scores are
// (1, -1); variable scores (2 - 1) / (3 sqrt(1/9)) = 1 and -1; the empty
// column scores 0.
TEST(Correspondence, KnownInertiaAndRankOneTables) {
  Mat T{{2, 1, 0}, {1, 2, 0}};
  Ordination o(2, 3);
  ASSERT_EQ(CorrespondenceAxes(T, o), 1);
  EXPECT_NEAR(o.values[0], 1.0 / 9, 1e-12);
  EXPECT_NEAR(o.vectors[0][0], 1, 1e-12);
  EXPECT_NEAR(o.vectors[0][1], -1, 1e-12);
  EXPECT_NEAR(o.scores[0][0], 1, 1e-12);
  EXPECT_NEAR(o.scores[0][1], -1, 1e-12);
  EXPECT_EQ(o.scores[0][2], 0);

  Mat R1{{1, 2, 3}, {2, 4, 6}};
  Ordination o1(2, 3);
  EXPECT_EQ(CorrespondenceAxes(R1, o1), 0);
}
