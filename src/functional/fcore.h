// The functional core: what the functional analysis, its permutation tests,
// the trait-subset ranking and the assembly simulation share.
//
// A run of the core has three parts:
// - FcoreInput: the sizes, settings and OTU- and community-level matrices of
//   one run, borrowed from the caller and never modified;
// - FcoreContext: everything derived from them once per run (symmetric
//   copies, the weighted performances and their compressed rows, B with the
//   traits left out of T as 0, the dissimilarities of the Rao entropies, the
//   centred resemblances of the fixed matrices, the analysis-of-variance
//   groups), read-only afterwards;
// - FcoreWorkspace: the community structures T, X, R, P, Rp of one iteration
//   with their resemblance matrices and the scratch of one thread.
// FcoreStructures fills a workspace for an OTU permutation (taxa shuffle;
// none for the observed data), FcoreSiteShuffle for a community permutation,
// and FcoreStatistics computes the statistics of the congruence measure from
// a workspace.  Several threads may use one context at the same time, each
// with its own workspace.
#pragma once

#include "multivariate/congruence.h"
#include "numeric/sparse.h"

#include <vector>

// A copy of the rows x cols matrix M, allocated with at least one column.
double** CopyOf(int rows, int cols, double** M);

// Resemblance DE (communities x communities, full) between the m communities
// described by the q environmental variables of E (m x q) with the given
// variable types.  By the kind of the variable set (optEnvVarType): only
// quantitative variables in the same units, Euclidean distance on the raw
// values; quantitative in different units, only binary, or several types
// without a nominal one, Euclidean distance after each column is
// standardised (CorrAdj, in place in E); otherwise one minus the Gower
// similarity.  Nothing is done when q is 0.
void EnvironmentalDistance(int m, int q, double** E, const int* types, double** DE);

// Positions of the statistics (and of their probabilities).
enum PermStat {
  kStatXE = 0,   // r(XE)
  kStatTE,       // r(TE)
  kStatXE_T,     // r(XE.T)
  kStatRE,       // r(RE)
  kStatXE_TR,    // r(XE.TR)
  kStatTY,       // r(TY)
  kStatTY2,      // r(TY) with Y2
  kStatXY,       // r(XY)
  kStatXY2,      // r(XY) with Y2
  kStatXY_T,     // r(XY_T)
  kStatXY_T2,    // r(XY_T) with Y2
  kStatBF,       // ro(BF)
  kStatFE,       // r(FE)
  kStatPE,       // ro(PE)
  kStatPT,       // ro(PT)
  kStatPX,       // ro(PX)
  kStatPX_T,     // ro(PX.T)
  kStatTE_P,     // ro(TE.P)
  kStatXE_P,     // ro(XE.P)
  kStatXE_TP,    // ro(XE.TP)
  kStatPE_T,     // ro(PE.T)
  kStatPE_X,     // ro(PE.X)
  kStatSpare,
  kStatCount     // 23
};

// How the structures of each iteration are formed: dense products, sums
// over the OTUs present in each community, or the cheaper of the two for the
// sizes and the share of non-zero performances (automatic).  The paths give
// the same values up to rounding.
enum class FcorePath { kAutomatic, kDense, kSparse };

struct FcoreInput {
  int m = 0;          // communities
  int n = 0;          // OTUs
  int p = 0;          // traits (columns of B)
  int g = 0;          // types (columns of U)
  int h = 0;          // taxa (columns of Q)
  int q = 0;          // selected environmental variables (columns of E)
  int nPhylAxes = 0;  // principal coordinates of F
  const int* traitSelect = nullptr;  // per trait, 1 = in T
  const int* weightOTUs = nullptr;   // per OTU
  const int* relSelect = nullptr;    // per community (analysis of variance)
  double** W = nullptr;   // m x n, the copy of W behind T, X, P and the entropies
  double** B = nullptr;   // n x p, masked B
  double** U = nullptr;   // n x g, belonging to types
  double** Q = nullptr;   // n x h, belonging to taxa (phylogeny)
  double** S = nullptr;   // n x n trait similarity (upper triangle read)
  double** F = nullptr;   // n x n phylogenetic resemblance (upper triangle read)
  double** phylScores = nullptr;  // n x nPhylAxes
  double** E = nullptr;   // m x q, selected and standardised
  double** DE = nullptr;  // m x m
  double** Y1 = nullptr;  // m x n, Beals smoothing
  double** Y2 = nullptr;  // m x n, second Beals matrix
  double** DY1 = nullptr;  // m x m
  double** DY2 = nullptr;  // m x m
  int optRo = 1;          // 1 Mantel, 2 Procrustes, 3 RV, 4 regression, 5 analysis of variance
  int reseOpt = 6;        // resemblance between communities for X and P
  double overfitFactor = 2.0;
  bool scaleAdjust = false;
  bool restrictRaoWithin = false;
  bool sqrtRaoTraits = false;
  bool sqrtRaoPhyl = false;
  bool phylogeny = false;      // P, Rp and the phylogenetic statistics
  bool phylIsDissimilarity = false;
  bool twoTailed = true;       // correlations compared by absolute value
  // S is not read after the run: its memory may hold the dissimilarities of
  // the entropies when the run reads S for nothing else.
  bool mayOverwriteS = false;
  FcorePath path = FcorePath::kAutomatic;
  FcorePath entropyPath = FcorePath::kAutomatic;  // the entropies' own (automatic: as path)
};

// Centred strict upper half of a resemblance matrix between communities,
// read row by row: what a matrix correlation needs of each matrix.
struct UpperHalf {
  int m = 0;
  double* raw = nullptr;     // m(m-1)/2 values
  double* dev = nullptr;     // deviations from their mean
  double ss = 0.0;           // sum of squared deviations
  bool missing = false;      // some value is -999
};

struct FcoreContext {
  FcoreInput in;
  bool env = false;        // statistics with E can be formed
  bool phyl = false;       // phylogeny included and given
  bool distances = false;  // the measure reads community resemblance matrices
  int reseCode = 3;        // resemblance code for X and P
  int K = 0;               // columns of T, X and P together: p + g + h
  bool fastT = false;      // T by the dense product (no missing trait value)
  bool fastXP = false;     // X and P by the dense product (no missing performance)
  bool fastRao = false;    // entropies by the dense product
  bool fastRaoPhyl = false;
  bool sparseXP = false;   // T, X and P over the present OTUs (else the dense product)
  bool sparseRao = false;  // entropies over the pairs of present OTUs
  bool gramDistances = false;  // Euclidean distances of X and P from their Gram matrices
  SparseRows wpSparse;       // the non-zero cells of Wp
  SparseRows raoRowsSparse;  // the non-zero cells of raoV
  SparseRows raoColumns;     // the same by OTU
  double** S = nullptr;    // n x n symmetric trait similarity (a copy when ownS;
                           // null when its memory holds raoD)
  double** F = nullptr;    // n x n symmetric F (phylogeny; a copy when ownF)
  bool ownS = false;
  bool ownF = false;
  double** Bsel = nullptr;   // n x p: B, the traits left out of T as 0
  double** U = nullptr;      // n x g: U, one block (a copy when ownU)
  double** Q = nullptr;      // n x h: Q, one block (a copy when ownQ)
  double** ownU = nullptr;
  double** ownQ = nullptr;
  double** Wp = nullptr;     // m x n: weight x W, missing as 0 (W itself unless ownWp)
  bool ownWp = false;
  double* divisor = nullptr;  // m: scale adjustment of the products (1: none)
  int raoRows = 1;           // abundance rows per community of the entropies
  double** raoV = nullptr;   // (raoRows m) x n: relative abundances, weighted (dense entropies)
  double** raoD = nullptr;   // n x n: dissimilarities of S (in S itself unless ownRaoD)
  bool ownRaoD = false;
  double** raoDp = nullptr;  // n x n: dissimilarities of F (F itself unless ownRaoDp)
  bool ownRaoDp = false;
  double* raoScale = nullptr;  // m: divisor of the adjusted entropy (1: none)
  bool* raoNone = nullptr;     // m: community without abundance (entropy 0)
  double** Bn = nullptr;       // n x p, column-normalised B
  UpperHalf de, dy1, dy2;      // fixed resemblances between communities
  // Procrustes and RV: the principal components of the observed T, X and P
  // that partial coefficients remove, and E's residuals on them, set once
  // from the observed structures (FcoreSetObserved).
  bool observedSet = false;
  CovariateBasis baseT, baseX, baseP;
  double** EresT = nullptr;  // m x q
  double** EresX = nullptr;
  double** EresP = nullptr;
  int** groups = nullptr;      // q x m: group of each community per factor
  int** included = nullptr;    // q x m
  // Layout of the flat statistics vector: the 23 statistics, then the
  // regression block (per response r-square then one coefficient per
  // factor), then the analysis-of-variance block (T, each trait, X, P, R, Rp;
  // each per factor).
  int regBase = kStatCount;
  int anovaBase = kStatCount;
  int total = kStatCount;
};

struct FcoreWorkspace {
  double** T = nullptr;    // m x p, column-normalised
  double** X = nullptr;    // m x g
  double** R = nullptr;    // m x 1, functional Rao entropy
  double** P = nullptr;    // m x h
  double** Rp = nullptr;   // m x 1, phylogenetic Rao entropy
  double** DT = nullptr;   // m x m resemblances (measures 1 and 5)
  double** DX = nullptr;
  double** DR = nullptr;
  double** DP = nullptr;
  double** DRp = nullptr;
  UpperHalf uT, uX, uR, uP, uRp;
  // Scratch of one thread.
  int* rowOf = nullptr;      // the row of B, U and Q each present performance reads
  QuadraticScratch quadraticScratch;  // the entropies over pairs of present OTUs
  std::vector<double> quadratic;      // their quadratic forms
  double** Ws = nullptr;     // m x n: Wp with its columns permuted (dense products)
  double** Vs = nullptr;     // (raoRows m) x n
  double** H = nullptr;      // (raoRows m) x n
  double** Hp = nullptr;     // (raoRows m) x n (phylogeny)
  double** Brnd = nullptr;   // n x p, U and Q permuted (missing-value products)
  double** Urnd = nullptr;
  double** Qrnd = nullptr;
  double** Srnd = nullptr;   // n x n (entropies with missing values)
  double** Frnd = nullptr;
  double** work = nullptr;   // m x max(p, g, h): chord distance rows
  double** Xt = nullptr;     // max(p, g, h) x m: transposed rows of a distance
  double** Dk = nullptr;     // m x m: distance on one trait
  const int* otuList = nullptr;  // the OTU permutation of the structures (null: none)
  double** BnRnd = nullptr;  // n x p
  double** Z = nullptr;       // m x (p + 1 + h): covariates of a partial coefficient
  double** RA = nullptr;      // m x max(p, g, h, q): residuals
  double** RB = nullptr;      // m x max(n, q, h): residuals
  double** regY = nullptr;   // regression work
  double** regE = nullptr;
  double** regB = nullptr;
  double** regYhat = nullptr;
  double* regB0 = nullptr;
  double* regR2 = nullptr;
  double* regSS = nullptr;
  int* regResponse = nullptr;
  double rXT = 0.0;          // ro(XT) of the last statistics
};

// Builds the context; the input is copied, its matrices borrowed.
void FcoreBuild(const FcoreInput& in, FcoreContext& ctx);
void FcoreRelease(FcoreContext& ctx);
FcoreWorkspace* FcoreNewWorkspace(const FcoreContext& ctx);
void FcoreFreeWorkspace(const FcoreContext& ctx, FcoreWorkspace* ws);

// Derives from the observed structures (obs) what every iteration reuses:
// called once, after the observed statistics and before the permutations.
void FcoreSetObserved(FcoreContext& ctx, const FcoreWorkspace& obs);

// The structures of the communities with the OTUs permuted: OTU i takes the
// traits, belongings and resemblances of OTU list[i] - 1 (list null: the
// observed data).
void FcoreStructures(const FcoreContext& ctx, const int* list, FcoreWorkspace& ws);
// The observed structures with the communities permuted: community c takes
// the rows of community list[c] - 1.
void FcoreSiteShuffle(const FcoreContext& ctx, const FcoreWorkspace& obs, const int* list,
                      FcoreWorkspace& ws);
// The statistics of the congruence measure (ctx.total values, those not
// formed 0).  obs holds the observed structures (ws itself for the observed
// iteration).  intercept (may be null) receives the regression intercepts.
void FcoreStatistics(const FcoreContext& ctx, const FcoreWorkspace& obs, FcoreWorkspace& ws,
                     const int* tested, double* vals, double* intercept);
// Which statistics a run forms and how each is compared with its observed
// value (absolute values for two-tailed correlations, partial correlations
// and regression coefficients).
void FcoreStatisticKinds(const FcoreContext& ctx, bool haveY1, bool haveY2, int* tested,
                         int* absolute);

// Euclidean distance between the rows of X (m x p) over the variables where
// neither value is missing, serial; D full.
void FcoreEuclidean(int m, int p, double** X, double** D);
// Resemblance between communities for X and P by the code of the
// resemblance option (serial), D full.
void FcoreCommunityResemblance(int m, int cols, double** X, double** D, int code, double** work);
