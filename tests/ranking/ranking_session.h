// Sessions for the end-to-end tests of the ranking: a small data set written
// as a formatted data file with a short track file, the preferences file,
// and the helpers that read a ranking printout back.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace rank_test {

struct Data {
  std::vector<std::string> traits;
  std::vector<int> traitTypes;
  std::vector<std::vector<double>> B;  // OTUs x traits
  std::vector<std::vector<double>> W;  // OTUs x communities
  int envKind = 1;                     // 1: quantitative in the same units
  std::vector<int> envTypes;
  std::vector<std::vector<double>> E;  // variables x communities
  std::vector<std::vector<double>> F;  // OTUs x OTUs similarities (empty: none)
};

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
  for (const char* t : {"ta", "tb", "tc"}) {
    bool in = false;
    for (const std::string& s : subset) in |= s == t;
    selection += in ? "1 " : "0 ";
  }
  return selection;
}

// The functional analysis of SmallData with only the subset's traits
// (types 1 1 2 2 3 3, fuzzy, no tests, Mantel with the Euclidean distance,
// all variables, W to unit totals); returns its results file.
inline std::string FunctionalPrinda(const TempDir& dir, const std::vector<std::string>& subset) {
  std::remove(dir.file("sPrinda.txt").c_str());
  RunResult h = RunQuilta(dir.path, "O\ns\nV\nH\nk\n1 1 2 2 3 3\n1\nn\n1\n6\n1\n2\n" +
                                        Selection(subset) + "\n1\ny\nn\nC\nC\nX\n");
  EXPECT_EQ(h.status, 0) << h.err;
  return ReadFile(dir.file("sPrinda.txt"));
}

template <class T>
std::string Row(const std::vector<T>& v) {
  std::ostringstream s;
  s.precision(17);
  for (const auto& x : v) s << x << "\t";
  return s.str() + "\n";
}

inline std::string Formatted(const Data& d) {
  const size_t p = d.traits.size(), m = d.W[0].size(), n = d.B.size();
  std::string s = "ranking test \n" + std::to_string(p) + " \n";
  for (const auto& t : d.traits) s += t + "\t";
  s += "\n" + Row(d.traitTypes) + Row(std::vector<int>(p, 0)) + Row(std::vector<int>(p, 0));
  s += std::to_string(m) + " \n";
  for (size_t c = 0; c < m; c++) s += "c" + std::to_string(c + 1) + "\t";
  s += "\n" + std::to_string(n) + " \n" + Row(std::vector<int>(m, 0)) +
       Row(std::vector<int>(7, 0)) + "\n25Jun2016 \n";
  for (const auto& r : d.B) s += Row(r);
  s += "\n";
  for (const auto& r : d.W) s += Row(r);
  s += "\n" + std::to_string(d.E.size()) + " \n";
  if (!d.E.empty()) {
    s += "97Sep08 \n" + std::to_string(d.envKind) + " \n" + Row(d.envTypes);
    for (size_t j = 0; j < d.E.size(); j++) s += "e" + std::to_string(j + 1) + "\t";
    s += "\nenv.txt \n";
    for (const auto& r : d.E) s += Row(r);
  }
  s += "0 \nSMW 1\n";
  if (d.F.empty()) {
    s += "0\n";
  } else {
    s += "1\n1\n";
    for (const auto& r : d.F) s += Row(r);
  }
  return s + "0\nMon Jan  1 00:00:00 2024\n";
}

// Session "s" holding the data set.
inline void MakeSession(const TempDir& dir, const Data& d) {
  WriteFile(dir.file("sFormda.txt"), Formatted(d));
  WriteFile(dir.file("sTrk.txt"), "sFormda.txt\n07Jul17\n");
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
inline std::string RunK(const std::string& answers) {
  return "O\ns\nV\nK\n" + answers + "C\nC\nX\n";
}

// The printout without its time stamp and elapsed-time lines.
inline std::string Stable(const std::string& text) {
  std::istringstream in(WithoutTimeStamps(text));
  std::string line, out;
  while (std::getline(in, line))
    if (line.rfind("Elapsed time", 0) != 0) out += line + "\n";
  return out;
}

// The number written after the first occurrence of label at or after from.
inline double ValueAfter(const std::string& text, const std::string& label, size_t from = 0) {
  size_t pos = text.find(label, from);
  if (pos == std::string::npos) {
    ADD_FAILURE() << "missing: " << label;
    return NAN;
  }
  return std::strtod(text.c_str() + pos + label.size(), nullptr);
}

// The lines of text.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The tab-separated fields of a line, blanks trimmed.
inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string x; std::getline(in, x, '\t');) {
    while (!x.empty() && x.back() == ' ') x.pop_back();
    f.push_back(x);
  }
  return f;
}

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

}  // namespace rank_test
