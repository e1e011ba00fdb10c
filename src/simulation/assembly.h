// Community assembly with environmental feedback: the individual-based model
// behind the assembly simulation (main-menu option A).
//
// S sites hold individuals of N OTUs described by K traits; F ecosystem
// factors (P predictors with their pairwise products) set the community
// trait means expected at each site, OTUs survive by how closely their
// traits match them, and the communities change the factors in return.
// Every random draw comes from the program-wide generator, in a fixed order,
// so that a seed gives one history.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// ymin + (ymax - ymin) / (1 + exp(((x - xmin) - (xmax - xmin) center)
// (-4 slope / (ymax - ymin)))): a curve from ymax to ymin (negative slope)
// whose center of antisymmetry lies at the fraction center of the x range
// and whose tangent there has the given slope.
double Logistic(double x, double xmin, double xmax, double ymin, double ymax, double slope,
                double center);

// The slope at which the curve on 0..1 with the given center falls from
// 0.999 at 0 to 0.001 at 1: min(-ln 999 / (4 c), ln 999 / (4 (c - 1))).
double LogisticSlopeBound(double center);

// Where one set of per-OTU logistic parameters (center, slope) comes from:
// a file, or uniform draws within the given ranges for every data set.
struct CurveSpec {
  bool random = false;
  double centerMin = 0.0, centerMax = 0.0;
  double slopeMin = 0.0, slopeMax = 0.0;
  std::string file;  // the parameter file when not random
};

struct StepFiles;  // intermediate results, written at every step when kept

// Settings, parameters and state of one simulation.  Matrices are
// row-pointer matrices (QELib/qelibDim.h).
struct AssemblyModel {
  // ---- sizes ----
  int S = 0;  // sites (communities)
  int N = 0;  // OTUs
  int K = 0;  // traits
  int F = 0;  // ecosystem factors
  int P = 0;  // predictors: F, or F + F(F-1)/2 with double interactions
  bool interactions = false;

  // ---- where the inputs come from ----
  int traitSource = 't';      // 't' given matrix, 'c' trait correlations, 'b' also OTU ones
  int traitDistribution = 2;  // CorrToData_New code: 1 uniform, 2 normal
  int envSource = 'e';        // 'e' given initial conditions, 'c' factor correlations
  int envDistribution = 2;
  bool randomCoords = true;
  CurveSpec dispersalSpec, survivalSpec, densitySpec, ageSpec;
  bool randomLifespan = false;
  int lifeMin = 1, lifeMax = 1;
  std::string traitFile, traitCorrFile, otuCorrFile, coordFile, envFile, envCorrFile;
  std::string responseFile, effectFile, lifespanFile;

  // ---- run settings ----
  int maxAvg = 1;  // maximum average number of individuals per community
  int years = 1;
  int perYear = 1;         // iterations (cycles of colonization and extinction) per year
  int steps = 1;           // years x perYear
  double threshold = 0.0;  // proportion after which richness and turnover are recorded

  // ---- inputs kept between data sets ----
  double** traitsGiven = nullptr;  // N x K raw traits ('t')
  double** traitCorr = nullptr;    // K x K
  double** otuCorr = nullptr;      // N x N ('b')
  double** envInitial = nullptr;   // P x S initial E, standardised ('e')
  double** envCorr = nullptr;      // F x F ('c')
  double** response = nullptr;     // K x P response parameters
  double** effect = nullptr;       // F x K effect parameters
  int* responsive = nullptr;       // K: 1 when any response parameter is non-zero

  // ---- per data set ----
  double** coords = nullptr;     // 2 x S: X row, Y row
  double** siteDist = nullptr;   // S x S, scaled to a maximum of 1
  double** dispersal = nullptr;  // N x 2 (center, slope) of each logistic curve
  double** survival = nullptr;
  double** density = nullptr;
  double** age = nullptr;
  int* lifespan = nullptr;      // N, years
  double** B = nullptr;         // N x K traits, Z scores
  double* traitMean = nullptr;  // K: of the traits before standardisation
  double* traitSd = nullptr;
  double* traitMin = nullptr;  // K: of the standardised traits
  double* traitMax = nullptr;
  double** E = nullptr;  // P x S environment

  // ---- state ----
  int** abund = nullptr;                 // (S + 1) x N; row S holds the metacommunity totals
  std::vector<std::vector<int>> births;  // S * N lists of birth steps, arrival order
  long long** birthSum = nullptr;        // (S + 1) x (N + 1) sums of birth steps (column N: site)
  int* individuals = nullptr;            // S
  int* richStart = nullptr;              // S: richness when recording started
  int* colonizations = nullptr;          // S
  int* extinctions = nullptr;            // S
  long long total = 0;                   // individuals in the metacommunity
  bool recording = false;
  int recordStep = 0;  // step at which recording started (0: never)

  // ---- step results ----
  double** Texp = nullptr;     // K x S expected trait means, Z scores
  double** dist = nullptr;     // S x N trait distances, capped and scaled
  double** pEnv = nullptr;     // S x N environmental survival probability
  double** cwm = nullptr;      // K x S community weighted means of this step
  double** cwmPrev = nullptr;  // K x S of the previous step
  double** rel = nullptr;      // S x N relative abundances
  double** extrap = nullptr;   // K x S extrapolation of the expected means

  StepFiles* files = nullptr;  // intermediate results, null unless kept
  int dataSet = 0;             // number of the data set being simulated (from 1)
};

// Allocates every array of the model for its sizes (S, N, K, F, P), zero.
void AllocAssembly(AssemblyModel& m);
void FreeAssembly(AssemblyModel& m);
// The outcome of the data set just simulated, as the printout of a data set
// reads it (settings, traits, parameters, coordinates, final state, final
// step's means), in arrays of its own; the rest of `to` is empty.  Whatever
// `to` held is released first; FreeAssembly releases the copy.
void CopyDataSetOutcome(const AssemblyModel& from, AssemblyModel& to);

// Traits: raw (N x K) to Z scores per trait in m.B, keeping the means,
// standard deviations (MeanStDev) and the extremes of the Z scores.
void StandardiseTraits(AssemblyModel& m, double** raw);
// E (P x S): its F factor rows to Z scores across sites, then the products
// of factor pairs (i < j, in row order) into rows F .. P-1.
void StandardiseEnvironment(const AssemblyModel& m, double** E);
void InteractionRows(const AssemblyModel& m, double** E);

// Draws the N x 2 parameters of a random curve set.
void DrawCurves(int N, const CurveSpec& curve, double** curves);

// A correlation matrix that is not positive definite leaves nothing to
// generate: after a message naming the file the work is abandoned with
// failure code kFailReported, which ends the process with status 1 and
// nothing more on screen.
bool IsPositiveDefinite(int p, double** R);
[[noreturn]] void NotPositiveDefinite(const std::string& file);

// Everything drawn anew for a data set (traits from correlations, random
// parameters and coordinates, site distances, environment), then a clear
// state.  Ends the process when a correlation matrix is not positive
// definite.
void NewDataSet(AssemblyModel& m);
// Clears abundances, birth lists and counters; recording off.
void ClearAssemblyState(AssemblyModel& m);

// One step t (1 .. steps): expected means, distances and survival
// probabilities, recording start, colonization, mortality, feedback, and
// the intermediate results when kept.
void AssemblyStep(AssemblyModel& m, int t);
// The parts of a step, in their order.
void ExpectedTraitMeans(AssemblyModel& m);
void TraitDistances(AssemblyModel& m);
void SurvivalProbabilities(AssemblyModel& m);
void StartRecording(AssemblyModel& m, int t);
void Colonization(AssemblyModel& m, int t);
void Mortality(AssemblyModel& m, int t);
void EnvironmentalFeedback(AssemblyModel& m, int t);
// After the last step: how far each expected mean lies outside the range of
// the standardised trait (0 inside).
void Extrapolation(AssemblyModel& m);

// Mean birth step of the individuals of OTU j at site s; s = S gives the
// metacommunity, j = N the whole site.  0 when there is none.
double MeanBirthStep(const AssemblyModel& m, int s, int j);
// Average age in years at step t of OTU j at site s (0 where absent).
double AverageAge(const AssemblyModel& m, int s, int j, int t);
// Final richness of site s (OTUs with individuals).
int Richness(const AssemblyModel& m, int s);

// Label of predictor p: "i" for factor i, "ixj" for the product of factors
// i and j (counted from 1).
void PredictorLabel(const AssemblyModel& m, int p, char* label, int size);
// Every predictor label, each followed by the separator.
void PrintPredictorLabels(FILE* fp, const AssemblyModel& m, const char* separator);
