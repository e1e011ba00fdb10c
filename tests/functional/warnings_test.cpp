// End-to-end runs of menu H on data sets that each hold one misleading
// feature: the warning goes once on the error stream and into sWarnings.txt,
// and the analysis still runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "session_data.h"

using namespace session;

namespace {

std::string Settings(const std::string& tests, const std::string& measure = "1",
                     const std::string& traits = "1\n") {
  std::string rese = measure == "1" ? "6\n" : "";
  return "k\n1 2 3\n1\n" + tests + measure + "\n" + rese + "1\n" + traits + "1\ny\nn\n";
}

const std::string kNoTests = "n\n";
std::string Tests(int iterations, const std::string& shuffle = "t") {
  return "y\n" + std::to_string(iterations) + "\n" + shuffle + "\n" +
         (shuffle == "t" ? "0\n" : "") + "2\n12345\n";
}

// The run of session s: status, error stream and warnings file.
struct Outcome {
  RunResult run;
  std::string warnings;  // empty when there is no file
  std::string results;
};

Outcome RunH(const TempDir& dir, const std::string& answers) {
  Outcome o;
  o.run = RunQuilta(dir.path, InSession("H", answers));
  EXPECT_EQ(o.run.status, 0) << o.run.err;
  if (FileExists(dir.file("sWarnings.txt"))) o.warnings = ReadFile(dir.file("sWarnings.txt"));
  o.results = ReadFile(dir.file("sPrinda.txt"));
  return o;
}

// The message is on the error stream once and a line of the warnings file.
void ExpectWarned(const Outcome& o, const std::string& message) {
  EXPECT_EQ(CountOf(o.run.err, "Warning: " + message + "\n"), 1) << o.run.err;
  EXPECT_EQ(CountOf(o.warnings, message + "\n"), 1) << o.warnings;
  EXPECT_EQ(CountOf(o.warnings, "\n"), CountOf(o.run.err, "Warning: ")) << o.warnings;
}

}  // namespace

TEST(Warnings, CleanDataSetWarnsNothingAndLeavesNoFile) {
  TempDir dir;
  MakeSession(dir, Data{});
  // A warnings file of an earlier analysis does not outlive a clean one.
  WriteFile(dir.file("sWarnings.txt"), "old\n");
  Outcome o = RunH(dir, Settings(Tests(99)));
  EXPECT_EQ(CountOf(o.run.err, "Warning"), 0) << o.run.err;
  EXPECT_FALSE(FileExists(dir.file("sWarnings.txt")));
}

TEST(Warnings, DataThatContradictsItsTypes) {
  struct Case {
    const char* name;
    std::vector<int> types;
    std::vector<std::vector<double>> B, W, E;
    std::string message;
    std::string also = "";  // a second warning the data set raises
  };
  const Data base;
  const std::vector<Case> cases = {
      {"dichotomous", {3, 1}, {{1, 0}, {3, 2}, {5, 1}}, base.W, base.E,
       "trait t2 is dichotomous but holds values other than 0 and 1 (3 states): give it the "
       "type nominal, or recode it to 0/1"},
      {"ordinal", {3, 4}, {{1, 0}, {3, 1.5}, {5, 1}}, base.W, base.E,
       "trait t2 is ordinal but holds values that are not whole numbers: give it the type "
       "quantitative, or recode its ranks"},
      {"nominal with a state per OTU", {3, 2}, {{1, 0}, {3, 2}, {5, 1}}, base.W, base.E,
       "trait t2 is nominal with 3 states for 3 OTUs: it is probably quantitative; check its "
       "type",
       "T averages the codes of nominal trait t2; its community means depend on how its "
       "states are numbered: give it weight 0 for T, or rely on X"},
      {"constant", {3, 3}, {{1, 2}, {3, 2}, {5, 2}}, base.W, base.E,
       "trait t2 is quantitative but has the same value in every OTU: it carries no "
       "information; leave it out or give it weight 0"},
      {"OTU absent", {3, 3}, base.B, {{1, 0, 1}, {1, 1, 0}, {0, 0, 0}}, base.E,
       "OTU 3 occurs in no community: it takes no part in T or X; leave it out"},
      {"empty community", {3, 3}, base.B, {{1, 0, 1}, {1, 0, 0}, {0, 0, 3}}, base.E,
       "community c2 holds no OTU: its T, X and diversities are undefined; leave it out"},
      {"two OTUs absent", {3, 3}, base.B, {{1, 1, 1}, {0, 0, 0}, {0, 0, 0}}, base.E,
       "OTUs 2 and 3 occur in no community: they take no part in T or X; leave them out"},
      {"E mostly missing", {3, 3}, base.B, base.W, {{0, 1, 3}, {-999, 4, -999}},
       "variable e2 is missing (-999) in 2 of the 3 communities: its results rest on few "
       "communities; leave it out or complete it"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    Data d;
    d.traitTypes = c.types;
    d.B = c.B;
    d.W = c.W;
    d.E = c.E;
    d.envTypes.assign(c.E.size(), 3);
    MakeSession(dir, d);
    // Two analyses in one session: the data set is loaded again for the
    // second, and its warnings are not repeated on the error stream.
    RunResult run = RunQuilta(dir.path, InSession("H", Settings(kNoTests) + "H\n" +
                                                            Settings(kNoTests) + "w\n"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(CountOf(run.err, "Warning: " + c.message + "\n"), 1) << run.err;
    const std::string also = c.also.empty() ? "" : c.also + "\n";
    EXPECT_EQ(ReadFile(dir.file("sWarnings.txt")), c.message + "\n" + also);
  }
}

TEST(Warnings, NominalTraitInT) {
  const std::string message =
      "T averages the codes of nominal trait t2; its community means depend on how its "
      "states are numbered: give it weight 0 for T, or rely on X";
  TempDir dir;
  Data d;
  d.traitTypes = {3, 2};
  MakeSession(dir, d);
  Outcome coded = RunH(dir, Settings(kNoTests));
  ExpectWarned(coded, message);

  // The same states numbered the other way: T, and r(TE) with it, move;
  // X does not.  That is why the warning is given.
  TempDir other;
  d.B = {{1, 1}, {3, 0}, {5, 0}};
  MakeSession(other, d);
  Outcome recoded = RunH(other, Settings(kNoTests));
  EXPECT_NE(ValueAfter(coded.results, "r(TE)=\t"), ValueAfter(recoded.results, "r(TE)=\t"));
  EXPECT_EQ(ValueAfter(coded.results, "r(XE)=\t"), ValueAfter(recoded.results, "r(XE)=\t"));

  // Left out of the analysis (weight 0), it raises nothing.
  TempDir out;
  MakeSession(out, d);
  Outcome without = RunH(out, Settings(kNoTests, "1", "2\n1 0\n"));
  EXPECT_EQ(CountOf(without.run.err, "Warning"), 0) << without.run.err;
  EXPECT_TRUE(without.warnings.empty());
}

TEST(Warnings, PermutationTestsThatCannotReachSmallProbabilities) {
  // 9 iterations: the observed statistics are those of 99 iterations.
  TempDir few, enough;
  MakeSession(few, Data{});
  MakeSession(enough, Data{});
  Outcome o = RunH(few, Settings(Tests(9)));
  ExpectWarned(o, "the permutation tests run 9 iterations: with n permutations the smallest "
                  "possible probability is 1/(n+1), here 1/9; ask for 99 iterations or more "
                  "(999 to publish)");
  Outcome ref = RunH(enough, Settings(Tests(99)));
  EXPECT_TRUE(ref.warnings.empty());
  for (const char* stat : {"r(TE)=\t", "r(XE)=\t", "r(XE.T)=\t"})
    EXPECT_EQ(ValueAfter(o.results, stat), ValueAfter(ref.results, stat)) << stat;

  // Three communities have 6 orders only.
  TempDir sites;
  MakeSession(sites, Data{});
  ExpectWarned(RunH(sites, Settings(Tests(99, "s"))),
               "the site shuffle permutes 3 communities, which have only 6 distinct orders: "
               "the test repeats the same permutations; use the taxa shuffle or more "
               "communities");
}

TEST(Warnings, ProcrustesWithMoreVariablesThanCommunities) {
  TempDir dir;
  Data d;
  d.E = {{0, 1, 3}, {2, 1, 0}, {5, 5, 1}, {1, 2, 4}};
  d.envTypes = {3, 3, 3, 3};
  MakeSession(dir, d);
  ExpectWarned(RunH(dir, Settings(kNoTests, "2")),
               "the Procrustes coefficients use 4 environmental variables for 3 communities: "
               "with more variables than communities they approach 1 whatever the data; "
               "select fewer variables");
}

// The example sessions, the change between surveys and the simulation
// included, run on clean data and warn of nothing.
TEST(Warnings, ExampleSessionsWarnOfNothing) {
  for (const char* answers : {"import", "demo", "change", "simulation", "tables"}) {
    SCOPED_TRACE(answers);
    TempDir dir;
    for (const auto& f : std::filesystem::directory_iterator(QUILTA_EXAMPLES))
      WriteFile(dir.file(f.path().filename().string()), ReadFile(f.path().string()));
    RunResult run = RunQuilta(
        dir.path, ReadFile(std::string(QUILTA_EXAMPLES) + "/" + answers + ".answers"));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(CountOf(run.err, "Warning"), 0) << run.err;
    for (const auto& f : std::filesystem::directory_iterator(dir.path))
      EXPECT_EQ(f.path().filename().string().find("Warnings.txt"), std::string::npos);
  }
}
