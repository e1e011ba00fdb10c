#include <gtest/gtest.h>
#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "multivariate/random.h"
#include "../numeric/matrix_fixture.h"

namespace {

bool IsPermutation(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  for (size_t i = 0; i < v.size(); i++)
    if (v[i] != static_cast<int>(i) + 1) return false;
  return true;
}

std::vector<std::vector<int>> Draws(unsigned long seed, int n, int times) {
  InitRndNumberGenerator(seed);
  std::vector<std::vector<int>> out;
  for (int t = 0; t < times; t++) {
    std::vector<int> v(n);
    RndList(n, v.data());
    out.push_back(v);
  }
  return out;
}

}  // namespace

TEST(RndList, SeedReproducesPermutations) {
  const auto a = Draws(42, 9, 20), b = Draws(42, 9, 20), c = Draws(43, 9, 20);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  for (const auto& v : a) EXPECT_TRUE(IsPermutation(v));

  // n = 1 gives {1} and draws nothing: the next draw is the generator's first.
  InitRndNumberGenerator(7);
  int one = 0;
  RndList(1, &one);
  EXPECT_EQ(one, 1);
  const unsigned long next = gsl_rng_get(r);
  InitRndNumberGenerator(7);
  EXPECT_EQ(gsl_rng_get(r), next);
}

TEST(RndListNestedNew, RestrictedPermutations) {
  InitRndNumberGenerator(11);
  const int groups[] = {2, 1, 2, 1, 3, 3, 2, 1, 3};  // three groups of three
  bool withinMoved = false, groupsMoved = false;
  for (int t = 0; t < 30; t++) {
    std::vector<int> v(9);
    RndListNestedNew(9, groups, 1, v.data());
    EXPECT_TRUE(IsPermutation(v));
    for (int i = 0; i < 9; i++) EXPECT_EQ(groups[v[i] - 1], groups[i]) << "left its group";
    withinMoved = withinMoved || v != std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9};

    // Whole groups: positions of one group all receive one other group's
    // members, still in position order.
    RndListNestedNew(9, groups, 2, v.data());
    EXPECT_TRUE(IsPermutation(v));
    for (int g = 1; g <= 3; g++) {
      std::vector<int> got;
      for (int i = 0; i < 9; i++)
        if (groups[i] == g) got.push_back(v[i]);
      EXPECT_TRUE(std::is_sorted(got.begin(), got.end()));
      for (int x : got) EXPECT_EQ(groups[x - 1], groups[got[0] - 1]);
      groupsMoved = groupsMoved || groups[got[0] - 1] != g;
    }
    RndListNestedNew(9, groups, 3, v.data());
    EXPECT_TRUE(IsPermutation(v));
  }
  EXPECT_TRUE(withinMoved);
  EXPECT_TRUE(groupsMoved);
}

TEST(CorrToData, IdentityGivesTheDrawsAndCorrelationIsImposed) {
  Mat I = {{1, 0}, {0, 1}};
  Mat out(3, 2);
  InitRndNumberGenerator(3);
  ASSERT_EQ(CorrToData_New(3, 2, I, out, 2), 1);
  InitRndNumberGenerator(3);
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 2; j++) EXPECT_DOUBLE_EQ(out[i][j], gsl_ran_gaussian(r, 1.0));

  // Uniform draws with correlation 0.8: the sample correlation is close.
  const int n = 20000;
  Mat R = {{1, 0.8}, {0.8, 1}}, big(n, 2);
  ASSERT_EQ(CorrToData_New(n, 2, R, big, 1), 1);
  double s[5] = {0, 0, 0, 0, 0};  // sums of x, y, xx, yy, xy
  for (int i = 0; i < n; i++) {
    const double a = big[i][0], b = big[i][1];
    s[0] += a, s[1] += b, s[2] += a * a, s[3] += b * b, s[4] += a * b;
  }
  const double cxy = s[4] - s[0] * s[1] / n, cxx = s[2] - s[0] * s[0] / n,
               cyy = s[3] - s[1] * s[1] / n;
  EXPECT_NEAR(cxy / std::sqrt(cxx * cyy), 0.8, 0.02);
}
