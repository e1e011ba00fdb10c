// End-to-end runs of the functional analysis (analysis menu H): a session
// is set up from a hand-written formatted data file and a short track file,
// the settings dialog is answered from a script, and the results file is
// read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "session_data.h"

using namespace session;

namespace {

std::string RunH(const std::string& answers, const std::string& before = "") {
  return InSession("H", answers, before);
}

// Answers of the settings dialog for the small data set (3 OTUs of types
// 1 2 3, one variable, fuzzy types): tests as given, then measure,
// resemblance and the rest.
std::string Settings(const std::string& tests, const std::string& measure,
                     const std::string& detail = "n") {
  std::string rese = (measure == "1" || measure == "5") ? "6\n" : "";
  return "k\n1 2 3\n1\n" + tests + measure + "\n" + rese + "1\n1\n1\ny\n" + detail + "\n";
}

const std::string kNoTests = "n\n";
const std::string kTaxa = "y\n99\nt\n0\n2\n12345\n";

const std::vector<std::string> kCorrelationLines = {
    "r(TE)=\t", "r(XE)=\t", "r(XE.T)=\t", "r(RE)=\t", "r(XE.TR)=\t",
    "r(TY)=\t", "r(XY)=\t", "r(XY_T)=\t"};

}  // namespace

// The dialog: species question, refused measures, trait-group weights.
TEST(FunctionalSession, SettingsDialogQuestionsAndRefusals) {
  {
    // No species: the species question is not asked.  Tests declined:
    // measures 4 and 5 are neither listed nor accepted.
    TempDir dir;
    MakeSession(dir, Data{});
    std::string answers = "k\n1 2 3\n1\nn\n4\n5\n2\n1\n1\n1\ny\nn\n";
    RunResult run = RunQuilta(dir.path, RunH(answers));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.find("Wish to use as OTUs types the species"), std::string::npos);
    EXPECT_EQ(run.out.find("  4 linear regression"), std::string::npos);
    EXPECT_EQ(CountOf(run.out, "\nMeasuring congruence using\n"), 3);
    std::string res = ReadFile(dir.file("sPrinda.txt"));
    EXPECT_NE(res.find("Correlation function between matrices: \tProcrustes (traceW)"),
              std::string::npos);
  }
  {
    // Species present: the question is asked and the species become types;
    // trait groups of sizes 3 and 1 weigh 1/3 and 1.
    TempDir dir;
    Data d;
    d.traits = {"a", "b", "c", "d"};
    d.traitTypes = {3, 3, 3, 3};
    d.B = {{1, 0, 2, 1}, {3, 1, 2, 0}, {5, 1, 4, 1}};
    d.traitGroups = {1, 1, 1, 2};
    d.species = {"Alpha", "Beta"};
    d.otuSpecies = {"10", "10", "01"};
    MakeSession(dir, d);
    std::string answers = "y\n1\nn\n1\n6\n1\n1\ny\n1\ny\nn\n";
    RunResult run = RunQuilta(dir.path, RunH(answers));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("Wish to use as OTUs types the species"), std::string::npos);
    EXPECT_EQ(run.out.find("Read group memberships"), std::string::npos);
    std::string res = ReadFile(dir.file("sPrinda.txt"));
    EXPECT_NE(res.find("Trait weights:     0.333333\t0.333333\t0.333333\t1\t"), std::string::npos);
    EXPECT_NE(res.find("#\tSpecies\n1\tAlpha\n2\tBeta\n"), std::string::npos);
    EXPECT_NE(res.find("Partition vector of 3 OTUs in 2 specified types:\n1\t1\t2\t\n"),
              std::string::npos);
  }
}

// Memberships read from files (a missing file makes the question come
// again), a selection without traits refused, OTUs and variables selected.
TEST(FunctionalSession, MembershipFilesAndSelections) {
  TempDir dir;
  Data d;
  d.envKind = 2;
  d.envTypes = {3, 3};
  d.E = {{0, 1, 3}, {5, 1, 1}};
  MakeSession(dir, d);
  WriteFile(dir.file("groups.txt"), "2\n1\n2\n");
  WriteFile(dir.file("nest.txt"), "1 1 2\n");
  std::string answers =
      "f\nmissing.txt\nf\ngroups.txt\n0\n"              // types, crisp
      "y\n19\nt\n1\nf\nnest.txt\n2\n7\n"              // restricted taxa shuffle
      "1\n6\n2\n0 1\n"                                   // Mantel, variable e2 only
      "2\n0 0\n2\n0 1\n"                                 // no trait refused, then t2
      "2\n1 1 0\ny\nn\n"                                 // OTU 3 out, restricted, no additivity
      "y\nn\n";
  RunResult run = RunQuilta(dir.path, RunH(answers));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find("missing.txt"), std::string::npos);
  EXPECT_EQ(CountOf(run.out, "At least one trait must be selected."), 1);
  std::string res = ReadFile(dir.file("sPrinda.txt"));
  EXPECT_NE(res.find("Trait weights:     0\t1\t"), std::string::npos);
  EXPECT_NE(res.find("Traits considered in the computation of OTUs resemblance:\nt2 "),
            std::string::npos);
  EXPECT_NE(res.find("Partition vector of 3 OTUs in 2 specified types:\n2\t1\t2\t\n"),
            std::string::npos);
  EXPECT_NE(res.find("Fuzzy transformation: \tnone (crisp)"), std::string::npos);
  EXPECT_NE(res.find("Ecological variables (factors or effects):\te2\t\n"), std::string::npos);
  EXPECT_NE(res.find("Nesting groups for 3 OTUs:\t1\t1\t2\t\n"), std::string::npos);
  EXPECT_NE(res.find("OTUs weights (zero ones not considered"), std::string::npos);
  EXPECT_NE(res.find("\n1\t1\t0\t\nScale was maintained, but additivity is lost"),
            std::string::npos);
  EXPECT_NE(res.find("Rao entropy RESTRICTED to dis-similarities WITHIN"), std::string::npos);
}

// Every congruence measure writes its own statistics section, and only it.
TEST(FunctionalSession, EachCongruenceMeasureWritesItsSections) {
  struct Case {
    std::string measure, header;
    bool nominal;
  };
  const std::vector<Case> cases = {
      {"1", "are matrix (Mantel) correlations", false},
      {"2", "are Procrustes correlations (traceW)", false},
      {"3", "are RV coefficients (Escoufier 1973)", false},
      {"4", "are the r square and regression coefficients", false},
      {"5", "are pseudo-F values", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("measure " + c.measure);
    TempDir dir;
    Data d;
    if (c.nominal) {  // groups 1, 1, 2 of one nominal factor
      d.envKind = 3;
      d.envTypes = {2};
      d.E = {{1, 1, 2}};
    }
    MakeSession(dir, d);
    RunResult run = RunQuilta(dir.path, RunH(Settings(kTaxa, c.measure)));
    ASSERT_EQ(run.status, 0) << run.err;
    std::string res = ReadFile(dir.file("sPrinda.txt"));
    EXPECT_NE(res.find(c.header), std::string::npos);
    const bool correlation = c.measure == "1" || c.measure == "2" || c.measure == "3";
    EXPECT_EQ(res.find("Convergence (TCAP): r(TE)=") != std::string::npos, correlation);
    EXPECT_EQ(res.find("REGRESSION MODELS") != std::string::npos, c.measure == "4");
    EXPECT_EQ(res.find("ANALYSIS OF VARIANCE") != std::string::npos, c.measure == "5");
    if (c.measure == "4") {
      EXPECT_NE(res.find("Correlation function between matrices: \tlinear regression"),
                std::string::npos);
      EXPECT_NE(res.find("\nTrait:\tt1\tr-square=\t"), std::string::npos);
      EXPECT_NE(res.find("Factor:\te1\tcoeff=\t"), std::string::npos);
    }
    if (c.measure == "5") {
      EXPECT_NE(res.find("Factor:\te1\tStates:\t1\t1\t2\t"), std::string::npos);
      EXPECT_EQ(CountOf(res, "Factor:\te1\tPseudo-F=\t"), 3);  // T, X, R
      EXPECT_EQ(CountOf(res, "Trait:\tt"), 2);
    }
    // A tested run describes its test.
    EXPECT_NE(res.find("Number of iterations for permutation tests: 99\n"), std::string::npos);
    EXPECT_NE(res.find("Random generator seed: 12345\n"), std::string::npos);
  }
}

// Data without E and with a phylogeny: no variable menu, no environmental
// statistics, and the phylogenetic sections.
TEST(FunctionalSession, NoEnvironmentWithPhylogeny) {
  TempDir dir;
  Data d;
  d.E.clear();
  d.F = {{1, 0.5, 0.2}, {0.5, 1, 0.3}, {0.2, 0.3, 1}};
  MakeSession(dir, d);
  // No variable menu without E.
  std::string answers = "k\n1 2 3\n1\n" + kTaxa + "1\n6\n1\n1\ny\ny\n";
  RunResult run = RunQuilta(dir.path, RunH(answers));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.find("Variables in matrix E"), std::string::npos);
  std::string res = ReadFile(dir.file("sPrinda.txt"));
  EXPECT_EQ(res.find("Ecological variables"), std::string::npos);
  EXPECT_EQ(res.find("r(TE)="), std::string::npos);
  EXPECT_EQ(res.find("r(XE.T)="), std::string::npos);
  EXPECT_EQ(res.find("ro(PE)="), std::string::npos);
  EXPECT_NE(res.find("r(TY)=\t"), std::string::npos);
  EXPECT_NE(res.find("\nPhylogeny: Is considered\n"), std::string::npos);
  EXPECT_NE(res.find("Phylogenetic signal at OTU (species) level ro(BF) = \t"), std::string::npos);
  EXPECT_NE(res.find("Correlation of PSAP to TCAP: ro(PT)=\t"), std::string::npos);
  EXPECT_NE(res.find("PCoA scores based on the phylogenetic resemblance matrix with 3 OTUs"),
            std::string::npos);
  EXPECT_NE(res.find("PHYLOGENETIC DIVERSITY"), std::string::npos);
  EXPECT_NE(res.find("PHYLOGENETIC REDUNDANCY"), std::string::npos);
}

// Every entry of the session and analysis menus in one session: two analyses
// in a row (the second starts from the data reloaded from the files, is
// appended under the one banner and gives the same results), the ranking
// entry, the preferences from the session menu, and back to the main menu.
TEST(FunctionalSession, SessionAndAnalysisMenuPaths) {
  TempDir dir;
  MakeSession(dir, Data{});
  const std::string settings = Settings(kNoTests, "1", "y");
  // K: a ranking by r(TE) of the single traits.
  RunResult run = RunQuilta(dir.path, "O\ns\nV\nH\n" + settings + "H\n" + settings +
                                          "a\nK\n10\n1\n1\n1\n1\n1\nn\nC\n" +
                                          "S\nF\n3\nn\nC\nC\nX\n");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(CountOf(run.out, "ANALYSIS OF COMMUNITY STRUCTURES"), 4);
  EXPECT_EQ(CountOf(run.out, "Results on file sPrinda.txt"), 2);
  EXPECT_EQ(CountOf(run.out, "This session has a previous sPrinda.txt file."), 1);
  EXPECT_EQ(CountOf(run.out, "SESSION MENU"), 3);  // at the start, after V, after S
  EXPECT_NE(run.out.find("Results on file sChRank_TCAP.txt"), std::string::npos);
  EXPECT_NE(run.out.find("PREFERENCES"), std::string::npos);
  EXPECT_NE(ReadFile(dir.file("QUILTA.prf")).find("\n3\n"), std::string::npos);
  // The appended second run repeats the first one's sections and values;
  // untested runs print no probabilities.
  const std::string res = Stable(ReadFile(dir.file("sPrinda.txt")));
  EXPECT_EQ(CountOf(res, "QUILTA v.2.11.21"), 1);
  EXPECT_EQ(CountOf(res, "P=\t"), 0);
  EXPECT_EQ(CountOf(res, "Community matrix W with 3 communities by 3 OTUs: \n"), 2);
  const std::string heading = "EXPLORATION OF COMMUNITY DATA STRUCTURES";
  const size_t first = res.find(heading);
  const size_t second = res.find(heading, first + 1);
  ASSERT_NE(second, std::string::npos);
  // Each run writes the separator line just before its heading.
  const size_t firstEnd = res.rfind(std::string(70, '-') + "\n", second - 1);
  EXPECT_EQ(res.substr(first, firstEnd - first), res.substr(second));
}

// The results file does not depend on the number of processors: every
// congruence measure, both null models and the restricted taxa shuffle, on
// the example data with its phylogeny.  The data are imported three times,
// with the variables read as they are (one nominal), all quantitative and
// all nominal, since the measures allow different kinds of variables.  The
// observed statistics do not depend on whether they are tested.
TEST(FunctionalSession, ResultsIdenticalAtOneAndTwoProcessors) {
  TempDir dir;
  ImportExampleVariableKinds(dir);

  std::string nesting;
  for (int i = 0; i < 40; i++) nesting += std::to_string(i % 5 + 1) + " ";
  struct Run {
    std::string session, tests, measure;
  };
  const std::string taxa = "y\n99\nt\n0\n2\n77\n", site = "y\n99\ns\n2\n77\n";
  const std::string restricted = "y\n99\nt\n1\nk\n" + nesting + "\n2\n77\n";
  const std::vector<Run> runs = {
      {"demo", taxa, "1\n6\n"},  {"demo", site, "1\n10\n"}, {"demo", restricted, "1\n8\n"},
      {"quant", taxa, "2\n"},     {"quant", site, "3\n"},     {"quant", restricted, "4\n"},
      {"nominal", taxa, "5\n6\n"}, {"demo", kNoTests, "1\n6\n"}};
  std::vector<std::string> results;
  for (const Run& r : runs) {
    SCOPED_TRACE(r.session + " " + r.measure);
    for (int threads = 1; threads <= 2; threads++) {
      const std::string answers = "S\nM\n" + std::to_string(threads) + "\nC\nO\n" + r.session +
                                  "\nV\nH\ny\n1\n" + r.tests + r.measure +
                                  "1\n1\ny\n1\ny\ny\n\nC\nC\nX\n";
      std::remove(dir.file(r.session + "Prinda.txt").c_str());
      RunResult run = RunQuilta(dir.path, answers);
      ASSERT_EQ(run.status, 0) << run.err;
      results.push_back(Stable(ReadFile(dir.file(r.session + "Prinda.txt"))));
    }
    EXPECT_EQ(results[results.size() - 2], results.back());
    const std::string& last = results.back();
    const int probabilities = CountOf(last, "P=\t") + CountOf(last, "p-value=\t");
    EXPECT_EQ(probabilities > 5, r.tests != kNoTests);
  }
  // The untested Mantel run against the first (tested) one.
  for (const std::string& label : kCorrelationLines)
    EXPECT_EQ(ValueAfter(results.back(), label), ValueAfter(results.front(), label)) << label;
}

// The data set of the defaults, worked by hand:
//   W to unit totals per community: c1 = (.5, .5, 0), c2 = (0, .5, .5),
//   c3 = (.25, 0, .75); T = W B: c1 (2, .5), c2 (4, 1), c3 (4, .75).
//   Columns to unit length: t1 / 6 = (1/3, 2/3, 2/3); t2 / sqrt(1.8125) =
//   (.371391, .742781, .557086).  DT: d12 = .499041, d13 = .381568,
//   d23 = .185695; DE (one variable 0, 1, 3, same units): 1, 3, 2.
//   Pearson over the three pairs: deviations (.143606, .026133, -.169740)
//   and (-1, 1, 0); cov = -.117473, SS = .050118 and 2, r = -.371049.
// The companion files hold T and the statistics and probabilities of the
// results file (to its printed digits), with the data set's labels; a value
// not formed is NA; the preference turns them off.  The progress line of a
// run with 999 permutations, written to a file, takes at most a few lines.
TEST(FunctionalSession, HandValuesCompanionFilesAndProgressLines) {
  TempDir dir;
  MakeSession(dir, Data{});
  const std::string tests999 = "y\n999\nt\n0\n2\n12345\n";
  RunResult run = RunQuilta(dir.path, RunH(Settings(tests999, "1")));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_LE(CountOf(run.out, "Permutation test:"), 3);
  const std::string res = ReadFile(dir.file("sPrinda.txt"));
  EXPECT_NEAR(ValueAfter(res, "Convergence (TCAP): r(TE)=\t"), -0.371049, 2e-6);
  const auto cwm = ReadTsv(dir.file("sCWM.tsv"));
  const std::vector<std::vector<std::string>> expected = {
      {"community", "t1", "t2"}, {"c1", "2", "0.5"}, {"c2", "4", "1"}, {"c3", "4", "0.75"}};
  ASSERT_EQ(cwm.size(), expected.size());
  EXPECT_EQ(cwm[0], expected[0]);
  for (size_t c = 1; c < expected.size(); c++) {
    ASSERT_EQ(cwm[c].size(), 3u);
    EXPECT_EQ(cwm[c][0], expected[c][0]);
    for (int k = 1; k <= 2; k++) EXPECT_DOUBLE_EQ(std::stod(cwm[c][k]), std::stod(expected[c][k]));
  }
  EXPECT_EQ(ReadTsv(dir.file("sDiversity.tsv"))[0].size(), 4u);  // no phylogeny columns

  const auto rows = ReadTsv(dir.file("sResults.tsv"));
  ASSERT_GT(rows.size(), 9u);
  EXPECT_EQ(rows[0], (std::vector<std::string>{"statistic", "value", "p_value", "measure",
                                               "null_model", "permutations", "seed"}));
  int compared = 0;
  for (const auto& row : rows) {
    ASSERT_EQ(row.size(), 7u);
    if (row[0] == "ro(BF)") {
      EXPECT_EQ(row[1], "NA");  // no phylogeny
    }
    for (const std::string& label : kCorrelationLines) {
      if (label != row[0] + "=\t") continue;
      const double printed = ValueAfter(res, label), p = ValueAfter(res, "P=\t", res.find(label));
      EXPECT_NEAR(std::stod(row[1]), printed, 1e-5 * std::fmax(1.0, std::fabs(printed))) << label;
      EXPECT_NEAR(std::stod(row[2]), p, 1e-5) << label;
      EXPECT_EQ(std::vector<std::string>(row.begin() + 3, row.end()),
                (std::vector<std::string>{"Mantel", "taxa shuffle", "999", "12345"}));
      compared++;
    }
  }
  EXPECT_EQ(compared, static_cast<int>(kCorrelationLines.size()));

  // Turned off: nothing written, the results file as before.
  TempDir off;
  MakeSession(off, Data{});
  run = RunQuilta(off.path, RunH(Settings(tests999, "1"), "S\nE\nn\nC\n"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(FileExists(off.file("sResults.tsv")));
  EXPECT_FALSE(FileExists(off.file("sCWM.tsv")));
  EXPECT_EQ(Stable(ReadFile(off.file("sPrinda.txt"))), Stable(res));
  EXPECT_NE(ReadFile(off.file("QUILTA.prf")).find("\nTSV n\n"), std::string::npos);
}

// The example session of the demo: its answers run without a stray answer
// and its headline finding holds, a clear trait convergence of height and
// SLA along the moisture gradient.
TEST(FunctionalSession, DemoSessionShowsTraitConvergence) {
  TempDir dir;
  CopyExamples(dir);
  RunResult run = RunQuilta(dir.path, ReadFile(std::string(QUILTA_EXAMPLES) + "/demo.answers"));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err.find("Incorrect input"), std::string::npos);
  const std::string res = ReadFile(dir.file("demoPrinda.txt"));
  const size_t at = res.find("Convergence (TCAP): r(TE)=\t");
  ASSERT_NE(at, std::string::npos);
  EXPECT_GT(ValueAfter(res, "r(TE)=\t", at), 0.5);
  EXPECT_LE(ValueAfter(res, "P=\t", at), 0.01);
  EXPECT_TRUE(FileExists(dir.file("demoChRank_TDAP_TCAP.txt")));
  EXPECT_TRUE(FileExists(dir.file("demoChRank_TDAP_TCAP.tsv")));
}
