// End-to-end runs of the ranking (analysis menu K) on small sessions.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "ranking_session.h"

using namespace rank_test;

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
  MakeSession(dir, d);
  RunResult run = RunQuilta(dir.path, RunK("10\n1\n1\n1\n2\n2\ny\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("Results on file sChRank_TCAP.txt"), std::string::npos);
  const std::string res = ReadFile(dir.file("sChRank_TCAP.txt"));
  EXPECT_NEAR(std::stod(ValueFirstLine(res, {"ta", "tb"})[0]), 0.261409, 2e-6);
  EXPECT_NEAR(std::stod(ValueFirstLine(res, {"tb", "tc"})[0]), 0.096386, 2e-6);
  std::vector<std::string> acLine = ValueFirstLine(res, {"ta", "tc"});
  ASSERT_FALSE(acLine.empty());
  EXPECT_NEAR(std::stod(acLine[0]), 0.0, 1e-12);
  std::vector<std::string> best =
      Fields(res.substr(res.find("optimal subset with 2 traits: \t")));
  ASSERT_GE(best.size(), 4u);
  EXPECT_NEAR(std::stod(best[1]), 0.261409, 2e-6);
  EXPECT_EQ(best[2], "ta");
  EXPECT_EQ(best[3], "tb");
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

// Duplicated traits give tied values; the printouts (17 digits) at 1 and 2
// processors are the same byte for byte (time lines aside), so the ties are
// resolved alike (the first-met rule itself: search_test).  The structures
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
  const std::string answers = RunK("1\nk\n1 1 2 2 3 3\n1\n1\n6\n1\n1\ny\n1\n4\ny\n");
  std::string printouts[2];
  for (int processors : {1, 2}) {
    TempDir dir;
    MakeSession(dir, d);
    WritePreferences(dir, 17, 'n', processors);
    RunResult run = RunQuilta(dir.path, answers);
    ASSERT_EQ(run.status, 0) << run.err;
    printouts[processors - 1] = Stable(ReadFile(dir.file("sChRank_TDAP_TCAP.txt")));
  }
  EXPECT_EQ(printouts[0], printouts[1]);

  TempDir dir;
  MakeSession(dir, d);
  WritePreferences(dir, 6, 'y', 2);
  RunResult run = RunQuilta(dir.path, RunK("9\nk\n1 1 2 2 3 3\n1\n1\n6\n1\n1\ny\n2\n2\ny\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string str = ReadFile(dir.file("sStr.txt"));
  EXPECT_EQ(CountOf(str, "\nTrait ranking criterion:\tro(TE)=\t"), 15);
  EXPECT_EQ(CountOf(str, "\nSimilarity matrix between 6 populations, based on 2 traits:\n"), 15);
  EXPECT_EQ(CountOf(str, "Resemblance matrix between 5 communities based on 2 environmental"), 1);
}
