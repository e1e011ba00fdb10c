// Helpers shared by the data tests.
#pragma once

#include <string>
#include <type_traits>
#include <vector>

#include "data/dataset.h"
#include "data/formda.h"
#include "test_support.h"

// Writes text as a formatted data file in dir and loads it.
inline void LoadFormdaText(const TempDir& dir, const std::string& text,
                           const std::string& name = "f.txt") {
  WriteFile(dir.file(name), text);
  snprintf(whichFormda, sizeof whichFormda, "%s", dir.file(name).c_str());
  OpenFormda(1);
}

// Row r of a matrix as a vector of its n values.
using V = std::vector<double>;
inline V Row(double** m, int r, int n) { return V(m[r], m[r] + n); }

// One answer per line.
inline std::string Lines(const std::vector<std::string>& answers) {
  std::string s;
  for (const std::string& a : answers) s += a + "\n";
  return s;
}

// New session `name` from session `source` modified with the answers, then
// back to the main menu and out.
inline RunResult Derive(const TempDir& dir, const std::string& name, const std::string& source,
                        const std::vector<std::string>& answers) {
  std::vector<std::string> all = {"N", name, "2", source, "2"};
  all.insert(all.end(), answers.begin(), answers.end());
  all.insert(all.end(), {"C", "X"});
  return RunQuilta(dir.path, Lines(all));
}

// A formatted data file written from its parts (current layout).  Matrices
// are given OTUs x traits (B), OTUs x communities (W) and variables x
// communities (E); species maps as strings of 0 and 1.
struct FormdaText {
  std::vector<std::string> traits{"Ht", "Form"};
  std::vector<int> types{3, 2};
  std::vector<std::string> communities;
  std::vector<V> B, W;
  std::string codes = "0 0 0 0 0 0 0";
  int envKind = 1;
  std::vector<int> envTypes;
  std::vector<std::string> envLabels;
  std::vector<V> E;
  std::vector<std::string> species, sppRel, cstSpp;
  std::vector<V> F;  // similarities, OTUs x OTUs

  static std::string Row(const V& v) {
    std::string s;
    char buf[64];
    for (double x : v) snprintf(buf, sizeof buf, "%g\t", x), s += buf;
    return s + "\n";
  }
  template <class T>
  static std::string Words(const std::vector<T>& v) {
    std::string s;
    for (const auto& x : v) {
      if constexpr (std::is_arithmetic_v<T>)
        s += std::to_string(x) + "\t";
      else
        s += x + "\t";
    }
    return s + "\n";
  }
  std::string Text() const {
    const size_t p = traits.size(), m = communities.size();
    std::string s = "title \n" + std::to_string(p) + " \n" + Words(traits) + Words(types);
    s += Words(std::vector<int>(p, 0)) + Words(std::vector<int>(p, 2));
    s += std::to_string(m) + " \n" + Words(communities) + std::to_string(B.size()) + " \n";
    s += Words(std::vector<int>(m, 0)) + codes + "\n\n25Jun2016 \n";
    for (const V& r : B) s += Row(r);
    s += "\n";
    for (const V& r : W) s += Row(r);
    s += "\n" + std::to_string(E.size()) + " \n";
    if (!E.empty()) {
      s += "97Sep08 \n" + std::to_string(envKind) + " \n" + Words(envTypes) + Words(envLabels);
      s += "env.txt \n";
      for (const V& r : E) s += Row(r);
    }
    s += std::to_string(species.size()) + " \n";
    if (!species.empty()) {
      s += "spp.txt \n";
      for (const auto& x : species) s += x + "\n";
      for (const auto& x : sppRel) s += x + "\n";
      for (const auto& x : cstSpp) s += x + "\n";
    }
    s += "SMW 1\n";
    if (F.empty()) {
      s += "0\n";
    } else {
      s += "1\n1\n";
      for (const V& r : F) s += Row(r);
    }
    return s + "0\nMon Jan  1 00:00:00 2024\n";
  }
  // Session `name` holding these data, with a short track file.
  void MakeSession(const TempDir& dir, const std::string& name) const {
    WriteFile(dir.file(name + "Formda.txt"), Text());
    WriteFile(dir.file(name + "Trk.txt"), name + "Formda.txt\n07Jul17\n");
  }
};

// A data set of 3 OTUs in 3 communities with one variable.
inline FormdaText SmallFormda() {
  FormdaText d;
  d.communities = {"c1", "c2", "c3"};
  d.B = {{1, 1}, {3, 2}, {5, 2}};
  d.W = {{1, 0, 1}, {1, 1, 0}, {0, 1, 3}};
  d.envTypes = {3};
  d.envLabels = {"Moist"};
  d.E = {{0, 1, 3}};
  return d;
}

// Loads session file `name` + "Formda.txt" of dir into the data set.
inline void LoadSession(const TempDir& dir, const std::string& name) {
  snprintf(whichFormda, sizeof whichFormda, "%s", dir.file(name + "Formda.txt").c_str());
  OpenFormda(1);
}
