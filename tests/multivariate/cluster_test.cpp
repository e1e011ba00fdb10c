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

TEST(LinkageCluster, TiesGoToFirstPairInRowOrder) {
  Mat d(4, 4);
  for (int i = 0; i < 4; i++)
    for (int j = i + 1; j < 4; j++) d[i][j] = 5;
  d[0][1] = 1;
  d[2][3] = 1;
  Hierarchy h(4);
  LinkageCluster(4, d, h.rec.data(), true, false, 1, true);
  EXPECT_EQ(h.members(0), (std::vector<int>{1, 2}));
  EXPECT_EQ(h.members(1), (std::vector<int>{3, 4}));
  EXPECT_EQ(Levels(h), (std::vector<double>{1, 1, 5}));
}

// Similarities 0.9 (1,2), 0.2 (1,3), 0.5 (2,3): complete linkage joins 1 and 2
// at 0.9 and keeps the smaller similarity 0.2 towards 3.
TEST(LinkageCluster, CompleteLinkageOfSimilarities) {
  Mat s = {{1, 0.9, 0.2}, {0, 1, 0.5}, {0, 0, 1}};
  Hierarchy h(3);
  LinkageCluster(3, s, h.rec.data(), false, false, 2, true);
  EXPECT_EQ(h.members(0), (std::vector<int>{1, 2}));
  EXPECT_NEAR(h.rec[0].level, 0.9, 1e-7);
  EXPECT_NEAR(h.rec[1].level, 0.2, 1e-7);
}

// Five() by sum of squares (squared distances 4 36 100 81 / 25 81 64 / 16 25 / 9).
//  1: (1,2) criterion 0.5*4 = 2, S=4, level 2.
//     centroid distances to A: 0.5(36+25)-1 = 29.5, 0.5(100+81)-1 = 89.5, 0.5(81+64)-1 = 71.5
//  2: (4,5) criterion 4.5, S=9, level 4.5; to B: A 0.5(89.5+71.5)-2.25 = 78.25,
//     3 0.5(16+25)-2.25 = 18.25
//  3: (3,B) criterion (2/3)18.25 = 12.1667; S = 9+16+25 = 50, level 50/3;
//     riseFirst 50/3, riseSecond 50/3-4.5
//  4: criterion 1.2 * ((1/3)29.5 + (2/3)78.25 - (2/9)18.25) = 69.5333;
//     S = 4+50+387 = 441, level 88.2; riseFirst 88.2-2, riseSecond 88.2-50/3
TEST(SumSqCluster, FiveObjects) {
  Mat d = Five();
  Hierarchy h(5);
  SumSqCluster(5, d, h.rec.data(), false);
  const double level[] = {2, 4.5, 50.0 / 3, 88.2}, increase[] = {2, 4.5, 36.5 / 3, 69.5333333};
  for (int a = 0; a < 4; a++) {
    EXPECT_NEAR(h.rec[a].level, level[a], 1e-5) << a;
    EXPECT_NEAR(h.rec[a].increase, increase[a], 1e-5) << a;
  }
  EXPECT_EQ(h.members(2), (std::vector<int>{3, 4, 5}));
  EXPECT_NEAR(h.rec[2].riseFirst, 50.0 / 3, 1e-5);
  EXPECT_NEAR(h.rec[2].riseSecond, 50.0 / 3 - 4.5, 1e-5);
  EXPECT_NEAR(h.rec[3].riseFirst, 86.2, 1e-5);
  EXPECT_NEAR(h.rec[3].riseSecond, 88.2 - 50.0 / 3, 1e-5);
}

TEST(GetClusterPartitionNew, CutsAtEveryNumberOfGroups) {
  Mat d = Five();
  Hierarchy h(5);
  LinkageCluster(5, d, h.rec.data(), true, false, 1, true);
  const std::vector<std::vector<int>> expected = {
      {}, {1, 1, 1, 1, 1}, {1, 1, 2, 2, 2}, {1, 1, 2, 3, 3}, {1, 1, 2, 3, 4}, {1, 2, 3, 4, 5}};
  for (int k = 1; k <= 5; k++) {
    std::vector<int> part(5);
    GetClusterPartitionNew(5, k, part.data(), h.rec.data(), 1);
    EXPECT_EQ(part, expected[k]) << "k " << k;
  }
}

TEST(RenamePartitionLabels, GapsRepeatsAndOddK) {
  std::vector<int> p = {7, 3, 3, 9, 7};
  RenamePartitionLabels(5, 3, p.data());
  EXPECT_EQ(p, (std::vector<int>{2, 1, 1, 3, 2}));
  // Fewer distinct labels than k: made consecutive, and it stops.
  p = {5, 5, 2};
  RenamePartitionLabels(3, 3, p.data());
  EXPECT_EQ(p, (std::vector<int>{2, 2, 1}));
  // Stops at the k-th label: 2,4,6,8 with k 2 -> 1,2 and the rest shifted by 2.
  p = {2, 4, 6, 8};
  RenamePartitionLabels(4, 2, p.data());
  EXPECT_EQ(p, (std::vector<int>{1, 2, 4, 6}));
  p = {1000000000, 1};
  RenamePartitionLabels(2, 0, p.data());
  EXPECT_EQ(p, (std::vector<int>{2, 1}));
}

TEST(ClusterIdenticals, MergesZeroDistances) {
  Mat d(5, 5);
  for (int i = 0; i < 5; i++)
    for (int j = i + 1; j < 5; j++) d[i][j] = 1 + i + j;
  d[1][3] = 0;
  std::vector<int> labels(5);
  int count = 0;
  ClusterIdenticals(5, d, labels.data(), &count, true);
  EXPECT_EQ(labels, (std::vector<int>{1, 2, 3, 2, 4}));
  EXPECT_EQ(count, 4);

  Mat out(4, 4);
  TrimRese(5, 4, labels.data(), d, out);
  EXPECT_EQ(out[0][1], d[0][1]);
  EXPECT_EQ(out[1][2], d[1][2]);
  EXPECT_EQ(out[2][3], d[2][4]);
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

TEST(ClassesMV, EqualWidthClasses) {
  const double x[] = {0, 1, 2, 3, -999};
  double c[5];
  ClassesMV(5, x, c, 3);
  EXPECT_EQ(std::vector<double>(c, c + 5), (std::vector<double>{1, 1, 2, 3, -999}));
  const double flat[] = {4, 4, -999};
  ClassesMV(3, flat, c, 3);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{1, 1, -999}));
  ClassesDefinitionMV(3, x, c, 2, 1, 1);
  EXPECT_EQ(std::vector<double>(c, c + 3), (std::vector<double>{1, 1, 1}));
}
