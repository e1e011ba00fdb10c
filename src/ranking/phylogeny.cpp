// Criteria 11 to 15: how well the trait-based structures of a subset
// reproduce the phylogenetically fuzzy-weighted composition P (r(PX),
// r(PX.T), r(PT)), and the niche-conservation products r(PT) r(TE) and
// r(PX) r(XE).
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
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"
#include "shell/readers.h"

namespace {

const char kIntermediateName[] = "IntermediateRankResults.txt";

// The phylogeny, its taxa, Q, P and DP before the search.
void StructPhylogeny(FILE* fp, const RankData& d) {
  const int n = d.n, m = d.m, h = d.h;
  if (phylogenyMatrixType == 2) {
    fprintf(fp, "\nVariable types in the phylogeny matrix with %d OTUs by %d phylogenetic variables: \n",
            n, nClados);
    PrintVectorTab(fp, nClados, phylogenyVarType, nullptr);
    fprintf(fp, "\nPhylogeny matrix with %d OTUs by %d phylogenetic variables: \n", n, nClados);
    PrintMatrixTab(fp, n, nClados, phylogenyData, sDigits);
    fprintf(fp,
            "\nSimilarity matrix (Gower index) between %d OTUs, based on %d phylogenetic "
            "variables:\n",
            n, nClados);
  } else {
    fprintf(fp, phylogenyMatrixType == 3 ? "\nDissimilarity matrix between %d OTUs:\n"
                                         : "\nSimilarity matrix between %d OTUs:\n",
            n);
  }
  PrintLowerHalfMatrixTab(fp, n, d.F, sDigits);
  fprintf(fp, "\nPartition vector of %d OTUs in %d taxa:\n", n, h);
  if (partition_OTUs_Phyl != nullptr) PrintVectorTab(fp, n, partition_OTUs_Phyl, nullptr);
  fprintf(fp,
          "\nFuzzy belonging of %d OTUs (rows) in %d taxa (columns) according to their "
          "phylogeny:\n",
          n, h);
  PrintMatrixTab(fp, n, h, d.Q, sDigits);
  fprintf(fp,
          "\nPooled performance matrix P (%d communities x %d taxa) after fuzzy-weighting by the "
          "specified phylogeny:\n",
          m, h);
  PrintMatrixTab(fp, m, h, d.P, sDigits);
  fprintf(fp,
          "\nResemblance matrix (DP) between communities based on matrix P, the composition of "
          "OTUs weighted by their phylogeny:\n");
  PrintLowerHalfMatrixTab(fp, m, d.DP, sDigits);
}

// Congruence of two community matrices by Procrustes or RV.
double Congruence(int m, int p1, int p2, double** A, double** B) {
  if (opt_ro == 2) return ProcrustesCoeff(m, p1, p2, A, B);
  return RVcoeff(m, p1, p2, A, B);
}

}  // namespace

void ChRankPhylogenyAssembly() {
  const int criterion = opt_struct;
  const bool mantel = opt_ro == 1;
  RankNeeds needs;
  needs.environment = true;
  needs.traitMeans = true;
  needs.similarities = true;
  needs.distX = mantel;
  needs.reseX = rese_opt;
  needs.phylogeny = true;
  needs.reseP = rese_opt;
  // The intermediate matrices of these criteria go to a file of their own.
  RankRun run;
  StartRankRun(run, needs, kIntermediateName);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;
  PrintApproachLines(fp);
  fprintf(fp, "Trait ranking criterion (TRC): %s\n", CriterionLabel(criterion));
  fprintf(fp, "Correlation measure: %s\n", TableLabel(opt_roInfo, 3, opt_ro - 1));
  PrintPoolingAndOTULines(fp, true, "index");
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  fprintf(fp, "Fuzzy transformation: %s\n", TableLabel(fuzzyInfo, 4, fuzzy));
  PrintReseOrFactorLine(fp);
  PrintIntermediateColumns(fp, "Trait subset used:\n");

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPhylogeny(stru, d);
  }

  SearchPlan plan;
  plan.mode = criterion == 12 ? kAbsoluteMode : kSignedMode;
  plan.listAbsolute = criterion == 12;
  plan.sequential = stru != nullptr;
  plan.listHeading = "\n\nTrait subsets with maximum matrix correlation:\nTRC\toptimal subset of traits\n";
  plan.evaluate = [&d, stru, &scratch, criterion, mantel](RankWork& w, const int* traits, int k,
                                                          SubsetRecord& r) {
    const int m = d.m, p = d.p, g = d.g, h = d.h;
    SubsetT(d, w, traits, k);
    SubsetDT(d, w, traits, k);
    const double rPT = mantel ? FixedCommunityCorr(d.dp, w.dt.data()) : Congruence(m, p, h, w.T, d.P);
    if (d.fuzzyTypes || stru != nullptr) SubsetS(d, w, traits, k);
    if (stru != nullptr) {
      StructSubset(stru, d, w, scratch, traits, k);
    }
    if (!d.level) return;
    SubsetX(d, w);
    double** X = SubsetXMatrix(d, w);
    double rPX, rXT, rPXT;
    if (mantel) {
      const double* dx = SubsetDXPairs(d, w);
      rPX = FixedCommunityCorr(d.dp, dx);
      rXT = PairCommunityCorr(m, w.dt.data(), dx);
      rPXT = PartialCorrelation(rPX, rXT, rPT);
    } else {
      rPX = Congruence(m, g, h, X, d.P);
      rXT = Congruence(m, g, p, X, w.T);
      rPXT = PartialMatrixCorrelation(m, h, g, d.P, X, opt_ro, overfitFactorPCARegr, 1, p,
                                      static_cast<const int*>(w.sel), w.T);
    }
    r.evaluated = true;
    r.groups = g;
    r.value = criterion == 11 ? rPX : criterion == 12 ? rPXT : rPT;
    r.stats[0] = rPT;
    r.stats[1] = rPX;
    r.stats[2] = rXT;
    r.stats[3] = rPXT;
    if (stru == nullptr) return;
    StructLevel(stru, d, w, scratch, nullptr);
    fprintf(stru,
            "\nTrait ranking criterion:\tro(PT)=\t%g\tro(PX)=\t%g\tro(XT)=\t%g\tro(PX.T)=\t%g\t%d "
            "groups\tTraits:\t",
            rPT, rPX, rXT, rPXT, g);
    PrintLabels0(stru, traits, k, "%s\t");
    StructGroupSizes(stru, d);
    if (mantel) {
      std::vector<double> dp(d.npm);
      ToPairs(m, d.DP, dp.data());
      StructResiduals(stru, d, scratch, w.dt.data(), dp.data(),
                      "\nResemblance matrix between communities based lon phylogeny (residuals "
                      "after removing the effect of DT):\n");
      StructResiduals(stru, d, scratch, w.dt.data(), SubsetDXPairs(d, w),
                      "\nResemblance matrix between communities based on traits (residuals after "
                      "removing the effect of DT):\n");
    }
  };
  plan.line = [](FILE* f, const SubsetRecord& r) {
    fprintf(f, "ro(PT)=\t%g\tro(PX)=\t%g\tro(XT)=\t%g\tro(PX.T)=\t%g\tTraits:\t", r.stats[0],
            r.stats[1], r.stats[2], r.stats[3]);
  };
  FinishRankRun(run, plan);
}

void ChRank_Phylogeny_x_Trait_Assembly() {
  const int criterion = opt_struct;
  // Matrix correlations whatever the measure; with Procrustes or RV the
  // resemblance between communities is never asked, and DX and DP are
  // Euclidean distances.
  const int rese = opt_ro == 1 ? rese_opt : 6;
  RankNeeds needs;
  needs.environment = true;
  needs.traitMeans = true;
  needs.similarities = true;
  needs.distX = true;
  needs.reseX = rese;
  needs.phylogeny = true;
  needs.reseP = rese;
  RankRun run;
  StartRankRun(run, needs);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;
  const int m = d.m;
  const double rPE = FixedCommunityCorr(d.de, d.dp.a.data());

  PrintApproachLines(fp);
  fprintf(fp, "Trait ranking criterion (TRC): %s\n", CriterionLabel(criterion));
  PrintPoolingAndOTULines(fp, false, "index");
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  bool someZero = false;
  for (int k = 0; k < nch; k++)
    if (weight[k] == 0.0) someZero = true;
  if (someZero) {
    fprintf(fp, "Traits considered in the computation of Gower similarity index between populations:\t");
    for (int k = 0; k < nch; k++)
      if (weight[k] > 0.0) fprintf(fp, "%-3s", chLabel[k]);
    fprintf(fp, "\n");
  } else {
    fprintf(fp, "All traits were considered in the computation of Gower similarity index between "
                "populations.\n");
  }
  fprintf(fp, "Fuzzy transformation: %s\n", TableLabel(fuzzyInfo, 4, fuzzy));
  if (opt_ro == 1)
    fprintf(fp, "Resemblance option between communities: %s\n",
            TableLabel(rese_optInfo, 10, rese_opt - 1));
  PrintIntermediateColumns(fp, "Groups\tTrait subset used:\n");

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPhylogeny(stru, d);
    fprintf(stru, "Resemblance matrix between %d relevés based on %d environmental variables:\n", m,
            d.q);
    PrintLowerHalfMatrixTab(stru, m, d.DE, sDigits);
  }

  SearchPlan plan;
  plan.mode = kSignedMode;
  plan.listAbsolute = true;
  plan.sizeLine = kSizeLineNiche;
  plan.nicheLists = true;
  plan.sequential = stru != nullptr;
  plan.listHeading =
      "\n\nTrait subsets and number of types with maximum matrix correlation:\nTRC\tn "
      "groups\toptimal subset of traits\n";
  plan.secondListHeading =
      "\n\nTrait subsets with maximum matrix correlation (only optimal number of types "
      "presented):\nTRC\tn groups\toptimal subset of traits\n";
  plan.evaluate = [&d, stru, &scratch, criterion, rPE](RankWork& w, const int* traits, int k,
                                                       SubsetRecord& r) {
    const int m = d.m;
    SubsetT(d, w, traits, k);
    SubsetDT(d, w, traits, k);
    const double* dt = w.dt.data();
    const double rPT = FixedCommunityCorr(d.dp, dt);
    if (d.fuzzyTypes) SubsetS(d, w, traits, k);
    if (!d.level) return;
    SubsetX(d, w);
    const double* dx = SubsetDXPairs(d, w);
    double* s = r.stats;
    const double rPX = FixedCommunityCorr(d.dp, dx);
    const double rXT = PairCommunityCorr(m, dt, dx);
    const double rXE = FixedCommunityCorr(d.de, dx);
    const double rTE = FixedCommunityCorr(d.de, dt);
    const double rXET = PartialCorrelation(rXE, rXT, rTE);
    const double rTEP = PartialCorrelation(rTE, rPT, rPE);
    const double rPXT = PartialCorrelation(rPX, rPT, rXT);
    const double rPET = PartialCorrelation(rPE, rPT, rTE);
    const double rXEPT = PartialCorrelation(rXET, rPXT, rPET);
    const double rXEP = PartialCorrelation(rXE, rPX, rPE);
    const double beta = rTE * rPT, alphaBeta = rPX * rXE, alpha = rXET * rPXT;
    const double values[15] = {rPT,  rPX,  rXT,   rPXT, rXE,  rTE,       rXET, rPE,
                               rTEP, rPET, rXEP, rXEPT, beta, alphaBeta, alpha};
    for (int j = 0; j < 15; j++) s[j] = values[j];
    r.evaluated = true;
    r.groups = d.g;
    r.value = criterion == 14 ? beta : alphaBeta;
    if (stru == nullptr) return;
    fprintf(stru,
            "\nTrait ranking criterion:\tro(PT)=\t%g\tro(PX)=\t%g\tro(XT)=\t%g\tro(PX.T)=\t%g\tro(XE)="
            "\t%g\tro(TE)=\t%g\tro(XE.T)=\t%g\tro(PE)=\t%g\tro(TE.P)=\t%g\tro(PE.T)=\t%g\tro(XE.P)="
            "\t%g\tro(XE.PT)=\t%g\troBetaNiche=\t%g\troAlphaBetaNiche=\t%g\troAlphaNiche=\t%g\t%d "
            "groups\tTraits:\t",
            s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], s[10], s[11], s[12], s[13],
            s[14], d.g);
    PrintLabels0(stru, traits, k, "%s\t");
    StructGroupSizes(stru, d);
    std::vector<double> dp(d.npm);
    ToPairs(m, d.DP, dp.data());
    StructResiduals(stru, d, scratch, dt, dp.data(),
                    "\nResemblance matrix between communities based on phylogeny (residuals after "
                    "removing the effect of DT):\n");
    StructResiduals(stru, d, scratch, dt, dx,
                    "\nResemblance matrix between communities based on traits (residuals after "
                    "removing the effect of DT):\n");
  };
  plan.line = [](FILE* f, const SubsetRecord& r) {
    const double* s = r.stats;
    fprintf(f,
            "ro(PT)=\t%g\tro(PX)=\t%g\tro(XT)=\t%g\tro(PX.T)=\t%g\tro(XE)=\t%g\tro(TE)=\t%g\tro(XE.T)="
            "\t%g\tro(PE)=\t%g\tro(TE.P)=\t%g\tro(PE.T)=\t%g\tro(XE.P)=\t%g\tro(XE.PT)=\t%g\t"
            "roBetaNiche=\t%g\troAlphaBetaNiche=\t%g\troAlphaNiche=\t%g\t%d groups\tTraits:\t",
            s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], s[9], s[10], s[11], s[12], s[13],
            s[14], r.groups);
  };
  plan.afterLabels = [&d](FILE* f, const SubsetRecord&) {
    fprintf(f, "Group sizes:\t");
    for (int t = 0; t < d.g; t++) fprintf(f, "%d\t", d.typeSize[t]);
  };
  FinishRankRun(run, plan);
}
