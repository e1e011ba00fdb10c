// Sessions for the end-to-end tests of the analyses: a small data set
// written as a formatted data file with a short track file, and the helpers
// that read a results file back.
#pragma once

#include <utility>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace session {

// The data set of session "s".  Communities are labelled c1, c2, ...,
// variables e1, e2, ...; the defaults are three OTUs with two quantitative
// traits in three communities along one variable.
struct Data {
  std::vector<std::string> traits{"t1", "t2"};
  std::vector<int> traitTypes{3, 3};
  std::vector<std::vector<double>> B{{1, 0}, {3, 1}, {5, 1}};          // OTUs x traits
  std::vector<std::vector<double>> W{{1, 0, 1}, {1, 1, 0}, {0, 1, 3}};  // OTUs x communities
  int envKind = 1;  // 1 quantitative in the same units, 2 in different units, 3 nominal
  std::vector<int> envTypes{3};
  std::vector<std::vector<double>> E{{0, 1, 3}};  // variables x communities
  std::vector<std::string> species;               // names
  std::vector<std::string> otuSpecies;            // one string of 0/1 per OTU
  std::vector<std::vector<double>> F;             // OTU similarities (empty: none)
  std::vector<int> traitGroups;                   // empty: none
};

template <class T>
std::string Row(const std::vector<T>& v) {
  std::ostringstream s;
  s.precision(17);
  for (const auto& x : v) s << x << "\t";
  return s.str() + "\n";
}

inline std::string Labels(const std::string& prefix, size_t count) {
  std::string s;
  for (size_t k = 1; k <= count; k++) s += prefix + std::to_string(k) + "\t";
  return s + "\n";
}

inline std::string Formatted(const Data& d) {
  const size_t p = d.traits.size(), m = d.W[0].size(), n = d.B.size();
  std::string s = "test data \n" + std::to_string(p) + " \n";
  for (const auto& t : d.traits) s += t + "\t";
  s += "\n" + Row(d.traitTypes) + Row(std::vector<int>(p, 0)) + Row(std::vector<int>(p, 0));
  s += std::to_string(m) + " \n" + Labels("c", m) + std::to_string(n) + " \n";
  s += Row(std::vector<int>(m, 0)) + Row(std::vector<int>(7, 0)) + "\n25Jun2016 \n";
  for (const auto& r : d.B) s += Row(r);
  s += "\n";
  for (const auto& r : d.W) s += Row(r);
  s += "\n" + std::to_string(d.E.size()) + " \n";
  if (!d.E.empty()) {
    s += "97Sep08 \n" + std::to_string(d.envKind) + " \n" + Row(d.envTypes);
    s += Labels("e", d.E.size()) + "env.txt \n";
    for (const auto& r : d.E) s += Row(r);
  }
  s += std::to_string(d.species.size()) + " \n";
  if (!d.species.empty()) {
    s += "species.txt \n";
    for (const auto& name : d.species) s += name + "\n";
    for (size_t k = 0; k < d.species.size(); k++) {  // species x communities
      for (size_t c = 0; c < m; c++) {
        bool occurs = false;
        for (size_t i = 0; i < n; i++) occurs |= d.otuSpecies[i][k] == '1' && d.W[i][c] > 0;
        s += occurs ? "1" : "0";
      }
      s += "\n";
    }
    for (const auto& row : d.otuSpecies) s += row + "\n";
  }
  s += "SMW 1\n";
  s += d.F.empty() ? "0\n" : "1\n1\n";
  for (const auto& r : d.F) s += Row(r);
  s += d.traitGroups.empty() ? "0\n" : "1\n" + Row(d.traitGroups);
  return s + "Mon Jan  1 00:00:00 2024\n";
}

// Session "s" holding the data set.
inline void MakeSession(const TempDir& dir, const Data& d) {
  WriteFile(dir.file("sFormda.txt"), Formatted(d));
  WriteFile(dir.file("sTrk.txt"), "sFormda.txt\n07Jul17\n");
}

// The example data files in dir.
inline void CopyExamples(const TempDir& dir) {
  for (const char* f : {"traits.txt", "phylo.txt", "perf.txt", "species.txt", "env.txt"})
    WriteFile(dir.file(f), ReadFile(std::string(QUILTA_EXAMPLES) + "/" + f));
}

// The example data files in dir, imported as session "demo".
inline void ImportExample(const TempDir& dir) {
  CopyExamples(dir);
  const std::string import = ReadFile(std::string(QUILTA_EXAMPLES) + "/import.answers");
  ASSERT_EQ(RunQuilta(dir.path, import).status, 0);
}

// Besides "demo", the example data imported as sessions "quant" (every
// variable quantitative) and "nominal" (every variable nominal), for the
// measures that take other kinds of variables.
inline void ImportExampleVariableKinds(const TempDir& dir) {
  ImportExample(dir);
  const std::string import = ReadFile(std::string(QUILTA_EXAMPLES) + "/import.answers");
  // The variable kinds are the lines "5", "k", "3 3 3 2", "y" after the labels.
  const std::string mixedKinds = "5\nk\n3 3 3 2\ny\n";
  const size_t at = import.find(mixedKinds);
  ASSERT_NE(at, std::string::npos);
  for (const auto& [name, kinds] : {std::pair{"quant", "2\n"}, std::pair{"nominal", "3\n"}}) {
    std::string text = import;
    text.replace(at, mixedKinds.size(), kinds);
    text.replace(text.find("demo"), 4, name);
    ASSERT_EQ(RunQuilta(dir.path, text).status, 0) << name;
  }
}

// Console input that opens session s, takes the analysis menu entry with
// the given answers and leaves the program.
inline std::string InSession(const std::string& entry, const std::string& answers,
                             const std::string& before = "") {
  return before + "O\ns\nV\n" + entry + "\n" + answers + "C\nC\nX\n";
}

// The text without its time stamp and elapsed-time lines.
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

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The tab-separated fields of a line, trailing blanks trimmed.
inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream in(line);
  for (std::string x; std::getline(in, x, '\t');) {
    while (!x.empty() && x.back() == ' ') x.pop_back();
    f.push_back(x);
  }
  return f;
}

// A tab-separated file as rows of fields (header first).
inline std::vector<std::vector<std::string>> ReadTsv(const std::string& path) {
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : Lines(ReadFile(path))) rows.push_back(Fields(line));
  return rows;
}

}  // namespace session
