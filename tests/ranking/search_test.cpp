// The subset search with scripted criterion values: enumeration order and
// counts, the first-met rule across threads, weight-0 traits, the two
// comparison modes and the 100-slot list.
#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "functional/settings.h"
#include "ranking/ranking.h"
#include "multivariate/random.h"
#include "ranking/search.h"
#include "shell/console.h"
#include "ranking_session.h"

using rank_test::Fields;
using rank_test::Lines;

namespace {

// nTraits traits labelled a, b, c, ... with the given weights, and the
// search settings; everything is released at the end.
struct Traits {
  int saved = 0;
  explicit Traits(const std::vector<double>& weights, int kmin, int kmax, bool intermediate = true) {
    nch = static_cast<int>(weights.size());
    chLabel = dim2Dchar(nch, kLabelSize);
    onsta = dim1Dint(nch);
    chtype = dim1Dint(nch);
    chrange = dim1Double(nch);
    weight = dim1Double(nch);
    for (int k = 0; k < nch; k++) {
      chLabel[k][0] = static_cast<char>('a' + k);
      chtype[k] = 3;
      weight[k] = weights[k];
    }
    nMinTraitsChRank = kmin;
    nMaxTraitsChRank = kmax;
    printRankIntermedResults = intermediate ? 'y' : 'n';
    saved = sDigits;
    sDigits = 17;
  }
  ~Traits() {
    free2D(chLabel, nch);
    free1D(onsta);
    free1D(chtype);
    free1D(chrange);
    free1D(weight);
    chLabel = nullptr;
    onsta = chtype = nullptr;
    chrange = weight = nullptr;
    sDigits = saved;
  }
};

// The subset as its labels ("ac" for traits 1 and 3).
std::string Name(const int* traits, int k) {
  std::string s;
  for (int t = 0; t < k; t++) s += static_cast<char>('a' + traits[t]);
  return s;
}

// Runs the search with the value of each subset given by value(name), on
// the given number of threads; returns the printout, then "CONSOLE" and the
// console dialogue.
std::string Search(CompareMode mode, bool listAbsolute, int threads,
                   const std::function<double(const std::string&)>& value,
                   std::vector<std::string>* progress = nullptr) {
  RankData d;
  SearchPlan plan;
  if (progress != nullptr)
    plan.progress = [progress](long long i, long long total, int k) {
      progress->push_back(std::to_string(i) + "/" + std::to_string(total) + ":" +
                          std::to_string(k));
    };
  plan.mode = mode;
  plan.listAbsolute = listAbsolute;
  plan.listHeading = "LIST\n";
  plan.evaluate = [&value](RankWork&, const int* traits, int k, SubsetRecord& r) {
    r.evaluated = true;
    r.value = value(Name(traits, k));
  };
  plan.line = [](FILE* fp, const SubsetRecord& r) { fprintf(fp, "%.17g\t", r.value); };
  FILE* fp = tmpfile();
  std::string console;
  {
    ConsoleScript script("");
    const int kept = omp_get_max_threads();
    omp_set_num_threads(threads);
    RunSubsetSearch(d, plan, fp);
    omp_set_num_threads(kept);
    console = script.Dialogue();
  }
  rewind(fp);
  std::string text;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, fp)) > 0) text.append(buffer, got);
  fclose(fp);
  return text + "\nCONSOLE\n" + console;
}

// The lines between a line starting with `from` and the next empty line.
std::vector<std::string> Block(const std::string& text, const std::string& from) {
  std::vector<std::string> all = Lines(text), block;
  bool in = false;
  for (const std::string& line : all) {
    if (in && line.empty()) break;
    if (in) block.push_back(line);
    if (line.rfind(from, 0) == 0) in = true;
  }
  return block;
}

// The start of the per-size line for k traits and the value (17 digits).
std::string SizeLine(int k, double value) {
  char line[160];
  snprintf(line, sizeof line, "optimal subset with %d traits: \t%-23.17g\t", k, value);
  return line;
}

}  // namespace

// Five traits, the third of weight 0, sizes 2 to 3: the ten subsets of the
// other four in lexicographic order, each size's line after its subsets; the
// progress counts the subsets holding the third trait as well (1 to 20, size
// 2 for the first ten).
TEST(RankingSearch, EnumeratesCombinationsInOrderWithProgress) {
  Traits traits({1, 1, 0, 1, 1}, 2, 3);
  std::vector<std::string> progress, expectedProgress;
  std::string text = Search(
      kSignedMode, false, 2, [](const std::string& s) { return static_cast<double>(s.size()); },
      &progress);
  for (int i = 1; i <= 20; i++)
    expectedProgress.push_back(std::to_string(i) + "/20:" + (i <= 10 ? "2" : "3"));
  EXPECT_EQ(progress, expectedProgress);
  const std::vector<std::string> expected = {"ab", "ad", "ae", "bd", "be", "de", "SIZE",
                                             "abd", "abe", "ade", "bde", "SIZE"};
  std::vector<std::string> subsets;
  for (const std::string& line : Lines(text)) {
    if (line.rfind("Ranking criterion value", 0) == 0) subsets.push_back("SIZE");
    if (line.empty() || (line[0] != '2' && line[0] != '3')) continue;
    std::string packed;  // the labels without their padding and tabs
    for (char c : line.substr(line.find('\t') + 1))
      if (c != ' ' && c != '\t') packed += c;
    subsets.push_back(packed);
  }
  // The list and per-size blocks come after; keep the search part only.
  subsets.resize(std::min(subsets.size(), expected.size()));
  EXPECT_EQ(subsets, expected);

  // Every progress text shown (the line is throttled) names a count of 20
  // and the size the iteration belongs to.
  const std::string console = text.substr(text.find("\nCONSOLE\n"));
  for (size_t at = console.find("Iteration: "); at != std::string::npos;
       at = console.find("Iteration: ", at + 1)) {
    int i = 0, total = 0, k = 0;
    ASSERT_EQ(sscanf(console.c_str() + at, "Iteration: %d of %d, Traits: %d", &i, &total, &k), 3);
    EXPECT_EQ(total, 20);
    EXPECT_EQ(k, i <= 10 ? 2 : 3);
  }
}

// Ties: the subset met first is kept, whichever thread evaluated it; the
// printout does not depend on the number of threads.
TEST(RankingSearch, TiesKeepTheFirstSubsetMetAtAnyThreadCount) {
  Traits traits({1, 1, 1, 1, 1, 1, 1, 1}, 1, 4);
  // Equal values within each size, at positions far apart in the
  // enumeration: the first and the last subsets of each size tie.
  auto value = [](const std::string& s) {
    const int k = static_cast<int>(s.size());
    const std::string first = std::string("abcdefgh").substr(0, k);
    const std::string last = std::string("abcdefgh").substr(8 - k);
    if (s == first || s == last) return 10.0 + k;
    return static_cast<double>((s[0] * 7 + s.back()) % 10);
  };
  const std::string one = Search(kSignedMode, false, 1, value);
  const std::string two = Search(kSignedMode, false, 2, value);
  EXPECT_EQ(one.substr(0, one.find("\nCONSOLE\n")), two.substr(0, two.find("\nCONSOLE\n")));
  std::vector<std::string> perSize = Block(two, "Trait subsets with maximum rank for each");
  ASSERT_EQ(perSize.size(), 5u);  // heading of the columns, then sizes 1 to 4
  EXPECT_EQ(Fields(perSize[1])[1], "a");
  EXPECT_EQ(Fields(perSize[2])[1] + Fields(perSize[2])[2], "ab");
  EXPECT_EQ(Fields(perSize[4]).size(), 5u);
  EXPECT_EQ(Fields(perSize[4])[4], "d");
}

// Absolute mode: -0.8 ranks above 0.5, 0 never enters; a size whose values
// are all 0 prints "none".  Signed mode: values not above 0 never enter the
// list; a size without any comparable value (all NaN) prints "none".
TEST(RankingSearch, ComparisonModesAndNone) {
  Traits traits({1, 1, 1}, 1, 2);
  std::map<std::string, double> v = {{"a", 0.0}, {"b", 0.0}, {"c", 0.0},
                                     {"ab", 0.5}, {"ac", -0.8}, {"bc", 0.3}};
  std::string text = Search(kAbsoluteMode, true, 1, [&v](const std::string& s) { return v[s]; });
  std::vector<std::string> list = Block(text, "LIST");
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(std::stod(Fields(list[0])[0]), -0.8);
  EXPECT_EQ(std::stod(Fields(list[1])[0]), 0.5);
  EXPECT_EQ(std::stod(Fields(list[2])[0]), 0.3);
  EXPECT_NE(text.find(SizeLine(1, 0.0) + "none\n"), std::string::npos);
  EXPECT_NE(text.find(SizeLine(2, -0.8) + "a \tc \t\n"), std::string::npos);

  std::map<std::string, double> w = {{"a", NAN}, {"b", NAN}, {"c", NAN},
                                     {"ab", -0.2}, {"ac", 0.0}, {"bc", 0.4}};
  text = Search(kSignedMode, false, 2, [&w](const std::string& s) { return w[s]; });
  list = Block(text, "LIST");
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(std::stod(Fields(list[0])[0]), 0.4);
  EXPECT_NE(text.find(SizeLine(1, -1.7976931348623157e308) + "none\n"), std::string::npos);
  EXPECT_NE(text.find(SizeLine(2, 0.4) + "b \tc \t\n"), std::string::npos);
}

// More than 100 positive values: the 100 largest are listed, best first.
TEST(RankingSearch, ListKeepsTheHundredBest) {
  Traits traits({1, 1, 1, 1, 1, 1, 1, 1}, 1, 8, false);
  // Distinct values in a scrambled order: (37 i mod 255) + 1 for the i-th
  // subset of the enumeration, a permutation of 1..255.
  std::map<std::string, double> v;
  int index = 0;
  std::function<void(std::string, int, int)> fill = [&](std::string prefix, int from, int k) {
    if (static_cast<int>(prefix.size()) == k) {
      v[prefix] = (37 * index++) % 255 + 1;
      return;
    }
    for (int t = from; t < 8; t++) fill(prefix + static_cast<char>('a' + t), t + 1, k);
  };
  for (int k = 1; k <= 8; k++) fill("", 0, k);
  auto value = [&v](const std::string& s) { return v.at(s); };
  std::string text = Search(kSignedMode, false, 2, value);
  std::vector<std::string> list = Block(text, "LIST");
  ASSERT_EQ(list.size(), 100u);
  for (int j = 0; j < 100; j++) EXPECT_EQ(std::stod(Fields(list[j])[0]), 255 - j);
}

// A range handed to another process starts at any index of a size: the
// combination there is the one the enumerator reaches after as many steps,
// for every size and index of 9 traits.
TEST(RankingSearch, RangesStartWhereTheEnumeratorIs) {
  const int n = 9;
  std::vector<int> walked(n), direct(n);
  for (int k = 1; k <= n; k++) {
    const long long count = Combinations(n, k);
    for (long long i = 0; i < count; i++) {
      PermuteArray(n, k, walked.data(), i == 0);
      SubsetAt(n, k, i, direct.data());
      ASSERT_EQ(walked, direct) << "k " << k << " index " << i;
    }
  }
}
