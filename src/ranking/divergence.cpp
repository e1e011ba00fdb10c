// Criteria 16 to 24: alpha divergence r(RE), beta divergence r(XE.TR), the
// dark diversity r(SE), and the congruence of X and T with the composition
// predicted by Beals smoothing (Z with cross products, Y with abundance
// weights): r(XZ), r(TZ), r(XZ.T), r(XY), r(TY), r(XY.T).
#include <ctime>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/settings.h"
#include "multivariate/congruence.h"
#include "numeric/regression.h"
#include "ranking/rankprint.h"
#include "ranking/ranking.h"
#include "ranking/search.h"
#include "ranking/structures.h"
#include "shell/preferences.h"

namespace {

// The statistic of each mode (1 to 9): printed name, name in the list
// heading, and whether it is a partial correlation (absolute comparison).
struct ModeInfo {
  const char* line;     // intermediate line
  const char* name;     // the statistic in the list headings
  bool partial;
};

const ModeInfo kModes[10] = {
    {"", "", false},
    {"r(RE)=\t%g\tTraits:\t", "(RE)", false},
    {"r(XE.TR)=\t%g\tTraits:\t", "(XE.TR)", true},
    {"r(SE)=\t%g\tTraits:\t", "(SE)", false},
    {"r(XZ)=\t%g\tTraits:\t", "(XZ)", false},
    {"r(TZ)=\t%g\tTraits:\t", "(TZ)", false},
    {"r(XZ.T)=\t%g\tTraits:\t", "(XZ.T)", true},
    {"r(XY)=\t%g\tTraits:\t", "(XY)", false},
    {"r(TY)=\t%g\tTraits:\t", "(TY)", false},
    {"r(XY.T)=\t%g\tTraits:\t", "(XY.T)", true}};

std::string ListHeading(int mode) {
  const ModeInfo& info = kModes[mode];
  std::string heading;
  if (opt_ro == 1) {
    heading = std::string("\n\nTrait subsets with maximum ") +
              (info.partial ? "partial Mantel correlation ro" : "Mantel correlation ro") +
              info.name;
  } else if (opt_ro == 2) {
    if (mode == 2)
      heading = "\n\nTrait subsets with maximum partial congruence in a partial Procrustes "
                "correlation ro(XE.TR)";
    else if (info.partial)
      heading = std::string("\n\nTrait subsets with maximum congruence in a partial Procrustes "
                            "correlation ro") + info.name;
    else
      heading = std::string("\n\nTrait subsets with maximum congruence in a symmetric "
                            "Procrustes rotation ro") + info.name;
  } else {
    heading = std::string(info.partial
                              ? "\n\nTrait subsets with maximum partial congruence measured by "
                                "a partial RV coefficient r"
                              : "\n\nTrait subsets with maximum congruence measured by the RV "
                                "coefficient r") +
              info.name;
  }
  return heading + ":\nTRC\toptimal subset of traits\n";
}

double Congruence(int m, int p1, int p2, double** A, double** B) {
  if (opt_ro == 2) return ProcrustesCoeff(m, p1, p2, A, B);
  return RVcoeff(m, p1, p2, A, B);
}

}  // namespace

void ChRankAlphaBetaDivergence(int mode) {
  const bool structures = saveStruct == 'y';
  const bool mantel = opt_ro == 1;
  const bool usesT = mode == 2 || mode == 5 || mode == 6 || mode == 8 || mode == 9;
  const bool usesX = mode == 2 || mode == 3 || mode == 4 || mode == 6 || mode == 7 || mode == 9;
  const bool usesZ = mode >= 4;
  RankNeeds needs;
  needs.environment = true;
  needs.traitMeans = usesT || structures;
  needs.similarities = true;
  needs.rao = mode == 1 || mode == 2 || structures;
  needs.distX = mantel && (usesX || structures);
  needs.reseX = rese_opt;
  needs.beals = mode >= 7 ? 1 : (mode >= 4 ? 2 : 0);
  needs.pooledW = mode == 3;
  RankRun run;
  StartRankRun(run, needs);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;

  PrintApproachLines(fp);
  fprintf(fp, "Trait ranking criterion (TRC): %s\t%s\n", CriterionLabel(opt_struct),
          TableLabel(opt_roInfo, 3, opt_ro - 1));
  fprintf(fp, "Correlation measure: %s\n", TableLabel(opt_roInfo, 3, opt_ro - 1));
  PrintPoolingAndOTULines(fp, true, "similarity");
  fprintf(fp, "Rao entropy based on traits computed on square root transformed dissimilarities? %s\n",
          YesNotInfo[sqrtDissimOpt_RaoTraits != 0 ? 1 : 0]);
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  fprintf(fp, "Fuzzy transformation: %s\n", TableLabel(fuzzyInfo, 4, fuzzy));
  PrintReseOrFactorLine(fp);
  PrintIntermediateColumns(fp, "Groups\tTrait subset used:\n");

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPreamble(stru, d, "Resemblance matrix between %d communities based on %d environmental "
                            "variables:\n",
                   "\nTrait matrix with %d OTUs by %d traits: \n");
  }

  SearchPlan plan;
  plan.mode = kModes[mode].partial ? kAbsoluteMode : kSignedMode;
  plan.listAbsolute = true;
  plan.sizeLine = kSizeLineGroups;
  plan.sequential = stru != nullptr;
  plan.listHeading = ListHeading(mode);
  plan.evaluate = [&d, stru, &scratch, mode, mantel, usesT, usesX, usesZ](
                      RankWork& w, const int* traits, int k, SubsetRecord& r) {
    const int m = d.m, p = d.p, q = d.q, g = d.g, n = d.n;
    SubsetT(d, w, traits, k);
    double rTE = 0.0, rTZ = 0.0;
    if (usesT || stru != nullptr) {
      SubsetDT(d, w, traits, k);
      if (mantel)
        rTE = FixedCommunityCorr(d.de, w.dt.data());
      else if (stru != nullptr)
        rTE = Congruence(m, p, q, w.T, d.E);
      if (usesZ && usesT) rTZ = mantel ? FixedCommunityCorr(d.dz, w.dt.data())
                                       : Congruence(m, p, n, w.T, d.Z);
    }
    // S for the Rao entropy and the fuzzy belonging.
    const bool rao = mode == 1 || mode == 2 || stru != nullptr;
    if (rao || (usesX && d.fuzzyTypes)) SubsetS(d, w, traits, k);
    if (stru != nullptr) {
      StructSubset(stru, d, w, scratch, traits, k);
    }
    if (!d.level) return;
    // The one partition level: the user's g types.
    if (usesX || stru != nullptr) SubsetX(d, w);
    double** X = SubsetXMatrix(d, w);
    if (rao) SubsetRao(d, w);
    if (mode == 3) SubsetDarkDiversity(d, w);
    double rXE = 0.0, rXT = 0.0, rXZ = 0.0, value = 0.0;
    if (mantel) {
      const double* dx = SubsetDXPairs(d, w);
      if (mode == 1) {
        value = FixedCorr(d.de, w.dr.data());
      } else if (mode == 3) {
        // The dark diversity uses no resemblance on X: the dialog still asks
        // for one (as for every criterion but 10 and 16) and it goes unused.
        value = FixedCorr(d.de, w.ds.data());
      } else {
        rXE = FixedCommunityCorr(d.de, dx);
        if (usesZ && usesX) rXZ = FixedCommunityCorr(d.dz, dx);
        if (usesT || stru != nullptr) rXT = PairCommunityCorr(m, w.dt.data(), dx);
        if (mode == 2) {
          const long np = d.npm;
          const double rER = FixedCorr(d.de, w.dr.data());
          const double rXR = PairsCorr(np, dx, w.dr.data());
          const double rTR = PairsCorr(np, w.dt.data(), w.dr.data());
          const double a = PartialCorrelation(rXE, rXR, rER);
          const double b = PartialCorrelation(rTE, rTR, rER);
          const double c = PartialCorrelation(rXT, rXR, rTR);
          value = PartialCorrelation(a, c, b);
        } else if (mode == 4 || mode == 7) {
          value = rXZ;
        } else if (mode == 5 || mode == 8) {
          value = rTZ;
        } else {
          value = PartialCorrelation(rXZ, rXT, rTZ);
        }
      }
    } else {
      const double f = overfitFactorPCARegr;
      if (mode == 1)
        value = Congruence(m, q, 1, d.E, w.R);
      else if (mode == 3)
        value = Congruence(m, q, 1, d.E, w.D);
      else if (mode == 2)
        value = PartialMatrixCorrelation(m, g, q, X, d.E, opt_ro, f, 2, p,
                                         static_cast<const int*>(w.sel), w.T, 1,
                                         static_cast<const int*>(nullptr), w.R);
      else if (mode == 4 || mode == 7)
        value = Congruence(m, g, n, X, d.Z);
      else if (mode == 5 || mode == 8)
        value = rTZ;
      else
        value = PartialMatrixCorrelation(m, g, n, X, d.Z, opt_ro, f, 1, p,
                                         static_cast<const int*>(w.sel), w.T);
    }
    r.evaluated = true;
    r.value = r.stats[0] = value;
    r.groups = g;
    if (stru == nullptr) return;
    StructLevel(stru, d, w, scratch, mantel ? w.dr.data() : nullptr);
    if (mantel)
      fprintf(stru,
              "\nTrait ranking criterion:\tro(TE)=\t%g\tro(XE)=\t%g\tro(XT)=\t%g\tro(XE.T)=\t%g\t%d "
              "groups\tTraits:\t",
              rTE, rXE, rXT, value, g);
    else
      fprintf(stru, "\nTrait ranking criterion:\tr(XE.T)=\t%g\t%d groups\tTraits:\t", value, g);
    PrintLabels0(stru, traits, k, "%s\t");
    StructGroupSizes(stru, d);
    if (mantel)
      StructResiduals(stru, d, scratch, w.dt.data(), SubsetDXPairs(d, w),
                      "\nResemblance matrix between communities (residuals after removing the "
                      "effect of DT):\n");
  };
  plan.line = [mode](FILE* f, const SubsetRecord& r) {
    fprintf(f, kModes[mode].line, r.stats[0]);
  };
  FinishRankRun(run, plan);
}
