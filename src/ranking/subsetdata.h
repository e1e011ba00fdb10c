// The data of one ranking run and the per-subset building blocks.
//
// Everything that does not depend on the trait subset is prepared once
// (RankData): the environmental resemblance and its side of the matrix
// correlations, the working copies of W, the normalised community-weighted
// mean of every trait, and the per-trait planes from which the community
// distances DT and the similarities S between OTUs of any subset are summed.
// Each thread owns a RankWork with its working matrices, allocated once, and
// keeps the running sums of the planes of the subset it evaluated last, so
// that the next subset of the lexicographic order only adds the planes of
// the positions that changed.  The planes are added in ascending trait
// order, the order of a direct computation, so every digit equals that of a
// direct computation over the subset's traits.
#pragma once

#include <utility>
#include <vector>

// ---- strict upper halves of resemblance matrices ----

// Pairs (i, j), i < j, of m objects, in row order: the order in which the
// matrix correlation reads them.
inline long NPairs(int m) { return m > 1 ? static_cast<long>(m) * (m - 1) / 2 : 0; }
void ToPairs(int m, double** D, double* pairs);
// Full symmetric matrix from the pairs, diagonal 0.
void FromPairs(int m, const double* pairs, double** D);

// The matrix correlation (MatrixCorr) of two halves held as pairs.
// The same between two resemblance matrices of m communities: with two
// communities the two-community rule, with fewer 0 (CommunityMatrixCorr).
double PairCommunityCorr(int m, const double* a, const double* b);

// One side of the matrix correlations that stays fixed during the search
// (DE, DZ, DP): its pairs, the pairs taken (not -999), their count, mean,
// deviations and sum of squared deviations, formed once as MatrixCorr forms
// them.  The other side is a distance between communities, never -999.
struct FixedSide {
  int m = 0;
  std::vector<double> a;
  std::vector<double> dev;
  std::vector<char> use;
  bool anyMissing = false;
  long count = 0;
  double mean = 0.0;
  double ss = 0.0;
};
void FixSide(int m, double** D, FixedSide& f);
// MatrixCorr(f, b), digit for digit.
double FixedCorr(const FixedSide& f, const double* b);
// CommunityMatrixCorr(f, b): the two-community rule with two communities.
double FixedCommunityCorr(const FixedSide& f, const double* b);
// FixedCommunityCorr of `count` (at most kSubsetBatch) other sides at once:
// each sum runs over the pairs in the same order as alone, the sums of the
// different sides side by side.
constexpr int kSubsetBatch = 4;
void FixedCommunityCorrBatch(const FixedSide& f, int count, const double* const* b, double* r);

// Resemblance between the rows of X (rows x cols) for rese_opt 6 to 10, into
// pairs, on the calling thread (NominalReseNonHier divides its rows among
// threads), each pair's sum over the variables in order.  work (rows x cols)
// holds the normalised rows of the chord distance, columns a copy of the
// columns.
void PairDistances(int rows, int cols, double** X, int reseOpt, double* out, double** work,
                   std::vector<double>& columns);

// ---- allocations released together ----
struct MatrixPool {
  std::vector<std::pair<double**, int>> matrices;
  std::vector<void*> vectors;
  double** Mat(int rows, int cols);
  int* IntVec(int n);
  double* Vec(int n);
  MatrixPool() = default;
  MatrixPool(const MatrixPool&) = delete;
  MatrixPool& operator=(const MatrixPool&) = delete;
  ~MatrixPool();
};

// ---- the data of one run ----

// What a criterion needs prepared.
struct RankNeeds {
  bool environment = false;  // E, DE
  bool traitMeans = false;   // T of every trait and the DT planes
  bool similarities = false; // partial similarity planes, types, U, X
  bool rao = false;          // functional Rao entropy of the communities
  int reseX = 6;             // resemblance between communities on X (rese_opt)
  bool distX = false;        // DX needed
  int beals = 0;             // Beals smoothing of W with this mode (1 or 2), 0 none
  bool pooledW = false;      // W pooled into the types (dark diversity)
  bool phylogeny = false;    // F, Q, P and DP
  int reseP = 6;             // resemblance between communities on P
};

struct RankData {
  MatrixPool pool;
  RankNeeds needs;
  int m = 0;  // communities
  int n = 0;  // OTUs
  int p = 0;  // traits
  int q = 0;  // selected environmental variables
  long npm = 0, npn = 0;  // pairs of communities, of OTUs

  // Environment: the selected variables (standardised as DE requires), DE.
  double** E = nullptr;
  int* eTypes = nullptr;
  double** DE = nullptr;
  FixedSide de;

  // Working copies of W, communities x OTUs.
  double** Wtcap = nullptr;
  double** Wtdap = nullptr;
  // The non-zero, non-missing cells of each TDAP row (OTU, value), whether the
  // row holds a missing cell, and the relative abundances of the non-zero
  // cells (value / row total over non-missing cells) for Rao entropy.
  std::vector<std::vector<std::pair<int, double>>> occupied;
  std::vector<std::vector<std::pair<int, double>>> relative;
  std::vector<char> rowMissing;

  // Traits.
  double** B = nullptr;        // OTUs x traits as stored
  double** Bmasked = nullptr;  // columns of weight not > 0 set to 0
  int* positive = nullptr;     // 1 when the trait weight is > 0
  double** Traw = nullptr;     // communities x traits: community-weighted means
  double** Tn = nullptr;       // the same, every column to unit length
  std::vector<double> dtPlanes;  // per trait: squared differences of Tn
  std::vector<double> sNum;      // per trait: partial similarity (0 when -999)
  std::vector<double> sCnt;      // per trait: 1 when comparable (held only when
  bool sCounts = false;          // some partial similarity is -999)

  // Types of OTUs: the user's partition.
  int g = 0;               // number of types
  bool level = false;      // the one partition level is evaluated (g >= 2)
  int* typeOf = nullptr;   // column of each OTU's type
  int* typeLabel = nullptr;
  int* typeSize = nullptr; // OTUs of each type
  std::vector<std::vector<int>> members;  // OTUs of each type, ascending
  double** C = nullptr;    // crisp belonging, n x g
  bool fuzzyTypes = false;
  // Crisp belonging: X and DX do not depend on the subset.
  double** Xcrisp = nullptr;
  std::vector<double> dxCrisp;

  // Beals smoothing of the TDAP copy (Z with mode 2, Y with mode 1), its
  // resemblance between communities and that side of the correlations.
  double** Z = nullptr;
  double** DZ = nullptr;
  FixedSide dz;
  // W pooled into the types (communities x types).
  double** Wpooled = nullptr;

  // Phylogeny: F (OTUs x OTUs), belonging of OTUs to taxa Q, composition P
  // (communities x taxa), DP and that side of the correlations.
  int h = 0;
  bool phylIsDissimilarity = false;
  double** F = nullptr;
  double** Q = nullptr;
  double** P = nullptr;
  double** DP = nullptr;
  FixedSide dp;

  RankData() = default;
  RankData(const RankData&) = delete;
  RankData& operator=(const RankData&) = delete;
};

// Prepares what the criterion needs from the community data set and the
// settings of the dialog (weights, partition, fuzzy, rese_opt).
void PrepareRankData(RankData& d, const RankNeeds& needs);

// ---- per-thread work ----
struct RankWork {
  MatrixPool pool;
  // Running sums: position t holds the sum of the planes of the first t + 1
  // traits of the subset last evaluated (prev).
  std::vector<int> prevT, prevS;
  int depthT = 0, depthS = 0;
  std::vector<double> dtSum, sNumSum, sCntSum;
  std::vector<double> dt;  // DT pairs of the subset
  std::vector<double> dtBatch;  // DT pairs of up to kSubsetBatch subsets
  double** T = nullptr;    // communities x traits: the subset's columns of Tn
  int* sel = nullptr;      // subset selection vector
  double** S = nullptr;    // OTUs x OTUs
  double** U = nullptr;    // OTUs x types
  double** X = nullptr;    // communities x types
  double** work = nullptr; // communities x types (chord distance)
  std::vector<double> columns;
  std::vector<double> dx;
  std::vector<int> duplicateOf, size;
  // Rao entropy.
  double** dis = nullptr;  // OTUs x OTUs dissimilarity used by Rao entropy
  double** R = nullptr;    // communities x 1
  std::vector<double> dr;
  // Dark diversity.
  double** D = nullptr;    // communities x 1
  std::vector<double> ds;
  RankWork() = default;
  RankWork(const RankWork&) = delete;
  RankWork& operator=(const RankWork&) = delete;
};
void InitRankWork(const RankData& d, RankWork& w);

// The steps of one subset, given as its trait indices from 0, ascending.
// Selection vector (w.sel) and the subset's T columns (w.T).
void SubsetT(const RankData& d, RankWork& w, const int* traits, int k);
// DT into w.dt (or into out, npm values).
void SubsetDT(const RankData& d, RankWork& w, const int* traits, int k);
void SubsetDT(const RankData& d, RankWork& w, const int* traits, int k, double* out);
// S (full, symmetric) into w.S.
void SubsetS(const RankData& d, RankWork& w, const int* traits, int k);
// U from w.S (fuzzy) or C, then X and, when asked, DX.  With crisp belonging
// X and DX are those prepared once.
void SubsetX(const RankData& d, RankWork& w);
// Functional Rao entropy of each community from w.S into w.R, DR into w.dr.
void SubsetRao(const RankData& d, RankWork& w);
// Dark diversity of each community (deviation between the relative
// composition of X and of W pooled into the types) into w.D, DS into w.ds.
void SubsetDarkDiversity(const RankData& d, RankWork& w);
// The X and DX of the subset (prepared ones with crisp belonging).
double** SubsetXMatrix(const RankData& d, const RankWork& w);
const double* SubsetDXPairs(const RankData& d, const RankWork& w);

// Fuzzy belonging of n OTUs to g types from the symmetric similarity S, with
// the arithmetic of FuzzyBelonging, in buffers each thread of the search
// prepares once (FuzzyBelonging allocates its own at every call).
void FuzzyBelongingSerial(int n, int g, double** S, const int* typeOf,
                          const std::vector<std::vector<int>>& members, double** U,
                          bool isDissimilarity, int* duplicateOf, int* size);
