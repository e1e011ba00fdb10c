#include "functional/scalingUp.h"

#include <omp.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/dataset.h"
#include "data/track.h"
#include "data/warnings.h"
#include "functional/analysisWarnings.h"
#include "functional/export.h"
#include "functional/fcore.h"
#include "functional/permtest.h"
#include "functional/printout.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "multivariate/beals.h"
#include "multivariate/cluster.h"
#include "multivariate/congruence.h"
#include "multivariate/ordination.h"
#include "multivariate/random.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "numeric/stats.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/figures.h"
#include "shell/preferences.h"
#include "shell/readers.h"
#include "shell/safefile.h"

void IFHierarchicalAccum() {
  CatName(whichPrinda, sizeof whichPrinda, sessionName, "Prinda.txt");
  CatName(whichHier, sizeof whichHier, sessionName, "Hie.txt");
  hasHier = 1;
  hasCstRese = hasCstClus = hasNRese = hasPRese = hasScores = hasReClus = hasAOCScor = 0;
  hasProbN = hasProbRo = hasRo = hasComplexity = hasVelocity = hasRoVelComplex = 0;
  hasRoVelComplexPROB = 0;
  nCstGroups = 0;
  whichLevelGrCST = 1;

  SettingsHierarchy();
  cohe = 0;
  reseTypeOrd = reseTypeClus = reseTypeEv = reseTypeRnd = reseTypeERank = 1;
  reseCstOpt[0] = 0;

  if (traitBasedOpt == 1 && poolCSTopt == 2) {
    PFTs_ScalingUp();
    for (int k = 0; k < nch; k++) rcst[k] = nGrPoly[k];
  }

  if (optRestrictPermutNullModel == 1) {
    free1D(nestingMembershipOTUs);
    nestingMembershipOTUs = nullptr;
  }
  if (includePhylogeny) {
    free1D(partition_OTUs_Phyl);
    partition_OTUs_Phyl = nullptr;
    if (!hasPhylogeny) {
      free2D(phylogenyRese, tcst);
      phylogenyRese = nullptr;
      if (phylogenyMatrixType == 2) {
        free2D(phylogenyData, tcst);
        phylogenyData = nullptr;
        free1D(phylogenyVarType);
        phylogenyVarType = nullptr;
      }
    }
  }

  dirtyOrig = 1;
  WriteTrack(1);
  WriteWarningsFile(sessionName);
  ClearLine();
  fprintf(out, "\n\nResults on file %s%s\n", volumeName, whichPrinda);
  Wait();
}

// ---------------------------------------------------------------------------
// The analysis proper: what one run computes once (the environment, the
// working copies of W and their Beals smoothing, the phylogeny, the traits
// and the types, the larger of them on the team of threads), then the community structures and every statistic from the
// functional core (through the permutation test routine, with or without
// permutations), then the printout.

namespace {

// The selected environmental variables and the resemblance between
// communities on them.
struct Environment {
  int q = 0;                // variables selected
  double** E = nullptr;     // m x q
  int* types = nullptr;     // q
  double** DE = nullptr;    // m x m
};

void MakeEnvironment(int m, Environment& e) {
  for (int v = 0; v < nenv; v++)
    if (eVarSelect[v] == 1) e.q++;
  const int qa = e.q > 0 ? e.q : 1;
  e.E = dim2Double(m, qa);
  e.types = dim1Dint(qa);
  for (int v = 0, j = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    e.types[j] = envVarType[v];
    for (int c = 0; c < m; c++) e.E[c][j] = env[c][v];
    j++;
  }
  e.DE = dim2Double(m, m);
  EnvironmentalDistance(m, e.q, e.E, e.types, e.DE);
}

void FreeEnvironment(int m, Environment& e) {
  free2D(e.DE, m);
  free1D(e.types);
  free2D(e.E, m);
}

// The working copies of W (communities x OTUs), their unit totals, the Beals
// smoothing of the TDAP copy and the Gini-Simpson index of each community.
struct Communities {
  double** Wraw = nullptr;   // as stored (detailed printout)
  double** Wtcap = nullptr;  // behind T (released once T is formed)
  double** Wtdap = nullptr;  // behind X, P, the entropies and Beals
  double** Y1 = nullptr;     // Beals smoothing (released when only DY1 is read)
  double** DY1 = nullptr;    // Mantel measure
  double* D = nullptr;       // Gini-Simpson index
};

// W as stored is kept only for the detailed printout; the Beals smoothing
// only for the measures that read it (the Mantel measure its resemblance
// alone) and the detailed printout.  The second Beals matrix and its
// statistics are neither printed nor used by the functional analysis.
void MakeCommunities(int m, int n, bool scaleAdjust, Communities& w) {
  const bool detailed = printDetail == 1;
  if (detailed) {
    w.Wraw = dim2Double(m, n);
    TransposeMatrix(n, m, cadat, w.Wraw);
  }
  w.Wtcap = dim2Double(m, n);
  TransposeMatrix(n, m, cadat, w.Wtcap);
  w.Wtdap = dim2Double(m, n);
  TransposeMatrix(n, m, cadat, w.Wtdap);
  if (optUnitTotalAdjust1) UnitSumRowsAdjMV(m, n, w.Wtcap, w.Wtcap);
  if (optUnitTotalAdjust2) UnitSumRowsAdjMV(m, n, w.Wtdap, w.Wtdap);

  if (opt_ro == 1 || opt_ro == 2 || opt_ro == 3 || detailed) {
    w.Y1 = dim2Double(m, n);
    BealsSmoothing(m, n, w.Wtdap, w.Wtdap, w.Y1, BealsIncludeOpt != 0, 1, false,
                   omp_get_max_threads());
  }
  if (opt_ro == 1) {
    w.DY1 = dim2Double(m, m);
    NominalReseNonHier(m, n, w.Y1, w.DY1, rese_opt, omp_get_max_threads());
    UpperToLowerMatrix(m, w.DY1);
  }

  // Rao entropy with crisp (identity) similarities.
  w.D = dim1Double(m);
  for (int c = 0; c < m; c++)
    w.D[c] = GiniSimpson_Weight(n, w.Wtdap[c], weight_OTUs, restrictRaoWithinOpt != 0,
                                scaleAdjust);
}

void FreeCommunities(int m, Communities& w) {
  free1D(w.D);
  for (double** M : {w.DY1, w.Y1, w.Wtdap, w.Wtcap, w.Wraw}) free2D(M, m);
}

// F (from the stored matrix or the phylogenetic variables), its principal
// coordinates and the belonging of the OTUs to taxa.  F derived from
// phylogenetic variables is a Gower similarity and is read as one; only a
// stored dissimilarity matrix (type 3) is read as dissimilarities.
struct Phylogeny {
  bool on = false;
  bool isDissimilarity = false;
  int taxa = 1;              // columns allocated for Q and P
  int axes = 0;
  double** F = nullptr;      // n x n
  double** scores = nullptr; // n x axes
  double** Q = nullptr;      // n x taxa
  bool borrowedF = false;    // F is the data set's own matrix
};

// Principal coordinates of F into ph.scores and ph.axes.
void PhylogenyScores(int n, Phylogeny& ph) {
  double** rese = CopyOf(n, n, ph.F);
  double** vectors = dim2Double(n, n);
  double** scores = dim2Double(n, n);
  double* values = dim1Double(n);
  bool eigenOk = true;
  OrdinationLib_D(n, n, ph.F, rese, vectors, scores, &ph.axes, values, &eigenOk, 1,
                  ph.isDissimilarity ? 3 : 5, 1);
  if (ph.axes < 0) ph.axes = 0;
  if (ph.axes > n) ph.axes = n;
  ph.scores = dim2Double(n, ph.axes > 0 ? ph.axes : 1);
  for (int a = 0; a < ph.axes; a++)
    for (int i = 0; i < n; i++) ph.scores[i][a] = scores[a][i];
  free2D(rese, n);
  free2D(vectors, n);
  free2D(scores, n);
  free1D(values);
}

void MakePhylogeny(int n, Phylogeny& ph) {
  ph.on = includePhylogeny != 0 && phylogenyMatrixType >= 1 && phylogenyMatrixType <= 3 &&
          partition_OTUs_Phyl != nullptr;
  ph.isDissimilarity = phylogenyMatrixType == 3;
  ph.taxa = ph.on && nTaxa > 0 ? nTaxa : 1;
  ph.F = dim2Double(n, ph.on ? n : 1);
  ph.Q = dim2Double(n, ph.taxa);
  if (!ph.on) {
    ph.scores = dim2Double(n, 1);
    return;
  }
  if (phylogenyMatrixType == 2) {
    double** work = CopyOf(n, nClados, phylogenyData);
    GowerMVOpt(n, nClados, phylogenyVarType, work, ph.F, nullptr, nullptr, 0);
    free2D(work, n);
  } else {
    // The stored matrix is only read: no copy.
    free2D(ph.F, n);
    ph.F = phylogenyRese;
    ph.borrowedF = true;
  }
  // Principal coordinates of F (scores come axis by row), for the
  // coefficients that read them (ro(BF) under Procrustes and RV) and the
  // detailed printout; the eigen decomposition of F is not made otherwise.
  if (!(opt_ro == 2 || opt_ro == 3 || printDetail == 1)) {
    ph.scores = dim2Double(n, 1);
  } else {
    PhylogenyScores(n, ph);
  }

  if (fuzzyPhyl == 1) {
    // The fuzzy belonging makes its matrix symmetric from the upper half:
    // a symmetric F is read in place, another on a copy.
    const bool symmetric = IsSymmetricMatrix(n, ph.F);
    double** work = symmetric ? ph.F : CopyOf(n, n, ph.F);
    FuzzyBelonging(n, nTaxa, work, partition_OTUs_Phyl, ph.Q, ph.isDissimilarity,
                   omp_get_max_threads());
    if (!symmetric) free2D(work, n);
  } else {
    CrispBelonging(n, nTaxa, partition_OTUs_Phyl, ph.Q);
  }
}

void FreePhylogeny(int n, Phylogeny& ph) {
  free2D(ph.scores, n);
  free2D(ph.Q, n);
  if (!ph.borrowedF) free2D(ph.F, n);
}

// The traits taking part, B and the masked B, and the similarity S between
// OTUs (averaged partial Gower similarities, or Euclidean distances).
struct Traits {
  int nSelected = 0;
  int* select = nullptr;       // per trait, 1 = weight > 0
  double** B = nullptr;        // n x p
  double** Bmasked = nullptr;  // n x p, unselected columns 0
  double** S = nullptr;        // n x n
};

void MakeTraits(int n, int p, Traits& t) {
  const int pa = p > 0 ? p : 1;
  RangeStates(p, n, csm_Float, chtype, chrange);
  t.select = dim1Dint(pa);
  for (int k = 0; k < p; k++) {
    t.select[k] = weight[k] > 0.0 ? 1 : 0;
    t.nSelected += t.select[k];
  }
  t.B = CopyOf(n, p, csm_Float);
  t.Bmasked = CopyOf(n, p, csm_Float);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++)
      if (!t.select[k]) t.Bmasked[i][k] = 0.0;
  t.S = dim2Double(n, n);
  if (reseCSTopt == 1) {
    double** work = CopyOf(n, p, csm_Float);
    gower_similarity(p, work, n, t.S, chtype, chrange, weight, omp_get_max_threads());
    free2D(work, n);
  } else {
    double** work = CopyOf(n, p, t.Bmasked);
    RangeColsAdjMV(n, p, work, work);
    EucliDistMVSelect(n, p, work, t.S, t.select);
    UpperToLowerMatrix(n, t.S);
    free2D(work, n);
  }
}

void FreeTraits(int n, Traits& t) {
  free2D(t.S, n);
  free2D(t.Bmasked, n);
  free2D(t.B, n);
  free1D(t.select);
}

// The user's types: labels, sizes, crisp and fuzzy belonging, and the mean
// trait values of each type.
struct Types {
  int g = 0;
  int* labels = nullptr;
  int* sizes = nullptr;
  int* typeOf = nullptr;         // n: the type column of each OTU
  double** C = nullptr;          // n x g, crisp belonging (crisp runs, detailed printout)
  double** U = nullptr;          // n x g
  double** avgTraits = nullptr;  // g x p
};

// The crisp belonging matrix is made only for a crisp run and the detailed
// printout; otherwise each OTU's type column stands for it.
void MakeTypes(int n, int p, const Traits& t, Types& ty) {
  CountGroupsNew(n, partition_OTUs, &ty.g, nullptr);
  if (p > 0) ty.g = nGrPoly[0];
  const int g = ty.g > 0 ? ty.g : 1;
  ty.labels = dim1Dint(g);
  ty.sizes = dim1Dint(g);
  int nDistinct = 0;
  CountGroupsNew(n, partition_OTUs, &nDistinct, ty.labels);
  for (int k = 0; k < ty.g; k++)
    for (int i = 0; i < n; i++)
      if (partition_OTUs[i] == ty.labels[k]) ty.sizes[k]++;
  ty.typeOf = dim1Dint(n > 0 ? n : 1);
  TypeColumns(n, partition_OTUs, ty.typeOf);
  if (fuzzy != 3 || printDetail == 1) {
    ty.C = dim2Double(n, g);
    CrispBelonging(n, ty.g, partition_OTUs, ty.C);
  }
  // S is symmetric: the fuzzy belonging reads it in place.
  ty.U = dim2Double(n, g);
  FuzzyBelonging(n, ty.g, t.S, partition_OTUs, ty.U, reseCSTopt != 1, omp_get_max_threads());
  // The mean over its OTUs with a value (missing values are left out of both
  // the sum and the count).
  // OTU by OTU into the sums of its type, in the order of the OTUs.
  ty.avgTraits = dim2Double(g, p > 0 ? p : 1);
  std::vector<int> count(static_cast<size_t>(g) * (p > 0 ? p : 1), 0);
  for (int i = 0; i < n; i++) {
    const int k = ty.typeOf[i];
    if (k < 0 || k >= ty.g) continue;
    for (int j = 0; j < p; j++)
      if (!IsMissing(t.B[i][j])) {
        ty.avgTraits[k][j] += t.B[i][j];
        count[static_cast<size_t>(k) * p + j]++;
      }
  }
  for (int k = 0; k < ty.g; k++)
    for (int j = 0; j < p; j++) {
      const int c = count[static_cast<size_t>(k) * p + j];
      ty.avgTraits[k][j] = c > 0 ? ty.avgTraits[k][j] / c : kMissing;
    }
}

void FreeTypes(int n, Types& ty) {
  free2D(ty.avgTraits, ty.g > 0 ? ty.g : 1);
  free2D(ty.U, n);
  free2D(ty.C, n);
  free1D(ty.typeOf);
  free1D(ty.sizes);
  free1D(ty.labels);
}

// The input record of the permutation test routine with its result arrays;
// the matrices are those of the run (the routine does not change them).
PermTest_FunctionalPhyl_Correl_Input* MakeRecord(int m, int n, int p, const Environment& e,
                                                 const Communities& w, const Phylogeny& ph,
                                                 const Traits& t, const Types& ty,
                                                 bool scaleAdjust, int* eSel) {
  auto* rec = PermTestNewRecord(m, p, e.q, ty.g, ph.taxa);
  PermTestSettingsFromGlobals(rec);
  rec->nch = p;
  rec->traitSelect = t.select;
  rec->ncsm = m;
  rec->nTypes = ty.g;
  rec->nTaxa = ph.on ? nTaxa : 0;
  rec->nEnv = e.q;
  rec->eVarSelect = eSel;
  rec->nOTUs = n;
  rec->nPhylAxes = ph.axes;
  rec->B = t.Bmasked;
  rec->S = t.S;
  rec->phylScores = ph.scores;
  rec->F = ph.F;
  rec->E = e.E;
  rec->U = fuzzy == 3 ? ty.U : ty.C;
  rec->Q = ph.Q;
  rec->W = w.Wtdap;
  rec->DE = e.DE;
  rec->DY1 = w.DY1;
  rec->Y1 = w.Y1;
  rec->saveRndData = optRndTests && saveRndData == 'y';
  // S is printed afterwards only in the detailed printout.
  rec->overwriteS = printDetail != 1;
  rec->scaleAdjust = scaleAdjust;
  rec->includePhylogeny = ph.on;
  rec->phylIsDissimilarity = ph.isDissimilarity;
  return rec;
}

}  // namespace

void PFTs_ScalingUp() {
  const int m = ncsm, n = tcst, p = nch;

  // Fixed settings of this analysis.
  opt_struct = 9;
  optUnitTotalAdjust1 = 1;
  {
    int g = 0;
    CountGroupsNew(n, partition_OTUs, &g, nullptr);
    if (p > 0) g = nGrPoly[0];
    nMaxCSTGroupsChRank = nMinCSTGroupsChRank = g;
  }
  const int reseCSToptKept = reseCSTopt;
  CatName(whichRndData, sizeof whichRndData, sessionName, "RDa.txt");
  const bool scaleAdjust = ScaleAdjustFlag(n, weight_OTUs, keepAdditivity != 0);
  InitRndNumberGenerator(rseed);

  // The results file, opened before anything is allocated so that a file
  // that cannot be opened leaves nothing behind.  Rewritten, it replaces the
  // old one only when complete; appended to, a failed append is undone.
  SafeFile prinda;
  FILE* fp = SafeOpen(prinda, whichPrinda, volumeName, prindaMode);
  if (fp == nullptr) RaiseFailure(kFailOpen);
  PrintScalingUpHeader(fp);

  // What the run computes once.
  Environment e;
  MakeEnvironment(m, e);
  // With every variable left out the analysis runs as without E.
  const bool hasEnv = e.q > 0;
  Communities w;
  MakeCommunities(m, n, scaleAdjust, w);
  Phylogeny ph;
  MakePhylogeny(n, ph);
  Traits t;
  MakeTraits(n, p, t);
  nMinTraitsChRank = nMaxTraitsChRank = t.nSelected;
  Types ty;
  MakeTypes(n, p, t, ty);
  WarnFunctionalAnalysis(m, t.select, e.q);
  const int pa = p > 0 ? p : 1, g = ty.g > 0 ? ty.g : 1;

  // T from the TCAP copy of W, its columns to unit length and DT; the
  // observed r(TE) and r(TY) on them.
  double** T = dim2Double(m, pa);
  double** Tnorm = dim2Double(m, pa);
  MatrixProdSelectMV_Adjust_Weight(m, n, n, p, w.Wtcap, t.Bmasked, T, t.select, weight_OTUs,
                                   scaleAdjust);
  NormalizeCols(m, p, T, Tnorm);
  double** DT = dim2Double(m, m);
  double rTE = 0.0, rTY = 0.0;
  if (opt_ro == 1 || opt_ro == 5) FcoreEuclidean(m, p, Tnorm, DT);
  if (opt_ro == 1) {
    if (hasEnv) rTE = CommunityMatrixCorr(m, e.DE, DT);
    rTY = CommunityMatrixCorr(m, DT, w.DY1);
  } else if (opt_ro == 2) {
    if (hasEnv) rTE = ProcrustesCoeff(m, e.q, p, e.E, Tnorm);
    rTY = ProcrustesCoeff(m, n, p, w.Y1, Tnorm);
  } else if (opt_ro == 3) {
    if (hasEnv) rTE = RVcoeff(m, e.q, p, e.E, Tnorm);
    rTY = RVcoeff(m, n, p, w.Y1, Tnorm);
  }
  // T and r(TY) are formed: the TCAP copy of W and, when the Mantel measure
  // reads only its resemblance, the Beals smoothing are not read again.
  free2D(w.Wtcap, m);
  w.Wtcap = nullptr;
  if (opt_ro == 1 && printDetail != 1) {
    free2D(w.Y1, m);
    w.Y1 = nullptr;
  }
  double** crispPooled = dim2Double(m, g);
  MatrixProdMV_WeightCrisp(m, n, ty.g, w.Wtdap, ty.typeOf, crispPooled, weight_OTUs,
                           scaleAdjust);

  // X, the entropies, P and every statistic, observed and, with tests,
  // against the null model.  Without tests the same routine runs on the
  // observed data only.
  int* eSel = dim1Dint(e.q > 0 ? e.q : 1);
  for (int j = 0; j < e.q; j++) eSel[j] = 1;  // E already holds the selected variables only
  PermTest_FunctionalPhyl_Correl_Input* rec = MakeRecord(m, n, p, e, w, ph, t, ty, scaleAdjust, eSel);
  if (optRndTests) {
    rec->rndDataFile = SafeCreate(whichRndData, volumeName);
    // The random-data file is part of a tested run: without it the program
    // ends, through the failure catcher (it has printed why).
    if (rec->rndDataFile == nullptr) {
      SafeDiscard(prinda);
      RaiseFailure(kFailOpen);
    }
    time0 = time(nullptr);
  }
  // The figures of the null distributions are drawn from the values the
  // test computes, kept for them.
  rec->keepNullValues = optRndTests && writeTSV != 'n' && FiguresAvailable();
  PermTest_FunctionalPhyl_Correl(rec);
  if (rec->rndDataFile != nullptr) SafeFinish(rec->rndDataFile);
  rec->rndDataFile = nullptr;
  if (!optRndTests) {
    rec->statistics[kStatTE] = rTE;
    rec->statistics[kStatTY] = rTY;
  }
  double* Rf = dim1Double(m);
  for (int c = 0; c < m; c++) Rf[c] = rec->R[c][0];
  double** DP = dim2Double(m, m);
  if (ph.on) {
    NominalReseNonHier(m, nTaxa, rec->P, DP, rese_opt, omp_get_max_threads());
    UpperToLowerMatrix(m, DP);
  }

  // Results.
  ScalingUpReport report{};
  report.nComm = m;
  report.nOTUs = n;
  report.nTraits = p;
  report.nSelTraits = t.nSelected;
  report.nEnvSel = e.q;
  report.nTypes = ty.g;
  report.nTaxa = ph.on ? nTaxa : 0;
  report.nPhylAxes = ph.axes;
  report.detailed = printDetail == 1;
  report.tested = optRndTests != 0;
  report.hasEnv = hasEnv;
  report.phylogeny = ph.on;
  report.W = w.Wraw;
  report.Wtdap = w.Wtdap;
  report.Y1 = w.Y1;
  report.DY1 = w.DY1;
  report.F = ph.F;
  report.phylScores = ph.scores;
  report.Q = ph.Q;
  report.P = rec->P;
  report.DP = DP;
  report.B = t.B;
  report.E = e.E;
  report.DE = e.DE;
  report.T = T;
  report.Tnorm = Tnorm;
  report.DT = DT;
  report.S = t.S;
  report.U = ty.U;
  report.C = ty.C;
  report.avgTraits = ty.avgTraits;
  report.crispPooled = crispPooled;
  report.X = rec->X;
  report.traitSelect = t.select;
  report.typeLabels = ty.labels;
  report.typeSizes = ty.sizes;
  report.D = w.D;
  report.Rf = Rf;
  report.Rp = rec->Rp;
  report.test = rec;
  PrintScalingUpResults(fp, report);
  if (!SafeClose(prinda)) {
    fprintf(stderr, "\nfile %s ", whichPrinda);
    RaiseFailure(kFailPrint);
  }
  WriteFunctionalTsv(report);

  // Release.
  PermTestFreeRecord(rec, m, p);
  free1D(eSel);
  free2D(DP, m);
  free1D(Rf);
  free2D(crispPooled, m);
  free2D(DT, m);
  free2D(Tnorm, m);
  free2D(T, m);
  FreeTypes(n, ty);
  FreeTraits(n, t);
  FreePhylogeny(n, ph);
  FreeCommunities(m, w);
  FreeEnvironment(m, e);
  reseCSTopt = reseCSToptKept;
}
