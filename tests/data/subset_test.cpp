// Sessions whose data come from another session: the pooling, change and
// moving-window routines worked by hand, and end-to-end runs of the
// "modified" dialog.
#include "data/subset.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data_test_util.h"

namespace {

const double M = -999;

// Row-pointer copy of a small matrix, released with the object.
struct Mat {
  int rows, cols;
  double** m;
  Mat(int r, int c, const V& values = {}) : rows(r), cols(c), m(dim2Double(r, c)) {
    for (size_t k = 0; k < values.size(); k++) m[k / c][k % c] = values[k];
  }
  ~Mat() { free2D(m, rows); }
  V All() const {
    V v;
    for (int i = 0; i < rows; i++) v.insert(v.end(), m[i], m[i] + cols);
    return v;
  }
};

TEST(CommunityTransforms, PoolingChangeAndWindowsByHand) {
  // Rows 1, 2 (own groups); columns c1..c4 in groups 2, 1, 2, 1.
  Mat X(2, 4, {1, 2, 3, 4, 0, 5, M, M});
  const int rows[] = {1, 2}, cols[] = {2, 1, 2, 1};
  Mat Y(2, 2);
  ConcentrateGroups(2, 4, X.m, Y.m, 2, rows, 2, cols, 2);
  // Group 1 = c2, c4: (2+4)/2, (5 and missing) 5; group 2 = c1, c3: 2, 0.
  EXPECT_EQ(Y.All(), (V{3, 2, 5, 0}));
  // Mode 1 keeps the grand total (1+2+3+4+0+5 = 15) of the averages (10).
  ConcentrateGroups(2, 4, X.m, Y.m, 2, rows, 2, cols, 1);
  EXPECT_EQ(Y.All(), (V{4.5, 3, 7.5, 0}));
  // All members missing: missing; a group without members: 0.
  Mat Z(1, 2, {M, M});
  const int one[] = {1}, both[] = {1, 1};
  Mat G(1, 2);
  ConcentrateGroups(1, 2, Z.m, G.m, 1, one, 2, both, 2);
  EXPECT_EQ(G.All(), (V{M, 0}));

  // Units (c1, c3) and (c2, c4): later minus earlier, missing member missing,
  // negative changes kept.
  const int halves[] = {1, 2, 1, 2};
  Mat C(2, 2);
  ReleveChange(4, X.m, C.m, 2, 2, halves);
  EXPECT_EQ(C.All(), (V{2, 2, M, M}));
  Mat X2(1, 4, {5, 1, 1000, 1});  // 1 - 1000 = -999 is a change, not a gap
  const int pairs[] = {1, 1, 2, 2};
  Mat C2(1, 2);
  ReleveChange(4, X2.m, C2.m, 1, 2, pairs);
  EXPECT_EQ(C2.All(), (V{-4, -999}));

  // Windows of 2 along columns and along rows.
  int count = 0;
  Mat S(2, 3);
  SplitMovingWinPool(2, 4, X.m, S.m, 2, &count, false);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(S.All(), (V{1.5, 2.5, 3.5, 2.5, 5, M}));
  Mat T(4, 2, {1, M, 3, M, 5, 2, 7, 4});
  Mat U(2, 2);
  SplitMovingWinPool(4, 2, T.m, U.m, 3, &count, true);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(U.All(), (V{3, 2, 5, 3}));
}

// Source sessions for the dialogs: 3 OTUs (species A holds OTUs 1 and 2,
// B OTU 3) in 4 communities with gaps, and a binary and a quantitative
// variable ("s") or a nominal and a quantitative one ("n").
FormdaText Source(bool nominal) {
  FormdaText d;
  d.communities = {"c1", "c2", "c3", "c4"};
  d.B = {{10, 1}, {20, 2}, {30, 1}};
  d.W = {{1, 2, 3, 4}, {0, 5, M, 1}, {2, M, 0, M}};
  d.envKind = 5;
  d.envTypes = {nominal ? 2 : 1, 3};
  d.envLabels = {nominal ? "Nom" : "Bin", "Q"};
  d.E = {nominal ? V{1, 2, 2, 2} : V{1, 0, 1, 1}, {10, M, 30, nominal ? 45.0 : 40.0}};
  d.species = {"spA", "spB"};
  d.sppRel = {"1111", "1000"};
  d.cstSpp = {"10", "10", "01"};
  return d;
}

std::string Labels(char** labels, int n) {
  std::string s;
  for (int i = 0; i < n; i++) s += std::string(labels[i]) + " ";
  return s;
}

V Column(double** m, int rows, int c) {
  V v;
  for (int i = 0; i < rows; i++) v.push_back(m[i][c]);
  return v;
}

}  // namespace

// Group labels typed gB gA, memberships gA gB gA gB: the new communities
// are gB = (c2, c4) and gA = (c1, c3), in the order of the labels.
TEST(SubsetDialog, PoolingByGroups) {
  TempDir dir;
  Source(false).MakeSession(dir, "s");
  const std::string source = ReadFile(dir.file("sFormda.txt"));
  RunResult r = Derive(dir, "p", "s",
                       {"1", "1", "3", "2", "2", "k", "gB gA", "y", "n", "k", "gA gB gA gB", "y",
                        "1", "n"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.out, "Warning! Binary environmental variables will be averaged"), 1);
  EXPECT_EQ(ReadFile(dir.file("sFormda.txt")), source);
  EXPECT_EQ(ReadFile(dir.file("pTrk.txt")), "pFormda.txt\n07Jul17\n");
  LoadSession(dir, "p");
  ASSERT_EQ(ncsm, 2);
  EXPECT_EQ(Labels(reLabel, 2), "gB gA ");
  EXPECT_STREQ(dataName, "sFormda.txt");
  // Averages over the members that are not missing.
  EXPECT_EQ(Row(cadat, 0, 2), (V{3, 2}));
  EXPECT_EQ(Row(cadat, 1, 2), (V{3, 0}));
  EXPECT_EQ(Row(cadat, 2, 2), (V{M, 1}));
  EXPECT_EQ(Row(env, 0, 2), (V{0.5, 40}));
  EXPECT_EQ(Row(env, 1, 2), (V{1, 20}));
  EXPECT_EQ(envVarType[0], 3);  // averaged binary: quantitative
  EXPECT_EQ(optEnvVarType, 5);
  EXPECT_EQ(std::string(sppRelMap[0], 2), "11");
  EXPECT_EQ(std::string(sppRelMap[1], 2), "01");
  EXPECT_EQ(SMWSize, 1);
  FreeGlobals2();
}

// Change of units (c1, c3) and (c2, c4); a nominal variable first refuses
// pooling and then turns binary.  Negative changes are kept.
TEST(SubsetDialog, ChangeOfPairedCommunities) {
  TempDir dir;
  Source(true).MakeSession(dir, "n");
  RunResult r = Derive(dir, "h", "n", {"1", "1", "3", "4", "1", "1", "1", "n"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.out, "pooling environmental variables that are qualitative is not"), 1);
  EXPECT_EQ(CountOf(r.out, "\nCommunities:\n"), 2);
  EXPECT_EQ(CountOf(r.out, "Warning! Change in environmental variables that are qualitative"), 1);
  EXPECT_EQ(CountOf(r.out, "contain changes in the environmental variables as well"), 1);
  LoadSession(dir, "h");
  ASSERT_EQ(ncsm, 2);
  EXPECT_EQ(Labels(reLabel, 2), "1 2 ");
  EXPECT_EQ(Column(cadat, 3, 0), (V{2, M, -2}));
  EXPECT_EQ(Column(cadat, 3, 1), (V{2, -4, M}));
  EXPECT_EQ(Row(env, 0, 2), (V{1, 20}));  // nominal 1 -> 2 changed
  EXPECT_EQ(Row(env, 1, 2), (V{0, M}));   // 2 -> 2 did not
  EXPECT_EQ(envVarType[0], 1);
  EXPECT_EQ(temEnvQual, 0);
  EXPECT_EQ(std::string(sppRelMap[1], 2), "10");
  FreeGlobals2();
}

namespace {

// Raw files: 5 OTUs by 3 traits (T2 nominal), 4 communities (OTU 3 occurs
// in none), 2 variables.
void WriteRaw(const TempDir& dir) {
  WriteFile(dir.file("b.txt"), "1.5 1 10\n3 2 12\n4.5 1 30\n2 3 16\n6 2 11\nT1 T2 T3\n");
  WriteFile(dir.file("w.txt"), "3 0 1 2\n1 2 0 4\n0 0 0 0\n2 5 1 0\n0 1 3 1\nC1 C2 C3 C4\n");
  WriteFile(dir.file("e.txt"), "0.2 0.5 0.9 0.4\n7 6 5 4\nMoist pH\n");
  // The subset (T3 T1 of OTUs 4 1 2 5 in C3 C1 C4, Moist) written by hand.
  WriteFile(dir.file("b2.txt"), "16 2\n10 1.5\n12 3\n11 6\nT3 T1\n");
  WriteFile(dir.file("w2.txt"), "1 2 0\n1 3 2\n0 1 4\n3 0 1\nC3 C1 C4\n");
  WriteFile(dir.file("e2.txt"), "0.9 0.2 0.4\nMoist\n");
}

// A functional analysis without tests, each OTU its own fuzzy type.
std::vector<std::string> Analysis(const std::string& groups) {
  return {"V", "H", "k", groups, "1", "n", "1", "6", "1", "1", "1", "y", "n", "C", "C"};
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
  std::vector<std::string> all;
  for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The results file without the lines that name the session, its files and
// its time.
std::string Results(const TempDir& dir, const std::string& session) {
  std::istringstream in(WithoutTimeStamps(ReadFile(dir.file(session + "Prinda.txt"))));
  std::string line, kept;
  while (std::getline(in, line))
    if (line.rfind("Session:", 0) != 0 && line.rfind("Formatted data:", 0) != 0 &&
        line.rfind("Unformatted data:", 0) != 0)
      kept += line + "\n";
  return kept;
}

}  // namespace

// Traits by label in a new order, OTUs by position in a new order,
// communities by label, one variable: the analysis of the subset session
// equals that of the subset's raw files imported directly.  The source
// session's files stay as they were.
TEST(SubsetDialog, SubsetSessionAnalysesLikeItsRawFiles) {
  TempDir dir;
  WriteRaw(dir);
  const std::vector<std::string> importS = {
      "N", "s", "1", "b.txt", "0", "w.txt", "0", "1", "e.txt", "5", "3", "2", "2",
      "k", "3 2 3", "y", "0", "4", "2", "2", "2", "2", "2", "T"};
  RunResult r = RunQuilta(dir.path, Lines(Join({importS, Analysis("1 2 3 4 5"), {"X"}})));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<std::string> sourceFiles = {"sFormda.txt", "sTrk.txt", "sPrinda.txt"};
  std::vector<std::string> before;
  for (const std::string& f : sourceFiles) before.push_back(ReadFile(dir.file(f)));

  const std::vector<std::string> subset = {
      "N", "t", "2", "s", "2",
      "2", "2", "k", "T3 T9", "y", "k", "T3 T1", "y",                  // T9 refused
      "2", "4", "k", "4 1 9 5", "y", "k", "4 1 2 5", "y",              // 9 refused
      "2", "3", "k", "C3 C1 C4", "y", "2", "1", "k", "Moist", "y", "y"};
  const std::vector<std::string> importU = {"N", "u", "1", "b2.txt", "0", "w2.txt", "0", "1",
                                            "e2.txt", "4", "2", "2", "2", "k", "3 3", "y", "0",
                                            "3", "2", "2", "1", "2", "1"};
  r = RunQuilta(dir.path,
                Lines(Join({subset, Analysis("1 2 3 4"), importU, Analysis("1 2 3 4"), {"X"}})));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.out, "\nError!! Enter again. \n"), 1);
  EXPECT_EQ(CountOf(r.out, "Error!! Enter again. \n"), 2);
  const std::string t = Results(dir, "t"), u = Results(dir, "u");
  EXPECT_TRUE(Holds(t, "Trait set:        T3 T1"));
  EXPECT_TRUE(Holds(t, "Convergence (TCAP): r(TE)="));
  EXPECT_EQ(t, u);

  for (size_t k = 0; k < sourceFiles.size(); k++)
    EXPECT_EQ(ReadFile(dir.file(sourceFiles[k])), before[k]) << sourceFiles[k];
}
