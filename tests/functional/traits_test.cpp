#include <gtest/gtest.h>

#include <cmath>

#include "fcore_fixture.h"
#include "multivariate/random.h"
#include "shell/preferences.h"

// Hand-worked example: 4 OTUs, 3 communities, 2 traits.
//   B: trait 1 quantitative (range 4), trait 2 binary     W (unit totals):
//      OTU1  1  1                                           c1  .5  .5   0   0
//      OTU2  3  1                                           c2   0   0  .5  .5
//      OTU3  5  0                                           c3  .5   0  .25 .25
//      OTU4  3  0
//   Partial similarities 1 - |x - y| / 4 on trait 1; on trait 2 a match is 1
//   (a double absence too, countDoubleAbsence 1).  Averages:
//      S12 = (.5 + 1)/2 = .75   S13 = (0 + 0)/2 = 0     S14 = (.5 + 0)/2 = .25
//      S23 = (.5 + 0)/2 = .25   S24 = (1 + 0)/2 = .5    S34 = (.5 + 1)/2 = .75
//   Types: OTUs 1, 2 carry label 5, OTUs 3, 4 label 2, so column 0 is {3, 4}.
static Case HandCase() {
  Case c(3, 4, 2, 1);
  const double b[4][2] = {{1, 1}, {3, 1}, {5, 0}, {3, 0}};
  const double w[3][4] = {{.5, .5, 0, 0}, {0, 0, .5, .5}, {.5, 0, .25, .25}};
  for (int i = 0; i < 4; i++) c.B[i][0] = b[i][0], c.B[i][1] = b[i][1];
  for (int k = 0; k < 3; k++)
    for (int i = 0; i < 4; i++) c.W[k][i] = w[k][i];
  c.types = {3, 1};
  c.ranges = {4.0, 0.0};
  c.partition = {5, 5, 2, 2};
  // One environmental variable 0, 3, 1: DE12 = 3, DE13 = 1, DE23 = 2.
  c.E[0][0] = 0, c.E[1][0] = 3, c.E[2][0] = 1;
  return c;
}

TEST(HandWorked, SimilarityBelongingAndStructures) {
  countDoubleAbsence = 1;
  Case c = HandCase();
  c.Prepare(1, 1);
  const double S[4][4] = {{1, .75, 0, .25}, {.75, 1, .25, .5}, {0, .25, 1, .75}, {.25, .5, .75, 1}};
  for (int i = 0; i < 4; i++)
    for (int j = 0; j < 4; j++) EXPECT_DOUBLE_EQ(c.S[i][j], S[i][j]) << i << "," << j;

  // Fuzzy U: mean similarity to each type, rows to unit sum.
  //   OTU1 {3,4}: (0+.25)/2 = .125  {1,2}: (1+.75)/2 = .875          -> .125 .875
  //   OTU2 {3,4}: (.25+.5)/2 = .375 {1,2}: (.75+1)/2 = .875 (sum 1.25) -> .3 .7
  //   OTU3 -> .875 .125;  OTU4 .875 and .375 (sum 1.25) -> .7 .3
  const double U[4][2] = {{.125, .875}, {.3, .7}, {.875, .125}, {.7, .3}};
  for (int i = 0; i < 4; i++)
    for (int t = 0; t < 2; t++) EXPECT_DOUBLE_EQ(c.U[i][t], U[i][t]);

  PermTest_FunctionalPhyl_Correl(&c.rec);
  // X = W U: c1 .5(.125,.875) + .5(.3,.7) = (.2125, .7875); c2 (.7875, .2125);
  //          c3 .5(.125,.875) + .25(.875,.125) + .25(.7,.3) = (.45625, .54375)
  const double X[3][2] = {{.2125, .7875}, {.7875, .2125}, {.45625, .54375}};
  for (int k = 0; k < 3; k++)
    for (int t = 0; t < 2; t++) EXPECT_NEAR(c.X[k][t], X[k][t], 1e-15);
  // T = W B = (2, 1), (4, 0), (2.5, .5); column lengths sqrt(26.25), sqrt(1.25).
  const double T[3][2] = {{2, 1}, {4, 0}, {2.5, .5}};
  for (int k = 0; k < 3; k++) {
    EXPECT_NEAR(c.T[k][0], T[k][0] / std::sqrt(26.25), 1e-15);
    EXPECT_NEAR(c.T[k][1], T[k][1] / std::sqrt(1.25), 1e-15);
  }
  // Rao entropy with d = 1 - S: c1 2(.5)(.5)(.25) = .125; c2 likewise .125;
  // c3 2[(.5)(.25)(1) + (.5)(.25)(.75) + (.25)(.25)(.25)] = .46875.
  EXPECT_NEAR(c.R[0][0], .125, 1e-15);
  EXPECT_NEAR(c.R[1][0], .125, 1e-15);
  EXPECT_NEAR(c.R[2][0], .46875, 1e-15);
  // DT^2: d12 = 4/26.25 + 1/1.25 = 20/21, d13 = .25/26.25 + .25/1.25 = 22/105,
  // d23 = 2.25/26.25 + .25/1.25 = 2/7.  r(TE) = Pearson of
  // (.975900, .457738, .534522) and (3, 1, 2) = .926470.
  EXPECT_NEAR(c.rec.statistics[kStatTE], 0.9264701319086618, 1e-12);
  EXPECT_EQ(c.rec.probabilities[kStatTE], 1.0);

  // Crisp C and the crisp pooled matrix: c1 (0, 1), c2 (1, 0), c3 (.5, .5).
  c.fuzzy = false;
  c.Prepare(1, 1);
  EXPECT_EQ(c.U[0][1], 1.0);
  EXPECT_EQ(c.U[2][0], 1.0);
  EXPECT_EQ(c.U[0][0] + c.U[1][0] + c.U[2][1] + c.U[3][1], 0.0);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  const double Xc[3][2] = {{0, 1}, {1, 0}, {.5, .5}};
  for (int k = 0; k < 3; k++)
    for (int t = 0; t < 2; t++) EXPECT_DOUBLE_EQ(c.X[k][t], Xc[k][t]);

  // Gini-Simpson: Rao with the identity read as similarity = 1 - sum p^2:
  // c1 .5, c2 .5, c3 1 - (.25 + .0625 + .0625) = .625; an empty community 0.
  Mat I(4, 4);
  for (int i = 0; i < 4; i++) I[i][i] = 1;
  const int w[4] = {1, 1, 1, 1};
  EXPECT_DOUBLE_EQ(RaoIndex_Weight(4, c.W[0], I.p(), false, false, w, false), .5);
  EXPECT_DOUBLE_EQ(RaoIndex_Weight(4, c.W[2], I.p(), false, false, w, false), .625);
  const double none[4] = {0, 0, 0, 0};
  EXPECT_EQ(RaoIndex_Weight(4, none, c.S.p(), false, true, w, false, true), 0.0);
}

TEST(HandWorked, AnovaRegressionAndTwoCommunities) {
  countDoubleAbsence = 1;
  Case c = HandCase();
  // Factor groups {c1, c3}, {c2}.  Qt = (20/21 + 22/105 + 2/7)/3 = 152/315;
  // within {c1, c3}: (22/105)/2 = 33/315; Qb = 119/315; F = 119/33.  Trait 1
  // alone (squared distances 4, .25, 2.25 over 26.25): Qt = 13/6, Qw = 1/8,
  // F = (13/6 - 1/8) / (1/8) = 49/3.
  c.E[0][0] = 1, c.E[1][0] = 2, c.E[2][0] = 1;
  c.Prepare(5, 1);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  EXPECT_NEAR(c.anova[0][0], 119.0 / 33.0, 1e-12);
  EXPECT_NEAR(c.anovaTrait[0][0], 49.0 / 3.0, 1e-12);
  // Every community its own group: no within-group variation, F infinite,
  // and every permutation reaches it.
  c.E[0][0] = 1, c.E[1][0] = 2, c.E[2][0] = 3;
  InitRndNumberGenerator(7);
  c.Prepare(5, 20, 's');
  PermTest_FunctionalPhyl_Correl(&c.rec);
  EXPECT_TRUE(std::isinf(c.anova[0][0]));
  EXPECT_EQ(c.anova[1][0], 1.0);

  // Regression of trait 1 (2, 4, 2.5, scaled) on E = (0, 3, 1): Sxy = 19/6,
  // Sxx(E) = 14/3, Syy = 13/6; r2 = (19/6)^2 / (14/3 * 13/6) = 361/364;
  // coefficient (19/6)/(14/3) = 19/28 and intercept 17/6 - 19/28 * 4/3 =
  // 27/14 on the unscaled trait.
  c.E[0][0] = 0, c.E[1][0] = 3, c.E[2][0] = 1;
  c.Prepare(4, 1);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  EXPECT_NEAR(c.reg[0][0], 361.0 / 364.0, 1e-12);
  EXPECT_NEAR(c.coef[0][0], 19.0 / 28.0 / std::sqrt(26.25), 1e-12);
  EXPECT_NEAR(c.reg[2][0], 27.0 / 14.0 / std::sqrt(26.25), 1e-12);

  // Two communities: T columns (2, 4)/sqrt(20) and (1, 0), DT = sqrt(1.2),
  // DE = 3; r(TE) = 1 - |sqrt(1.2) - 3| / 3.
  c.m = 2;
  c.W.r.resize(2), c.E.r.resize(2), c.rel.resize(2);
  c.Prepare(1, 1);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  EXPECT_NEAR(c.rec.statistics[kStatTE], 1 - (3 - std::sqrt(1.2)) / 3, 1e-12);
}

TEST(Belonging, DuplicatesCountOnceAndRowsSumToOne) {
  // Type {1, 2, 3} with OTUs 1 and 2 identical (S12 = 1), type {4}.
  // S13 = S23 = .2, S14 = S24 = .6, S34 = .4.  OTU 2 is a duplicate of 1, so
  // the first type counts 2 members:
  //   OTU4: (.6 + .4)/2 = .5 and 1 -> (1/3, 2/3)  [not (.6 + .6 + .4)/3]
  //   OTU1: (1 + .2)/2 = .6 and .6 -> (.5, .5);  OTU3: .6 and .4 -> (.6, .4)
  Mat S(4, 4), U(4, 2);
  for (int i = 0; i < 4; i++) S[i][i] = 1;
  S[0][1] = 1, S[0][2] = S[1][2] = .2, S[0][3] = S[1][3] = .6, S[2][3] = .4;
  const int part[4] = {1, 1, 1, 2};
  FuzzyBelonging(4, 2, S.p(), part, U.p(), false);
  EXPECT_DOUBLE_EQ(U[3][0], 1.0 / 3);
  EXPECT_DOUBLE_EQ(U[0][0], .5);
  EXPECT_DOUBLE_EQ(U[1][0], .5);
  EXPECT_DOUBLE_EQ(U[2][0], .6);
  // No partition, dissimilarities (lower triangle ignored): U[i][j] is
  // proportional to 1 - D[i][j].
  Mat D(3, 3), Ud(3, 3);
  D[0][1] = .2, D[0][2] = .6, D[1][2] = .4, D[2][0] = 99;
  FuzzyBelonging(3, 3, D.p(), nullptr, Ud.p(), true);
  // Row 1: 1, .8, .4 (sum 2.2); row 3: .4, .6, 1 (sum 2).
  EXPECT_DOUBLE_EQ(Ud[0][2], .4 / 2.2);
  EXPECT_DOUBLE_EQ(Ud[2][0], .2);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(Ud[i][0] + Ud[i][1] + Ud[i][2], 1.0, 1e-15);
}

TEST(Rao, WeightsRestrictionAndAdjustment) {
  // Three OTUs, OTU 3 unselected, p = (.5, .25, .25), d = 1 - S with
  // S12 = .5, S13 = 0, S23 = .5.
  Mat S(3, 3);
  S[0][0] = S[1][1] = S[2][2] = 1, S[0][1] = .5, S[1][2] = .5;
  const double p[3] = {2, 1, 1};  // relative .5 .25 .25
  const int w[3] = {1, 1, 0};
  // At least one selected: all pairs count, Q = 2(.125(.5) + .125(1) + .0625(.5)) = .4375.
  EXPECT_DOUBLE_EQ(RaoIndex_Weight(3, p, S.p(), false, false, w, false, false), .4375);
  // Within selected: only pair (1, 2), Q = 2(.125)(.5) = .125;
  // adjusted by SW/SP = (.25 + .0625 + .125*2)/1 = .5625.
  EXPECT_DOUBLE_EQ(RaoIndex_Weight(3, p, S.p(), false, false, w, true, false), .125);
  EXPECT_DOUBLE_EQ(RaoIndex_Weight(3, p, S.p(), false, false, w, true, true), .125 / .5625);
}

TEST(Products, MissingPerformanceRules) {
  // Community 1 holds only a missing performance: X and T sums are 0 because
  // of the skipped cell, which X marks -999 and T leaves 0.
  countDoubleAbsence = 1;
  Case c = HandCase();
  c.W[0][0] = -999, c.W[0][1] = 0;
  c.Prepare(1, 1);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  EXPECT_EQ(c.X[0][0], -999.0);
  EXPECT_EQ(c.T[0][0], 0.0);
  EXPECT_EQ(c.R[0][0], 0.0);
}

// The Gower similarity built trait by trait must equal, to the last bit,
// the average of the full array of partial similarities, and the
// Gini-Simpson index in linear time the entropy with the identity matrix
// (to rounding: its sums run in another order): weights (one trait left
// out), missing trait values, binary double absences, OTU weights,
// restriction and adjustment; one OTU that dominates its community.
TEST(Rao, GiniSimpsonAndGowerWithoutFullArrays) {
  const int n = 7, p = 4;
  Mat B(n, p), S(n, n), want(n, n), I(n, n);
  const double b[7][4] = {{1.5, 1, 2, 0}, {3, 0, 1, 4}, {-999, 0, 3, -999}, {2.25, 1, -999, 1},
                          {7, 0, 2, 3}, {3, -999, 1, 0}, {4.5, 0, 3, 2}};
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++) B[i][k] = b[i][k];
  const int types[4] = {3, 1, 2, 4};
  // Ranges from the data, then given (an ordinal trait takes its ranks' range).
  const double rangeSets[2][4] = {{0.0, 0.0, 0.0, 0.0}, {9.5, 0.0, 0.0, 2.0}};
  for (int dz = 0; dz < 4; dz++) {
    const double* ranges = rangeSets[dz / 2];
    countDoubleAbsence = dz % 2;
    const double weights[4] = {1.0, 0.5, 0.0, 2.0};
    double*** partial = dim3Double(n, n, p);
    gower_similarityPartial(p, B.p(), n, partial, types, ranges, weights);
    gower_similarityAverage(n, p, partial, want.p(), weights);
    free3D(partial, n, n);
    gower_similarity(p, B.p(), n, S.p(), types, ranges, weights);
    int missing = 0;
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) {
        EXPECT_EQ(S[i][j], want[i][j]) << i << " " << j;
        missing += IsMissing(want[i][j]);
      }
    EXPECT_GT(missing, 0);  // pairs without a comparable trait
  }
  countDoubleAbsence = 1;

  for (int i = 0; i < n; i++) I[i][i] = 1.0;
  const double abundance[5][7] = {{3, 0, 1, 0, 2.5, 0, 7},
                                  {0, 0, 0, 0, 0, 0, 0},
                                  {1, -999, 0, 4, 0, 2, 0},
                                  {0, 0, 5, 0, 0, 0, 0},
                                  {1e9, 0, 1e-3, 2e-3, 0, 0, 1e-3}};
  const int w[7] = {1, 0, 1, 1, 0, 1, 1};
  for (const auto& a : abundance)
    for (int flags = 0; flags < 8; flags++) {
      const int* wp = flags & 4 ? w : nullptr;
      const double want = RaoIndex_Weight(n, a, I.p(), false, false, wp, flags & 1, flags & 2);
      EXPECT_NEAR(GiniSimpson_Weight(n, a, wp, flags & 1, flags & 2), want, 1e-15 * want)
          << "flags " << flags;
    }
  EXPECT_GT(GiniSimpson_Weight(n, abundance[0], nullptr, false, false), 0.5);
}
