// SVG figures beside the results files, drawn with PLplot's SVG driver.
//
// Every figure has the same look: white page, black axes and text, pale blue
// bars or points, red-brown for the part of a null distribution the test
// counts against the observed value, a dark line at the observed value or
// the nominal level.  A figure is drawn into a temporary file in the same
// directory and renamed over path only when complete.  A build without
// PLplot draws nothing: the first figure asked for prints one line saying
// why, the later ones are silent.  A figure that cannot be written is
// reported on the standard error stream and does not end the run.
#pragma once

#include <string>
#include <vector>

#include "numeric/plotdata.h"

// True when this build can draw figures.
bool FiguresAvailable();

// A histogram of a null distribution: one bar per non-empty bin, the
// extreme part of each bar shaded, a vertical line at the observed value
// (and, for a two-tailed test, a dashed one at its opposite).
void FigureNullHistogram(const char* path, const NullHistogram& h, double observed,
                         bool twoTailed, const std::string& title,
                         const std::string& subtitle, const std::string& xTitle);

// One point per subset size: the best criterion value of that size, with the
// labels of its subset written upwards above it.
void FigureRankingCurve(const char* path, const std::vector<int>& sizes,
                        const std::vector<double>& values,
                        const std::vector<std::string>& labels, const std::string& title,
                        const std::string& subtitle, const std::string& yTitle);

// One row per test: its rejection rate with its interval, and a dashed line
// at the nominal level alpha.
struct RateRow {
  std::string name;
  double rate;
  double lo;
  double hi;
};
void FigureRejectionRates(const char* path, const std::vector<RateRow>& rows, double alpha,
                          const std::string& title, const std::string& xTitle);
