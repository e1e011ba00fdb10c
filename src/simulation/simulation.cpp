// The assembly simulation (main-menu option A): its dialogue, the loop over
// the simulated data sets and the data set left in memory afterwards.
#include "simulation/simulation.h"

#include <omp.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/datafile.h"
#include "data/dataset.h"
#include "data/sessionpack.h"
#include "data/track.h"
#include "data/warnings.h"
#include "functional/analysisWarnings.h"
#include "functional/settings.h"
#include "multivariate/random.h"
#include "numeric/stats.h"
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/input.h"
#include "shell/pack.h"
#include "shell/readers.h"
#include "shell/shell.h"
#include "shell/safefile.h"
#include "simulation/assembly.h"
#include "simulation/simanalysis.h"
#include "simulation/simreport.h"
#include "simulation/stepfiles.h"

constexpr double kMaxInt = 2147483647.0;
constexpr double kMaxReal = 3.4028234663852886e+38;
constexpr double kSlopeMax = -0.01;
static const char kFinalFile[] = "FinalSimulatedData.txt";

// ---- input files -------------------------------------------------------------

static FILE* OpenInput(const std::string& name) {
  FILE* fp = fopenck(name.c_str(), volumeName, "r");
  if (fp == nullptr) RaiseFailure(kFailOpen);
  return fp;
}

// A value the simulation cannot use ends the reading like an unreadable one.
[[noreturn]] static void BadValue(FILE* fp, const std::string& name, double value,
                                  const char* what) {
  fclose(fp);
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nValue %g is not %s.", value, what);
  fprintf(stderr, "\nfile %s ", name.c_str());
  RaiseFailure(kFailEndOfFile);
}

static double ReadValue(FILE* fp, const std::string& name) {
  double x = 0.0;
  freadck(fp, "%lf", &x, name.c_str());
  if (!std::isfinite(x)) BadValue(fp, name, x, "a finite number");
  return x;
}

// The sizes come from the keyboard: a file too small to hold rows x cols
// values (each a character and a separator at least) ends like a file cut
// short, before the matrix is allocated.
double** ReadMatrixFile(const std::string& name, int rows, int cols) {
  FILE* fp = OpenInput(name);
  const int64_t room = (FileSizeOf(fp) + 1) / 2;
  if (rows < 0 || cols < 0 || static_cast<int64_t>(rows) * cols > room) {
    fclose(fp);
    ClearLine();
    fflush(stdout);
    fprintf(stderr, "\nfile %s ", name.c_str());
    RaiseFailure(kFailEndOfFile);
  }
  double** M = dim2Double(rows, cols);
  try {
    for (int i = 0; i < rows; i++)
      for (int j = 0; j < cols; j++) M[i][j] = ReadValue(fp, name);
  } catch (...) {
    free2D(M, rows);
    throw;
  }
  fclose(fp);
  return M;
}

static bool ValidCenter(double c) { return c > 0.0 && c < 1.0; }
static bool ValidSlope(double b) { return b >= -kMaxReal && b <= kSlopeMax; }

void ReadCurves(const std::string& name, int N, double** curves) {
  FILE* fp = OpenInput(name);
  for (int i = 0; i < N; i++) {
    const double c = ReadValue(fp, name);
    if (!ValidCenter(c)) BadValue(fp, name, c, "a center between 0 and 1 (both excluded)");
    const double b = ReadValue(fp, name);
    if (!ValidSlope(b)) BadValue(fp, name, b, "a slope of -0.01 or less");
    curves[i][0] = c;
    curves[i][1] = b;
  }
  fclose(fp);
}

void ReadLifespans(const std::string& name, int N, int* lifespan) {
  FILE* fp = OpenInput(name);
  for (int i = 0; i < N; i++) {
    const double v = ReadValue(fp, name);
    if (!(v >= 1.0 && v <= kMaxInt && v == std::floor(v)))
      BadValue(fp, name, v, "a whole number of years from 1");
    lifespan[i] = static_cast<int>(v);
  }
  fclose(fp);
}

namespace {

int AskCount(const char* prompt, double max = kMaxInt) {
  fprintf(out, "%s", prompt);
  return ToInt(ReadNumberIn("%d\n", "-", 1.0, max));
}

int AskChar(const char* prompt, const char* accepted) {
  fprintf(out, "%s", prompt);
  return ReadCharIn(accepted);
}

std::string AskFileName() {
  char name[64];
  ReadStringIn("%s\n", name, sizeof name);
  return name;
}

// The file named at the prompt just printed, read as a rows x cols matrix;
// a correlation matrix must be positive definite.
double** AskMatrix(std::string& file, int rows, int cols, bool correlation = false) {
  file = AskFileName();
  double** M = ReadMatrixFile(file, rows, cols);
  if (correlation && !IsPositiveDefinite(rows, M)) NotPositiveDefinite(file);
  return M;
}

// CorrToData_New code of the answer: 1 uniform, 2 normal.
int AskDistribution(const char* question) { return AskChar(question, "u n") == 'u' ? 1 : 2; }

// ---- questions ---------------------------------------------------------------

// A center of antisymmetry from lo up to 1, 0 and 1 themselves refused.
double AskCenter(double lo) {
  for (;;) {
    const double c = ReadNumberIn("%lf\n", "-", lo, 1.0);
    if (ValidCenter(c)) return c;
    fputc(7, stdout);
    fflush(stdout);
    fprintf(stderr, "\nIncorrect input = %g. Reenter.\n", c);
    fprintf(stderr, "Accepted input: more than 0 and less than 1\n");
  }
}

struct CurveTexts {
  const char* question;
  const char* file;
  const char* center;
  const char* slope;
};

const CurveTexts kDispersalTexts = {
    "Specify for each OTU the parameters for local seed dispersal kernel (d), or generate the "
    "parameters (center and slope) of the logistic function at random (r)? d/r ",
    "Name of the file with the parameters (center and slope) of the logistic function for the "
    "dispersal kernel (%d OTUs x 2):\n",
    "Specify the minimum and maximum center of antisymmetry of the logistic function for the "
    "dispersal kernel (0-1, values approaching one result in farther high dispersal "
    "probabilities): ",
    "Specify the range for the slope (negative) in the center of antisymmetry of the logistic "
    "function for the dispersal kernel (<0, more negative values result in steeper "
    "descending): "};

const CurveTexts kSurvivalTexts = {
    "Specify for each OTU the parameters (center and slope) of the logistic function relating "
    "probability of survival to distance between OTU traits and expected community traits (d), "
    "or generate the parameters at random (r)? d/r ",
    "Name of the file with the parameters (center and slope) of the logistic function for "
    "survival (%d OTUs x 2):\n",
    "Specify the minimum and maximum center of antisymmetry of the logistic function for "
    "survival (0-1, values approaching one result in high survival probabilities at farther "
    "trait distances): ",
    "Specify the range for the slope (negative) in the center of antisymmetry of the logistic "
    "function for survival (<0, more negative values result in steeper descending): "};

const CurveTexts kDensityTexts = {
    "Specify for each OTU the parameters for the density dependence function (d), or generate "
    "the parameters (center and slope) of the logistic function at random (r)? d/r ",
    "Name of the file with the parameters (center and slope) of the logistic function for "
    "density dependence (%d OTUs x 2):\n",
    "Specify the minimum and maximum center of antisymmetry of the logistic function for "
    "density dependence (0-1, values approaching one result in high survival probabilities at "
    "higher densities): ",
    "Specify the range for the slope (negative) in the center of antisymmetry of the logistic "
    "function for density dependence (<0, more negative values result in steeper "
    "descending): "};

const CurveTexts kAgeTexts = {
    "Specify for each OTU the parameters for the age-related survivorship function (d), or "
    "generate the parameters (center and slope) of the logistic function at random (r)? d/r ",
    "Name of the file with the parameters (center and slope) of the logistic function for "
    "age-related survivorship (%d OTUs x 2):\n",
    "Specify the minimum and maximum center of antisymmetry of the logistic function for "
    "age-related survivorship (0-1, values approaching one result in high survival "
    "probabilities at older ages): ",
    "Specify the range for the slope (negative) in the center of antisymmetry of the logistic "
    "function for age-related survivorship (<0, more negative values result in steeper "
    "descending): "};

// d: the parameters of every OTU from a file; r: the ranges of the draws.
void AskCurves(const CurveTexts& texts, int N, CurveSpec& curve, double*** curves) {
  *curves = dim2Double(N, 2);
  if (AskChar(texts.question, "d r") == 'd') {
    fprintf(out, texts.file, N);
    curve.file = AskFileName();
    ReadCurves(curve.file, N, *curves);
    return;
  }
  curve.random = true;
  fprintf(out, "%s", texts.center);
  curve.centerMin = AskCenter(0.0);
  curve.centerMax = AskCenter(curve.centerMin);
  fprintf(out, "%s", texts.slope);
  curve.slopeMin = ReadNumberIn("%lf\n", "-", -kMaxReal, kSlopeMax);
  curve.slopeMax = ReadNumberIn("%lf\n", "-", curve.slopeMin, kSlopeMax);
}

void AskTraitsSource(AssemblyModel& m) {
  fprintf(out,
          "Input is a %d OTUs x %d traits matrix (t) or a trait x traits correlation matrix (c)? "
          "t/c ",
          m.N, m.K);
  // b (correlated OTUs as well) is accepted although the question does not
  // offer it.
  m.traitSource = ReadCharIn("t c b");
  if (m.traitSource == 't') {
    fprintf(out, "Name of the file with trait data matrix (%d OTUs x %d traits):\n", m.N, m.K);
    m.traitsGiven = AskMatrix(m.traitFile, m.N, m.K);
    return;
  }
  fprintf(out, "Name of the file with full trait correlation matrix (%d traits x %d traits):\n",
          m.K, m.K);
  m.traitCorr = AskMatrix(m.traitCorrFile, m.K, m.K, true);
  if (m.traitSource == 'b') {
    fprintf(out,
            "Name of the file with full correlation matrix between OTUs (%d OTUs x %d nOTUs):\n",
            m.N, m.N);
    m.otuCorr = AskMatrix(m.otuCorrFile, m.N, m.N, true);
  }
  m.traitDistribution = AskDistribution(
      "Generate OTUs x traits matrix with uniform (u) or normal (n) distribution of values in "
      "each trait? u/n ");
}

// Environment as read (F x S) or its correlations; the initial E is formed
// once the predictors are known.
void AskEnvironment(AssemblyModel& m, double*** envRead) {
  m.F = AskCount("Specify the number of factors: ");
  fprintf(out,
          "Specify the environmental data as a %d factors x %d sites matrix (e) or generate the "
          "data based on a factor x factor correlation matrix (c)? e/c ",
          m.F, m.S);
  m.envSource = ReadCharIn("e c");
  if (m.envSource == 'e') {
    fprintf(out,
            "Name of the file with the initial ecosystem conditions (%d factors x %d sites):\n",
            m.F, m.S);
    *envRead = AskMatrix(m.envFile, m.F, m.S);
  } else {
    fprintf(out,
            "Name of the file with full factor correlation matrix (%d factors x %d factors):\n",
            m.F, m.F);
    m.envCorr = AskMatrix(m.envCorrFile, m.F, m.F, true);
    m.envDistribution = AskDistribution(
        "Generate factors x sites matrix with uniform (u) or normal (n) distribution of values "
        "in each factor? u/n ");
  }
  m.interactions = AskChar("Consider double interactions between factors? y/n ", "y n") == 'y';
  const long long pairs = m.interactions ? static_cast<long long>(m.F) * (m.F - 1) / 2 : 0;
  if (m.F + pairs > static_cast<long long>(kMaxInt)) RaiseFailure(kFailMemory);
  m.P = m.F + static_cast<int>(pairs);
}

void AskParameters(AssemblyModel& m) {
  fprintf(out,
          "Name of the file with matrix of parameters for linear models of expected community "
          "traits from ecosystem conditions (%d traits by %d predictor ecosystem variables):\n",
          m.K, m.P);
  m.response = AskMatrix(m.responseFile, m.K, m.P);
  fprintf(out,
          "Name of the file with matrix of parameters for linear models of community effects on "
          "ecosystem conditions (%d ecosystem variables by %d predictor traits):\n",
          m.F, m.K);
  m.effect = AskMatrix(m.effectFile, m.F, m.K);
  m.responsive = dim1Dint(m.K);
  for (int k = 0; k < m.K; k++)
    for (int p = 0; p < m.P; p++)
      if (m.response[k][p] != 0.0) m.responsive[k] = 1;
}

void AskLifespan(AssemblyModel& m) {
  m.lifespan = dim1Dint(m.N);
  if (AskChar("Specify for each OTU the maximum lifespan in years (d), or generate maximum "
              "lifespan at random (r)? d/r ",
              "d r") == 'd') {
    fprintf(out, "Name of the file with the maximum lifespan (years) of each OTU (%d values):\n",
            m.N);
    m.lifespanFile = AskFileName();
    ReadLifespans(m.lifespanFile, m.N, m.lifespan);
    return;
  }
  // Lifespans below 1 year are refused; equal bounds give that lifespan.
  m.randomLifespan = true;
  fprintf(out, "Specify the minimum and maximum random lifespan values (years): ");
  m.lifeMin = ToInt(ReadNumberIn("%d\n", "-", 1.0, kMaxInt));
  m.lifeMax = ToInt(ReadNumberIn("%d\n", "-", m.lifeMin, kMaxInt));
}

void AskRun(AssemblyModel& m) {
  m.maxAvg = AskCount("Specify the maximum average number of individuals per community: ");
  m.years = AskCount("Specify the duration of the simulation (in years): ");
  // The number of steps (years x iterations per year) must be an int.
  m.perYear = AskCount(
      "Specify the number of iterations (cycles of colonization and extinction) per year: ",
      std::floor(kMaxInt / m.years));
  m.steps = m.years * m.perYear;
  fprintf(out,
          "Specify the threshold (proportion) of the maximum average number of individuals per "
          "community after which OTU richness and number of OTU colonizations and extinctions "
          "are recorded: ");
  m.threshold = ReadNumberIn("%lf\n", "-", 0.0, 1.0);
}

// The predictors analysed.  A selection without any predictor would leave
// nothing to test and is asked again.
void AskPredictors(const AssemblyModel& m, int* select) {
  for (int p = 0; p < m.P; p++) select[p] = 1;
  fprintf(out,
          "\nEcosystem variables in matrix E to be used in the analysis of the simulated data:\n");
  fprintf(out, "   1  all variables \n");
  fprintf(out, "   2  select variables \n");
  fprintf(out, "Type option no.: ");
  if (ToInt(ReadNumberIn("%d\n", "1 2")) != 2) return;
  for (;;) {
    fprintf(out, "Select variables (and their interactions if included):\n");
    fprintf(out, "(enter 0 for exclusion or 1 for inclusion)\n");
    PrintPredictorLabels(out, m, " ");
    fprintf(out, "\n");
    bool any = false;
    for (int p = 0; p < m.P; p++) {
      select[p] = ToInt(ReadNumberIn("%-3d", "0 1"));
      any = any || select[p] == 1;
    }
    if (any) return;
    fprintf(out, "At least one variable must be selected.\n");
  }
}

}  // namespace

// ---- the community data set ------------------------------------------------------

// The simulation starts from a clean data set: whatever an earlier session
// or simulation left (traits groups, phylogeny, species, partitions) is
// released, and the data set globals take the simulation's sizes, "%d"
// labels and quantitative traits.  Each OTU is a type of its own.
void SetSimulationDataSet(const AssemblyModel& m) {
  FreeGlobals1();
  FreeGlobals2();
  NewDataSet(m.N, m.K, m.S, m.F);
  includePhylogeny = 0;
}

// The last simulated data set stays in the community data set globals.
void KeepLastDataSet(const AssemblyModel& m) {
  CopyMatrix(m.N, m.K, m.B, csm_Float);
  for (int i = 0; i < m.N; i++)
    for (int s = 0; s < m.S; s++) cadat[i][s] = m.abund[s][i];
  for (int s = 0; s < m.S; s++) {
    for (int f = 0; f < m.F; f++) env[s][f] = m.E[f][s];
    ncst[s] = Richness(m, s);
  }
}

// The model's sizes must allow their products to be counted in ints.
static void CheckSizes(const AssemblyModel& m) {
  const double limit = kMaxInt / 2;
  const double S = m.S, N = m.N, K = m.K;
  if (S * N > limit || N * N > limit || N * K > limit || S * S > limit) RaiseFailure(kFailMemory);
}

namespace {

// Data set d simulated into m, as one process simulates it.
void SimulateDataSet(AssemblyModel& m, int d, const SimRunInfo& info) {
  char progress[80];
  m.dataSet = d;
  NewDataSet(m);
  if (m.files) StepFilesNewDataSet(m);
  for (int t = 1; t <= m.steps; t++) {
    snprintf(progress, sizeof progress, "Data set %d of %d: step %d of %d", d, info.dataSets, t,
             m.steps);
    HandleEventInfoWhere2(progress);
    AssemblyStep(m, t);
  }
  Extrapolation(m);
}

// What follows the analysis of a data set, in data-set order: the
// rejections, its block in the results file, its simulated files.
void TakeDataSet(FILE* fp, const AssemblyModel& m, SimAnalysis& a, const SimRunInfo& info) {
  CountRejections(a, info.alpha);
  if (info.keepIntermediate || !info.evaluate) {
    PrintDataSetBlock(fp, m, a);
    fflush(fp);
  }
  if (info.dataSets < 3) WriteSimulatedFiles(m);
}

// Data sets a worker holds at most (one analysed, the others waiting): while
// this process analyses a data set of its own and simulates the next, a
// worker must not run out of work.
constexpr int kHeld = 3;

// A data set analysed elsewhere or earlier, waiting for its turn.
struct PendingDataSet {
  bool ready = false;
  Pack results;
  AssemblyModel outcome;  // for its block and files (empty when not needed)
  bool hasOutcome = false;
  PendingDataSet() = default;
  PendingDataSet(const PendingDataSet&) = delete;
  PendingDataSet& operator=(const PendingDataSet&) = delete;
  ~PendingDataSet() { FreeAssembly(outcome); }
};

// Under an MPI launcher.  The generator stays in one process's order: this
// process simulates every data set in turn, as alone.  A data set then goes
// to a worker that holds fewer than kHeld, with the generator's state at
// the start of its analysis, and this process moves its own generator past
// the draws of that analysis (the permutation lists) without evaluating
// them; when every worker holds kHeld, this process analyses the data set
// itself.
// The results are taken in data-set order whoever analysed them.  A data
// set whose block or files are written later than it was simulated keeps a
// copy of its outcome until then.
void SpreadDataSets(AssemblyModel& m, SimAnalysis& a, const SimRunInfo& info, FILE* fp) {
  {
    Pack job;
    PackSessionState(job);
    for (int v : {m.S, m.N, m.K, m.F, m.P}) Put<int>(job, v);
    PutVector(job, a.predSelect, m.P);
    ClusterOpenJob(kJobDataSets, job.bytes);
  }
  const bool keepOutcome = info.keepIntermediate || !info.evaluate || info.dataSets < 3;
  std::map<int, std::unique_ptr<PendingDataSet>> pending;
  std::vector<int> held(clusterSize, 0);
  int next = 1;  // the next data set to take
  std::vector<char> data;

  auto takeReady = [&] {
    for (auto it = pending.find(next); it != pending.end() && it->second->ready;
         it = pending.find(next)) {
      PendingDataSet& p = *it->second;
      UnpackDataSetResults(p.results, a);
      TakeDataSet(fp, p.hasOutcome ? p.outcome : m, a, info);
      pending.erase(it);
      next++;
    }
  };
  auto receive = [&](int from, int tag) {
    if (tag == kTagFailure) ClusterRaiseFailure(from, data);
    if (tag != kTagResult) return;
    Pack p;
    p.bytes.swap(data);
    const int d = Get<int>(p);
    auto it = pending.find(d);
    if (it == pending.end()) return;
    it->second->results = std::move(p);
    it->second->ready = true;
    held[from]--;
  };
  for (int d = 1; d <= info.dataSets; d++) {
    SimulateDataSet(m, d, info);
    int from = 0, tag = 0;
    while (ClusterTryReceive(-1, &from, &tag, data)) receive(from, tag);
    takeReady();
    int worker = 0;
    for (int w = 1; w < clusterSize; w++)
      if (held[w] < kHeld && (worker == 0 || held[w] < held[worker])) worker = w;
    auto p = std::make_unique<PendingDataSet>();
    if (worker > 0) {
      Pack work;
      Put<int>(work, d);
      const std::vector<char> state = GeneratorState();
      Put<int>(work, static_cast<int>(state.size()));
      PutBytes(work, state.data(), state.size());
      PutMatrix(work, m.S, m.N, m.abund);
      PutMatrix(work, m.N, m.K, m.B);
      PutMatrix(work, m.P, m.S, m.E);
      SkipDataSetDraws(a, m);
      ClusterSend(worker, kTagWork, work.bytes);
      held[worker]++;
    } else {
      AnalyseDataSet(a, m);
      if (d == next && pending.empty()) {
        TakeDataSet(fp, m, a, info);
        next++;
        continue;
      }
      PackDataSetResults(p->results, a);
      p->ready = true;
    }
    if (keepOutcome) {
      CopyDataSetOutcome(m, p->outcome);
      p->hasOutcome = true;
    }
    pending[d] = std::move(p);
  }
  while (next <= info.dataSets) {
    int from = 0, tag = 0;
    ClusterReceive(-1, &from, &tag, data);
    receive(from, tag);
    takeReady();
  }
  ClusterCloseJob();
}

}  // namespace

// The block of each data set goes to the results file as soon as it is
// analysed; the final report comes last.
void RunSimulation(AssemblyModel& m, SimAnalysis& a, const SimRunInfo& settings) {
  SimRunInfo info = settings;
  const double start = omp_get_wtime();
  InitRndNumberGenerator(rseed);
  FILE* fp = SafeCreate(kFinalFile, volumeName);
  if (fp == nullptr) RaiseFailure(kFailOpen);
  if (info.keepIntermediate) m.files = OpenStepFiles(m);
  // One data set alone is analysed here (its permutations may be spread).
  if (info.dataSets >= 2 && ClusterCanSpread()) {
    SpreadDataSets(m, a, info, fp);
  } else {
    for (int d = 1; d <= info.dataSets; d++) {
      SimulateDataSet(m, d, info);
      AnalyseDataSet(a, m);
      TakeDataSet(fp, m, a, info);
    }
  }
  CloseStepFiles(m.files);
  m.files = nullptr;
  info.elapsed = difftime_Clock(start);
  PrintFinalReport(fp, m, a, info);
  CloseChecked(fp, kFinalFile);
}

void IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error() {
  optmain = 'A';
  Menu("SIMULATION OF COMMUNITY ASSEMBLY");
  AssemblyModel m;
  double** envRead = nullptr;

  // 1 - 8: sizes, traits, dispersal, sites, environment, model parameters.
  m.S = AskCount("Specify the number of communities (sites): ");
  m.N = AskCount("Specify the number of OTUs: ");
  m.K = AskCount("Specify the number of traits: ");
  CheckSizes(m);
  AskTraitsSource(m);
  AskCurves(kDispersalTexts, m.N, m.dispersalSpec, &m.dispersal);
  if (AskChar("Specify community site coordinates (c), or generate coordinates at random (r)? "
              "c/r ",
              "c r") == 'c') {
    m.randomCoords = false;
    fprintf(out, "Name of the file with X and Y coordinates for %d sites (2 rows):\n", m.S);
    m.coords = AskMatrix(m.coordFile, 2, m.S);
  }
  AskEnvironment(m, &envRead);
  AskParameters(m);

  // 9 - 13: survival, density, lifespan, age, run.
  AskCurves(kSurvivalTexts, m.N, m.survivalSpec, &m.survival);
  AskCurves(kDensityTexts, m.N, m.densitySpec, &m.density);
  AskLifespan(m);
  AskCurves(kAgeTexts, m.N, m.ageSpec, &m.age);
  AskRun(m);

  // Preparation of what was read: traits and initial environment
  // standardised, the interaction rows formed.
  AllocAssembly(m);
  if (m.traitSource == 't') StandardiseTraits(m, m.traitsGiven);
  if (envRead != nullptr) {
    for (int f = 0; f < m.F; f++)
      for (int s = 0; s < m.S; s++) m.envInitial[f][s] = envRead[f][s];
    free2D(envRead, m.F);
    StandardiseEnvironment(m, m.envInitial);
  }

  // 14 - 16: the functional analysis settings and the evaluation.
  SetSimulationDataSet(m);
  SettingsHierarchy();
  SimAnalysis a;
  AllocSimAnalysis(a, m);
  AskPredictors(m, a.predSelect);
  ListSimTests(a);
  SimRunInfo info;
  // The evaluation needs permutation tests of at least 2 iterations;
  // otherwise one data set is simulated and each rate is 0 or 1 from its
  // probabilities, at alpha 0.05.
  if (optRndTests && niter >= 2 && AskChar("Evaluate type I error or power? y/n ", "y n") == 'y') {
    info.evaluate = true;
    info.dataSets = AskCount("Specify the number of simulated data sets: ");
    fprintf(out, "Specify the alpha threshold for Ho rejection: ");
    info.alpha = ReadNumberIn("%lf\n", "-", 0.0, 1.0);
    info.keepIntermediate = printDetail == 1;
  } else {
    info.keepIntermediate = AskChar("Save intermediate simulation results? y/n ", "y n") == 'y';
  }

  // The simulation belongs to no session: its warnings go to "Warnings.txt",
  // next to its results file, before the data sets are run.
  WarnSimulation(optRndTests && niter >= 2, info.alpha);
  WriteWarningsFileNamed("Warnings.txt");
  RunSimulation(m, a, info);
  KeepLastDataSet(m);
  FreeSimAnalysis(a);
  FreeAssembly(m);
  if (optRestrictPermutNullModel == 1) {
    free1D(nestingMembershipOTUs);
    nestingMembershipOTUs = nullptr;
  }
  ClearLine();
  fprintf(out, "\n\nResults on file %s%s\n", volumeName, kFinalFile);
  Wait();
}

void DataSetsWorker(Pack& payload) {
  UnpackSessionState(payload);
  // The worker's model holds what the analysis reads of a data set.
  AssemblyModel m;
  SimAnalysis a;
  try {
    m.S = Get<int>(payload);
    m.N = Get<int>(payload);
    m.K = Get<int>(payload);
    m.F = Get<int>(payload);
    m.P = Get<int>(payload);
    AllocAssembly(m);
    AllocSimAnalysis(a, m);
    GetVectorInto(payload, a.predSelect, m.P);
    ListSimTests(a);
    std::vector<char> data, state;
    Pack out;
    for (;;) {
      int from = 0, tag = 0;
      ClusterReceive(0, &from, &tag, data);
      if (tag == kTagDone) break;
      if (tag != kTagWork) continue;
      Pack work;
      work.bytes.swap(data);
      const int d = Get<int>(work);
      state.resize(static_cast<size_t>(Get<int>(work)));
      GetBytes(work, state.data(), state.size());
      GetMatrixInto(work, m.S, m.N, m.abund);
      GetMatrixInto(work, m.N, m.K, m.B);
      GetMatrixInto(work, m.P, m.S, m.E);
      SetGeneratorState(state);
      AnalyseDataSet(a, m);
      out.bytes.clear();
      Put<int>(out, d);
      PackDataSetResults(out, a);
      ClusterSend(0, kTagResult, out.bytes);
    }
  } catch (...) {
    FreeSimAnalysis(a);
    FreeAssembly(m);
    throw;
  }
  FreeSimAnalysis(a);
  FreeAssembly(m);
}
