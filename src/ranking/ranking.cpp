// The ranking dialog and the dispatch from the criterion number to its
// routine.
#include "ranking/ranking.h"

#include <cstdio>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/sessionpack.h"
#include "data/track.h"
#include "data/warnings.h"
#include "functional/analysisWarnings.h"
#include "functional/settings.h"
#include "multivariate/cluster.h"
#include "ranking/rankprint.h"
#include "ranking/search.h"
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/input.h"
#include "shell/preferences.h"
#include "shell/pack.h"

int rankingAlgorithm = 2;
int printRankIntermedResults = 'n';
int nKeepTrack = 100;
char whichChorder[64] = "NULL";

const char* const rankingAlgorithmInfo[] = {"1 (stepwise)", "2 (all trait combinations)"};

const char* const opt_structInfo[] = {
    "1 (both trait-divergence and trait-convergence assembly patterns)",
    "2 (convergence community groups)",
    "3 (divergence community groups)",
    "4 (trait redundancy in population data structure)",
    "5 (trait redundancy in community data structure)",
    "6 (criteria 1 and 5 combined)",
    "7 (criteria 2 and 5 combined)",
    "8 (sharpness in information structure)",
    "9 (Trait-divergence assembly patterns, TDAP)",
    "10 (Trait-convergence assembly patterns, TCAP)",
    "11 (correlation of phylogenetically structured assembly patterns, PSAP to both "
    "trait-divergence and trait-convergence assembly patterns, TDAP and TCAP)",
    "12 (correlation of phylogenetically structured assembly patterns, PSAP to trait-divergence, "
    "TDAP)",
    "13 (correlation of phylogenetically structured assembly patterns, PSAP to trait-convergence "
    "assembly patterns, TCAP)",
    "14 (beta niche conservation: ro(PT) * ro(TE))",
    "15 (alpha and beta niche conservation: ro(PX) * ro(XE))",
    "16 (alpha divergence: ro(RE))",
    "17 (beta divergence: ro(XE.TR))",
    "18 (congruence of fuzzy-weighted composition and composition predicted by DeCaceres (2008) "
    "smoothing: r(XZ))",
    "19 (trait convergence: r(TZ))",
    "20 (trait divergence: r(XZ.T))",
    "21 (correlation between 'dark diversity' (for each community, sum of absolute differences "
    "between matrices X and W) and E: r(SE))",
    ""};

namespace {

constexpr int kStructInfoSlots = 22;

// Criteria 21 to 24 are not described by their slots of opt_structInfo (its
// slot 21 describes the dark-diversity criterion, which runs as 24): they are
// printed with labels of their own.
const char* const kLaterCriteria[] = {
    "21 (congruence of fuzzy-weighted composition and composition predicted by Beals smoothing "
    "of abundance-weighted co-occurrences: r(XY))",
    "22 (trait convergence with Beals smoothed composition: r(TY))",
    "23 (trait divergence with Beals smoothed composition: r(XY.T))",
    "24 (correlation between 'dark diversity' (for each community, sum of absolute differences "
    "between matrices X and W) and E: r(SE))"};

// Printout suffix of each criterion.
const char* Suffix(int c) {
  switch (c) {
    case 1: return "ChRank_TDAP_TCAP.txt";
    case 9: return "ChRank_TDAP.txt";
    case 10: return "ChRank_TCAP.txt";
    case 11: return "ChRank_PSAP_X.txt";
    case 12: return "ChRank_PSAP_X_T.txt";
    case 13: return "ChRank_PSAP_T.txt";
    case 14: return "ChRank_BetaNicheConserv.txt";
    case 15: return "ChRank_AlphaBetaNicheConserv.txt";
    case 16: return "ChRank_AlphaDivergence.txt";
    case 17: return "ChRank_BetaDivergence.txt";
    case 18: return "ChRank_roXZ.txt";
    case 19: return "ChRank_roTZ.txt";
    case 20: return "ChRank_roXZ_T.txt";
    case 21: return "ChRank_roXY.txt";
    case 22: return "ChRank_roTY.txt";
    case 23: return "ChRank_roXY_T.txt";
    case 24: return "ChRank_DarkDiversity.txt";
    default: return "ChRank.txt";
  }
}

// A criterion whose data the data set does not hold brings the criteria
// menu back.  Besides E and nominal traits, the phylogenetic criteria (11 to
// 15) need matrix F and the beta-divergence criterion 17 needs E; criteria
// 18 to 23 run without E.  The nominal-trait condition looks at all traits,
// before the trait selection; criteria 12 and 13 are only hidden by it.
bool DataMissing(int c) {
  const bool hasE = nenv > 0;
  const bool nominal = HasQualitTrait(nch, chtype);
  if ((c == 1 || c == 14 || c == 15 || c == 16 || c == 17 || c == 24) && !hasE) return true;
  if ((c == 9 || c == 10) && (!hasE || nominal)) return true;
  if (c >= 11 && c <= 15 && !hasPhylogeny) return true;
  return false;
}

void CriteriaMenu() {
  const bool hasE = nenv > 0;
  const bool nominal = HasQualitTrait(nch, chtype);
  const bool phyl = hasPhylogeny != 0;
  Menu("CHARACTER RANKING SETTINGS");
  fprintf(out, "Trait ranking criterion maximized: \n");
  if (hasE) fprintf(out, "   1 r(XE): TCAP and TDAP\n");
  if (hasE && !nominal) fprintf(out, "   9 r(XE.T): TDAP only\n   10 r(TE): TCAP only\n");
  if (phyl)
    fprintf(out,
            "   11  correlation of phylogenetically structured assembly patterns (PSAP) to both "
            "TCAP and TDAP = r(PX)\n");
  if (phyl && !nominal)
    fprintf(out, "   12  correlation of PSAP to TDAP = r(PX.T)\n"
                 "   13  correlation of PSAP to TCAP = r(PT)\n");
  if (hasE) fprintf(out, "   16  alpha divergence: r(RE) \n");
  fprintf(out, "\n");
  if (hasE)
    fprintf(out,
            "1. Correlation r(XE) between fuzzy weighted community composition based on OTU's "
            "trait similarities (X) and ecological variables (E) may reflect both trait "
            "convergence assembly patterns (TCAP) and trait divergence assembly patterns "
            "(TDAP).\n");
  if (hasE && !nominal)
    fprintf(out,
            "9. Partial correlation r(XE.T) between X and E, removing T, reflects TDAP only.\n"
            "10. Correlation r(TE) between community weighted mean traits (T) and E reflects "
            "TCAP only.\n");
  if (phyl)
    fprintf(out,
            "11. Correlation r(PX) between P (fuzzy weighted community composition based on "
            "OTU's phylogenetic similarities) and X reflects phylogenetic signal at the "
            "metacommunity level.\n");
  if (phyl && !nominal)
    fprintf(out,
            "12. Partial correlation r(PX.T) between P and X, removing T reflects phylogenetic "
            "signal at the metacommunity level.\n"
            "13. Correlation r(PT) reflects phylogenetic signal at the metacommunity level.\n");
  if (hasE) fprintf(out, "16. ro(RE) is a congruence between Rao entropy and E.\n");
}

}  // namespace

const char* CriterionLabel(int c) {
  if (c >= 1 && c <= 20) return TableLabel(opt_structInfo, kStructInfoSlots, c - 1);
  if (c >= 21 && c <= 24) return kLaterCriteria[c - 21];
  return "";
}

bool HasQualitTrait(int n, const int* types) {
  for (int k = 0; k < n; k++)
    if (types[k] == 2) return true;
  return false;
}

void ReorderVectors(int n, const int* order, int* a, int* b, double* c, double* d) {
  if (n <= 0) return;
  int* ta = dim1Dint(n);
  int* tb = dim1Dint(n);
  double* tc = dim1Double(n);
  double* td = dim1Double(n);
  for (int i = 0; i < n; i++) {
    ta[i] = a[i];
    tb[i] = b[i];
    tc[i] = c[i];
    td[i] = d[i];
  }
  for (int i = 0; i < n; i++) {
    const int from = order[i] - 1;
    a[i] = ta[from];
    b[i] = tb[from];
    c[i] = tc[from];
    d[i] = td[from];
  }
  free1D(td);
  free1D(tc);
  free1D(tb);
  free1D(ta);
}

void SettingsChRank() {
  for (;;) {
    CriteriaMenu();
    fprintf(out, "\nType option no.: ");
    opt_struct = ToInt(ReadNumberIn("%d\n", "1 9 10 11 12 13 14 15 16 17 18 19 20 21 22 23 24"));
    if (!DataMissing(opt_struct)) break;
  }
  rankingAlgorithm = 2;
  includePhylogeny = opt_struct >= 11 && opt_struct <= 15;

  SettingsHierarchy();

  if (opt_struct == 10 || opt_struct == 16) rese_opt = 6;
  if (opt_struct == 10) whichObj = 'r';
  optUnitTotalAdjust1 = 1;

  // One partition level: the user's g types.
  if (opt_struct != 10) {
    int g = 0;
    CountGroupsNew(tcst, partition_OTUs, &g, nullptr);
    nMinCSTGroupsChRank = nMaxCSTGroupsChRank = g;
  } else {
    nMinCSTGroupsChRank = 0;
    nMaxCSTGroupsChRank = clusMethPoolCSTs != 0 ? tcst : 0;
  }

  int positive = 0;
  for (int k = 0; k < nch; k++)
    if (weight[k] > 0.0) positive++;
  fprintf(out, "Minimum number of traits in the trait subset (minimum: 1, maximum: %d): ", positive);
  nMinTraitsChRank = ToInt(ReadNumberIn("%g\n", "-", 1, positive));
  fprintf(out, "Maximum number of traits in the trait subset (minimum: %d, maximum: %d): ",
          nMinTraitsChRank, positive);
  nMaxTraitsChRank = ToInt(ReadNumberIn("%g\n", "-", nMinTraitsChRank, positive));

  fprintf(out, "\nPrint intermediate results of the ranking process?  y/n ");
  printRankIntermedResults = ReadCharIn("y n");
}

namespace {

// The criterion routine of opt_struct: the same on process 0 and, for a
// spread ranking, on every worker.
void RunCriterion() {
  switch (opt_struct) {
    case 1: ChRankTDAP_TCAP(); break;
    case 9: ChRankTDAP(); break;
    case 10: ChRankTCAP(); break;
    case 11:
    case 12:
    case 13: ChRankPhylogenyAssembly(); break;
    case 14:
    case 15: ChRank_Phylogeny_x_Trait_Assembly(); break;
    case 16: ChRankAlphaBetaDivergence(1); break;
    case 17: ChRankAlphaBetaDivergence(2); break;
    case 24: ChRankAlphaBetaDivergence(3); break;
    default: ChRankAlphaBetaDivergence(opt_struct - 14); break;  // 18..23: modes 4..9
  }
}

}  // namespace

void IFChOrderSearch() {
  SettingsChRank();
  WarnRanking();
  CatName(whichChorder, sizeof whichChorder, sessionName, Suffix(opt_struct));
  // Under an MPI launcher the workers run the same criterion routine on the
  // same data set and settings, and its search takes ranges of subsets from
  // here; not with the structures file, which is written as subsets are
  // evaluated.
  if (saveStruct != 'y' && ClusterCanSpread()) {
    Pack state;
    PackSessionState(state);
    ClusterOpenJob(kJobRanking, state.bytes);
    rankSearchSpread = true;
  }
  RunCriterion();
  if (rankSearchSpread) {
    // The routine ended without a search (as it did on the workers).
    rankSearchSpread = false;
    ClusterReleaseJob();
  }
  // The taxa partition the dialog made for the phylogeny.
  free1D(partition_OTUs_Phyl);
  partition_OTUs_Phyl = nullptr;
  WriteWarningsFile(sessionName);
  dirtyOrig = 1;
  ClearLine();
  fprintf(out, "\n\nResults on file %s%s\n", volumeName, whichChorder);
  Wait();
}

void RankingWorker(Pack& payload) {
  UnpackSessionState(payload);
  // The same routine as process 0, its files going nowhere.
  struct WorkerFlag {
    WorkerFlag() { rankSearchWorker = true; }
    ~WorkerFlag() { rankSearchWorker = false; }
  } flag;
  RunCriterion();
}
