#include "numeric/plotdata.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "QELib/qelibDim.h"

int HistogramBinCount(int n) {
  if (n <= 1) return 1;
  // A small guard keeps exact cubes (8, 27, 1000) from rounding up a bin.
  return static_cast<int>(std::ceil(2.0 * std::cbrt(static_cast<double>(n)) - 1e-9));
}

NullHistogram MakeNullHistogram(const double* values, int n, double observed, bool twoTailed,
                                int bins) {
  NullHistogram h;
  if (bins <= 0) bins = HistogramBinCount(n);
  double lo = observed, hi = observed;
  for (int i = 0; i < n; i++) {
    lo = std::min(lo, values[i]);
    hi = std::max(hi, values[i]);
  }
  // A spread far below the values' own magnitude (values equal but for
  // their last bits, or all within 1e-100 of each other) cannot be drawn as
  // an axis: the plotting library would look for ticks forever.  Such values
  // are shown like equal ones, one bin of width 1 (or a tenth of their
  // magnitude when that is larger) centred on them.
  const double scale = std::max(std::fabs(lo), std::fabs(hi));
  if (!(hi - lo > 1e-9 * scale) || !(hi - lo > 1e-100)) {
    bins = 1;
    h.width = std::max(1.0, 0.1 * scale);
    h.lo = 0.5 * (lo + hi) - 0.5 * h.width;
  } else {
    h.lo = lo;
    h.width = (hi - lo) / bins;
  }
  h.counts.assign(bins, 0);
  h.extreme.assign(bins, 0);
  auto bin = [&](double x) {
    const int k = static_cast<int>(std::floor((x - h.lo) / h.width));
    return std::clamp(k, 0, bins - 1);
  };
  for (int i = 0; i < n; i++) {
    const int k = bin(values[i]);
    h.counts[k]++;
    if (IsLargerThanOrEqual(values[i], observed, 1, twoTailed)) {
      h.extreme[k]++;
      h.extremeTotal++;
    }
  }
  h.observedBin = bin(observed);
  return h;
}

RateInterval WilsonInterval(long long k, long long n, double z) {
  if (n <= 0) return {0.0, 1.0};
  const double p = static_cast<double>(k) / n, z2 = z * z, nn = static_cast<double>(n);
  const double denom = 1.0 + z2 / nn;
  const double centre = (p + z2 / (2.0 * nn)) / denom;
  const double half = z * std::sqrt(p * (1.0 - p) / nn + z2 / (4.0 * nn * nn)) / denom;
  return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

std::string FileSafeName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || c == '.' || c == '-' || c == '_')
      out += static_cast<char>(c);
    else if (c == ')')
      continue;
    else if (c == ' ')
      out += '-';
    else
      out += '_';
  }
  return out;
}
