#include <gtest/gtest.h>

#include <cmath>

#include "fcore_fixture.h"
#include "multivariate/random.h"
#include "shell/preferences.h"

static void RunTest(Case& c, int optRo, int niter, int shuffle, unsigned long seed) {
  c.Prepare(optRo, niter, shuffle);
  c.rec.scaleAdjust = true;
  c.rec.restrictRaoWithinOpt = true;
  InitRndNumberGenerator(seed);
  PermTest_FunctionalPhyl_Correl(&c.rec);
}

static const int kIdentity[6] = {0, 1, 2, 3, 4, 5};
static const int kShuffled[6] = {3, 5, 0, 2, 4, 1};

TEST(PermTest, ReorderingOTUsLeavesObservedStatistics) {
  countDoubleAbsence = 1;
  for (int opt = 1; opt <= 5; opt++) {
    Case a = Generic(kIdentity), b = Generic(kShuffled);
    RunTest(a, opt, 1, 't', 1);
    RunTest(b, opt, 1, 't', 1);
    const std::vector<double> va = a.Values(), vb = b.Values();
    int nonZero = 0;
    for (size_t k = 0; k < va.size(); k++) {
      EXPECT_NEAR(va[k], vb[k], 1e-9 * std::fmax(1.0, std::fabs(va[k])))
          << "measure " << opt << " value " << k;
      nonZero += va[k] != 0.0;
    }
    EXPECT_GT(nonZero, 3) << "measure " << opt;
  }
}

TEST(PermTest, WithoutPhylogenyNothingPhylogeneticIsFormed) {
  Case c = Generic(kIdentity, false);
  c.Prepare(1, 10, 't');
  c.rec.F = nullptr, c.rec.Q = nullptr;
  c.P[0][0] = 42;
  InitRndNumberGenerator(3);
  PermTest_FunctionalPhyl_Correl(&c.rec);
  for (int k = kStatBF; k <= kStatPE_X; k++) {
    EXPECT_EQ(c.rec.statistics[k], 0.0);
    EXPECT_EQ(c.rec.probabilities[k], 1.0);
  }
  EXPECT_EQ(c.P[0][0], 42.0);
  EXPECT_NE(c.rec.statistics[kStatXE], 0.0);
}
