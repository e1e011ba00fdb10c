// Permutation tests of the functional and phylogenetic correlations.
//
// The observed community structures (T, X, R, P, Rp) are computed once, the
// statistics of the chosen congruence measure are formed from them, and each
// permutation recomputes the structures under the null model and counts the
// random statistics at least as large as the observed ones.
#include "functional/permtest.h"

#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "QELib/qelibDim.h"
#include "functional/traits.h"
#include "multivariate/cluster.h"
#include "multivariate/congruence.h"
#include "multivariate/random.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "numeric/stats.h"
#include "shell/console.h"

namespace {

const char* const kStatName[kStatCount] = {
    "ro(XE)",   "ro(TE)",   "ro(XE.T)", "ro(RE)",  "ro(XE.TR)", "ro(TY)",   "ro(TY2)", "ro(XY)",
    "ro(XY2)",  "ro(XY_T)", "ro(XY_T2)", "ro(BF)", "ro(FE)",    "ro(PE)",   "ro(PT)",  "ro(PX)",
    "ro(PX.T)", "ro(TE.P)", "ro(XE.P)", "ro(XE.TP)", "ro(PE.T)", "ro(PE.X)", "spare"};

// Every matrix and vector of one run, released together (also when a failure
// abandons the run).
struct Arena {
  std::vector<std::pair<double**, int>> matrices;
  std::vector<std::pair<int**, int>> intMatrices;
  std::vector<void*> vectors;
  double** Mat(int rows, int cols) {
    double** m = dim2Double(rows, cols);
    matrices.emplace_back(m, rows);
    return m;
  }
  int** IntMat(int rows, int cols) {
    int** m = dim2Dint(rows, cols);
    intMatrices.emplace_back(m, rows);
    return m;
  }
  double* Vec(int n) {
    double* v = dim1Double(n);
    vectors.push_back(v);
    return v;
  }
  int* IntVec(int n) {
    int* v = dim1Dint(n);
    vectors.push_back(v);
    return v;
  }
  Arena() = default;
  Arena(const Arena&) = delete;
  Arena& operator=(const Arena&) = delete;
  ~Arena() {
    for (auto& m : matrices) free2D(m.first, m.second);
    for (auto& m : intMatrices) free2D(m.first, m.second);
    for (void* v : vectors) free1D(v);
  }
};

// The community structures of one iteration and the OTU-level matrices that
// ro(BF) reads.
struct Structures {
  double** T = nullptr;   // communities x traits, column-normalised
  double** X = nullptr;   // communities x types
  double** R = nullptr;   // communities x 1, functional Rao entropy
  double** P = nullptr;   // communities x taxa
  double** Rp = nullptr;  // communities x 1, phylogenetic Rao entropy
  double** DT = nullptr;
  double** DX = nullptr;
  double** DR = nullptr;
  double** DP = nullptr;
  double** DRp = nullptr;
  double** S = nullptr;   // OTUs x OTUs trait similarity
  double** Bn = nullptr;  // OTUs x traits, column-normalised B
};

// Derived sizes and switches of one run.
struct Run {
  PermTest_FunctionalPhyl_Correl_Input* in;
  int m;      // communities
  int n;      // OTUs
  int nch;    // traits
  int nEnv;   // selected environmental variables
  bool env;   // statistics with E can be formed
  bool phyl;  // phylogeny included
  bool distances;  // the measure works on community distance matrices
  int reseCode;    // ResemblanceLib code for X and P
  // Layout of the flat result vector: the 23 statistics, then the regression
  // block (per response: r-square, then one coefficient per factor), then the
  // analysis-of-variance block (T, each trait, X, P, R, Rp; each per factor).
  int regBase = 0, anovaBase = 0, total = kStatCount;
  int** groups = nullptr;    // factor x community: group of the community
  int** included = nullptr;  // factor x community: community takes part
  double** Dk = nullptr;     // work: distance on one trait
  // Regression work.
  double** regY = nullptr;
  double** regE = nullptr;
  double** regB = nullptr;
  double** regYhat = nullptr;
  double* regB0 = nullptr;
  double* regR2 = nullptr;
  double* regSS = nullptr;
  int* regResponse = nullptr;
};

// A covariate of a partial Procrustes or RV coefficient.
struct Block {
  int cols;
  const int* select;
  double** M;
};

// Community-level resemblance for X and P.  The options without a measure
// of their own (7 relative Euclidean distance, 9 relative absolute value
// function) take the plain distance, as the resemblance between communities
// of the scaling-up analysis does; any other such option takes the Euclidean
// distance so that no unfilled matrix is ever read.
int CommunityReseCode(int reseOpt) {
  int code = TranslateReseOpt_QUILTA_VARIMO(reseOpt);
  if (code != 0) return code;
  return reseOpt == 9 ? 2 : 3;
}

void Mirror(int n, double** D) {
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) D[j][i] = D[i][j];
}

void Distances(const Run& run, Structures& s) {
  const int m = run.m;
  ResemblanceLib(m, run.nch, s.T, s.DT, 1, 3, 0, nullptr, 0, 0, 0, false);
  ResemblanceLib(m, run.in->nTypes, s.X, s.DX, 1, run.reseCode, 0, nullptr, 0, 0, 0, false);
  AbsValFunctionMV(m, 1, s.R, s.DR);
  Mirror(m, s.DR);
  if (run.phyl) {
    ResemblanceLib(m, run.in->nTaxa, s.P, s.DP, 1, run.reseCode, 0, nullptr, 0, 0, 0, false);
    AbsValFunctionMV(m, 1, s.Rp, s.DRp);
    Mirror(m, s.DRp);
  }
}

// T, X, R (and P, Rp) of the communities from the OTU-level matrices given.
void StructuresFromOTUs(const Run& run, double** B, double** U, double** S, double** Q,
                        double** F, Structures& s) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  const int m = run.m, n = run.n;
  MatrixProdSelectMV_Adjust_Weight(m, n, n, run.nch, in->W, B, s.T, in->traitSelect,
                                   in->weight_OTUs, in->scaleAdjust);
  NormalizeCols(m, run.nch, s.T, s.T);
  MatrixProdMV_Weight(m, n, n, in->nTypes, in->W, U, s.X, in->weight_OTUs, in->scaleAdjust);
  for (int c = 0; c < m; c++)
    s.R[c][0] = RaoIndex_Weight(n, in->W[c], S, false, in->sqrtDissimOpt_RaoTraits,
                                in->weight_OTUs, in->restrictRaoWithinOpt, in->scaleAdjust);
  if (run.phyl) {
    MatrixProdMV_Weight(m, n, n, in->nTaxa, in->W, Q, s.P, in->weight_OTUs, in->scaleAdjust);
    for (int c = 0; c < m; c++)
      s.Rp[c][0] = RaoIndex_Weight(n, in->W[c], F, in->phylIsDissimilarity,
                                   in->sqrtDissimOpt_RaoPhyl, in->weight_OTUs,
                                   in->restrictRaoWithinOpt, in->scaleAdjust);
  }
  if (run.distances) Distances(run, s);
}

void CopyRows(int rows, int cols, double** from, const int* list, double** to) {
  for (int i = 0; i < rows; i++) memcpy(to[i], from[list[i] - 1], sizeof(double) * cols);
}

// Site shuffle: the community rows of the observed structures are permuted.
void PermuteCommunities(const Run& run, const Structures& obs, const int* list, Structures& rnd) {
  const int m = run.m;
  CopyRows(m, run.nch, obs.T, list, rnd.T);
  CopyRows(m, run.in->nTypes, obs.X, list, rnd.X);
  CopyRows(m, 1, obs.R, list, rnd.R);
  if (run.phyl) {
    CopyRows(m, run.in->nTaxa, obs.P, list, rnd.P);
    CopyRows(m, 1, obs.Rp, list, rnd.Rp);
  }
  if (run.distances) Distances(run, rnd);
}

// ---- statistics -----------------------------------------------------------

// Matrix correlation of two community distance matrices; with two
// communities the single distances are compared directly, with fewer there is
// nothing to correlate.
double Mantel(int m, double** A, double** B) {
  if (m < 2) return 0.0;
  if (m == 2) return TwoCommunityCorr(A[0][1], B[0][1]);
  return MatrixCorr(m, A, B);
}

double Coef(const Run& run, int rows, const Block& a, const Block& b) {
  if (run.in->opt_ro == 2) return ProcrustesCoeff(rows, a.cols, b.cols, a.M, b.M);
  return RVcoeff(rows, a.cols, b.cols, a.M, b.M);
}

double Partial(const Run& run, const Block& a, const Block& b, const Block& z) {
  return PartialMatrixCorrelation(run.m, a.cols, b.cols, a.M, b.M, run.in->opt_ro,
                                  run.in->overfitFactorPCARegr, 1, z.cols, z.select, z.M);
}

double Partial(const Run& run, const Block& a, const Block& b, const Block& z1, const Block& z2) {
  return PartialMatrixCorrelation(run.m, a.cols, b.cols, a.M, b.M, run.in->opt_ro,
                                  run.in->overfitFactorPCARegr, 2, z1.cols, z1.select, z1.M,
                                  z2.cols, z2.select, z2.M);
}

// Which statistics a run forms, and how each is compared with its observed
// value: correlations by the tails setting, partial correlations always by
// their absolute values.
void StatisticKinds(const Run& run, int* tested, int* absolute) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  for (int k = 0; k < kStatCount; k++) {
    tested[k] = 0;
    absolute[k] = in->twoTailedTestMantel ? 1 : 0;
  }
  for (int k : {kStatXE_T, kStatXE_TR, kStatXY_T, kStatXY_T2, kStatPX_T, kStatTE_P, kStatXE_P,
                kStatXE_TP, kStatPE_T, kStatPE_X})
    absolute[k] = 1;
  if (in->opt_ro < 1 || in->opt_ro > 3) return;
  const bool mantel = in->opt_ro == 1;
  if (run.env)
    for (int k : {kStatXE, kStatTE, kStatXE_T, kStatRE, kStatXE_TR}) tested[k] = 1;
  if (mantel ? in->DY1 != nullptr : in->Y1 != nullptr)
    for (int k : {kStatTY, kStatXY, kStatXY_T}) tested[k] = 1;
  if (mantel ? in->DY2 != nullptr : in->Y2 != nullptr)
    for (int k : {kStatTY2, kStatXY2, kStatXY_T2}) tested[k] = 1;
  if (run.phyl) {
    for (int k : {kStatPT, kStatPX, kStatPX_T}) tested[k] = 1;
    if (mantel || (in->phylScores != nullptr && in->nPhylAxes > 0)) tested[kStatBF] = 1;
    if (run.env)
      for (int k : {kStatPE, kStatTE_P, kStatXE_P, kStatXE_TP, kStatPE_T, kStatPE_X, kStatFE})
        tested[k] = 1;
  }
}

// The statistics of the Mantel, Procrustes or RV measure.  q holds the
// structures of this iteration, o the observed ones (the same for the
// observed iteration).  T, X and R take part as permuted; the correlations
// that test P against E, T or X (ro(PE), ro(PT), ro(PE.T), ro(PE.X)) keep T
// and X observed; ro(PX) and ro(PX.T) take X, T and P permuted together
// (U and Q under the same permutation); the correlations that remove P
// (ro(TE.P), ro(XE.P), ro(XE.TP)) keep P observed.
void CongruenceStatistics(const Run& run, const Structures& o, const Structures& q,
                          const int* tested, double* st, double* rXTout) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  const int m = run.m;
  for (int k = 0; k < kStatCount; k++) st[k] = 0.0;
  if (rXTout) *rXTout = 0.0;
  if (in->opt_ro == 1) {
    double** DE = in->DE;
    const double rXT = Mantel(m, q.DX, q.DT);
    if (rXTout) *rXTout = rXT;
    double rTE = 0, rXE = 0;
    if (run.env) {
      rTE = Mantel(m, q.DT, DE);
      rXE = Mantel(m, q.DX, DE);
      st[kStatTE] = rTE;
      st[kStatXE] = rXE;
      st[kStatXE_T] = PartialCorrelation(rXE, rXT, rTE);
      const double rRE = Mantel(m, q.DR, DE);
      const double rXR = Mantel(m, q.DX, q.DR);
      const double rTR = Mantel(m, q.DT, q.DR);
      st[kStatRE] = rRE;
      const double xeR = PartialCorrelation(rXE, rXR, rRE);
      const double teR = PartialCorrelation(rTE, rTR, rRE);
      const double xtR = PartialCorrelation(rXT, rXR, rTR);
      st[kStatXE_TR] = PartialCorrelation(xeR, xtR, teR);
    }
    if (tested[kStatTY]) {
      st[kStatTY] = Mantel(m, q.DT, in->DY1);
      st[kStatXY] = Mantel(m, q.DX, in->DY1);
      st[kStatXY_T] = PartialCorrelation(st[kStatXY], rXT, st[kStatTY]);
    }
    if (tested[kStatTY2]) {
      st[kStatTY2] = Mantel(m, q.DT, in->DY2);
      st[kStatXY2] = Mantel(m, q.DX, in->DY2);
      st[kStatXY_T2] = PartialCorrelation(st[kStatXY2], rXT, st[kStatTY2]);
    }
    if (!run.phyl) return;
    const double bf = MatrixCorr(run.n, q.S, in->F);
    st[kStatBF] = in->phylIsDissimilarity ? -bf : bf;
    st[kStatPT] = Mantel(m, q.DP, o.DT);
    st[kStatPX] = Mantel(m, q.DP, q.DX);
    st[kStatPX_T] =
        PartialCorrelation(st[kStatPX], Mantel(m, q.DP, q.DT), rXT);
    if (!run.env) return;
    const double rPE = Mantel(m, q.DP, DE);
    st[kStatPE] = rPE;
    st[kStatFE] = Mantel(m, q.DRp, DE);
    // P permuted, T and X observed.
    st[kStatPE_T] = PartialCorrelation(rPE, st[kStatPT], Mantel(m, o.DT, DE));
    st[kStatPE_X] = PartialCorrelation(rPE, Mantel(m, q.DP, o.DX), Mantel(m, o.DX, DE));
    // T and X permuted, P observed.
    const double rEPobs = Mantel(m, o.DP, DE);
    const double rTP = Mantel(m, q.DT, o.DP);
    const double rXP = Mantel(m, q.DX, o.DP);
    const double teP = PartialCorrelation(rTE, rTP, rEPobs);
    const double xeP = PartialCorrelation(rXE, rXP, rEPobs);
    const double xtP = PartialCorrelation(rXT, rXP, rTP);
    st[kStatTE_P] = teP;
    st[kStatXE_P] = xeP;
    st[kStatXE_TP] = PartialCorrelation(xeP, xtP, teP);
    return;
  }

  // Procrustes or RV between the community-by-variable matrices themselves.
  const Block T{run.nch, in->traitSelect, q.T}, X{in->nTypes, nullptr, q.X}, R{1, nullptr, q.R};
  const Block E{run.nEnv, nullptr, in->E};
  const double rXT = Coef(run, m, X, T);
  if (rXTout) *rXTout = rXT;
  if (run.env) {
    st[kStatTE] = Coef(run, m, T, E);
    st[kStatXE] = Coef(run, m, X, E);
    st[kStatXE_T] = Partial(run, X, E, T);
    st[kStatRE] = Coef(run, m, R, E);
    st[kStatXE_TR] = Partial(run, X, E, T, R);
  }
  if (tested[kStatTY]) {
    const Block Y{run.n, nullptr, in->Y1};
    st[kStatTY] = Coef(run, m, T, Y);
    st[kStatXY] = Coef(run, m, X, Y);
    st[kStatXY_T] = Partial(run, X, Y, T);
  }
  if (tested[kStatTY2]) {
    const Block Y{run.n, nullptr, in->Y2};
    st[kStatTY2] = Coef(run, m, T, Y);
    st[kStatXY2] = Coef(run, m, X, Y);
    st[kStatXY_T2] = Partial(run, X, Y, T);
  }
  if (!run.phyl) return;
  const Block P{in->nTaxa, nullptr, q.P}, Rp{1, nullptr, q.Rp};
  const Block Tobs{run.nch, in->traitSelect, o.T}, Xobs{in->nTypes, nullptr, o.X};
  const Block Pobs{in->nTaxa, nullptr, o.P};
  if (tested[kStatBF]) {
    const Block Bn{run.nch, nullptr, q.Bn}, scores{in->nPhylAxes, nullptr, in->phylScores};
    st[kStatBF] = Coef(run, run.n, Bn, scores);
  }
  st[kStatPT] = Coef(run, m, Tobs, P);
  st[kStatPX] = Coef(run, m, X, P);
  st[kStatPX_T] = Partial(run, X, P, T);
  if (!run.env) return;
  st[kStatPE] = Coef(run, m, E, P);
  st[kStatPE_T] = Partial(run, E, P, Tobs);
  st[kStatPE_X] = Partial(run, E, P, Xobs);
  st[kStatTE_P] = Partial(run, T, E, Pobs);
  st[kStatXE_P] = Partial(run, X, E, Pobs);
  st[kStatXE_TP] = Partial(run, X, E, T, Pobs);
  st[kStatFE] = Coef(run, m, Rp, E);
}

// Regression of each selected trait (a column of T), of R and of Rp on the
// selected environmental variables: r-square and coefficients.
void RegressionStatistics(const Run& run, const Structures& s, double* vals, double* intercept) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  const int m = run.m, q = run.nEnv;
  int nResp = 0;
  for (int k = 0; k < run.nch; k++)
    if (in->traitSelect[k] == 1) {
      for (int c = 0; c < m; c++) run.regY[c][nResp] = s.T[c][k];
      run.regResponse[nResp++] = k;
    }
  for (int c = 0; c < m; c++) run.regY[c][nResp] = s.R[c][0];
  run.regResponse[nResp++] = run.nch;
  if (run.phyl) {
    for (int c = 0; c < m; c++) run.regY[c][nResp] = s.Rp[c][0];
    run.regResponse[nResp++] = run.nch + 1;
  }
  // The regression centres its predictors in place: it gets a fresh copy.
  for (int c = 0; c < m; c++) memcpy(run.regE[c], in->E[c], sizeof(double) * q);
  regression(m, nResp, q, run.regY, run.regE, run.regB, run.regB0, run.regYhat, run.regR2,
             run.regSS, false, nullptr, 0, false);
  for (int j = 0; j < nResp; j++) {
    const int r = run.regResponse[j];
    double* block = vals + run.regBase + r * (1 + q);
    // A constant response leaves nothing to explain: r-square 0.
    block[0] = run.regSS[j] > 0.0 ? run.regR2[j] : 0.0;
    for (int f = 0; f < q; f++) block[1 + f] = run.regB[f][j];
    if (intercept) intercept[r] = run.regB0[j];
  }
}

// Pseudo-F of the between-groups against the within-groups sum of squares.
// Without within-group variation the ratio has no finite value: it is
// +infinity when the groups differ (complete separation; a random value
// counts only when it too is infinite) and 0 when there is no variation at
// all.
double PseudoF(double between, double total) {
  const double within = total - between;
  if (within > 0.0) return between / within;
  return between > 0.0 ? HUGE_VAL : 0.0;
}

double FactorF(const Run& run, double** D, int f) {
  double between = 0.0, total = 0.0;
  BetweenGrSqDissim(run.m, D, run.groups[f], &between, &total, run.included[f], false);
  return PseudoF(between, total);
}

void AnovaStatistics(const Run& run, const Structures& s, double* vals) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  const int q = run.nEnv;
  double* v = vals + run.anovaBase;
  for (int f = 0; f < q; f++) v[f] = FactorF(run, s.DT, f);
  v += q;
  for (int k = 0; k < run.nch; k++) {
    if (in->traitSelect[k] == 1) {
      EucliDistMVSelectOne(run.m, run.nch, s.T, run.Dk, k + 1);
      for (int f = 0; f < q; f++) v[k * q + f] = FactorF(run, run.Dk, f);
    }
  }
  v += run.nch * q;
  for (int f = 0; f < q; f++) v[f] = FactorF(run, s.DX, f);
  v += q;
  if (run.phyl)
    for (int f = 0; f < q; f++) v[f] = FactorF(run, s.DP, f);
  v += q;
  for (int f = 0; f < q; f++) v[f] = FactorF(run, s.DR, f);
  v += q;
  if (run.phyl)
    for (int f = 0; f < q; f++) v[f] = FactorF(run, s.DRp, f);
}

void AllStatistics(const Run& run, const Structures& o, const Structures& q, const int* tested,
                   double* vals, double* rXT, double* intercept) {
  const int opt = run.in->opt_ro;
  if (opt >= 1 && opt <= 3) CongruenceStatistics(run, o, q, tested, vals, rXT);
  if (opt == 4 && run.env) RegressionStatistics(run, q, vals, intercept);
  if (opt == 5 && run.env) AnovaStatistics(run, q, vals);
}

// ---- the random-data file ---------------------------------------------------

void PrintList(FILE* fp, int n, const int* list) {
  for (int i = 0; i < n; i++) fprintf(fp, "%d\t", list[i]);
  fputc('\n', fp);
}

const char* ValueName(const Run& run, int idx, char* buf, size_t size) {
  if (idx < kStatCount) return kStatName[idx];
  if (idx < run.anovaBase || run.in->opt_ro == 4) {
    const int per = 1 + run.nEnv, r = (idx - run.regBase) / per, f = (idx - run.regBase) % per;
    if (f == 0)
      snprintf(buf, size, "r-square of response %d", r + 1);
    else
      snprintf(buf, size, "coefficient %d of response %d", f, r + 1);
    return buf;
  }
  const int q = run.nEnv > 0 ? run.nEnv : 1;
  int k = idx - run.anovaBase;
  if (k < q) {
    snprintf(buf, size, "pseudo-F of T, factor %d", k + 1);
  } else if ((k -= q) < run.nch * q) {
    snprintf(buf, size, "pseudo-F of trait %d, factor %d", k / q + 1, k % q + 1);
  } else {
    k -= run.nch * q;
    static const char* const kResponse[] = {"X", "P", "R", "Rp"};
    snprintf(buf, size, "pseudo-F of %s, factor %d", kResponse[k / q], k % q + 1);
  }
  return buf;
}

void WriteObserved(const Run& run, const Structures& o, const double* vals, const int* tested,
                   double rXT) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  FILE* fp = in->rndDataFile;
  const int m = run.m, n = run.n;
  fprintf(fp,
          "\nPERMUTATION TEST FOR CORRELATIONS ro(XE), ro(TE) AND ro(RE), AND PARTIAL "
          "CORRELATIONS ro(XE.T), ro(XE.TR)\n");
  fprintf(fp, "INTERMEDIATE RESULTS\n");
  fprintf(fp, "\nObserved trait matrix (B):\n");
  PrintMatrixTab(fp, n, run.nch, in->B, sDigits);
  fprintf(fp, "\nMatrix W (%d communities by %d OTUs):\n", m, n);
  PrintMatrixTab(fp, m, n, in->W, sDigits);
  fprintf(fp,
          "\n\nMatrix T (comunity weighted means traits in %d communities by %d traits) "
          "computed after B (T = W x B):\n",
          m, run.nch);
  PrintMatrixTab(fp, m, run.nch, o.T, sDigits);
  if (run.distances) {
    fprintf(fp, "\nDistance matrix DT between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, o.DT, sDigits);
  }
  if (run.env && in->DE != nullptr) {
    fprintf(fp, "\nDistance matrix DE between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, in->DE, sDigits);
  }
  char buf[80];
  fprintf(fp, "\nObserved statistics:\n");
  for (int k = 0; k < run.total; k++)
    if (tested[k]) fprintf(fp, "Observed %s=\t%g\n", ValueName(run, k, buf, sizeof buf), vals[k]);
  fprintf(fp, "\nObserved belonging matrix (U):\n");
  PrintMatrixTab(fp, n, in->nTypes, in->U, sDigits);
  fprintf(fp, "\nObserved ro(XT)=\t%g\n", rXT);
  fprintf(fp, "Observed ro(XE)=\t%g\n", vals[kStatXE]);
  fprintf(fp, "Observed ro(XE.T)=\t%g\n", vals[kStatXE_T]);
  fprintf(fp, "\nSimilarity matrix (S) between OTUs:\n");
  PrintLowerHalfMatrixTab(fp, n, in->S, sDigits);
  fprintf(fp, "\nRao entropy (R) of each community:\n");
  PrintMatrixTab(fp, m, 1, o.R, sDigits);
  if (run.distances) {
    fprintf(fp, "\nDistance matrix DR between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, o.DR, sDigits);
  }
  if (run.phyl) {
    fprintf(fp, "\nPhylogenetic resemblance matrix (F) between OTUs:\n");
    PrintLowerHalfMatrixTab(fp, n, in->F, sDigits);
    fprintf(fp, "\nPhylogenetic Rao entropy (Rp) of each community:\n");
    PrintMatrixTab(fp, m, 1, o.Rp, sDigits);
  }
}

void WriteIteration(const Run& run, int iter, bool taxa, const int* list, double** Brnd,
                    const Structures& q, const double* vals, const double* count,
                    const int* tested) {
  PermTest_FunctionalPhyl_Correl_Input* in = run.in;
  FILE* fp = in->rndDataFile;
  const int m = run.m;
  fprintf(fp, "\n\nITERATION\t%d\n", iter);
  if (taxa) {
    fprintf(fp, "\nPermuted trait matrix (Brnd):\n");
    PrintMatrixTab(fp, run.n, run.nch, Brnd, sDigits);
    fprintf(fp, "\nOrder of original OTUs in permuted traits matrix Brnd:\t");
    PrintList(fp, run.n, list);
  } else {
    fprintf(fp, "\nOrder of original communities in permuted matrices:\t");
    PrintList(fp, m, list);
  }
  fprintf(fp, "\nRandom matrix T:\n");
  PrintMatrixTab(fp, m, run.nch, q.T, sDigits);
  fprintf(fp, "\nRandom matrix X:\n");
  PrintMatrixTab(fp, m, in->nTypes, q.X, sDigits);
  fprintf(fp, "\nRandom Rao entropy R:\n");
  PrintMatrixTab(fp, m, 1, q.R, sDigits);
  if (run.phyl) {
    fprintf(fp, "\nRandom matrix P:\n");
    PrintMatrixTab(fp, m, in->nTaxa, q.P, sDigits);
    fprintf(fp, "\nRandom phylogenetic Rao entropy Rp:\n");
    PrintMatrixTab(fp, m, 1, q.Rp, sDigits);
  }
  char buf[80];
  for (int k = 0; k < run.total; k++) {
    if (!tested[k]) continue;
    const char* name = ValueName(run, k, buf, sizeof buf);
    fprintf(fp, "\nIteration %d\tRandom %s =\t%g\tCummulative frequency for %s=%g\n", iter, name,
            vals[k], name, count[k]);
  }
}

// Permutation list of the taxa shuffle when the weighted null model is on:
// the list of occurrences (each OTU once for every community where it
// performs) is shuffled, and each OTU takes the vector of the OTU now found
// in the slot of its own first occurrence, so that OTUs frequent in the
// communities are drawn more often.  OTUs that occur nowhere keep their own
// vector.
void WeightedList(int n, const int* occurrences, int nOcc, const int* firstSlot, int* shuffled,
                  int* list) {
  memcpy(shuffled, occurrences, sizeof(int) * (nOcc > 0 ? nOcc : 0));
  RndListSpecified(nOcc, shuffled);
  for (int i = 0; i < n; i++) list[i] = firstSlot[i] >= 0 ? shuffled[firstSlot[i]] : i + 1;
}

}  // namespace

void PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* in) {
  Arena arena;
  Run run;
  run.in = in;
  run.m = in->ncsm;
  run.n = in->nOTUs;
  run.nch = in->nch;
  run.nEnv = in->nEnv > 0 ? in->nEnv : 0;
  run.phyl = in->includePhylogeny && in->F != nullptr && in->Q != nullptr;
  run.env = run.nEnv > 0 && in->E != nullptr && (in->opt_ro != 1 || in->DE != nullptr);
  run.distances = in->opt_ro == 1 || in->opt_ro == 5;
  run.reseCode = CommunityReseCode(in->rese_opt);
  const int m = run.m, n = run.n, nch = run.nch, q = run.nEnv;
  // Fewer than 2 iterations (0 included) mean the observed data alone.
  const int niter = in->niter > 1 ? in->niter : 1;

  for (int k = 0; k < kStatCount; k++) {
    in->statistics[k] = 0.0;
    in->probabilities[k] = 1.0;
  }
  if (m <= 0 || n <= 0) return;

  // Layout of the flat result vector.
  run.regBase = kStatCount;
  if (in->opt_ro == 4 && run.env) run.total = run.regBase + (nch + 2) * (1 + q);
  run.anovaBase = run.total;
  if (in->opt_ro == 5 && run.env) run.total = run.anovaBase + q * (5 + nch);
  const int total = run.total;

  // The similarity matrices are read as symmetric from their upper triangles.
  Mirror(n, in->S);
  if (run.phyl) Mirror(n, in->F);

  // Everything the iterations need, allocated once.
  auto alloc = [&](Structures& s) {
    s.T = arena.Mat(m, nch);
    s.X = arena.Mat(m, in->nTypes);
    s.R = arena.Mat(m, 1);
    if (run.phyl) {
      s.P = arena.Mat(m, in->nTaxa);
      s.Rp = arena.Mat(m, 1);
    }
    if (run.distances) {
      s.DT = arena.Mat(m, m);
      s.DX = arena.Mat(m, m);
      s.DR = arena.Mat(m, m);
      if (run.phyl) {
        s.DP = arena.Mat(m, m);
        s.DRp = arena.Mat(m, m);
      }
    }
  };
  Structures obs, rnd;
  alloc(obs);
  if (niter > 1) alloc(rnd);
  obs.S = in->S;
  obs.Bn = arena.Mat(n, nch);
  NormalizeColsMV(n, nch, in->B, obs.Bn);

  double* obsVal = arena.Vec(total);
  double* rndVal = arena.Vec(total);
  double* count = arena.Vec(total);
  int* tested = arena.IntVec(total);
  int* absolute = arena.IntVec(total);
  StatisticKinds(run, tested, absolute);
  if (in->opt_ro == 4 && run.env) {
    run.regY = arena.Mat(m, nch + 2);
    run.regE = arena.Mat(m, q);
    run.regB = arena.Mat(q, nch + 2);
    run.regYhat = arena.Mat(m, nch + 2);
    run.regB0 = arena.Vec(nch + 2);
    run.regR2 = arena.Vec(nch + 2);
    run.regSS = arena.Vec(nch + 2);
    run.regResponse = arena.IntVec(nch + 2);
    // r-squares compare signed values, coefficients absolute values.
    for (int r = 0; r < nch + 2; r++) {
      const bool used = r < nch ? in->traitSelect[r] == 1 : (r == nch || run.phyl);
      for (int f = 0; f <= q; f++) {
        tested[run.regBase + r * (1 + q) + f] = used ? 1 : 0;
        absolute[run.regBase + r * (1 + q) + f] = f > 0 ? 1 : 0;
      }
    }
  }
  if (in->opt_ro == 5 && run.env) {
    run.Dk = arena.Mat(m, m);
    run.groups = arena.IntMat(q, m);
    run.included = arena.IntMat(q, m);
    // The group of a community is the integer part of the factor's value; a
    // community whose value is missing takes no part in that factor.
    for (int f = 0; f < q; f++)
      for (int c = 0; c < m; c++) {
        const bool missing = IsMissing(in->E[c][f]);
        run.groups[f][c] = missing ? 0 : ToInt(in->E[c][f]);
        run.included[f][c] =
            !missing && (in->relSelect == nullptr || in->relSelect[c] == 1) ? 1 : 0;
      }
    // Pseudo-F values compare signed values.
    for (int k = run.anovaBase; k < total; k++) {
      const int rel = k - run.anovaBase;
      int used = 1;
      if (rel >= q && rel < q + nch * q) used = in->traitSelect[(rel - q) / q] == 1;
      const int block = rel < q ? 0 : rel < q + nch * q ? 1 : 2 + (rel - q - nch * q) / q;
      if ((block == 3 || block == 5) && !run.phyl) used = 0;  // P and Rp
      tested[k] = used;
      absolute[k] = 0;
    }
  }

  // ---- observed statistics --------------------------------------------
  StructuresFromOTUs(run, in->B, in->U, in->S, in->Q, in->F, obs);
  double rXTobs = 0.0;
  double* intercept = in->regrIntercept;
  AllStatistics(run, obs, obs, tested, obsVal, &rXTobs, intercept);
  for (int k = 0; k < total; k++) count[k] = 1.0;

  if (in->T) CopyMatrix(m, nch, obs.T, in->T);
  if (in->X) CopyMatrix(m, in->nTypes, obs.X, in->X);
  if (in->R) CopyMatrix(m, 1, obs.R, in->R);
  if (run.phyl) {
    if (in->P) CopyMatrix(m, in->nTaxa, obs.P, in->P);
    if (in->Rp)
      for (int c = 0; c < m; c++) in->Rp[c] = obs.Rp[c][0];
  }
  const bool dump = in->saveRndData && in->rndDataFile != nullptr;
  if (dump) WriteObserved(run, obs, obsVal, tested, rXTobs);

  // ---- permutations -----------------------------------------------------
  const bool taxa = in->optTaxaSiteShuffle != 's';
  int* list = arena.IntVec(taxa ? n : m);
  double** Brnd = nullptr;
  double** Urnd = nullptr;
  double** Qrnd = nullptr;
  int* occurrences = nullptr;
  int* shuffled = nullptr;
  int* firstSlot = nullptr;
  int nOcc = 0;
  if (niter > 1 && taxa) {
    Brnd = arena.Mat(n, nch);
    Urnd = arena.Mat(n, in->nTypes);
    rnd.S = arena.Mat(n, n);
    rnd.Bn = arena.Mat(n, nch);
    if (run.phyl) Qrnd = arena.Mat(n, in->nTaxa);
    if (in->optWeightedNullModel) {
      for (int c = 0; c < m; c++)
        for (int i = 0; i < n; i++)
          if (in->W[c][i] > 0.0) nOcc++;
      occurrences = arena.IntVec(nOcc);
      shuffled = arena.IntVec(nOcc);
      firstSlot = arena.IntVec(n);
      for (int i = 0; i < n; i++) firstSlot[i] = -1;
      int slot = 0;
      for (int c = 0; c < m; c++)
        for (int i = 0; i < n; i++)
          if (in->W[c][i] > 0.0) {
            if (firstSlot[i] < 0) firstSlot[i] = slot;
            occurrences[slot++] = i + 1;
          }
    }
  } else {
    rnd.S = obs.S;
    rnd.Bn = obs.Bn;
  }
  double** Frnd = niter > 1 && taxa && run.phyl ? arena.Mat(n, n) : nullptr;
  const bool nested = in->optRestrictPermutNullModel == 1 && in->nestingMembershipOTUs != nullptr;

  char progress[64];
  for (int iter = 2; iter <= niter; iter++) {
    snprintf(progress, sizeof progress, "Permutation test: %d of %d", iter, niter);
    HandleEventInfoWhere2(progress);
    if (taxa) {
      if (in->optWeightedNullModel) {
        WeightedList(n, occurrences, nOcc, firstSlot, shuffled, list);
      } else if (nested) {
        RndListNestedNew(n, in->nestingMembershipOTUs, 1, list);
      } else {
        for (int i = 0; i < n; i++) list[i] = i + 1;
        RndListSpecified(n, list);
      }
      CopyRows(n, nch, in->B, list, Brnd);
      CopyRows(n, nch, obs.Bn, list, rnd.Bn);
      CopyRows(n, in->nTypes, in->U, list, Urnd);
      for (int i = 0; i < n; i++) {
        const double* from = in->S[list[i] - 1];
        for (int j = 0; j < n; j++) rnd.S[i][j] = from[list[j] - 1];
      }
      if (run.phyl) {
        CopyRows(n, in->nTaxa, in->Q, list, Qrnd);
        for (int i = 0; i < n; i++) {
          const double* from = in->F[list[i] - 1];
          for (int j = 0; j < n; j++) Frnd[i][j] = from[list[j] - 1];
        }
      }
      StructuresFromOTUs(run, Brnd, Urnd, rnd.S, Qrnd, Frnd, rnd);
    } else {
      for (int c = 0; c < m; c++) list[c] = c + 1;
      RndListSpecified(m, list);
      PermuteCommunities(run, obs, list, rnd);
    }
    AllStatistics(run, obs, rnd, tested, rndVal, nullptr, nullptr);
    for (int k = 0; k < total; k++)
      if (tested[k] && IsLargerThanOrEqual(rndVal[k], obsVal[k], 1, absolute[k] != 0))
        count[k] += 1.0;
    if (dump) WriteIteration(run, iter, taxa, list, Brnd, rnd, rndVal, count, tested);
  }

  // ---- results ----------------------------------------------------------
  // A value that is not formed keeps probability 1, as without a test.
  double* prob = arena.Vec(total);
  for (int k = 0; k < total; k++) prob[k] = tested[k] ? count[k] / niter : 1.0;
  for (int k = 0; k < kStatCount; k++) {
    in->statistics[k] = obsVal[k];
    in->probabilities[k] = prob[k];
  }
  if (in->opt_ro == 4 && run.env) {
    for (int r = 0; r < nch + 2; r++) {
      const int at = run.regBase + r * (1 + q);
      if (in->regrR2) in->regrR2[r] = obsVal[at];
      if (in->regrR2Prob) in->regrR2Prob[r] = prob[at];
      for (int f = 0; f < q; f++) {
        if (in->regrCoeff) in->regrCoeff[r][f] = obsVal[at + 1 + f];
        if (in->regrCoeffProb) in->regrCoeffProb[r][f] = prob[at + 1 + f];
      }
    }
  }
  if (in->opt_ro == 5 && run.env) {
    int at = run.anovaBase;
    auto take = [&](double* value, double* probability) {
      for (int f = 0; f < q; f++) {
        if (value) value[f] = obsVal[at + f];
        if (probability) probability[f] = prob[at + f];
      }
      at += q;
    };
    take(in->anovaT, in->anovaTProb);
    for (int k = 0; k < nch; k++)
      take(in->anovaTrait ? in->anovaTrait[k] : nullptr,
           in->anovaTraitProb ? in->anovaTraitProb[k] : nullptr);
    take(in->anovaX, in->anovaXProb);
    take(run.phyl ? in->anovaP : nullptr, run.phyl ? in->anovaPProb : nullptr);
    take(in->anovaR, in->anovaRProb);
    take(run.phyl ? in->anovaRp : nullptr, run.phyl ? in->anovaRpProb : nullptr);
  }
}
