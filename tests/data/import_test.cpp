// End-to-end runs of the import dialog and of session starts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data_test_util.h"

namespace {

// Raw files of 3 OTUs, 2 traits, 2 communities.
void WriteRawFiles(const TempDir& dir) {
  WriteFile(dir.file("traits.txt"), "1 0.5\n2 1.5\n3 2.5\nTa Tb\n");  // OTUs as rows
  WriteFile(dir.file("traitsT.txt"), "1 2 3\n0.5 1.5 2.5\nTa Tb\n");  // traits as rows
  WriteFile(dir.file("byRows.txt"), "1 0 3\n0 0 0\n");                // communities as rows
  WriteFile(dir.file("byCols.txt"), "1 0\n0 0\n3 0\nP1 P2\n");        // OTUs as rows
  WriteFile(dir.file("vectors.txt"), "4 5\n6\n");                     // 2 + 1 OTUs
}

// The answers of a session s importing trait file `traits` (orientation
// `orient`) and performance file `perf` (format `wFormat`), with the given
// answers spliced in where the optional parts are asked.
struct Import {
  std::string traits = "traits.txt", orient = "2", perf = "byCols.txt", wFormat = "2",
              wLabels = "2";
  std::vector<std::string> phylogeny, afterW, species, environment, afterEnv;

  std::string Answers() const {
    // An optional file is answered 1 and its name, or 0.
    auto optional = [](const std::vector<std::string>& v) {
      return v.empty() ? std::string("0") : "1\n" + v[0];
    };
    std::vector<std::string> a = {"N", "s", "1", traits, optional(phylogeny), perf,
                                  optional(species), optional(environment), "3", "2", "2",
                                  orient, "k", "3 3", "y", "0"};
    if (!phylogeny.empty()) a.push_back(phylogeny[1]);
    a.insert(a.end(), {"2", wLabels, wFormat});
    a.insert(a.end(), afterW.begin(), afterW.end());
    if (!species.empty()) a.push_back(species[1]);
    a.insert(a.end(), afterEnv.begin(), afterEnv.end());
    a.insert(a.end(), {"C", "X"});
    return Lines(a);
  }
};

// Runs the import and loads the formatted data file it wrote.
RunResult RunImport(const TempDir& dir, const Import& imp) {
  RunResult r = RunQuilta(dir.path, imp.Answers());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(Holds(r.out, "SESSION MENU"));
  snprintf(whichFormda, sizeof whichFormda, "%s", dir.file("sFormda.txt").c_str());
  OpenFormda(1);
  return r;
}

TEST(ImportDialog, TraitOrientationsAndPerformanceFormats) {
  TempDir dir;
  WriteRawFiles(dir);
  Import imp;
  for (const char* orient : {"1", "2"}) {
    imp.orient = orient;
    imp.traits = orient[0] == '1' ? "traitsT.txt" : "traits.txt";
    RunImport(dir, imp);
    EXPECT_STREQ(chLabel[1], "Tb");
    EXPECT_EQ(Row(csm_Float, 0, 2), (V{1, 0.5}));
    EXPECT_EQ(Row(csm_Float, 2, 2), (V{3, 2.5}));
    EXPECT_EQ(Row(cadat, 2, 2), (V{3, 0}));
    EXPECT_STREQ(reLabel[1], "P2");
    EXPECT_EQ(onsta[0], 3);
    FreeGlobals2();
  }
  // Communities as rows: row 1 is community 1; default labels.
  imp.perf = "byRows.txt";
  imp.wFormat = "1";
  imp.wLabels = "1";
  RunResult r = RunImport(dir, imp);
  EXPECT_EQ(Row(cadat, 2, 2), (V{3, 0}));
  EXPECT_STREQ(reLabel[1], "2");
  // Community 2 is all zero: one warning.
  EXPECT_EQ(CountOf(r.out, "Please check matrix W. Sampling unit 2 has all values zero"), 1);
  EXPECT_EQ(CountOf(r.out, "Please check matrix W"), 1);
  FreeGlobals2();
  // One vector per community, counts 2 and 1: W = [[4,0],[5,0],[0,6]].
  imp.perf = "vectors.txt";
  imp.wFormat = "3";
  imp.afterW = {"k", "2 1", "y"};
  RunImport(dir, imp);
  EXPECT_EQ(Row(cadat, 0, 2), (V{4, 0}));
  EXPECT_EQ(Row(cadat, 1, 2), (V{5, 0}));
  EXPECT_EQ(Row(cadat, 2, 2), (V{0, 6}));
  FreeGlobals2();
}

// The optional files: phylogenies as lower-half similarities and as
// distances (normalized or not), species names, one or two variables.
TEST(ImportDialog, PhylogenySpeciesAndEnvironment) {
  TempDir dir;
  WriteRawFiles(dir);
  WriteFile(dir.file("half.txt"), "1\n0.5 1\n0.25 0.75 1\n");
  WriteFile(dir.file("dist4.txt"), "0 2 4\n2 0 1\n4 1 0\n");
  WriteFile(dir.file("spp.txt"), "Abies alba\nAbies alpina\nAbies alba  \n");
  WriteFile(dir.file("env1.txt"), "7\n-999\n");
  WriteFile(dir.file("env2.txt"), "1 10\n2 20\nUse Moist\n");
  Import imp;
  imp.phylogeny = {"half.txt", "3"};
  imp.species = {"spp.txt", "2"};
  imp.environment = {"env1.txt"};
  imp.afterEnv = {"1", "1", "1"};  // one variable, default labels, quantitative
  RunResult r = RunImport(dir, imp);
  EXPECT_EQ(phylogenyMatrixType, 1);
  EXPECT_EQ(Row(phylogenyRese, 0, 3), (V{1, 0.5, 0.25}));
  EXPECT_EQ(Row(phylogenyRese, 2, 3), (V{0.25, 0.75, 1}));
  ASSERT_EQ(nSpp, 2);  // the third name is the first one again
  EXPECT_STREQ(spp[0], "Abal Abies alba");
  EXPECT_STREQ(spp[1], "ABal Abies alpina");
  EXPECT_EQ(std::string(cstSppMap[2], 2), "10");
  EXPECT_EQ(std::string(sppRelMap[0], 2), "10");  // OTUs 1 and 3 occur in P1 only
  EXPECT_EQ(CountOf(r.out, "Data entered by communities"), 0);
  ASSERT_EQ(nenv, 1);
  EXPECT_EQ(env[0][0], 7.0);
  EXPECT_EQ(optEnvVarType, 1);
  EXPECT_TRUE(Holds(r.out, "Please check matrix E. Sampling unit P2 has all values missing"));
  FreeGlobals2();

  // Distances up to 4 are divided by 4; two variables of several types, by
  // communities, labels from the file.
  imp = Import();
  imp.phylogeny = {"dist4.txt", "1"};
  imp.environment = {"env2.txt"};
  imp.afterEnv = {"2", "2", "5", "k", "2 3", "y", "n"};
  r = RunImport(dir, imp);
  EXPECT_EQ(CountOf(r.out,
                    "Phylogenetic distances were normalized to values in the range [0,1] "
                    "by Dnorm = D/Dmax"),
            1);
  EXPECT_EQ(phylogenyMatrixType, 3);
  EXPECT_EQ(Row(phylogenyRese, 0, 3), (V{0, 0.5, 1}));
  EXPECT_EQ(Row(phylogenyRese, 2, 3), (V{1, 0.25, 0}));
  EXPECT_EQ(CountOf(r.out, "Data entered by communities(N) or by variables(T)?: "), 1);
  ASSERT_EQ(nenv, 2);
  EXPECT_STREQ(envLabel[1], "Moist");
  EXPECT_EQ(Row(env, 1, 2), (V{2, 20}));
  EXPECT_EQ(envVarType[0], 2);
  EXPECT_EQ(optEnvVarType, 5);
  FreeGlobals2();
}

TEST(ImportDialog, CountsTheRawFilesCannotHoldAreRefused) {
  TempDir dir;
  WriteRawFiles(dir);
  Import imp;
  std::string answers = imp.Answers();
  // A billion OTUs do not fit in a file of a few bytes: asked again.
  answers.replace(answers.find("\n3\n2\n2\n"), 7, "\n1000000000\n2\n3\n2\n2\n");
  RunResult r = RunQuilta(dir.path, answers);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.err, "cannot hold 1000000000 OTUs by 2 traits"));
}

TEST(Sessions, DataKeptOrReused) {
  TempDir dir;
  WriteRawFiles(dir);
  RunImport(dir, Import());
  FreeGlobals2();
  const std::string data = ReadFile(dir.file("sFormda.txt"));
  // O loads the same data without asking; the file is not rewritten.
  RunResult r = RunQuilta(dir.path, "O\ns\nC\nX\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(Holds(r.out, "DATA FOR SESSION"));
  EXPECT_TRUE(Holds(r.out, "SESSION MENU"));
  EXPECT_EQ(WithoutTimeStamps(ReadFile(dir.file("sFormda.txt"))), WithoutTimeStamps(data));
  // Another session takes the file as it is and shares it.
  r = RunQuilta(dir.path, "N\nt\n2\ns\n1\nC\nX\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.out, "Use file sFormda.txt:"));
  EXPECT_EQ(ReadFile(dir.file("tTrk.txt")), "sFormda.txt\n07Jul17\n");
  EXPECT_TRUE(Holds(r.out, "SESSION MENU"));
}

}  // namespace

// Species maps of 40000 OTUs (40000 x 40000 cells) are refused as running out
// of memory: code 1 ends the program with its message, after the species
// label question, before anything that large is allocated.
TEST(ImportDialog, OversizedSpeciesMapsEndWithOutOfMemory) {
  TempDir dir;
  const int n = 40000;
  std::string ones, names;
  for (int i = 0; i < n; i++) {
    ones += "1\n";
    names += "Genus species" + std::to_string(i) + "\n";
  }
  WriteFile(dir.file("t.txt"), ones);
  WriteFile(dir.file("w.txt"), ones);
  WriteFile(dir.file("sp.txt"), names);
  RunResult r = RunQuilta(dir.path, Lines({"N", "big", "1", "t.txt", "0", "w.txt", "1", "sp.txt",
                                           "0", std::to_string(n), "1", "1", "2", "k", "3", "y",
                                           "0", "1", "1", "2", "1", "x"}));
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Holds(r.out, "Species labels are:"));
  EXPECT_TRUE(Holds(r.err, "\nOUT OF MEMORY !!!\n\nQuit and restart QUILTA.\n"));
  EXPECT_FALSE(FileExists(dir.file("bigFormda.txt")));
}

// Negative performances in the raw W are imported as they are, with one
// warning; the session started from them warns again of nothing new.
TEST(ImportDialog, NegativePerformancesAreWarnedOf) {
  TempDir dir;
  WriteRawFiles(dir);
  WriteFile(dir.file("neg.txt"), "1 2\n-2 1\n3 1\nP1 P2\n");
  Import imp;
  imp.perf = "neg.txt";
  RunResult r = RunImport(dir, imp);
  EXPECT_EQ(Row(cadat, 1, 2), (V{-2, 1}));
  EXPECT_EQ(CountOf(r.err,
                    "Warning: matrix W holds negative performances: community weights of OTUs "
                    "are meant to be 0 or more; check W\n"),
            1)
      << r.err;
  EXPECT_EQ(CountOf(r.err, "Warning"), 1) << r.err;
  FreeGlobals2();
}
