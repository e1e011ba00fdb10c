// End-to-end runs of the merge of two sessions' formatted data, and of end
// of input at every prompt of the dialogs that take data from other sessions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data_test_util.h"

namespace {

// A data set of 4 OTUs in 4 communities: Abies alba holds OTUs 1 and 4,
// Picea abies OTU 2, Larix decidua OTU 3; a phylogeny and one variable.
FormdaText Whole() {
  FormdaText d;
  d.communities = {"c1", "c2", "c3", "c4"};
  d.B = {{10, 1}, {20, 2}, {30, 1}, {40, 2}};
  d.W = {{1, 2, 0, 0}, {0, 3, 4, 0}, {0, 0, 0, 5}, {6, 0, 0, 7}};
  d.envTypes = {3};
  d.envLabels = {"Moist"};
  d.E = {{0.1, 0.2, 0.3, 0.4}};
  d.species = {"Abies alba", "Picea abies", "Larix decidua"};
  d.sppRel = {"1101", "0110", "0001"};
  d.cstSpp = {"100", "010", "001", "100"};
  d.F = {{1, .5, .2, .9}, {.5, 1, .3, .4}, {.2, .3, 1, .1}, {.9, .4, .1, 1}};
  return d;
}

std::string Text(char* s, int n) { return std::string(s, static_cast<size_t>(n)); }

}  // namespace

// The halves (c1, c2 with OTUs named 4 1 2; c3, c4) are cut from the whole
// with trimming, then merged: the whole's communities, E and species come
// back, the OTUs of each half as rows of their own.
TEST(MergeDialog, TwoHalvesGiveTheWholeBack) {
  TempDir dir;
  Whole().MakeSession(dir, "d");
  const std::string whole = ReadFile(dir.file("dFormda.txt"));
  ASSERT_EQ(Derive(dir, "h1", "d",
                   {"1", "2", "3", "k", "4 1 2", "y", "2", "2", "k", "c1 c2", "y", "1", "y"})
                .status,
            0);
  ASSERT_EQ(Derive(dir, "h2", "d", {"1", "1", "2", "2", "k", "c3 c4", "y", "1", "y"}).status, 0);
  const std::vector<std::string> sources = {"dFormda.txt", "h1Formda.txt", "h1Trk.txt",
                                            "h2Formda.txt", "h2Trk.txt"};
  std::vector<std::string> before;
  for (const std::string& f : sources) before.push_back(ReadFile(dir.file(f)));
  EXPECT_EQ(before[0], whole);
  RunResult r = RunQuilta(dir.path, Lines({"N", "m", "3", "h1", "h2", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  for (size_t k = 0; k < sources.size(); k++)
    EXPECT_EQ(ReadFile(dir.file(sources[k])), before[k]) << sources[k];

  // The phylogeny follows the kept OTUs in their new order (4, 1, 2).
  LoadSession(dir, "h1");
  ASSERT_EQ(tcst, 3);
  EXPECT_EQ(Row(phylogenyRese, 0, 3), (V{1, .9, .4}));
  EXPECT_EQ(Row(phylogenyRese, 2, 3), (V{.4, .5, 1}));
  EXPECT_EQ(nSpp, 2);  // Larix has no OTU left
  FreeGlobals2();

  EXPECT_EQ(CountOf(r.out, "The merged data set has no phylogeny"), 1);
  EXPECT_EQ(ReadFile(dir.file("mTrk.txt")), "mFormda.txt\n07Jul17\n");
  LoadSession(dir, "m");
  EXPECT_STREQ(dataName, "h1Formda.txt h2Formda.txt");
  ASSERT_EQ(tcst, 6);
  ASSERT_EQ(ncsm, 4);
  EXPECT_EQ(hasPhylogeny, 0);
  EXPECT_STREQ(reLabel[2], "c3");
  const std::vector<V> B = {{40, 2}, {10, 1}, {20, 2}, {20, 2}, {30, 1}, {40, 2}};
  const std::vector<V> W = {{6, 0, 0, 0}, {1, 2, 0, 0}, {0, 3, 0, 0},
                            {0, 0, 4, 0}, {0, 0, 0, 5}, {0, 0, 0, 7}};
  for (int o = 0; o < 6; o++) {
    EXPECT_EQ(Row(csm_Float, o, 2), B[o]) << o;
    EXPECT_EQ(Row(cadat, o, 4), W[o]) << o;
  }
  EXPECT_EQ((V{env[0][0], env[1][0], env[2][0], env[3][0]}), (V{0.1, 0.2, 0.3, 0.4}));
  EXPECT_STREQ(envName, "env.txt env.txt");
  // The species listed in both halves are one again.
  ASSERT_EQ(nSpp, 3);
  EXPECT_STREQ(spp[0], "Abies alba");
  EXPECT_STREQ(spp[2], "Larix decidua");
  for (int k = 0; k < 3; k++) EXPECT_EQ(Text(sppRelMap[k], 4), Whole().sppRel[k]) << k;
  const char* species[] = {"100", "100", "010", "010", "001", "100"};
  for (int o = 0; o < 6; o++) EXPECT_EQ(Text(cstSppMap[o], 3), species[o]) << o;
  EXPECT_EQ(onsta[0], 4);
  FreeGlobals2();
}

// Each refusal (a few of the mismatches) prints its message and shows the
// DATA FOR SESSION menu again; the sources are not touched.  A session merged with itself gets the
// second copy's labels with a b appended.
TEST(MergeDialog, RefusalsShowTheMenuAgain) {
  TempDir dir;
  FormdaText a;
  a.communities = {"LongLabel1", "x2"};
  a.B = {{1, 1}};
  a.W = {{1, 2}};
  a.envTypes = {3};
  a.envLabels = {"Moist"};
  a.E = {{5, 6}};
  a.species = {"Abies alba"};
  a.sppRel = {"11"};
  a.cstSpp = {"1"};
  a.communities[0] = "y1";
  a.MakeSession(dir, "a");
  a.communities[0] = "LongLabel1";
  a.MakeSession(dir, "long");

  struct Variant {
    std::string message;
    FormdaText data;
  };
  std::vector<Variant> variants(4, Variant{"", a});
  variants[0].message = "\nThe number of traits do not match.\n\n";
  variants[0].data.traits.push_back("Sla");
  variants[0].data.types.push_back(3);
  variants[0].data.B = {{1, 1, 1}};
  variants[1].message = "\nThe types of environmental variables do not match.\n\n";
  variants[1].data.envKind = 2;
  variants[2].message =
      "\nOne session has species names and the other not.\nBoth files must have or not have "
      "species names.\n\n";
  variants[2].data.species.clear();
  variants[3].message =
      "\b\nThere are releve labels in the second session that are identical to\nlabels in the "
      "first session. Change them (or reduce the second\nsession labels length to 9 letters or "
      "digits) and try again.\n";

  std::vector<std::string> answers = {"N", "m"};
  std::vector<std::string> files = {"aFormda.txt", "aTrk.txt", "longFormda.txt"};
  for (size_t k = 0; k < variants.size(); k++) {
    const std::string name = "v" + std::to_string(k);
    variants[k].data.MakeSession(dir, name);
    answers.insert(answers.end(), {"3", k == 3 ? "long" : "a", name});
    files.push_back(name + "Formda.txt");
  }
  std::vector<std::string> before;
  for (const std::string& f : files) before.push_back(ReadFile(dir.file(f)));
  answers.insert(answers.end(), {"4", "X"});
  RunResult r = RunQuilta(dir.path, Lines(answers));
  ASSERT_EQ(r.status, 0) << r.err;
  for (const Variant& v : variants) EXPECT_EQ(CountOf(r.out, v.message), 1) << v.message;
  EXPECT_EQ(CountOf(r.out, "DATA FOR SESSION"), 5);
  EXPECT_FALSE(FileExists(dir.file("mFormda.txt")));
  EXPECT_EQ(ReadFile(dir.file("mTrk.txt")), "");
  for (size_t k = 0; k < files.size(); k++) EXPECT_EQ(ReadFile(dir.file(files[k])), before[k]);

  r = RunQuilta(dir.path, Lines({"N", "m", "3", "a", "a", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.out, "no phylogeny"), 0);
  LoadSession(dir, "m");
  ASSERT_EQ(ncsm, 4);
  EXPECT_STREQ(reLabel[2], "y1b");
  EXPECT_STREQ(reLabel[3], "x2b");
  EXPECT_EQ(nSpp, 1);
  EXPECT_EQ((V{env[0][0], env[3][0]}), (V{5, 6}));
  FreeGlobals2();
}

// End of input at every prompt of the dialogs that take data from other
// sessions ends the program with failure code 2.  Each script, given whole,
// reaches the session menu.
TEST(OtherSessionDialogs, EndOfInputAtEveryPromptIsFailureTwo) {
  auto sessions = [](const TempDir& dir) {
    Whole().MakeSession(dir, "d");
    FormdaText nominal = Whole();
    nominal.envKind = 3;
    nominal.envTypes = {2};
    nominal.E = {{1, 2, 1, 1}};
    nominal.MakeSession(dir, "n");
  };
  const std::vector<std::vector<std::string>> scripts = {
      // every part modified, then trimmed
      {"2", "d", "2", "2", "1", "k", "Ht", "y", "2", "2", "k", "2 1", "y", "2", "1", "k", "c2",
       "y", "1", "y"},
      {"2", "d", "2", "2", "1", "f", "nofile", "k", "Form", "y", "1", "1", "2", "1", "k",
       "Moist", "y", "n"},
      // pooling: labels typed and memberships, then counts per group
      {"2", "d", "2", "1", "1", "3", "2", "2", "k", "A B", "y", "n", "k", "A B A B", "y", "1",
       "n"},
      {"2", "d", "2", "1", "1", "3", "2", "1", "y", "3 1", "1", "n"},
      // change with labels typed (first refused), moving window
      {"2", "n", "2", "1", "1", "4", "2", "P1 P2", "n", "Q1 Q2", "y", "2", "1", "n"},
      {"2", "d", "2", "1", "1", "5", "3", "2", "1", "n"},
      // merge
      {"3", "d", "d"},
  };
  int runs = 0;
  for (const auto& script : scripts) {
    std::vector<std::string> answers = {"N", "x"};
    answers.insert(answers.end(), script.begin(), script.end());
    answers.insert(answers.end(), {"C", "X"});
    runs += WalkEndOfInput(sessions, answers, "SESSION MENU", 3);
  }
  EXPECT_GT(runs, 80);
}
