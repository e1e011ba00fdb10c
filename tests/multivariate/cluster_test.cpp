#include <gtest/gtest.h>

#include <vector>

#include "multivariate/cluster.h"
#include "../numeric/matrix_fixture.h"

namespace {

// Five objects; distances (upper triangle):
//   d12 2  d13 6  d14 10  d15 9
//          d23 5  d24 9   d25 8
//                 d34 4   d35 5
//                         d45 3
Mat Five() {
  return Mat{{0, 2, 6, 10, 9}, {0, 0, 5, 9, 8}, {0, 0, 0, 4, 5}, {0, 0, 0, 0, 3}, {0, 0, 0, 0, 0}};
}

struct Hierarchy {
  std::vector<std::vector<int>> storage;
  std::vector<clusterReport> rec;
  explicit Hierarchy(int n) : storage(n - 1, std::vector<int>(n, 0)), rec(n - 1) {
    for (int a = 0; a < n - 1; a++) rec[a].members = storage[a].data();
  }
  std::vector<int> members(int a) const {
    return std::vector<int>(rec[a].members, rec[a].members + rec[a].size);
  }
};

std::vector<double> Levels(const Hierarchy& h) {
  std::vector<double> v;
  for (const auto& r : h.rec) v.push_back(r.level);
  return v;
}

}  // namespace

// Worked by hand on Five().  Every method joins {1,2} (2), then {4,5} (3),
// then {3} with {4,5}, then the two groups.
//  single:   d(A,3)=min(6,5)=5, d(3,B)=min(4,5)=4, d(A,C)=min(5,8)=5
//  complete: d(A,3)=6, d(3,B)=5, d(A,B)=10, d(A,C)=10
//  UPGMA:    d(A,3)=5.5, d(3,B)=4.5, d(A,C)=(1*5.5+2*9)/3 = 47/6 (mean of the six
//            cross distances 6+10+9+5+9+8)
//  WPGMA:    d(A,3)=5.5, d(A,B)=9, d(3,B)=4.5, d(A,C)=(5.5+9)/2=7.25
TEST(LinkageCluster, FiveObjectsEveryLinkage) {
  const std::vector<std::vector<double>> expected = {
      {}, {2, 3, 4, 5}, {2, 3, 5, 10}, {}, {2, 3, 4.5, 47.0 / 6.0}, {2, 3, 4.5, 7.25}};
  for (int method : {1, 2, 4, 5}) {
    Mat d = Five();
    Hierarchy h(5);
    LinkageCluster(5, d, h.rec.data(), true, false, method, true);
    const auto levels = Levels(h);
    for (int a = 0; a < 4; a++)
      EXPECT_NEAR(levels[a], expected[method][a], 1e-6) << "method " << method << " step " << a;
    EXPECT_EQ(h.members(0), (std::vector<int>{1, 2}));
    EXPECT_EQ(h.members(1), (std::vector<int>{4, 5}));
    EXPECT_EQ(h.members(2), (std::vector<int>{3, 4, 5}));
    EXPECT_EQ(h.members(3), (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(h.rec[2].link, 3);
    EXPECT_EQ(h.rec[3].link, 2);
    EXPECT_EQ(d[0][3], 10.0) << "copy true leaves the input alone";
  }
}

// Positions 0, 1, 5, 6 on a line in groups {1,2} and {3,4}:
// total SS = 9+4+4+9 = 26 (sum of squared pairs 104 / 4), within 0.5 + 0.5,
// between 25.  Cross distances 5, 6, 4, 5: average 5; nearest neighbours
// 5, 4 (group 1 to 2) and 4, 5 (group 2 to 1): 4.5.
TEST(GroupSeparation, TwoGroupsOnALine) {
  const double x[] = {0, 1, 5, 6};
  Mat d(4, 4);
  for (int i = 0; i < 4; i++)
    for (int j = i + 1; j < 4; j++) d[i][j] = x[j] - x[i];
  const int groups[] = {1, 1, 2, 2}, all[] = {1, 1, 1, 1}, three[] = {1, 1, 1, 0};
  double between = 0, total = 0;
  EXPECT_DOUBLE_EQ(BetweenGrSqDissim(4, d, groups, &between, &total, all, false), 25);
  EXPECT_DOUBLE_EQ(total, 26);
  EXPECT_DOUBLE_EQ(AverageDissim(4, d, groups, all), 5);
  EXPECT_DOUBLE_EQ(NearNeighDist(4, d, groups, all), 4.5);
  // Without object 4: total (1+25+16)/3 = 14, within 0.5 + 0.
  EXPECT_DOUBLE_EQ(BetweenGrSqDissim(4, d, groups, &between, &total, three, false), 13.5);
  const int one[] = {1, 1, 1, 1}, none[] = {0, 0, 0, 0};
  EXPECT_EQ(AverageDissim(4, d, one, all), 0.0);
  EXPECT_EQ(NearNeighDist(4, d, one, all), 0.0);
  EXPECT_EQ(WithinGrSqDissim(4, d, none, false), 0.0);
}
