// Analysis of each simulated data set with the permutation tests of the
// functional analysis, and the counting of rejections of the null
// hypotheses over the data sets.
#pragma once

#include <vector>

struct AssemblyModel;
struct PermTest_FunctionalPhyl_Correl_Input;

// One test whose rejections are counted: which probability of the
// permutation-test record it reads.
struct SimTest {
  enum Kind { kCorrelation, kRSquare, kCoefficient, kAnovaT, kAnovaTrait, kAnovaX, kAnovaR };
  Kind kind;
  int index;   // statistic (kCorrelation), response (regression) or trait
  int factor;  // selected predictor (regression coefficients, analyses of variance)
};

// Working matrices of the analysis, allocated once for all data sets.
struct SimAnalysis {
  int S = 0, N = 0, K = 0, P = 0;
  int q = 0;                   // selected predictors
  int* predSelect = nullptr;   // P: 1 = predictor used
  int* traitSelect = nullptr;  // K: 1 = trait weight > 0
  int* eSel = nullptr;         // q ones: the record's E holds the selected predictors only
  int* traitTypes = nullptr;   // K, all quantitative
  double** Bm = nullptr;       // N x K traits, unselected ones 0
  double** Bw = nullptr;       // N x K work copy
  double** Sg = nullptr;       // N x N Gower similarity between OTUs
  double** U = nullptr;        // N x N belonging of the OTUs to themselves
  double** Wrel = nullptr;     // S x N final relative abundances
  double** Y = nullptr;        // S x N Beals smoothing, mode 1
  double** Z = nullptr;        // S x N Beals smoothing, mode 2
  double** DY = nullptr;       // S x S
  double** DZ = nullptr;
  double** E = nullptr;       // S x q selected predictors
  double** DE = nullptr;      // S x S
  double* column = nullptr;   // S work
  double* classes = nullptr;  // S work
  PermTest_FunctionalPhyl_Correl_Input* rec = nullptr;
  std::vector<SimTest> tests;
  std::vector<long long> rejections;  // per test
};

// Allocates the analysis for the model's sizes and the current settings
// (opt_ro, weights); predSelect must be filled by the caller before the
// tests are listed by ListSimTests.
void AllocSimAnalysis(SimAnalysis& a, const AssemblyModel& m);
void ListSimTests(SimAnalysis& a);
void FreeSimAnalysis(SimAnalysis& a);

// Fills the permutation-test record from the model's final state and runs
// the tests with the current settings.
void AnalyseDataSet(SimAnalysis& a, const AssemblyModel& m);

// What AnalyseDataSet draws from the program-wide generator, drawn without
// analysing anything: the generator then stands where the analysis would
// have left it (the data set is analysed by another process).
void SkipDataSetDraws(SimAnalysis& a, const AssemblyModel& m);
// The record's results after AnalyseDataSet, for another process, and
// back into the record.
struct Pack;
void PackDataSetResults(Pack& p, SimAnalysis& a);
void UnpackDataSetResults(Pack& p, SimAnalysis& a);

// The probability of a test in the record after AnalyseDataSet.
double TestProbability(const SimAnalysis& a, const SimTest& t);
// H0 is rejected when the probability is below alpha or equal to it within
// one unit in the last place.
bool RejectsHo(double probability, double alpha);
// Adds the rejections of the data set just analysed.
void CountRejections(SimAnalysis& a, double alpha);
