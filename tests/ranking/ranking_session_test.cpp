// End-to-end runs of the ranking (analysis menu K) on small sessions and on
// the example data.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ranking_session.h"
#include "test_support.h"

using namespace rank_test;

namespace {

// Ranking answers for the small data set: criterion, the functional
// settings in ranking mode (types 1 1 2 2 3 3, fuzzy, Mantel with the
// Euclidean distance, all variables and traits, W to unit totals), sizes
// and intermediate results.
std::string SmallAnswers(const std::string& criterion, const std::string& sizes) {
  if (criterion == "10") return criterion + "\n1\n1\n1\n" + sizes + "y\n";
  return criterion + "\nk\n1 1 2 2 3 3\n1\n1\n6\n1\n1\ny\n" + sizes + "y\n";
}

}  // namespace

// Three traits whose community means are the OTUs' values (each community
// holds one OTU).  Columns to unit length: ta (1, 2, 2)/3, tb (0, 3, 4)/5,
// tc (2, 0, 0)/2.  DE of the variable (0, 1, 3): pairs 12, 13, 23 = 1, 3, 2.
//   {ta, tb}: DT = sqrt(1/9 + .36), sqrt(1/9 + .64), .2 = .686375, .866667,
//             .2; deviations from their mean .584347: .102028, .282320,
//             -.384347; against (-1, 1, 0): .180292 / sqrt(2 x .237838)
//             = .261409.
//   {ta, tc}: DT = 1.054093, 1.054093, 0: deviations (a, a, -2a) against
//             (-1, 1, 0): r = 0.
//   {tb, tc}: DT = 1.166190, 1.280625, .2: .114435 / sqrt(2 x .704789)
//             = .096386.
// The best pair is {ta, tb}.
TEST(RankingSession, HandWorkedBestPairOfThreeTraits) {
  TempDir dir;
  Data d;
  d.traits = {"ta", "tb", "tc"};
  d.traitTypes = {3, 3, 3};
  d.B = {{1, 0, 2}, {2, 3, 0}, {2, 4, 0}};
  d.W = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  d.envTypes = {3};
  d.E = {{0, 1, 3}};
  MakeSession(dir, d);
  RunResult run = RunQuilta(dir.path, RunK("10\n1\n1\n1\n2\n2\ny\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Results on file sChRank_TCAP.txt"), std::string::npos);
  const std::string res = ReadFile(dir.file("sChRank_TCAP.txt"));
  EXPECT_NEAR(std::stod(SubsetLine(res, "0", {"ta", "tb"})[0]), 0.261409, 2e-6);
  EXPECT_NEAR(std::stod(SubsetLine(res, "0", {"tb", "tc"})[0]), 0.096386, 2e-6);
  std::vector<std::string> acLine = SubsetLine(res, "", {"ta", "tc"});
  ASSERT_FALSE(acLine.empty());
  EXPECT_NEAR(std::stod(acLine[0]), 0.0, 1e-12);
  std::vector<std::string> best =
      Fields(res.substr(res.find("optimal subset with 2 traits: \t")));
  ASSERT_GE(best.size(), 4u);
  EXPECT_NEAR(std::stod(best[1]), 0.261409, 2e-6);
  EXPECT_EQ(best[2], "ta");
  EXPECT_EQ(best[3], "tb");
  EXPECT_NE(res.find("\nTrait-based approach: 2 (trait averages at community level)\n"),
            std::string::npos);
  EXPECT_NE(res.find("Trait ranking criterion (TRC): 10 (Trait-convergence assembly patterns, "
                     "TCAP)\n"),
            std::string::npos);
  EXPECT_NE(res.find("All traits were considered.\n"), std::string::npos);
  // The companion file: the best pair, and the list best first.
  const std::string tsv = ReadFile(dir.file("sChRank_TCAP.tsv"));
  EXPECT_EQ(tsv.rfind("list\trank\ttraits\tvalue\tgroups\tsubset\n", 0), 0u);
  const std::string pair = "best_per_size\t2\t2\t";
  const size_t at = tsv.find(pair);
  ASSERT_NE(at, std::string::npos);
  EXPECT_NEAR(std::strtod(tsv.c_str() + at + pair.size(), nullptr), 0.261409, 2e-6);
  EXPECT_NE(tsv.find("\tNA\tta+tb\n", at), std::string::npos);
  EXPECT_LT(tsv.find("best_subsets\t1\t2\t"), tsv.find("best_subsets\t2\t"));
}

// For every subset of the three traits, the ranking's r(TE), r(XE) and
// r(XE.T) are the values the functional analysis prints when run with only
// that subset's traits.
TEST(RankingSession, AgreesWithTheFunctionalAnalysisForEverySubset) {
  TempDir dir;
  MakeSession(dir, SmallData());
  const std::string sizes = "1\n3\n";
  RunResult r9 = RunQuilta(dir.path, RunK(SmallAnswers("9", sizes)));
  ASSERT_EQ(r9.status, 0) << r9.err;
  RunResult r1 = RunQuilta(dir.path, RunK(SmallAnswers("1", sizes)));
  ASSERT_EQ(r1.status, 0) << r1.err;
  RunResult r10 = RunQuilta(dir.path, RunK(SmallAnswers("10", sizes)));
  ASSERT_EQ(r10.status, 0) << r10.err;
  const std::string tdap = ReadFile(dir.file("sChRank_TDAP.txt"));
  const std::string both = ReadFile(dir.file("sChRank_TDAP_TCAP.txt"));
  const std::string tcap = ReadFile(dir.file("sChRank_TCAP.txt"));

  for (const auto& subset : SubsetsOfThree()) {
    const std::string selection = Selection(subset);
    const std::string prinda = FunctionalPrinda(dir, subset);
    const double rTE = ValueAfter(prinda, "Convergence (TCAP): r(TE)=\t");
    const double rXE = ValueAfter(prinda, "Both TCAP and TDAP: r(XE)=\t");
    const double rXET = ValueAfter(prinda, "Divergence (TDAP): r(XE.T)=\t");

    std::vector<std::string> line9 = SubsetLine(tdap, "ro(TE)=", subset);
    ASSERT_GE(line9.size(), 8u) << selection;
    EXPECT_NEAR(std::stod(line9[1]), rTE, 1e-6 * (1 + std::fabs(rTE))) << selection;
    EXPECT_NEAR(std::stod(line9[3]), rXE, 1e-6 * (1 + std::fabs(rXE))) << selection;
    EXPECT_NEAR(std::stod(line9[7]), rXET, 1e-6 * (1 + std::fabs(rXET))) << selection;
    std::vector<std::string> line1 = SubsetLine(both, "0", subset);
    if (line1.empty()) line1 = SubsetLine(both, "-", subset);
    ASSERT_FALSE(line1.empty()) << selection;
    EXPECT_NEAR(std::stod(line1[0]), rXE, 1e-6 * (1 + std::fabs(rXE))) << selection;
    std::vector<std::string> line10 = SubsetLine(tcap, "0", subset);
    if (line10.empty()) line10 = SubsetLine(tcap, "-", subset);
    ASSERT_FALSE(line10.empty()) << selection;
    EXPECT_NEAR(std::stod(line10[0]), rTE, 1e-6 * (1 + std::fabs(rTE))) << selection;
  }
}

// Duplicated traits give tied values; the printouts at 1 and 2 processors
// are the same byte for byte (time lines aside), and each size's best is
// the first subset met among those with the largest value.  The structures
// file holds one block per evaluated subset.
TEST(RankingSession, SameDigitsAtOneAndTwoProcessorsWithTies) {
  Data d = SmallData();
  d.traits = {"ta", "tb", "tc", "td", "te", "tf"};
  d.traitTypes = {3, 3, 3, 3, 3, 3};
  for (auto& row : d.B) {
    row.push_back(row[0]);  // td = ta
    row.push_back(row[1]);  // te = tb
    row.push_back(row[2] * row[0]);
  }
  std::string printouts[2];
  for (int processors : {1, 2}) {
    TempDir dir;
    MakeSession(dir, d);
    WritePreferences(dir, 17, 'n', processors);
    RunResult run = RunQuilta(dir.path, RunK(SmallAnswers("1", "1\n4\n")));
    ASSERT_EQ(run.status, 0) << run.err;
    printouts[processors - 1] = Stable(ReadFile(dir.file("sChRank_TDAP_TCAP.txt")));
  }
  EXPECT_EQ(printouts[0], printouts[1]);

  // The intermediate lines give each subset's r(XE) with 17 digits (equal
  // printed values are equal values); each size's best is the first subset
  // with the largest value.
  std::vector<double> bestValue(7, -INFINITY);
  std::vector<std::string> bestSubset(7);
  int ties = 0;
  bool inSearch = false;
  for (const std::string& line : Lines(printouts[1])) {
    if (line.rfind("TRC", 0) == 0) inSearch = true;
    if (line == "Trait subsets with maximum rank:") break;
    if (!inSearch || line.empty() || line.rfind("TRC", 0) == 0 ||
        line.rfind("Ranking criterion", 0) == 0)
      continue;
    std::vector<std::string> f = Fields(line);
    ASSERT_GE(f.size(), 2u) << line;
    const int k = static_cast<int>(f.size()) - 1;
    const double v = std::stod(f[0]);
    std::string subset;
    for (size_t j = 1; j < f.size(); j++) subset += f[j] + " ";
    if (v == bestValue[k]) ties++;
    if (v > bestValue[k]) {
      bestValue[k] = v;
      bestSubset[k] = subset;
    }
  }
  EXPECT_GT(ties, 0);
  for (int k = 1; k <= 4; k++) {
    const std::string key = "optimal subset with " + std::to_string(k) + " traits: \t";
    std::vector<std::string> f = Fields(printouts[1].substr(printouts[1].find(key)));
    ASSERT_GE(f.size(), static_cast<size_t>(2 + k));
    std::string subset;
    for (int j = 0; j < k; j++) subset += f[2 + j] + " ";
    EXPECT_EQ(subset, bestSubset[k]) << k;
    EXPECT_EQ(std::stod(f[1]), bestValue[k]) << k;
  }

  TempDir dir;
  MakeSession(dir, d);
  WritePreferences(dir, 6, 'y', 2);
  RunResult run = RunQuilta(dir.path, RunK(SmallAnswers("9", "2\n2\n")));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string str = ReadFile(dir.file("sStr.txt"));
  EXPECT_EQ(CountOf(str, "\nTrait ranking criterion:\tro(TE)=\t"), 15);
  EXPECT_EQ(CountOf(str, "\nSimilarity matrix between 6 populations, based on 2 traits:\n"), 15);
  EXPECT_EQ(CountOf(str, "Resemblance matrix between 5 communities based on 2 environmental"), 1);
}

// A trait left out of the selection (weight 0): the largest size offered is
// the number of traits kept, the header names the traits considered, no
// evaluated subset holds the trait left out.
TEST(RankingSession, TraitLeftOutTakesPartInNoSubset) {
  TempDir dir;
  MakeSession(dir, SmallData());
  RunResult run = RunQuilta(dir.path, RunK("10\n1\n1\n2\n1 0 1\n1\n2\ny\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("(minimum: 1, maximum: 2): "), std::string::npos);
  const std::string res = ReadFile(dir.file("sChRank_TCAP.txt"));
  EXPECT_NE(res.find("Traits that were considered:\nta tc \n"), std::string::npos);
  EXPECT_EQ(CountOf(res, "tb"), 0);
  EXPECT_FALSE(SubsetLine(res, "", {"ta", "tc"}).empty());
  // The progress text (when shown: it is throttled) counts the subsets
  // holding tb as well: C(3,1) + C(3,2).
  for (size_t at = run.out.find("Iteration: "); at != std::string::npos;
       at = run.out.find("Iteration: ", at + 1))
    EXPECT_EQ(run.out.compare(run.out.find(" of ", at), 6, " of 6,"), 0);
}

// The example data (a nominal trait, nominal and quantitative variables,
// a phylogeny): criterion 1 writes its printout; criteria 9 and 10 need
// traits that are not nominal and bring the criteria menu back.
TEST(RankingSession, ExampleDataCriteria) {
  TempDir dir;
  for (const char* f : {"traits.txt", "phylo.txt", "perf.txt", "species.txt", "env.txt",
                        "import.answers"})
    WriteFile(dir.file(f), ReadFile(std::string(QUILTA_EXAMPLES) + "/" + f));
  ASSERT_EQ(RunQuilta(dir.path, ReadFile(dir.file("import.answers"))).status, 0);
  // Species as types, fuzzy, Mantel, Euclidean, all variables and traits,
  // no trait-group weights, W to unit totals, sizes 1 to 2.
  const std::string settings = "y\n1\n1\n6\n1\n1\nn\ny\n1\n2\nn\n";
  RunResult run = RunQuilta(dir.path, "O\ndemo\nV\nK\n9\n10\n1\n" + settings + "C\nC\nX\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CountOf(run.out, "Trait ranking criterion maximized: \n"), 3);
  EXPECT_EQ(run.out.find("   9 r(XE.T): TDAP only"), std::string::npos);
  EXPECT_FALSE(FileExists(dir.file("demoChRank_TDAP.txt")));
  EXPECT_FALSE(FileExists(dir.file("demoChRank_TCAP.txt")));
  const std::string res = ReadFile(dir.file("demoChRank_TDAP_TCAP.txt"));
  EXPECT_EQ(CountOf(res, "Ranking criterion value and optimal subset with "), 2);
  EXPECT_NE(res.find("\nTrait subsets with maximum rank:\n"), std::string::npos);
}
