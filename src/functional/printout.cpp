#include "functional/printout.h"

#include <cstring>
#include <ctime>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/permtest.h"
#include "functional/settings.h"
#include "numeric/regression.h"
#include "shell/console.h"
#include "shell/preferences.h"

// A label from a table of n entries for a 0-based index, or "" outside it,
// so that a stray setting read from a track file never reads past a table.
static const char* Label(const char* const* table, int n, int index) {
  return index >= 0 && index < n ? table[index] : "";
}

const char* CongruenceLabel(int measure) {
  // opt_roInfo names the three correlation measures; regression and
  // analysis of variance are named here in the same words as the settings
  // dialog uses for them.
  if (measure >= 1 && measure <= 3) return opt_roInfo[measure - 1];
  if (measure == 4) return "linear regression";
  if (measure == 5) return "analysis of variance";
  return "";
}

static void Matrix(FILE* fp, int rows, int cols, double** M) {
  if (M != nullptr) PrintMatrix(fp, rows, cols, M, sDigits, 0);
}

static void LowerHalf(FILE* fp, int n, double** M) {
  if (M != nullptr) PrintLowerHalfMatrixTab(fp, n, M, sDigits);
}

static void Vector(FILE* fp, int n, const double* v) {
  if (v != nullptr) PrintVectorTab(fp, n, v, sDigits, nullptr);
}

static void SelectedTraitLabels(FILE* fp, const int* select, const char* format) {
  for (int k = 0; k < nch; k++)
    if (select[k] == 1) fprintf(fp, format, chLabel[k]);
}

void PrintScalingUpHeader(FILE* fp) {
  // 1. Header; the banner only opens a new file.
  if (strcmp(prindaMode, "w") == 0) fprintf(fp, "\n%s\n", version);
  fprintf(fp, "%s\n", lineL);
  fprintf(fp, "EXPLORATION OF COMMUNITY DATA STRUCTURES\n");
  fprintf(fp, "%s\n", lineL);
  TimeStamp(fp);
  fprintf(fp, "Session:          %s\n", sessionName);
  fprintf(fp, "Formatted data:   %s\n", whichFormda);
  fprintf(fp, "Unformatted data: %s\n\n", dataName);

  // 2. Traits.
  fprintf(fp, "Trait set:        ");
  for (int k = 0; k < nch; k++) fprintf(fp, "%-3s", chLabel[k]);
  fprintf(fp, "\nNumber of states: ");
  for (int k = 0; k < nch; k++) fprintf(fp, "%-3d", onsta[k]);
  fprintf(fp, "\nTrait type:       ");
  for (int k = 0; k < nch; k++) fprintf(fp, "%-3d", chtype[k]);
  fprintf(fp, "\nTrait weights:     ");
  for (int k = 0; k < nch; k++) fprintf(fp, "%g\t", weight[k]);

  // 3. Settings.
  fprintf(fp, "\nTrait-based approach: %s\n", Label(traitBasedOptInfo, 2, traitBasedOpt - 1));
  if (optUnitTotalAdjust1)
    fprintf(fp, "Community data matrix W adjusted to unit totals prior to trait convergence "
                "evaluation (TCAP).\n");
  else
    fprintf(fp, "Community data matrix W NOT adjusted to unit totals prior to trait convergence "
                "evaluation (TCAP).\n");
  if (optUnitTotalAdjust2)
    fprintf(fp, "Community data matrix W adjusted to unit totals prior to evaluation of TDAP.\n");
  else
    fprintf(fp,
            "Community data matrix W NOT adjusted to unit totals prior to evaluation of TDAP.\n");
  fprintf(fp, "\nPooling of OTUs: %s\n", Label(poolCSToptInfo, 2, poolCSTopt - 1));
  if (poolCSTopt == 2 && clusMethPoolCSTs == 0)
    fprintf(fp, "Clustering method defining types: none (groups were specified by the user).\n");
  fprintf(fp, "Resemblance function between OTUs: %s\n", Label(reseCSToptInfo, 2, reseCSTopt - 1));
  if (reseCSTopt == 1)
    fprintf(fp, "Gower index modified to count matching absences in binary traits? %s\n",
            Label(YesNotInfo, 2, countDoubleAbsence));

  // 4. Phylogeny and Rao entropy.
  fprintf(fp, includePhylogeny ? "\nPhylogeny: Is considered\n" : "\nPhylogeny: Is NOT considered\n");
  fprintf(fp, "Rao entropy based on traits computed on square root transformed dissimilarities? %s\n",
          Label(YesNotInfo, 2, sqrtDissimOpt_RaoTraits));
  if (includePhylogeny) {
    fprintf(fp,
            "Rao entropy based on phylogeny computed on square root transformed dissimilarities? "
            "%s\n",
            Label(YesNotInfo, 2, sqrtDissimOpt_RaoPhyl));
    fprintf(fp, "\nPhylogeny: Is considered\n");
  } else {
    fprintf(fp, "\nPhylogeny: Is NOT considered\n");
  }

  // 5. Traits used.
  bool someExcluded = false;
  for (int k = 0; k < nch; k++)
    if (weight[k] == 0.0) someExcluded = true;
  if (someExcluded) {
    fprintf(fp, "Traits considered in the computation of OTUs resemblance:\n");
    for (int k = 0; k < nch; k++)
      if (weight[k] > 0.0) fprintf(fp, "%-3s", chLabel[k]);
  } else {
    fprintf(fp, "All traits were considered in the computation of resemblance between OTUs.\n");
  }

  // 6. Types and congruence.
  fprintf(fp, "\nFuzzy transformation: \t%s\n", Label(fuzzyInfo, 4, fuzzy));
  fprintf(fp, "Number of types examined: \t%d\n", nMaxCSTGroupsChRank);
  fprintf(fp, "\nCorrelation function between matrices: \t%s\n", CongruenceLabel(opt_ro));
  if (opt_ro == 1 || opt_ro == 5)
    fprintf(fp, "Resemblance option between communities: %s\n",
            Label(rese_optInfo, 10, rese_opt - 1));
  else
    fprintf(fp,
            "Factor (f) for limiting the number of predictors in PCA regression in relation to "
            "sample size n (number of predictors = n/f): %g\n",
            overfitFactorPCARegr);

  // 7. Communities.
  fprintf(fp, "\nNumber of communities: %d\n", ncsm);
  fprintf(fp, "Community labels: ");
  for (int c = 0; c < ncsm; c++) fprintf(fp, "%-6s", reLabel[c]);
  fprintf(fp, "\n");
}

// Section 16 and the Beals lines: the correlations of T, X and R.
static void PrintCorrelations(FILE* fp, const ScalingUpReport& r) {
  const double* s = r.test->statistics;
  const double* p = r.test->probabilities;
  if (r.hasEnv) {
    if (!r.tested) {
      fprintf(fp,
              "\nStatistics:\nConvergence (TCAP): r(TE)=\t%g\nBoth TCAP and TDAP: r(XE)=\t%g\n"
              "Divergence (TDAP): r(XE.T)=\t%g\n",
              s[kStatTE], s[kStatXE], s[kStatXE_T]);
      fprintf(fp,
              "Alpha divergence (correlation between environmental variables and Rao entropy): "
              "r(RE)=\t%g\nBeta divergence: r(XE.TR)=\t%g\n",
              s[kStatRE], s[kStatXE_TR]);
    } else {
      fprintf(fp,
              "\nStatistics and probabilities*:\nConvergence (TCAP): r(TE)=\t%g\tP=\t%g\n"
              "Both TCAP and Divergence (TDAP): r(XE)=\t%g\tP=\t%g\nTDAP: r(XE.T)=\t%g\tP=\t%g\n",
              s[kStatTE], p[kStatTE], s[kStatXE], p[kStatXE], s[kStatXE_T], p[kStatXE_T]);
      fprintf(fp,
              "Alpha divergence (correlation between environmental variables and Rao entropy): "
              "r(RE)=\t%g\tP=\t%g\nBeta divergence: r(XE.TR)=\t%g\tP=\t%g\n",
              s[kStatRE], p[kStatRE], s[kStatXE_TR], p[kStatXE_TR]);
    }
  }
  fprintf(fp,
          "\nCorrelations with Beals smoothed community matrix (Y) considering OTU's "
          "co-occurences weighted by their abundances according to DeCaceres&Legendre (2008):\n");
  // Without tests no probability exists, and none is written.
  if (r.tested) {
    fprintf(fp, "r(TY)=\t%g\tP=\t%g\n", s[kStatTY], p[kStatTY]);
    fprintf(fp, "r(XY)=\t%g\tP=\t%g\n", s[kStatXY], p[kStatXY]);
    fprintf(fp, "r(XY_T)=\t%g\tP=\t%g\n", s[kStatXY_T], p[kStatXY_T]);
  } else {
    fprintf(fp, "r(TY)=\t%g\n", s[kStatTY]);
    fprintf(fp, "r(XY)=\t%g\n", s[kStatXY]);
    fprintf(fp, "r(XY_T)=\t%g\n", s[kStatXY_T]);
  }
  if (r.hasEnv && opt_ro == 1) {
    if (twoTailedTestMantel)
      fprintf(fp, "Permutation tests generated TWO-tailed p-values based on Mantel correlations.\n");
    else
      fprintf(fp,
              "Permutation tests generated ONE-tailed p-values based on Mantel correlations, "
              "except for partial correlations, which are always two-tailed tests.\n");
  }
}

// Section 18: phylogenetic signal and PSAP.
static void PrintPhylogeneticStatistics(FILE* fp, const ScalingUpReport& r) {
  const double* s = r.test->statistics;
  const double* p = r.test->probabilities;
  if (r.tested) {
    fprintf(fp, "\nPhylogenetic signal at OTU (species) level ro(BF) = \t%g\tP=\t%g", s[kStatBF],
            p[kStatBF]);
    fprintf(fp, "\n\nPhylogenetically structured assembly patterns (PSAP):\n");
    if (r.hasEnv)
      fprintf(fp, "Correlation of PSAP to ecological variables: ro(PE)=\t%g\tP=\t%g\n", s[kStatPE],
              p[kStatPE]);
    fprintf(fp, "Correlation of PSAP to TCAP: ro(PT)=\t%g\tP=\t%g\n", s[kStatPT], p[kStatPT]);
    fprintf(fp, "Correlation of PSAP to both TCAP and TDAP: ro(PX)=\t%g\tP=\t%g\n", s[kStatPX],
            p[kStatPX]);
    fprintf(fp, "Correlation of PSAP to TDAP: ro(PX.T)=\t%g\tP=\t%g\n", s[kStatPX_T],
            p[kStatPX_T]);
    if (r.hasEnv) {
      fprintf(fp,
              "Removing phylogeny from TCAP: ro(TE.P)=\t%g\tP=\t%g\nRemoving phylogeny from both "
              "TCAP and TDAP: ro(XE.P)=\t%g\tP=\t%g\nRemoving phylogeny from TDAP: "
              "ro(XE.TP)=\t%g\tP=\t%g\n",
              s[kStatTE_P], p[kStatTE_P], s[kStatXE_P], p[kStatXE_P], s[kStatXE_TP],
              p[kStatXE_TP]);
      fprintf(fp,
              "Removing TCAP from phylogeny: ro(PE.T)=\t%g\tP=\t%g\nRemoving TCAP and TDAP from "
              "phylogeny: ro(PE.X)=\t%g\tP=\t%g\n",
              s[kStatPE_T], p[kStatPE_T], s[kStatPE_X], p[kStatPE_X]);
      fprintf(fp,
              "Alpha divergence (correlation between environmental variables and Rao entropy "
              "based on phylogeny): r(FE)=\t%g\tP=\t%g\n",
              s[kStatFE], p[kStatFE]);
    }
  } else if (opt_ro == 1) {
    fprintf(fp, "\nPhylogenetic signal at OTU (species) level ro(BF) = \t%g", s[kStatBF]);
    fprintf(fp, "\n\nPhylogenetically structured assembly patterns (PSAP):\n");
    if (r.hasEnv) fprintf(fp, "\nCorrelation of PSAP to ecological variables: ro(PE)=\t%g", s[kStatPE]);
    fprintf(fp,
            "\nCorrelation of PSAP to TCAP (phylogenetic signal at metacommunity level): "
            "ro(PT)=\t%g",
            s[kStatPT]);
    fprintf(fp,
            "\nCorrelation of PSAP to both TCAP and TDAP (phylogenetic signal at metacommunity "
            "level): ro(PX)=\t%g",
            s[kStatPX]);
    fprintf(fp, "\nCorrelation of PSAP to TDAP: ro(PX.T)=\t%g", s[kStatPX_T]);
    if (r.hasEnv) {
      fprintf(fp,
              "\nRemoving phylogeny from TCAP: ro(TE.P)=\t%g\nRemoving phylogeny from both TCAP "
              "and TDAP: ro(XE.P)=\t%g\nRemoving phylogeny from TDAP: ro(XE.TP)=\t%g",
              s[kStatTE_P], s[kStatXE_P], s[kStatXE_TP]);
      fprintf(fp,
              "\nRemoving TCAP from phylogeny: ro(PE.T)=\t%g\nRemoving TCAP and TDAP from "
              "phylogeny: ro(PE.X)=\t%g\n",
              s[kStatPE_T], s[kStatPE_X]);
      fprintf(fp,
              "Alpha divergence (correlation between environmental variables and Rao entropy "
              "based on phylogeny): r(FE)=\t%g\n",
              s[kStatFE]);
    }
  }
}

// Section 19: the null model behind the probabilities.
static void PrintNullModelNote(FILE* fp, const ScalingUpReport& r) {
  if (!r.phylogeny) {
    fprintf(fp,
            "\n(*)Probability of finding more extreme correlations involving matrices T and X, "
            "and vector R, under null model described in Marden et al. (2009).\n");
    fprintf(fp,
            "Null model involved permutation among OTUs vectors in matrix B, keeping fixed the "
            "community matrix W and, if present, environmental matrix E.\n");
  } else {
    fprintf(fp,
            "\n(*)Probability of finding more extreme correlations involving matrices T, X and "
            "P, and vector R, under null models described in Marden et al. (2009) and Marden & "
            "Quessel (2010).\n");
    fprintf(fp,
            "Null model involved (1) permutation among OTUs vectors in matrix B for those "
            "correlations involving matrices T and X and vector R, (2) permutation among vectors "
            "in matrix Q for those correlations involving matrix P (ro(PE), ro(PT) and "
            "ro(PE.X)), and (3) identical permutation among row vectors in both matrices U and "
            "Q, for ro(PX) and ro(PX.T). Matrix W and, if present, environmental matrix E are "
            "not permuted.\n");
  }
  if (optWeightedNullModel)
    fprintf(fp,
            "Probability of an OTU occurring in a community was weighted by its frequency in the "
            "community set.\n");
  else
    fprintf(fp,
            "Probability of an OTU occurring in a community was NOT weighted by its frequency in "
            "the community set.\n");
}

// Factor lines of one regression response (row of the result arrays).
static void PrintRegressionFactors(FILE* fp, const PermTest_FunctionalPhyl_Correl_Input* t,
                                   int row) {
  int j = 0;
  for (int v = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    fprintf(fp, "Factor:\t%s\tcoeff=\t%g\tp-value=\t%g\n", envLabel[v], t->regrCoeff[row][j],
            t->regrCoeffProb[row][j]);
    j++;
  }
  fprintf(fp, "Intercept=\t%g\n", t->regrIntercept[row]);
}

// Section 20.
static void PrintRegression(FILE* fp, const ScalingUpReport& r) {
  const PermTest_FunctionalPhyl_Correl_Input* t = r.test;
  fprintf(fp, "\n\nREGRESSION MODELS");
  fprintf(fp,
          "\nFor each response variable, the r square, and regression coefficients for each "
          "environmental factor, and corresponding p-values are shown below:\n");
  for (int k = 0; k < nch; k++) {
    if (r.traitSelect[k] != 1) continue;
    fprintf(fp, "\nTrait:\t%s\tr-square=\t%g\tp-value=\t%g\n", chLabel[k], t->regrR2[k],
            t->regrR2Prob[k]);
    PrintRegressionFactors(fp, t, k);
  }
  fprintf(fp, "\nFunctional diversity:\t\tr-square=\t%g\tp-value=\t%g\n", t->regrR2[nch],
          t->regrR2Prob[nch]);
  PrintRegressionFactors(fp, t, nch);
  if (r.phylogeny) {
    fprintf(fp, "\nPhylogenentic diversity:\t\tr-square=\t%g\tp-value=\t%g\n", t->regrR2[nch + 1],
            t->regrR2Prob[nch + 1]);
    PrintRegressionFactors(fp, t, nch + 1);
  }
}

// Pseudo-F lines, one per selected factor.
static void PrintFactorLines(FILE* fp, const double* F, const double* prob) {
  int j = 0;
  for (int v = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    fprintf(fp, "Factor:\t%s\tPseudo-F=\t%g\tp-value=\t%g\n", envLabel[v], F[j], prob[j]);
    j++;
  }
}

// Section 21.
static void PrintAnova(FILE* fp, const ScalingUpReport& r) {
  const PermTest_FunctionalPhyl_Correl_Input* t = r.test;
  fprintf(fp, "\n\nANALYSIS OF VARIANCE\n");
  fprintf(fp, "Selected communities:\n");
  for (int c = 0; c < ncsm; c++) fprintf(fp, "%d\t", relSelect[c]);
  fprintf(fp, "\nSelected traits:\t");
  SelectedTraitLabels(fp, r.traitSelect, "%s\t");
  fprintf(fp, "\nSelected factors and observation states in %d communities:\n", ncsm);
  int j = 0;
  for (int v = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    fprintf(fp, "Factor:\t%s\tStates:\t", envLabel[v]);
    // The group of a community is the integer part of its value.
    for (int c = 0; c < ncsm; c++) fprintf(fp, "%d\t", ToInt(r.E[c][j]));
    fprintf(fp, "\n");
    j++;
  }
  fprintf(fp, "\nMANOVA using matrix T (community weighted means) as multivariate response:\n");
  PrintFactorLines(fp, t->anovaT, t->anovaTProb);
  fprintf(fp,
          "ANOVA for each selected individual trait the pseudo-F (between/within groups sum of "
          "squares) and corresponding p-values are shown below:\n");
  for (int k = 0; k < nch; k++) {
    if (r.traitSelect[k] != 1) continue;
    for (int f = 0; f < r.nEnvSel; f++)
      fprintf(fp, "Trait:\t%s\tPseudo-F=\t%g\tp-value=\t%g\n", chLabel[k], t->anovaTrait[k][f],
              t->anovaTraitProb[k][f]);
  }
  fprintf(fp,
          "MANOVA using matrix X (fuzzy-weighted community composition using all selected "
          "traits) as multivariate response:\n");
  PrintFactorLines(fp, t->anovaX, t->anovaXProb);
  if (r.phylogeny) {
    fprintf(fp,
            "MANOVA using matrix P (phylogenetically fuzzy-weighted community composition) as "
            "multivariate response:\n");
    PrintFactorLines(fp, t->anovaP, t->anovaPProb);
  }
  fprintf(fp,
          "\nANOVA using Rao funtional diversity (using all selected traits) as univariate "
          "response:\n");
  PrintFactorLines(fp, t->anovaR, t->anovaRProb);
  if (r.phylogeny) {
    fprintf(fp, "ANOVA using Rao phylogenetic diversity as univariate response:\n");
    PrintFactorLines(fp, t->anovaRp, t->anovaRpProb);
  }
}

// Section 22.
static void PrintTestDescription(FILE* fp) {
  fprintf(fp, "\nNumber of iterations for permutation tests: %d\n", niter);
  fprintf(fp, "Random generator seed: %u\n", static_cast<unsigned>(rseed));
  fprintf(fp, "Elapsed time for the test(s): %g seconds\n", difftime(time(nullptr), time0));
  if (optTaxaSiteShuffle == 't') {
    fprintf(fp,
            "Null model based on taxa shuffle, i.e. among OTU vectors in the traits or "
            "phylogenentic matrix, keeping compositional matrix W and, if present, environmental "
            "matrix E constant.\n");
    if (optRestrictPermutNullModel == 1 && nestingMembershipOTUs != nullptr) {
      fprintf(fp,
              "Permutations of OTUs: Restricted within the following groups:\nNesting groups for "
              "%d OTUs:\t",
              tcst);
      PrintVectorTab(fp, tcst, nestingMembershipOTUs, nullptr);
    } else {
      fprintf(fp, "Permutations of OTUs: Unrestricted\n");
    }
  } else {
    fprintf(fp,
            "Null model based on site shuffle, i.e. among community vectors in the resulting "
            "matrix of communities by weighted mean traits, fuzzy-weighted composition, "
            "functional diversity or phylogenetic diversity, keeping constant the trait or "
            "phylogenetic matrices.\n");
  }
}

// Sections 23 to 27.
static void PrintDiversity(FILE* fp, const ScalingUpReport& r) {
  const int m = r.nComm;
  double* work = dim1Double(m > 0 ? m : 1);

  fprintf(fp, "\n\nFUNCTIONAL DIVERSITY");
  fprintf(fp,
          "\nGini-Simpson index (D) within each community (equivalent to Rao quadratic entropy "
          "with null, crisp, similarities):\n");
  Vector(fp, m, r.D);
  if (sqrtDissimOpt_RaoTraits)
    fprintf(fp,
            "\nRao quadratic entropy within each community, considering trait dissimilarities "
            "[D=sqrt(1-GowerIndex)] between OTUs (Rf):\n");
  else
    fprintf(fp,
            "\nRao quadratic entropy within each community, considering trait dissimilarities "
            "[D=1-GowerIndex] between OTUs (Rf):\n");
  Vector(fp, m, r.Rf);
  fprintf(fp, "\nFunctional redundancy in each community (FR = D-Rf):\n");
  for (int c = 0; c < m; c++) work[c] = Fmax(0.0, r.D[c] - r.Rf[c]);
  Vector(fp, m, work);

  if (r.phylogeny) {
    fprintf(fp, "\n\nPHYLOGENETIC DIVERSITY");
    // F read as dissimilarities (a stored dissimilarity matrix) or as
    // similarities (stored, or derived from phylogenetic variables).
    if (r.test->phylIsDissimilarity)
      fprintf(fp,
              "\nRao quadratic entropy (Rp) within each community, considering phylogenetic "
              "dissimilarities between OTUs:\n");
    else
      fprintf(fp,
              "\nRao quadratic entropy (Rp) within each community, considering phylogenetic "
              "dissimilarities obtained by transformation of input similarities [D= sqrt(1-S)] "
              "between OTUs:\n");
    Vector(fp, m, r.Rp);
    fprintf(fp, "\nPhylogenetic redundancy in each community (PR = D-Rp):\n");
    for (int c = 0; c < m; c++) work[c] = Fmax(0.0, r.D[c] - r.Rp[c]);
    Vector(fp, m, work);
  }

  // 25. OTU weights.
  bool someExcluded = false;
  for (int i = 0; i < tcst; i++)
    if (weight_OTUs[i] <= 0) someExcluded = true;
  if (someExcluded) {
    fprintf(fp,
            "\nOTUs weights (zero ones not considered in the computation of Rao entropy, Simpson "
            "diversity, and matrices T, X and P):\n");
    for (int i = 0; i < tcst; i++) fprintf(fp, "%d\t", weight_OTUs[i]);
    if (r.test->scaleAdjust)
      fprintf(fp,
              "\nScale was maintained, but additivity is lost for complementary sets of OTUs' "
              "weights.\n");
    else
      fprintf(fp,
              "\nAdditivity was maintained but the scales of T, X, P and diversity measures are "
              "not comparable between complementary sets of OTUs' weights.\n");
    if (restrictRaoWithinOpt)
      fprintf(fp,
              "\nFuzzy-weighting and Rao entropy RESTRICTED to dis-similarities WITHIN subset of "
              "selected OTUs.\n");
    else
      fprintf(fp,
              "\nFuzzy-weighting and Rao entropy included dis-similarities WITHIN subset of "
              "selected OTUs and also BETWEEN selected and unselected subsets of OTUs.\n");
  } else {
    fprintf(fp,
            "\nAll OTUs were equally considered in the computation of Rao entropy, Simpson "
            "diversity, and matrices T, X and P.\n");
  }

  // 26. Jost's correction: effective numbers 1 / (1 - index).  An index of 1
  // gives an infinite number, written as printf writes it.
  fprintf(fp, "\n\nDiversity using Jost (2006) correction");
  fprintf(fp,
          "\nGini-Simpson index (D) within each community (equivalent to Rao quadratic entropy "
          "with null, crisp, dissimilarties):\n");
  for (int c = 0; c < m; c++) fprintf(fp, "%g\t", 1.0 / (1.0 - r.D[c]));
  fprintf(fp,
          "\nRao quadratic entropy within each community, considering trait dissimilarties "
          "(Qf):\n");
  for (int c = 0; c < m; c++) fprintf(fp, "%g\t", 1.0 / (1.0 - r.Rf[c]));
  fprintf(fp, "\nFunctional redundancy in each community (FR = D-Qf):\n");
  for (int c = 0; c < m; c++) fprintf(fp, "%g\t", 1.0 / (1.0 - r.D[c]) - 1.0 / (1.0 - r.Rf[c]));

  if (r.phylogeny) {
    fprintf(fp, "\n\nPHYLOGENETIC REDUNDANCY");
    fprintf(fp,
            "\nRao quadratic entropy (Qp) within each community, considering phylogenetic "
            "dissimilarties:\n");
    for (int c = 0; c < m; c++) fprintf(fp, "%g\t", 1.0 / (1.0 - r.Rp[c]));
    fprintf(fp, "\nPhylogenetic redundancy in each community (PR = D-Qp):\n");
    for (int c = 0; c < m; c++)
      fprintf(fp, "%g\t", 1.0 / (1.0 - r.D[c]) - 1.0 / (1.0 - r.Rp[c]));
  }
  free1D(work);
}

void PrintScalingUpResults(FILE* fp, const ScalingUpReport& r) {
  const int m = r.nComm, n = r.nOTUs, p = r.nTraits;
  const bool mantel = opt_ro == 1;

  // 8. Community matrices.
  if (r.detailed) {
    fprintf(fp, "\nCommunity matrix W with %d communities by %d OTUs: \n", m, n);
    Matrix(fp, m, n, r.W);
    fprintf(fp,
            "\nCommunity matrix W with %d communities by %d OTUs adjusted to unit sum within each "
            "community: \n",
            m, n);
    Matrix(fp, m, n, r.Wtdap);
    fprintf(fp, "\nCommunity matrix Y with Beals (1984) smoothing of matrix W, with %d communities "
                "by %d OTUs ", m, n);
    if (BealsIncludeOpt)
      fprintf(fp, "(abundance of target OTU included in its own estimation):\n");
    else
      fprintf(fp, "(abundance of target OTU NOT included in its own estimation):\n");
    Matrix(fp, m, n, r.Y1);
    if (mantel) {
      fprintf(fp, "Resemblance matrix (DY) between communities:\n");
      LowerHalf(fp, m, r.DY1);
    }
  }

  // 9. Phylogeny.
  if (r.phylogeny) {
    if (phylogenyMatrixType == 2) {
      fprintf(fp,
              "\nVariable types in the phylogeny matrix with %d OTUs by %d phylogenetic "
              "variables: \n",
              n, nClados);
      PrintVectorTab(fp, nClados, phylogenyVarType, nullptr);
    }
    if (r.detailed) {
      if (phylogenyMatrixType == 1) {
        fprintf(fp, "\nSimilarity matrix, in the range 0-1, between %d OTUs based on their "
                    "phylogeny:\n", n);
      } else if (phylogenyMatrixType == 3) {
        fprintf(fp, "\nDissimilarity matrix, in the range 0-1, between %d OTUs based on their "
                    "phylogeny:\n", n);
      } else if (phylogenyMatrixType == 2) {
        fprintf(fp, "\nPhylogeny matrix with %d OTUs by %d phylogenetic variables: \n", n,
                nClados);
        Matrix(fp, n, nClados, phylogenyData);
        fprintf(fp,
                "\nSimilarity matrix (Gower index) between %d OTUs, based on %d phylogenetic "
                "variables:\n",
                n, nClados);
      }
      Matrix(fp, n, n, r.F);
      fprintf(fp,
              "\nPCoA scores based on the phylogenetic resemblance matrix with %d OTUs by %d "
              "ordination dimensions: \n",
              n, r.nPhylAxes);
      Matrix(fp, n, r.nPhylAxes, r.phylScores);
    }
    fprintf(fp, "\nPartition vector of %d OTUs in %d taxa:\n", n, r.nTaxa);
    PrintVectorTab(fp, n, partition_OTUs_Phyl, nullptr);
    if (r.detailed) {
      fprintf(fp,
              "\nFuzzy belonging of %d OTUs (rows) in %d taxa (columns) according to their "
              "phylogeny:\n",
              n, r.nTaxa);
      Matrix(fp, n, r.nTaxa, r.Q);
      fprintf(fp,
              "\nPooled performance matrix P (%d communities x %d taxa) after fuzzy-weighting by "
              "the specified phylogeny:\n",
              m, r.nTaxa);
      Matrix(fp, m, r.nTaxa, r.P);
      if (mantel) {
        fprintf(fp,
                "\nResemblance matrix (DP) between communities based on matrix P, the "
                "composition of OTUs weighted by their phylogeny:\n");
        LowerHalf(fp, m, r.DP);
      }
    }
  }

  // 10. Matrix B.
  if (r.detailed) {
    fprintf(fp, "\nTrait matrix B with %d OTUs by %d traits: \n", n, p);
    Matrix(fp, n, p, r.B);
  }

  // 11. Environment.
  if (r.hasEnv) {
    fprintf(fp, "\nEcological variables (factors or effects):\t");
    for (int v = 0; v < nenv; v++)
      if (eVarSelect[v] == 1) fprintf(fp, "%s\t", envLabel[v]);
    fprintf(fp, "\n");
    fprintf(fp, "\nMatrix E with ecological variables (%d communities x %d variables):\n", m,
            r.nEnvSel);
    Matrix(fp, m, r.nEnvSel, r.E);
    if (mantel) {
      fprintf(fp, "Resemblance matrix (DE) between community sites based on ecological "
                  "variables:\n");
      LowerHalf(fp, m, r.DE);
    }
  }

  // 12. Matrix T.
  fprintf(fp, "\nTraits:\t");
  SelectedTraitLabels(fp, r.traitSelect, "%s\t");
  fprintf(fp, "\n");
  if (optUnitTotalAdjust1)
    fprintf(fp, "\nMatrix T with trait averages at community level (%d communities x %d "
                "traits):\n", m, p);
  else
    fprintf(fp, "\nMatrix T with trait totals at community level (%d communities x %d "
                "traits):\n", m, p);
  Matrix(fp, m, p, r.T);
  fprintf(fp,
          "\nMatrix T with normalized traits at community level (%d communities x %d traits "
          "adjusted to unit length):\n",
          m, p);
  Matrix(fp, m, p, r.Tnorm);
  if (mantel) {
    fprintf(fp, "Resemblance matrix (DT) between communities based on selected traits:\n");
    LowerHalf(fp, m, r.DT);
  }

  // 13. Types.
  fprintf(fp, "\nTraits:\t");
  SelectedTraitLabels(fp, r.traitSelect, "%s\t");
  if (r.detailed) {
    fprintf(fp, "\nSimilarity matrix between %d OTUs, based on %d traits:\n", n, r.nSelTraits);
    LowerHalf(fp, n, r.S);
  }
  fprintf(fp, "\nPartition vector of %d OTUs in %d specified types:\n", n, r.nTypes);
  PrintVectorTab(fp, n, partition_OTUs, nullptr);
  if (OTUsTypesAreSpecies) {
    fprintf(fp,
            "\nThe types are species (# labels are used later in these results to identify the "
            "species) :\n");
    fprintf(fp, "#\tSpecies\n");
    for (int t = 0; t < r.nTypes; t++) {
      int label = r.typeLabels[t];
      fprintf(fp, "%d\t%s\n", label, label >= 1 && label <= nSpp ? spp[label - 1] : "");
    }
  }
  if (r.detailed) {
    fprintf(fp,
            "\nFuzzy degrees of belonging (matrix U) of %d OTUs (rows) in %d types (columns):\n",
            n, r.nTypes);
    Matrix(fp, n, r.nTypes, r.U);
    fprintf(fp,
            "\nCrisp degrees of belonging (matrix C) of %d OTUs (rows) in %d types (columns):\n",
            n, r.nTypes);
    Matrix(fp, n, r.nTypes, r.C);
  }
  fprintf(fp, "\nLabels of %d specified types:\n", r.nTypes);
  PrintVectorTab(fp, r.nTypes, r.typeLabels, nullptr);
  fprintf(fp, "\nNumber of OTUs in each type:\n");
  PrintVectorTab(fp, r.nTypes, r.typeSizes, nullptr);
  fprintf(fp, "\nAverage trait matrix (%d types x %d traits):\n", r.nTypes, p);
  Matrix(fp, r.nTypes, p, r.avgTraits);
  fprintf(fp,
          "Pooled performance community matrix (%d communities x %d crisp types) without "
          "fuzzy-weighting by the selected traits.\n",
          m, r.nTypes);
  Matrix(fp, m, r.nTypes, r.crispPooled);

  // 14. Matrix X.
  if (fuzzy == 3) {
    fprintf(fp,
            "Pooled performance matrix X (%d communities x %d types) after fuzzy-weighting by "
            "the selected traits.\n",
            m, r.nTypes);
    fprintf(fp, "Selected traits:\t");
    SelectedTraitLabels(fp, r.traitSelect, "%s\t");
    fprintf(fp, "\n");
    Matrix(fp, m, r.nTypes, r.X);
  } else {
    fprintf(fp, "\nPooled performance matrix X (%d communities x %d crisp types):\n", m,
            r.nTypes);
    Matrix(fp, m, r.nTypes, r.crispPooled);
  }

  // 15. Statistics header.
  switch (opt_ro) {
    case 1:
      fprintf(fp, "\nThe statistics shown below are matrix (Mantel) correlations.\n");
      break;
    case 2:
      fprintf(fp, "\nThe statistics shown below are Procrustes correlations (traceW).\n");
      break;
    case 3:
      fprintf(fp, "\nThe statistics shown below are RV coefficients (Escoufier 1973).\n");
      break;
    case 4:
      fprintf(fp,
              "\nThe statistics shown below are the r square and regression coefficients with "
              "corresponding p-values.\n");
      break;
    case 5:
      fprintf(fp,
              "\nThe statistics shown below are pseudo-F values (between/within groups sum of "
              "squares) and corresponding p-values.\n");
      break;
    default:
      break;
  }

  if (opt_ro >= 1 && opt_ro <= 3) {
    // 16 to 19.
    PrintCorrelations(fp, r);
    fprintf(fp, fuzzy == 3 ? "\nNumber of fuzzy types:\t%d\nTraits:\t"
                           : "\nNumber of crisp types:\t%d\nTraits:\t",
            r.nTypes);
    SelectedTraitLabels(fp, r.traitSelect, "%-2s\t");
    fprintf(fp, "\nNumber of OTUs in each type:\t");
    for (int t = 0; t < r.nTypes; t++) fprintf(fp, "%d\t", r.typeSizes[t]);
    fprintf(fp, "\n");
    if (r.phylogeny) PrintPhylogeneticStatistics(fp, r);
    if (r.tested) PrintNullModelNote(fp, r);
  } else if (opt_ro == 4) {
    if (r.hasEnv && r.test->regrR2 != nullptr) PrintRegression(fp, r);
  } else if (opt_ro == 5) {
    if (r.test->anovaT != nullptr) PrintAnova(fp, r);
  }

  if (r.tested) PrintTestDescription(fp);
  PrintDiversity(fp, r);
  fprintf(fp, "\n");
}
