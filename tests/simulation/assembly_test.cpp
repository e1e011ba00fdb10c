// The assembly model in-process: the logistic curve and its slope bound,
// the expected trait means and trait distances, arrival and dispersal on
// tiny metacommunities whose probabilities are exactly 0 or 1, the
// environmental feedback, and the rejection rule of the error-rate counts.
#include "simulation/assembly.h"

#include <gtest/gtest.h>

#include <cmath>

#include "QELib/qelibDim.h"
#include "multivariate/random.h"
#include "simulation/simanalysis.h"

namespace {

const double kLn999 = 6.906754778648552;

// Curve parameters giving exactly 1 (center far above x) or exactly 0
// (center far below x) for every x in 0 .. 1: the exponent under- or
// overflows.
const double kSteep = -1e6;
const double kAlwaysCenter = 2.0;
const double kNeverCenter = -1.0;

void SetCurves(double** curves, int n, double center) {
  for (int i = 0; i < n; i++) {
    curves[i][0] = center;
    curves[i][1] = kSteep;
  }
}

// A model of S sites and N OTUs with one trait (every OTU at 0) and one
// factor, no response and no effect: every OTU is certain to establish and
// to survive, dispersal between sites never succeeds.
struct Tiny {
  AssemblyModel m;
  Tiny(int S, int N, int K = 1, int F = 1, bool interactions = false) {
    InitRndNumberGenerator(7);
    m.S = S;
    m.N = N;
    m.K = K;
    m.F = F;
    m.interactions = interactions;
    m.P = interactions ? F + F * (F - 1) / 2 : F;
    AllocAssembly(m);
    for (int k = 0; k < K; k++) m.traitSd[k] = 1.0;
    for (int i = 0; i < N; i++) m.lifespan[i] = 1;
    SetCurves(m.dispersal, N, kNeverCenter);
    SetCurves(m.survival, N, kAlwaysCenter);
    SetCurves(m.density, N, kAlwaysCenter);
    SetCurves(m.age, N, kAlwaysCenter);
    m.maxAvg = 10;
    m.perYear = 1;
    m.years = m.steps = 10;
    m.threshold = 0.0;
    for (int s = 0; s < S; s++)
      for (int o = 0; o < S; o++) m.siteDist[s][o] = s == o ? 0.0 : 0.5;
  }
  ~Tiny() { FreeAssembly(m); }
};

}  // namespace

TEST(Logistic, CurveAndSlopeBound) {
  // Center at the given fraction of the x range, value halfway in y.
  EXPECT_DOUBLE_EQ(Logistic(5.0, 0.0, 10.0, 2.0, 4.0, -0.1, 0.5), 3.0);
  // x = 7: exponent (7 - 5) * (0.4 / 2) = 0.4, value 2 + 2 / (1 + e^0.4).
  EXPECT_NEAR(Logistic(7.0, 0.0, 10.0, 2.0, 4.0, -0.1, 0.5), 2.802624679775096, 1e-12);
  // The tangent at the center has the given slope.
  const double h = 1e-6;
  EXPECT_NEAR(
      (Logistic(0.3 + h, 0, 1, 0, 1, -2.5, 0.3) - Logistic(0.3 - h, 0, 1, 0, 1, -2.5, 0.3)) /
          (2 * h),
      -2.5, 1e-6);

  EXPECT_NEAR(LogisticSlopeBound(0.25), -kLn999, 1e-12);
  EXPECT_NEAR(LogisticSlopeBound(0.5), -kLn999 / 2, 1e-12);
  EXPECT_NEAR(LogisticSlopeBound(0.8), -kLn999 / 0.8, 1e-12);
  // At the bound the curve runs from 0.999 at 0 to at most 0.001 at 1.
  for (double c : {0.1, 0.5, 0.9}) {
    const double b = LogisticSlopeBound(c);
    EXPECT_GE(Logistic(0.0, 0, 1, 0, 1, b, c), 0.999 - 1e-12) << c;
    EXPECT_LE(Logistic(1.0, 0, 1, 0, 1, b, c), 0.001 + 1e-12) << c;
  }
}

TEST(AssemblyModel, ExpectedMeansDistancesAndExtrapolation) {
  // Two sites, two OTUs at -1 and 1; raw trait mean 0.5 and deviation 2;
  // the trait follows the factor with parameter 2.
  Tiny t(2, 2);
  AssemblyModel& m = t.m;
  m.B[0][0] = -1;
  m.B[1][0] = 1;
  m.traitMean[0] = 0.5;
  m.traitSd[0] = 2.0;
  m.traitMin[0] = -1;
  m.traitMax[0] = 1;
  m.response[0][0] = 2.0;
  m.E[0][0] = 1.0;
  m.E[0][1] = -1.0;
  ExpectedTraitMeans(m);
  EXPECT_DOUBLE_EQ(m.Texp[0][0], 0.75);   // (2 - 0.5) / 2
  EXPECT_DOUBLE_EQ(m.Texp[0][1], -1.25);  // (-2 - 0.5) / 2
  TraitDistances(m);
  // |B - Texp|: 1.75 0.25 / 0.25 2.25, divided by the largest.
  EXPECT_DOUBLE_EQ(m.dist[0][0], 1.75 / 2.25);
  EXPECT_DOUBLE_EQ(m.dist[0][1], 0.25 / 2.25);
  EXPECT_DOUBLE_EQ(m.dist[1][0], 0.25 / 2.25);
  EXPECT_DOUBLE_EQ(m.dist[1][1], 1.0);
  Extrapolation(m);
  EXPECT_DOUBLE_EQ(m.extrap[0][0], 0.0);
  EXPECT_DOUBLE_EQ(m.extrap[0][1], -0.25);
}

TEST(AssemblyModel, DistancesCappedAtThe95Percentile) {
  // One site and 21 OTUs at 0 .. 20 from an expected mean of 0: the
  // percentile is the smallest distance ranked above 0.95 * 21, i.e. 19.
  Tiny t(1, 21);
  AssemblyModel& m = t.m;
  for (int j = 0; j < 21; j++) {
    m.B[j][0] = j;
    m.survival[j][0] = 0.5;
    m.survival[j][1] = -1.0;
  }
  ExpectedTraitMeans(m);
  TraitDistances(m);
  for (int j = 0; j < 20; j++) EXPECT_DOUBLE_EQ(m.dist[0][j], j / 19.0) << j;
  EXPECT_DOUBLE_EQ(m.dist[0][20], 1.0);
  SurvivalProbabilities(m);
  EXPECT_DOUBLE_EQ(m.pEnv[0][0], 1.0 / (1.0 + std::exp(-2.0)));
  EXPECT_DOUBLE_EQ(m.pEnv[0][20], 1.0 / (1.0 + std::exp(2.0)));
}

TEST(AssemblyModel, ArrivalFromOutsideAndDispersalBetweenSites) {
  // Threshold 0: recording starts at the first step on still empty sites.
  Tiny t(2, 1);
  AssemblyModel& m = t.m;
  AssemblyStep(m, 1);
  EXPECT_TRUE(m.recording);
  EXPECT_EQ(m.recordStep, 1);
  EXPECT_EQ(m.richStart[0], 0);
  EXPECT_EQ(m.richStart[1], 0);
  // Absent everywhere, the OTU reaches site 1 although its dispersal
  // probability is 0; present at site 1, it cannot reach site 2.
  EXPECT_EQ(m.abund[0][0], 1);
  EXPECT_EQ(m.abund[1][0], 0);
  EXPECT_EQ(m.abund[2][0], 1);
  EXPECT_EQ(m.colonizations[0], 1);
  EXPECT_EQ(m.colonizations[1], 0);

  // With certain dispersal it now also reaches site 2; site 1 gains a
  // second individual, which is no colonization.
  SetCurves(m.dispersal, 1, kAlwaysCenter);
  AssemblyStep(m, 2);
  EXPECT_EQ(m.abund[0][0], 2);
  EXPECT_EQ(m.abund[1][0], 1);
  EXPECT_EQ(m.total, 3);
  EXPECT_EQ(m.colonizations[0], 1);
  EXPECT_EQ(m.colonizations[1], 1);
  EXPECT_EQ(m.extinctions[0] + m.extinctions[1], 0);
  // Births at steps 1 and 2 at site 1, step 2 at site 2.
  EXPECT_DOUBLE_EQ(MeanBirthStep(m, 0, 0), 1.5);
  EXPECT_DOUBLE_EQ(MeanBirthStep(m, 2, 0), 5.0 / 3.0);
  EXPECT_DOUBLE_EQ(MeanBirthStep(m, 0, 1), 1.5);  // whole site
  EXPECT_DOUBLE_EQ(AverageAge(m, 0, 0, 4), 2.5);
  EXPECT_DOUBLE_EQ(AverageAge(m, 1, 0, 4), 2.0);
}

TEST(AssemblyModel, EnvironmentalFeedbackFollowsTheChangeOfTraitMeans) {
  // One site, OTUs with traits 1 and 3, factors 2 and 3 and their product.
  Tiny t(1, 2, 1, 2, true);
  AssemblyModel& m = t.m;
  m.B[0][0] = 1;
  m.B[1][0] = 3;
  m.effect[0][0] = 0.5;
  m.effect[1][0] = -1.0;
  m.E[0][0] = 2;
  m.E[1][0] = 3;
  m.abund[0][0] = 1;
  EnvironmentalFeedback(m, 1);  // no previous means: no change
  EXPECT_DOUBLE_EQ(m.cwm[0][0], 1.0);
  EXPECT_DOUBLE_EQ(m.E[0][0], 2.0);
  EXPECT_DOUBLE_EQ(m.E[1][0], 3.0);
  EXPECT_DOUBLE_EQ(m.E[2][0], 6.0);
  m.abund[0][1] = 1;  // mean 2: a change of +1
  EnvironmentalFeedback(m, 2);
  EXPECT_DOUBLE_EQ(m.cwm[0][0], 2.0);
  EXPECT_DOUBLE_EQ(m.E[0][0], 2.5);
  EXPECT_DOUBLE_EQ(m.E[1][0], 2.0);
  EXPECT_DOUBLE_EQ(m.E[2][0], 5.0);
  EnvironmentalFeedback(m, 3);  // no change of composition, no change of E
  EXPECT_DOUBLE_EQ(m.E[0][0], 2.5);
}

TEST(SimRejection, ProbabilityAtAlphaWithinOneUnitCountsAsRejection) {
  EXPECT_TRUE(RejectsHo(0.04, 0.05));
  EXPECT_TRUE(RejectsHo(0.05, 0.05));
  EXPECT_TRUE(RejectsHo(5.0 / 99.0, 0.0505050505050505));
  EXPECT_TRUE(RejectsHo(5.0 / 99.0, 5.0 / 99.0 * (1 - 1e-10)));  // same in single precision
  EXPECT_FALSE(RejectsHo(5.0 / 99.0, 0.05));
  EXPECT_FALSE(RejectsHo(0.06, 0.05));
  EXPECT_TRUE(RejectsHo(1.0, 1.0));
}
