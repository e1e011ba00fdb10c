// The numbers behind the figures: the histogram of a null distribution with
// its tails, and the binomial interval of a rejection rate.  No drawing here.
#pragma once

#include <string>
#include <vector>

// A histogram of equal bins: bin k covers [lo + k width, lo + (k+1) width),
// the last one closed on the right.
struct NullHistogram {
  double lo = 0.0;
  double width = 1.0;
  std::vector<int> counts;   // values in each bin
  std::vector<int> extreme;  // of them, those at least as extreme as the observed value
  int observedBin = 0;       // the bin of the observed value
  int extremeTotal = 0;      // sum of extreme: the count the test's P is made of
};

// Bins for n values by the Rice rule, ceil(2 n^(1/3)), at least 1.
int HistogramBinCount(int n);

// The histogram of the n values of a permutation test (the observed one
// among them, as the test counts it).  A value is extreme when the test
// counts it against the observed one: at least as large, or at least as
// large in absolute value for a two-tailed test, within the tolerance of
// the test's comparison; the extreme values then fill both tails.  The bins
// span the smallest to the largest value; when all values are equal there
// is one bin of width 1 centred on them.  bins 0 means HistogramBinCount(n).
NullHistogram MakeNullHistogram(const double* values, int n, double observed, bool twoTailed,
                                int bins = 0);

// The Wilson score interval of a binomial proportion k / n at the normal
// quantile z (1.96 for 95 %): unlike the normal approximation it stays in
// [0, 1] and does not shrink to a point at k = 0 or k = n.  n 0 gives [0, 1].
struct RateInterval {
  double lo;
  double hi;
};
RateInterval WilsonInterval(long long k, long long n, double z = 1.959963984540054);

// A statistic's name as part of a file name: letters, digits, '.', '-' and
// '_' are kept, '(' and ',' become '_', ')' is dropped, a blank becomes '-'
// and any other character '_'.  r(TE) gives r_TE, r(XE.T) r_XE.T,
// coeff(SLA,Moisture) coeff_SLA_Moisture, r2(functional diversity)
// r2_functional-diversity.
std::string FileSafeName(const std::string& name);
