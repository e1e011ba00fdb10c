// Criteria 1 (r(XE), both trait-convergence and trait-divergence assembly
// patterns), 9 (r(XE.T), divergence only) and 10 (r(TE), convergence only).
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

const char kEnvReleves[] = "Resemblance matrix between %d relevés based on %d environmental variables:\n";
const char kEnvCommunities[] =
    "Resemblance matrix between %d communities based on %d environmental variables:\n";
const char kTraitsPopulations[] = "\nTrait matrix with %d populations by %d traits: \n";
const char kTraitsOTUs[] = "\nTrait matrix with %d OTUs by %d traits: \n";

const char* MeasureLabel() { return TableLabel(opt_roInfo, 3, opt_ro - 1); }

// Congruence of E with a community matrix M (m x cols) by Procrustes or RV.
double CongruenceWithE(const RankData& d, int cols, double** M) {
  if (opt_ro == 2) return ProcrustesCoeff(d.m, d.q, cols, d.E, M);
  return RVcoeff(d.m, d.q, cols, d.E, M);
}

}  // namespace

void ChRankTCAP() {
  RankNeeds needs;
  needs.environment = true;
  needs.traitMeans = true;
  RankRun run;
  StartRankRun(run, needs);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;

  fprintf(fp, "\nTrait-based approach: %s\n", TableLabel(traitBasedOptInfo, 2, traitBasedOpt - 1));
  fprintf(fp, "Trait ranking criterion (TRC): %s\n", CriterionLabel(opt_struct));
  fprintf(fp, "Correlation measure: %s\n", MeasureLabel());
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  PrintTraitsConsidered(fp);
  if (opt_ro == 1)
    fprintf(fp, "Resemblance option between communities: %s\n",
            TableLabel(rese_optInfo, 10, rese_opt - 1));

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPreamble(stru, d, kEnvReleves, kTraitsPopulations);
  }

  SearchPlan plan;
  plan.mode = kSignedMode;
  plan.listAbsolute = false;
  plan.sequential = stru != nullptr;
  plan.listHeading =
      Formatted("\n\nTrait subsets with maximum rank:\n%-*s\tSubset of traits\n", sDigits + 6, "TRC");
  plan.evaluate = [&d, stru, &scratch](RankWork& w, const int* traits, int k, SubsetRecord& r) {
    SubsetT(d, w, traits, k);
    // DT is the Euclidean distance whatever the measure (rese_opt is 6).
    SubsetDT(d, w, traits, k);
    double value;
    if (opt_ro == 1)
      value = FixedCommunityCorr(d.de, w.dt.data());
    else
      value = CongruenceWithE(d, d.p, w.T);
    r.evaluated = true;
    r.value = r.stats[0] = value;
    if (stru == nullptr) return;
    StructTraitMeans(stru, d, w, scratch, traits, k, "Resemblance matrix between communities:\n");
    const char* name = opt_ro == 1 ? "ro(TE)" : opt_ro == 2 ? "traceW" : "RV";
    fprintf(stru, "\nTrait ranking criterion %s=\t%-*.*g\tTrait subset used:\t", name,
            sDigits + 6, sDigits, value);
    PrintLabels0(stru, traits, k, "%s\t");
    fprintf(stru, "\n");
  };
  // The matrix correlation of several subsets at once: their sums side by
  // side, each in the order of a direct computation.
  if (opt_ro == 1 && stru == nullptr)
    plan.evaluateBatch = [&d](RankWork& w, const int* const* traits, int k, int count,
                              SubsetRecord** r) {
      const double* dts[kSubsetBatch] = {};
      for (int j = 0; j < count; j++) {
        double* out = &w.dtBatch[static_cast<size_t>(j) * d.npm];
        SubsetDT(d, w, traits[j], k, out);
        dts[j] = out;
      }
      double values[kSubsetBatch];
      FixedCommunityCorrBatch(d.de, count, dts, values);
      for (int j = 0; j < count; j++) {
        r[j]->evaluated = true;
        r[j]->value = r[j]->stats[0] = values[j];
      }
    };
  plan.line = [](FILE* f, const SubsetRecord& r) { fprintf(f, "%g\t", r.stats[0]); };
  FinishRankRun(run, plan);
}

void ChRankTDAP_TCAP() {
  RankNeeds needs;
  needs.environment = true;
  needs.similarities = true;
  needs.distX = opt_ro == 1;
  needs.reseX = rese_opt;
  RankRun run;
  StartRankRun(run, needs);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;

  fprintf(fp, "Trait ranking criterion (TRC): %s\n", CriterionLabel(opt_struct));
  fprintf(fp, "Correlation measure: %s\n", MeasureLabel());
  PrintPoolingLines(fp, true);
  fprintf(fp, "Gower similarity index modified to count matching absences in binary traits? %s\n",
          YesNotInfo[countDoubleAbsence == 1 ? 1 : 0]);
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  fprintf(fp, "Fuzzy transformation: %s\n", TableLabel(fuzzyInfo, 4, fuzzy));
  if (opt_ro == 1)
    fprintf(fp, "Resemblance option between communities: %s\n",
            TableLabel(rese_optInfo, 10, rese_opt - 1));
  PrintTraitsConsidered(fp);
  PrintIntermediateColumns(fp, "Trait subset used:\n");

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPreamble(stru, d, kEnvReleves, kTraitsPopulations);
  }

  SearchPlan plan;
  plan.mode = kSignedMode;
  plan.listAbsolute = false;
  plan.sequential = stru != nullptr;
  plan.listHeading =
      Formatted("\n\nTrait subsets with maximum rank:\n%-*s\tSubset of traits\n", sDigits + 6, "TRC");
  plan.evaluate = [&d, stru, &scratch](RankWork& w, const int* traits, int k, SubsetRecord& r) {
    SubsetT(d, w, traits, k);
    // With crisp belonging X does not depend on the subset; S is needed only
    // for the fuzzy belonging and the structures file.
    if (d.fuzzyTypes || stru != nullptr) SubsetS(d, w, traits, k);
    if (stru != nullptr)
      StructSimilarity(stru, d, w, traits, k,
                       "\nSimilarity matrix between %d populations, based on %d traits (Gower "
                       "index modified to count double absences in binary traits):\n");
    if (!d.level) return;
    SubsetX(d, w);
    double** X = SubsetXMatrix(d, w);
    double value;
    if (opt_ro == 1)
      value = FixedCommunityCorr(d.de, SubsetDXPairs(d, w));
    else
      value = CongruenceWithE(d, d.g, X);
    r.evaluated = true;
    r.value = value;
    r.groups = d.g;
    if (stru == nullptr) return;
    const int m = d.m, n = d.n, g = d.g;
    fprintf(stru, "\nPartition vector of %d populations in %d groups:\n", n, g);
    PrintVectorTab(stru, n, partition_OTUs, nullptr);
    fprintf(stru, "\nDegrees of belonging of %d populations (rows) in %d groups (columns):\n", n, g);
    PrintMatrixTab(stru, n, g, d.fuzzyTypes ? w.U : d.C, sDigits);
    fprintf(stru, "\nPooled performance matrix (%d relevés x %d population groups):\n", m, g);
    PrintMatrixTab(stru, m, g, X, sDigits);
    if (opt_ro == 1) {
      fprintf(stru, "Resemblance matrix between relevés:\n");
      FromPairs(m, SubsetDXPairs(d, w), scratch.D2);
      PrintLowerHalfMatrixTab(stru, m, scratch.D2, sDigits);
    }
    fprintf(stru, "\nTrait ranking criterion:\t%-*.*g\tTrait subset used:\t", sDigits + 6, sDigits,
            value);
    PrintLabels0(stru, traits, k, "%s\t");
    fprintf(stru, "\n");
  };
  plan.line = [](FILE* f, const SubsetRecord& r) {
    fprintf(f, "%-*.*g\t", sDigits + 6, sDigits, r.value);
  };
  FinishRankRun(run, plan);
}

void ChRankTDAP() {
  RankNeeds needs;
  needs.environment = true;
  needs.traitMeans = true;
  needs.similarities = true;
  needs.distX = opt_ro == 1;
  needs.reseX = rese_opt;
  RankRun run;
  StartRankRun(run, needs);
  RankData& d = run.d;
  FILE* fp = run.fp;
  FILE* stru = run.stru;

  PrintApproachLines(fp);
  fprintf(fp, "Trait ranking criterion (TRC): %s\n", CriterionLabel(opt_struct));
  fprintf(fp, "Correlation measure: %s\n", MeasureLabel());
  PrintPoolingAndOTULines(fp, true, "similarity");
  fprintf(fp, "Ranking algorithm: %s\n", TableLabel(rankingAlgorithmInfo, 2, rankingAlgorithm - 1));
  PrintTraitsConsidered(fp);
  fprintf(fp, "Fuzzy transformation: %s\n", TableLabel(fuzzyInfo, 4, fuzzy));
  PrintReseOrFactorLine(fp);
  PrintIntermediateColumns(fp, "Trait subset used:\n");

  StructScratch& scratch = run.scratch;
  if (stru != nullptr) {
    StructPreamble(stru, d, kEnvCommunities, kTraitsOTUs);
  }

  SearchPlan plan;
  plan.mode = kAbsoluteMode;
  plan.listAbsolute = true;
  plan.sequential = stru != nullptr;
  plan.listHeading =
      opt_ro == 1   ? "\n\nTrait subsets with maximum partial Mantel correlation ro(XE.T):\nTRC\toptimal "
                      "subset of traits\n"
      : opt_ro == 2 ? "\n\nTrait subsets with maximum partial congruence in a symmetric Procrustes "
                      "rotation r(XE.T):\nTRC\toptimal subset of traits\n"
                    : "\n\nTrait subsets with maximum partial congruence in RV r(XE.T):\nTRC\toptimal "
                      "subset of traits\n";
  plan.evaluate = [&d, stru, &scratch](RankWork& w, const int* traits, int k, SubsetRecord& r) {
    SubsetT(d, w, traits, k);
    SubsetDT(d, w, traits, k);
    // ro(TE) is the matrix correlation whatever the measure.
    const double rTE = FixedCommunityCorr(d.de, w.dt.data());
    if (d.fuzzyTypes || stru != nullptr) SubsetS(d, w, traits, k);
    if (stru != nullptr) {
      StructSubset(stru, d, w, scratch, traits, k);
    }
    if (!d.level) return;
    SubsetX(d, w);
    double** X = SubsetXMatrix(d, w);
    // With Procrustes or RV, ro(XE) and ro(XT) are not formed and print as 0.
    double rXE = 0.0, rXT = 0.0, value;
    if (opt_ro == 1) {
      const double* dx = SubsetDXPairs(d, w);
      rXE = FixedCommunityCorr(d.de, dx);
      rXT = PairCommunityCorr(d.m, w.dt.data(), dx);
      value = PartialCorrelation(rXE, rXT, rTE);
    } else {
      value = PartialMatrixCorrelation(d.m, d.g, d.q, X, d.E, opt_ro, overfitFactorPCARegr, 1, d.p,
                                       static_cast<const int*>(w.sel), w.T);
    }
    r.evaluated = true;
    r.value = value;
    r.groups = d.g;
    r.stats[0] = rTE;
    r.stats[1] = rXE;
    r.stats[2] = rXT;
    r.stats[3] = value;
    if (stru == nullptr) return;
    StructLevel(stru, d, w, scratch, nullptr);
    if (opt_ro == 1)
      fprintf(stru,
              "\nTrait ranking criterion:\tro(TE)=\t%g\tro(XE)=\t%g\tro(XT)=\t%g\tro(XE.T)=\t%g\t%d "
              "groups\tTraits:\t",
              rTE, rXE, rXT, value, d.g);
    else
      fprintf(stru, opt_ro == 2 ? "\nTrait ranking criterion:\tro(XE.T)=\t%g\t%d groups\tTraits:\t"
                                : "\nTrait ranking criterion:\tr(XE.T)=\t%g\t%d groups\tTraits:\t",
              value, d.g);
    PrintLabels0(stru, traits, k, "%s\t");
    StructGroupSizes(stru, d);
    if (opt_ro == 1)
      StructResiduals(stru, d, scratch, w.dt.data(), SubsetDXPairs(d, w),
                      "\nResemblance matrix between communities (residuals after removing the "
                      "effect of DT):\n");
  };
  plan.line = [](FILE* f, const SubsetRecord& r) {
    fprintf(f,
            opt_ro == 1 ? "ro(TE)=\t%g\tro(XE)=\t%g\tro(XT)=\t%g\tro(XE.T)=\t%g\tTraits:\t"
                        : "r(TE)=\t%g\tro(XE)=\t%g\tro(XT)=\t%g\tro(XE.T)=\t%g\tTraits:\t",
            r.stats[0], r.stats[1], r.stats[2], r.stats[3]);
  };
  FinishRankRun(run, plan);
}
