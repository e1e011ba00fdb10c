// Functional analysis on a generated data set of 100 communities x 300 OTUs
// x 12 traits with 6 environmental variables: one run without tests and one
// with 999 permutations (taxa shuffle, Mantel correlations).  Prints the
// sizes, the time per permutation and the total time.  The results files
// are written to the working directory (session "bench").
#include <omp.h>

#include <cstdio>
#include <cmath>
#include <cstring>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/scalingUp.h"
#include "functional/settings.h"
#include "multivariate/random.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"

namespace {

const int kCommunities = 100, kOTUs = 300, kTraits = 12, kEnv = 6, kTypes = 30;

// label = prefix + number, cut to the label buffer.
void Label(char* label, const char* prefix, int number) {
  char digits[16];
  snprintf(digits, sizeof digits, "%d", number);
  CatName(label, kLabelSize, prefix, digits);
}

// Generated in memory with a fixed seed; environment and traits are linked
// so that the statistics are not all near 0.
void MakeDataSet() {
  InitRndNumberGenerator(20240601UL);
  tcst = kOTUs;
  nch = kTraits;
  ncsm = kCommunities;
  nenv = kEnv;
  nSpp = 0;
  hasPhylogeny = 0;
  hasTraitGroups = 0;
  csm_Float = dim2Double(tcst, nch);
  cadat = dim2Double(tcst, ncsm);
  env = dim2Double(ncsm, nenv);
  chLabel = dim2Dchar(nch, kLabelSize);
  chtype = dim1Dint(nch);
  onsta = dim1Dint(nch);
  chrange = dim1Double(nch);
  weight = dim1Double(nch);
  nchor = dim1Dint(nch);
  rcst = dim1Dint(nch);
  nGrPoly = dim1Dint(nch);
  reLabel = dim2Dchar(ncsm, kLabelSize);
  relSelect = dim1Dint(ncsm);
  envLabel = dim2Dchar(nenv, kLabelSize);
  envVarType = dim1Dint(nenv);
  eVarSelect = dim1Dint(nenv);
  weight_OTUs = dim1Dint(tcst);
  partition_OTUs = dim1Dint(tcst);

  for (int k = 0; k < nch; k++) {
    Label(chLabel[k], "t", k + 1);
    chtype[k] = k < 8 ? 3 : (k < 10 ? 1 : 2);
    weight[k] = 1.0;
    nchor[k] = k + 1;
    nGrPoly[k] = k == 0 ? kTypes : 2;
  }
  for (int j = 0; j < nenv; j++) {
    Label(envLabel[j], "e", j + 1);
    envVarType[j] = 3;
    eVarSelect[j] = 1;
  }
  for (int c = 0; c < ncsm; c++) {
    Label(reLabel[c], "r", c + 1);
    relSelect[c] = 1;
    for (int j = 0; j < nenv; j++) env[c][j] = gsl_rng_uniform(r) * 10.0;
  }
  for (int i = 0; i < tcst; i++) {
    weight_OTUs[i] = 1;
    partition_OTUs[i] = i % kTypes + 1;
    const double optimum = gsl_rng_uniform(r) * 10.0;
    for (int k = 0; k < nch; k++) {
      if (chtype[k] == 3)
        csm_Float[i][k] = (k % 2 == 0 ? optimum : 0.0) + gsl_rng_uniform(r) * 5.0;
      else if (chtype[k] == 1)
        csm_Float[i][k] = gsl_rng_uniform_int(r, 2);
      else
        csm_Float[i][k] = 1 + gsl_rng_uniform_int(r, 4);
    }
    for (int c = 0; c < ncsm; c++) {
      const double d = env[c][0] - optimum;
      const double p = 0.5 * exp(-d * d / 8.0);
      cadat[i][c] = gsl_rng_uniform(r) < p ? 1 + gsl_rng_uniform_int(r, 20) : 0.0;
    }
  }
  optEnvVarType = 2;
  temEnvQuant = 1;
  temEnvQual = 0;
  temEnvBin = 0;
  strcpy(whichFormda, "benchFormda.txt");
  strcpy(dataName, "generated");
  strcpy(sessionName, "bench");
  CatName(whichPrinda, sizeof whichPrinda, sessionName, "Prinda.txt");
}

// The settings the dialog would set for a fuzzy, Mantel, taxa-shuffle run.
void SetSettings(int iterations) {
  part = 1;
  traitBasedOpt = 1;
  poolCSTopt = 2;
  clusMethPoolCSTs = 0;
  OTUsTypesAreSpecies = 0;
  reseCSTopt = 1;
  fuzzy = 3;
  fuzziness = 1.0;
  optRndTests = iterations > 1;
  niter = iterations;
  optTaxaSiteShuffle = 't';
  optRestrictPermutNullModel = 0;
  optWeightedNullModel = 0;
  seedOpt = 2;
  rseed = 12345;
  opt_ro = 1;
  rese_opt = 6;
  restrictRaoWithinOpt = 0;
  keepAdditivity = 1;
  optUnitTotalAdjust2 = 1;
  includePhylogeny = 0;
  printDetail = 0;
  strcpy(prindaMode, "w");
}

double RunOnce(int iterations) {
  SetSettings(iterations);
  const double start = omp_get_wtime();
  PFTs_ScalingUp();
  ClearLine();
  return omp_get_wtime() - start;
}

}  // namespace

int main() {
  // The progress line of the analysis goes to the dialogue stream; keep it
  // out of the figures.
  FILE* quiet = fopen("/dev/null", "w");
  if (quiet != nullptr) out = quiet;
  try {
    MakeDataSet();
    int occurrences = 0;
    for (int i = 0; i < tcst; i++)
      for (int c = 0; c < ncsm; c++) occurrences += cadat[i][c] > 0;
    printf("Functional analysis benchmark\n");
    printf("communities %d, OTUs %d, traits %d, environmental variables %d, types %d\n", ncsm,
           tcst, nch, nenv, kTypes);
    printf("occurrences %d (%.1f%% of W), threads %d\n", occurrences,
           100.0 * occurrences / (tcst * ncsm), omp_get_max_threads());
    const double base = RunOnce(1);
    printf("analysis without tests: %.3f s\n", base);
    const int iterations = 999;
    const double tested = RunOnce(iterations);
    printf("analysis with %d permutations: %.3f s total\n", iterations, tested);
    printf("time per permutation: %.3f ms\n", 1000.0 * (tested - base) / (iterations - 1));
  } catch (const QuiltaFailure& f) {
    fprintf(stderr, "failure code %d\n", f.code);
    return 1;
  }
  return 0;
}
