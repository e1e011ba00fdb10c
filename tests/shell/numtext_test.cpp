// The fast number formatting must give printf's characters for every value
// the program writes: checked against snprintf itself on values of every
// kind (integers, round decimals, the cut-offs between fixed and exponent
// forms, ties of rounding, extremes, non-finite values).
#include "shell/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

std::string Printf(double x, int width, int precision) {
  char text[512];
  snprintf(text, sizeof text, "%*.*g", width, precision, x);
  return text;
}

std::vector<double> Values() {
  std::vector<double> v = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 2.5, 0.15, 0.25, 1e-5, 9.9999995e-5,
                           0.0001, 0.00099999995, 123456.5, 999999.5, 9999995.0, 1e6, 1e15,
                           1e16, 1e17, 1e21, 1e22, 1e100, 1e-300, 1e308, 5e-324, 2.2250738585072014e-308,
                           -999.0, 12.3456789, 0.333333333333, 1.0 / 3.0, 2.0 / 3.0, 1e-7,
                           std::numeric_limits<double>::max(), std::numeric_limits<double>::min(),
                           std::numeric_limits<double>::infinity(),
                           -std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  std::mt19937_64 rng(20261207);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> exponent(-30, 30);
  for (int k = 0; k < 20000; k++) {
    double x = unit(rng) * std::pow(10.0, exponent(rng));
    if (k % 2) x = -x;
    v.push_back(x);
    v.push_back(std::round(x * 1e4) / 1e4);  // few digits, ties of rounding
  }
  for (int k = 0; k < 2000; k++) {  // arbitrary bit patterns, subnormal ones among them
    uint64_t bits = rng();
    double x;
    memcpy(&x, &bits, sizeof x);
    v.push_back(x);
  }
  return v;
}

TEST(NumText, SameCharactersAsPrintf) {
  const std::vector<double> values = Values();
  for (int precision : {1, 3, 6, 9, 15, 17, 40, 0, 60}) {
    for (double x : values) {
      std::string s = "pre";
      const int n = AppendG(s, x, precision);
      ASSERT_EQ(s, "pre" + Printf(x, 0, precision)) << precision << " " << x;
      ASSERT_EQ(n, static_cast<int>(s.size()) - 3);
    }
  }
}

TEST(NumText, WidthPadsOnTheLeftLikePrintf) {
  const std::vector<double> values = Values();
  for (int width : {-12, 0, 1, 6, 12, 30}) {
    for (int precision : {3, 6, 15}) {
      for (size_t k = 0; k < values.size(); k += 7) {
        std::string s;
        const int n = AppendGWidth(s, values[k], width, precision);
        ASSERT_EQ(s, Printf(values[k], width, precision)) << width << " " << values[k];
        ASSERT_EQ(n, static_cast<int>(s.size()));
      }
    }
  }
}

}  // namespace
