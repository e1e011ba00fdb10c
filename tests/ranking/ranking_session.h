// Sessions for the end-to-end tests of the ranking: the small data set, the
// preferences file, and the helpers that read a ranking printout back.
#pragma once

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "../functional/session_data.h"

namespace rank_test {

using namespace session;

// Six OTUs in three types of two (1 1 2 2 3 3), five communities, three
// quantitative traits, two environmental variables in the same units.
inline Data SmallData() {
  Data d;
  d.traits = {"ta", "tb", "tc"};
  d.traitTypes = {3, 3, 3};
  d.B = {{1.0, 10, 0.5}, {2.5, 14, 0.1}, {3.0, 9, 0.9},
         {4.2, 20, 0.4}, {5.1, 7, 0.7},  {6.3, 15, 0.2}};
  d.W = {{5, 0, 1, 0, 2}, {3, 2, 0, 0, 1}, {0, 4, 2, 1, 0},
         {0, 1, 3, 4, 0}, {1, 0, 0, 5, 3}, {0, 0, 2, 2, 6}};
  d.envTypes = {3, 3};
  d.E = {{0.1, 0.5, 0.9, 1.4, 2.0}, {3, 1, 4, 1, 5}};
  return d;
}

// The subsets of the three traits of SmallData, in enumeration order.
inline const std::vector<std::vector<std::string>>& SubsetsOfThree() {
  static const std::vector<std::vector<std::string>> all = {
      {"ta"}, {"tb"}, {"tc"}, {"ta", "tb"}, {"ta", "tc"}, {"tb", "tc"}, {"ta", "tb", "tc"}};
  return all;
}

// The trait selection answer ("1 0 1 ") that keeps only the subset.
inline std::string Selection(const std::vector<std::string>& subset) {
  std::string selection;
  for (const char* t : {"ta", "tb", "tc"})
    selection += std::find(subset.begin(), subset.end(), t) != subset.end() ? "1 " : "0 ";
  return selection;
}

// The functional analysis of SmallData with only the subset's traits
// (types 1 1 2 2 3 3, fuzzy, no tests, Mantel with the Euclidean distance,
// all variables, W to unit totals); returns its results file.
inline std::string FunctionalPrinda(const TempDir& dir, const std::vector<std::string>& subset) {
  std::remove(dir.file("sPrinda.txt").c_str());
  RunResult h = RunQuilta(dir.path, InSession("H", "k\n1 1 2 2 3 3\n1\nn\n1\n6\n1\n2\n" +
                                                       Selection(subset) + "\n1\ny\nn\n"));
  EXPECT_EQ(h.status, 0) << h.err;
  return ReadFile(dir.file("sPrinda.txt"));
}

// The preferences file: significant digits, structures file, processors.
inline void WritePreferences(const TempDir& dir, int digits, char structures, int processors) {
  std::ostringstream s;
  s << "18Nov2016\n0\n0\n0\n0\n0\n0\n1\nn\n0\n0\n0\n"
    << digits << "\n2147483647\n6\n" << structures << "\nn\nn\n1\n1\n0\n1\n2\n1\n"
    << processors << "\nMon Jan  1 00:00:00 2024\n";
  WriteFile(dir.file("QUILTA.prf"), s.str());
}

// Opens session s, runs K with the answers and leaves the program.
inline std::string RunK(const std::string& answers) { return InSession("K", answers); }

// The intermediate-results line of the subset whose labels are `labels`
// among the lines that start with `prefix`, as its fields.  The labels
// follow "Traits:" up to "Group sizes:", or end the line.
inline std::vector<std::string> SubsetLine(const std::string& text, const std::string& prefix,
                                           const std::vector<std::string>& labels) {
  for (const std::string& line : Lines(text)) {
    if (line.rfind(prefix, 0) != 0) continue;
    std::vector<std::string> f = Fields(line);
    auto end = std::find(f.begin(), f.end(), "Group sizes:");
    auto start = std::find(f.begin(), end, "Traits:");
    if (start == end) {
      if (end - f.begin() < static_cast<long>(labels.size())) continue;
      start = end - labels.size();
    } else {
      ++start;
    }
    if (std::vector<std::string>(start, end) == labels) return f;
  }
  return {};
}

// The line of a criterion that prints the value first (1 and 10).
inline std::vector<std::string> ValueFirstLine(const std::string& text,
                                               const std::vector<std::string>& labels) {
  std::vector<std::string> line = SubsetLine(text, "0", labels);
  return line.empty() ? SubsetLine(text, "-", labels) : line;
}

}  // namespace rank_test
