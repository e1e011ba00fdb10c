#include <gtest/gtest.h>

#include <cmath>

#include "fcore_fixture.h"
#include "multivariate/random.h"
#include "numeric/plotdata.h"
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

// The dense products and the sums over present OTUs give every measure the
// same probabilities under both null models, and the same statistics to
// far more digits than are printed.
TEST(PermTest, DenseAndPresentOTUPathsAgree) {
  countDoubleAbsence = 1;
  for (int opt = 1; opt <= 5; opt++)
    for (const int shuffle : {'t', 's'}) {
      SCOPED_TRACE(testing::Message() << "measure " << opt << " shuffle "
                                      << static_cast<char>(shuffle));
      std::vector<double> value[2], prob[2];
      for (int path = 0; path < 2; path++) {
        Case c = Generic(kIdentity);
        c.Prepare(opt, 99, shuffle);
        c.rec.corePath = path == 0 ? FcorePath::kDense : FcorePath::kSparse;
        InitRndNumberGenerator(5);
        PermTest_FunctionalPhyl_Correl(&c.rec);
        value[path] = c.Values();
        prob[path] = c.Collect(true);
      }
      EXPECT_EQ(prob[0], prob[1]);
      int below = 0;
      for (size_t k = 0; k < value[0].size(); k++) {
        EXPECT_NEAR(value[1][k], value[0][k], 1e-12 * std::fmax(1.0, std::fabs(value[0][k])))
            << "value " << k;
        below += prob[0][k] < 0.5;
      }
      EXPECT_GT(below, 0);
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

// The values kept for the figures are those the test counted: keeping them
// changes no probability, the first iteration is the observed one, and the
// extreme part of each histogram is the count behind the statistic's P, for
// the correlations and at the places the figures read the regression and
// analysis-of-variance values from.
TEST(PermTest, KeptNullValuesAreTheOnesBehindEachProbability) {
  countDoubleAbsence = 1;
  const int niter = 60;
  for (int opt : {1, 4, 5}) {
    Case plain = Generic(kIdentity), kept = Generic(kIdentity);
    RunTest(plain, opt, niter, 't', 11);
    kept.Prepare(opt, niter, 't');
    kept.rec.scaleAdjust = true;
    kept.rec.restrictRaoWithinOpt = true;
    kept.rec.keepNullValues = true;
    InitRndNumberGenerator(11);
    PermTest_FunctionalPhyl_Correl(&kept.rec);
    EXPECT_EQ(plain.Collect(true), kept.Collect(true)) << "measure " << opt;
    EXPECT_TRUE(plain.rec.nullValues.empty());

    const PermTest_FunctionalPhyl_Correl_Input& r = kept.rec;
    const int stride = r.nullStride;
    ASSERT_EQ(r.nullValues.size(), static_cast<size_t>(niter) * stride);
    auto pOf = [&](int k) {
      std::vector<double> column(niter);
      for (int i = 0; i < niter; i++) column[i] = r.nullValues[static_cast<size_t>(i) * stride + k];
      const NullHistogram h = MakeNullHistogram(column.data(), niter, column[0],
                                                r.nullAbsolute[k] != 0);
      return static_cast<double>(h.extremeTotal) / niter;
    };
    const int p = kept.p, q = kept.q;
    if (opt == 1) {
      for (int k : {kStatTE, kStatXE, kStatXE_T, kStatRE, kStatBF, kStatPT}) {
        EXPECT_EQ(r.nullValues[k], r.statistics[k]) << k;
        EXPECT_DOUBLE_EQ(pOf(k), r.probabilities[k]) << k;
      }
    } else if (opt == 4) {
      for (int resp = 0; resp < p + 1; resp++) {
        const int at = r.nullRegBase + resp * (1 + q);
        EXPECT_EQ(r.nullValues[at], kept.reg[0][resp]);
        EXPECT_DOUBLE_EQ(pOf(at), kept.reg[1][resp]) << "r-square " << resp;
        for (int f = 0; f < q; f++)
          EXPECT_DOUBLE_EQ(pOf(at + 1 + f), kept.coefP[resp][f]) << resp << " " << f;
      }
    } else {
      const int base = r.nullAnovaBase;
      for (int f = 0; f < q; f++) {
        EXPECT_DOUBLE_EQ(pOf(base + f), kept.anova[1][f]);                 // T
        for (int k = 0; k < p; k++)
          EXPECT_DOUBLE_EQ(pOf(base + (1 + k) * q + f), kept.anovaTraitP[k][f]);
        EXPECT_DOUBLE_EQ(pOf(base + (1 + p) * q + f), kept.anova[3][f]);   // X
        EXPECT_DOUBLE_EQ(pOf(base + (3 + p) * q + f), kept.anova[7][f]);   // Rf
      }
    }
  }
}
