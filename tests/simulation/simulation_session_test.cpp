// The assembly simulation run by the real binary from the main menu with
// scripted answers: determinism over processor counts, the rejection rates
// under the null model and under a strong response, the single data set
// without evaluation, and the failures on bad input files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "sim_session.h"
#include "test_support.h"

using namespace sim_session;

namespace {

RunResult Simulate(const TempDir& dir, const SimRun& run) {
  return RunQuilta(dir.path, run.Text());
}

std::string Final(const TempDir& dir) { return ReadFile(dir.file("FinalSimulatedData.txt")); }

const std::string kRates = "PROBABILITIES OF Ho REJECTION";

// The value after "label\tP=\t" (the rate in the final report, or the
// probability in a data-set block after "label=\t...\tP=\t"), searched from
// the first occurrence of from.
double ValueAfter(const std::string& text, const std::string& label, const std::string& from = "") {
  size_t start = from.empty() ? 0 : text.find(from);
  if (start == std::string::npos) return NAN;
  size_t at = text.find("\n" + label, start);
  if (at == std::string::npos) at = text.find(label, start);
  if (at == std::string::npos) return NAN;
  size_t p = text.find("P=\t", at);
  if (p == std::string::npos) return NAN;
  return std::strtod(text.c_str() + p + 3, nullptr);
}

// The tests of every data set; the first five do not involve the response
// and effect predictors.
const std::vector<std::string> kAllTests = {
    "Convergence (TCAP): r(TE)",
    "Both TCAP and Divergence (TDAP): r(XE)",
    "TDAP: r(XE.T)",
    "Alpha divergence (correlation between environmental variables and Rao entropy): r(RE)",
    "Beta divergence: r(XE.TR)",
    "r(TY)",
    "r(XY)",
    "r(XY_T)",
    "r(TZ)",
    "r(XZ)",
    "r(XZ.T)"};
const std::vector<std::string> kNullTests(kAllTests.begin(), kAllTests.begin() + 5);

// log P(X = k) for X binomial(n, p).
double LogBinomial(int n, int k, double p) {
  return std::lgamma(n + 1.0) - std::lgamma(k + 1.0) - std::lgamma(n - k + 1.0) + k * std::log(p) +
         (n - k) * std::log1p(-p);
}

// The counts lo .. hi holding the central 99.9 % of binomial(n, p).
void Interval999(int n, double p, int* lo, int* hi) {
  double cdf = 0.0;
  *lo = -1;
  *hi = n;
  for (int k = 0; k <= n; k++) {
    cdf += std::exp(LogBinomial(n, k, p));
    if (*lo < 0 && cdf > 0.0005) *lo = k;
    if (cdf >= 0.9995) {
      *hi = k;
      break;
    }
  }
}

std::string WithoutRunTimes(const std::string& text) {
  std::istringstream in(WithoutTimeStamps(text));
  std::string line, kept;
  while (std::getline(in, line))
    if (line.rfind("Elapsed time", 0) != 0) kept += line + "\n";
  return kept;
}

}  // namespace

TEST(Simulation, SameSeedSameFilesAtOneAndTwoProcessors) {
  // Taxa shuffle, fuzzy types, two data sets with their blocks and the
  // intermediate files: everything but the time lines is identical.
  SimRun run;
  run.fuzzy = "1\n";
  run.tests = "y\n49\nt\n0\n2\n777\n";
  run.analysis = "1\n1\ny\ny\n";
  run.evaluation = "y\n2\n0.05\n";
  run.environment = "2\nc\nenvcorr2.txt\nu\ny\n";
  run.parameters = "resp3.txt\neff2.txt\n";
  const char* files[] = {"FinalSimulatedData.txt", "B_Simulated.txt",    "W_Simulated.txt",
                         "E_Simulated.txt",        "OTUs_Simulated.txt", "CWM.txt",
                         "CommunityData.txt"};
  std::vector<std::string> first;
  for (const char* processors : {"1", "2"}) {
    TempDir dir;
    WriteInputs(dir);
    WriteFile(dir.file("envcorr2.txt"), "1 0.4\n0.4 1\n");
    WriteFile(dir.file("resp3.txt"), "1 0 0.5\n0 -1 0\n");
    WriteFile(dir.file("eff2.txt"), "0.2 0\n0 0.1\n");
    run.processors = processors;
    RunResult r = Simulate(dir, run);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(CountOf(Final(dir), "\n\nSIMULATED DATA "), 2);
    for (size_t i = 0; i < std::size(files); i++) {
      ASSERT_TRUE(FileExists(dir.file(files[i]))) << files[i];
      std::string text = WithoutRunTimes(ReadFile(dir.file(files[i])));
      if (first.size() <= i)
        first.push_back(text);
      else
        EXPECT_EQ(text, first[i]) << files[i];
    }
  }
}

TEST(Simulation, NullModelRejectsAtTheNominalLevel) {
  // No response and no effect: the factor is exchangeable over the sites,
  // so under the site shuffle a test rejects with probability 4/99 (a count
  // of at most 4 of 99 gives P <= 0.05).
  TempDir dir;
  WriteInputs(dir);
  SimRun run;
  const int dataSets = 500;
  run.evaluation = "y\n" + std::to_string(dataSets) + "\n0.05\n";
  RunResult r = Simulate(dir, run);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string text = Final(dir);
  int lo = 0, hi = 0;
  Interval999(dataSets, 4.0 / 99.0, &lo, &hi);
  const std::string tsv = ReadFile(dir.file("RejectionRates.tsv"));
  EXPECT_EQ(tsv.rfind("test\tresponse\tfactor\trejections\tdata_sets\trate\talpha\t"
                      "permutations\n",
                      0),
            0u);
  for (const std::string& test : kNullTests) {
    const double rate = ValueAfter(text, test, kRates);
    const long count = std::lround(rate * dataSets);
    EXPECT_GE(count, lo) << test;
    EXPECT_LE(count, hi) << test;
    // The companion file holds the same count and rate.
    const std::string name = test.substr(test.rfind("r("));
    const std::string row = name + "\tNA\tNA\t" + std::to_string(count) + "\t500\t";
    const size_t at = tsv.find("\n" + row);
    ASSERT_NE(at, std::string::npos) << name;
    EXPECT_NEAR(std::strtod(tsv.c_str() + at + 1 + row.size(), nullptr), rate, 1e-5) << name;
  }
}

TEST(Simulation, StrongResponseGivesPowerToTheConvergenceTest) {
  // One trait following the factor (parameter 1.5); OTUs survive only
  // near the expected mean.
  TempDir dir;
  WriteInputs(dir);
  WriteFile(dir.file("traitcorr1.txt"), "1\n");
  WriteFile(dir.file("resp1.txt"), "1.5\n");
  WriteFile(dir.file("eff1.txt"), "0\n");
  SimRun run;
  run.sizes = "15\n30\n1\n";
  run.traits = "c\ntraitcorr1.txt\nn\n";
  run.parameters = "resp1.txt\neff1.txt\n";
  run.survival = "r\n0.3 0.5\n-10 -5\n";
  run.run = "20\n20\n5\n0.5\n";
  run.evaluation = "y\n20\n0.05\n";
  RunResult r = Simulate(dir, run);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_GE(ValueAfter(Final(dir), kNullTests[0], kRates), 0.5);
}

TEST(Simulation, OneDataSetRatesAreZeroOrOneByItsProbabilities) {
  TempDir dir;
  WriteInputs(dir);
  SimRun run;
  run.evaluation = "n\nn\n";  // no evaluation, no intermediate files
  RunResult r = Simulate(dir, run);
  ASSERT_EQ(r.status, 0) << r.err;
  std::string text = Final(dir);
  EXPECT_EQ(CountOf(text, "\n\nSIMULATED DATA 1\n"), 1);
  EXPECT_TRUE(Holds(text, "Alpha threshold for Ho rejection:\t0.05\n"));
  EXPECT_TRUE(Holds(text, "Number of random permutations in each test:\t99\n"));
  EXPECT_FALSE(FileExists(dir.file("CWM.txt")));
  for (const std::string& test : kAllTests) {
    const double p = ValueAfter(text, test + "=", "Statistics and probabilities:");
    const double rate = ValueAfter(text, test, kRates);
    ASSERT_FALSE(std::isnan(p)) << test;
    EXPECT_EQ(rate, p <= 0.05 ? 1.0 : 0.0) << test;
  }
}

TEST(Simulation, BadInputFilesEndTheProcess) {
  const std::string kEndOfFile = "\nEND OF FILE !!!\n\nQuit and restart QUILTA.\n\a";
  // A center of 1, a slope above -0.01, a lifespan that is no whole number,
  // one response value of two, a coordinate that is no number.
  std::string tenSurvivals, tenSlopes;
  for (int i = 0; i < 10; i++) {
    tenSurvivals += i == 4 ? "1 -2\n" : "0.5 -2\n";
    tenSlopes += "0.5 -0.001\n";
  }
  const struct {
    std::string file, content;
    std::string SimRun::*answer;
    std::string answers;
  } cases[] = {
      {"surv.txt", tenSurvivals, &SimRun::survival, "d\nsurv.txt\n"},
      {"slopes.txt", tenSlopes, &SimRun::density, "d\nslopes.txt\n"},
      {"life.txt", "3 4 5 2.5 6 7 8 9 1 2\n", &SimRun::lifespan, "d\nlife.txt\n"},
      {"resp.txt", "0\n", &SimRun::parameters, "resp.txt\neff.txt\n"},
      {"coords.txt", "1 2 3\n4 x 6\n", &SimRun::coords, "c\ncoords.txt\n"},
  };
  for (const auto& c : cases) {
    TempDir dir;
    WriteInputs(dir);
    WriteFile(dir.file(c.file), c.content);
    SimRun run;
    run.*c.answer = c.answers;
    RunResult r = Simulate(dir, run);
    EXPECT_EQ(r.status, 1) << c.file;
    EXPECT_TRUE(Holds(r.err, "\nfile " + c.file + " " + kEndOfFile));
    EXPECT_FALSE(FileExists(dir.file("FinalSimulatedData.txt"))) << c.file;
  }

  // A correlation matrix that is not positive definite: status 1, the file
  // named, no failure code.
  TempDir dir;
  WriteInputs(dir);
  WriteFile(dir.file("bad.txt"), "1 2\n2 1\n");
  SimRun run;
  run.traits = "c\nbad.txt\nn\n";
  RunResult r = Simulate(dir, run);
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Holds(r.err, "The correlation matrix in file bad.txt is not positive definite."));
  EXPECT_FALSE(Holds(r.err, "Quit and restart"));
}

// With 9 iterations no probability is below 1/9: at alpha 0.05 no test can
// reject, which is said before the data sets are run; the default run of 99
// iterations says nothing.
TEST(Simulation, TestsThatCannotRejectAreWarnedOf) {
  const std::string message =
      "with 9 iterations the smallest possible probability is 1/9, above alpha 0.05: no test "
      "can reject Ho and every rate will be 0; ask for at least 20 iterations";
  TempDir dir;
  WriteInputs(dir);
  SimRun run;
  run.tests = "y\n9\ns\n2\n4242\n";
  run.evaluation = "y\n3\n0.05\n";
  RunResult r = Simulate(dir, run);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.err, "Warning: " + message + "\n"), 1) << r.err;
  EXPECT_EQ(ReadFile(dir.file("Warnings.txt")), message + "\n");
  const std::string text = Final(dir);
  for (const std::string& test : kNullTests) EXPECT_EQ(ValueAfter(text, test, kRates), 0.0);

  TempDir clean;
  WriteInputs(clean);
  SimRun enough;
  enough.evaluation = "y\n3\n0.05\n";
  r = Simulate(clean, enough);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(CountOf(r.err, "Warning"), 0) << r.err;
  EXPECT_FALSE(FileExists(clean.file("Warnings.txt")));
}
