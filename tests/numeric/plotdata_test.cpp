// The numbers behind the figures, against values worked out by hand.
#include "numeric/plotdata.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

TEST(NullHistogram, BinsCountsAndTheTailOfAOneTailedTest) {
  EXPECT_EQ(HistogramBinCount(1), 1);
  EXPECT_EQ(HistogramBinCount(8), 4);      // 2 * 8^(1/3) = 4 exactly
  EXPECT_EQ(HistogramBinCount(1000), 20);  // 999 permutations and the observed value
  EXPECT_EQ(HistogramBinCount(1001), 21);

  // Eight values 0..7, the observed one 5: four bins of width 7/4 = 1.75,
  // [0, 1.75) [1.75, 3.5) [3.5, 5.25) [5.25, 7], two values in each.  The
  // extreme values are 5, 6 and 7: one in the third bin, two in the last.
  const std::vector<double> v = {3, 0, 7, 5, 1, 6, 2, 4};
  const NullHistogram h = MakeNullHistogram(v.data(), 8, 5.0, false);
  EXPECT_DOUBLE_EQ(h.lo, 0.0);
  EXPECT_DOUBLE_EQ(h.width, 1.75);
  EXPECT_EQ(h.counts, (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(h.extreme, (std::vector<int>{0, 0, 1, 2}));
  EXPECT_EQ(h.extremeTotal, 3);  // P = 3/8
  EXPECT_EQ(h.observedBin, 2);

  // The largest value falls in the last bin, not past it.
  const NullHistogram last = MakeNullHistogram(v.data(), 8, 7.0, false, 7);
  EXPECT_EQ(last.counts.back(), 2);  // 6 and 7 in [6, 7]
  EXPECT_EQ(last.extremeTotal, 1);
  EXPECT_EQ(last.observedBin, 6);
}

TEST(NullHistogram, TwoTailedTestShadesBothTails) {
  // Values -3..4, observed 2: |v| >= 2 for -3, -2, 2, 3 and 4.  Bins of
  // width 1.75 from -3: [-3, -1.25) holds -3 and -2 (both extreme),
  // [-1.25, 0.5) holds -1 and 0 (neither), [0.5, 2.25) holds 1 and 2 (2),
  // [2.25, 4] holds 3 and 4 (both).
  const std::vector<double> v = {-3, -2, -1, 0, 1, 2, 3, 4};
  const NullHistogram two = MakeNullHistogram(v.data(), 8, 2.0, true);
  EXPECT_EQ(two.counts, (std::vector<int>{2, 2, 2, 2}));
  EXPECT_EQ(two.extreme, (std::vector<int>{2, 0, 1, 2}));
  EXPECT_EQ(two.extremeTotal, 5);
  // The same values tested one-tailed: the left tail is not counted.
  const NullHistogram one = MakeNullHistogram(v.data(), 8, 2.0, false);
  EXPECT_EQ(one.extreme, (std::vector<int>{0, 0, 1, 2}));
  EXPECT_EQ(one.extremeTotal, 3);
  // A negative observed value of a two-tailed test: |v| >= 3 for -3, 3, 4.
  const NullHistogram neg = MakeNullHistogram(v.data(), 8, -3.0, true);
  EXPECT_EQ(neg.extreme, (std::vector<int>{1, 0, 0, 2}));
}

TEST(NullHistogram, TiesWithinTheTestsToleranceAndConstantValues) {
  // A value one unit in the last place below the observed one is a tie, as
  // the test counts it.
  const double obs = 0.3;
  const std::vector<double> v = {obs, std::nextafter(obs, 0.0), 0.1, 0.2};
  const NullHistogram h = MakeNullHistogram(v.data(), 4, obs, false);
  EXPECT_EQ(h.extremeTotal, 2);

  // All values equal: one bin of width 1 centred on them, all extreme.
  const std::vector<double> same = {2, 2, 2};
  const NullHistogram c = MakeNullHistogram(same.data(), 3, 2.0, false);
  ASSERT_EQ(c.counts.size(), 1u);
  EXPECT_DOUBLE_EQ(c.lo, 1.5);
  EXPECT_DOUBLE_EQ(c.width, 1.0);
  EXPECT_EQ(c.counts[0], 3);
  EXPECT_EQ(c.extremeTotal, 3);

  // Values equal but for their last bit are drawn as equal ones: a spread of
  // 1e-17 would leave the axis nothing to put ticks on.
  const std::vector<double> near = {obs, std::nextafter(obs, 1.0), obs};
  const NullHistogram d = MakeNullHistogram(near.data(), 3, obs, true);
  ASSERT_EQ(d.counts.size(), 1u);
  EXPECT_DOUBLE_EQ(d.width, 1.0);
  EXPECT_EQ(d.counts[0], 3);
}

TEST(WilsonInterval, PublishedExamplesAndTheEnds) {
  // Newcombe (1998), Statistics in Medicine 17, 857-872, table II, method 3
  // (score interval without continuity correction), to four decimals.
  struct Case {
    long long k, n;
    double lo, hi;
  };
  for (const Case& c : {Case{81, 263, 0.2553, 0.3662}, Case{15, 148, 0.0624, 0.1605},
                        Case{0, 20, 0.0, 0.1611}, Case{1, 29, 0.0061, 0.1718}}) {
    const RateInterval r = WilsonInterval(c.k, c.n);
    EXPECT_NEAR(r.lo, c.lo, 5e-5) << c.k << "/" << c.n;
    EXPECT_NEAR(r.hi, c.hi, 5e-5) << c.k << "/" << c.n;
  }
  // With no rejection the upper end is z^2 / (n + z^2); with all of them
  // the interval mirrors it.
  const double z2 = 1.959963984540054 * 1.959963984540054;
  EXPECT_NEAR(WilsonInterval(0, 100).hi, z2 / (100 + z2), 1e-12);
  EXPECT_NEAR(WilsonInterval(100, 100).lo, 1.0 - z2 / (100 + z2), 1e-12);
  EXPECT_DOUBLE_EQ(WilsonInterval(100, 100).hi, 1.0);
  const RateInterval none = WilsonInterval(0, 0);
  EXPECT_EQ(none.lo, 0.0);
  EXPECT_EQ(none.hi, 1.0);
}

TEST(FileSafeName, StatisticNamesBecomeFileNames) {
  EXPECT_EQ(FileSafeName("r(TE)"), "r_TE");
  EXPECT_EQ(FileSafeName("r(XE.T)"), "r_XE.T");
  EXPECT_EQ(FileSafeName("r(XY_T)"), "r_XY_T");
  EXPECT_EQ(FileSafeName("coeff(SLA,Moisture)"), "coeff_SLA_Moisture");
  EXPECT_EQ(FileSafeName("r2(functional diversity)"), "r2_functional-diversity");
  EXPECT_EQ(FileSafeName("F(a/b,c*d)"), "F_a_b_c_d");  // no directory, no wildcard
}

}  // namespace
