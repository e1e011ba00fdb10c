// Trait-subset ranking on generated data sets: every subset of the traits is
// evaluated at 1 and at 2 threads; prints the sizes, the time and the
// subsets per second of each run.  The printouts are written to the working
// directory (session "bench").
//
//   criterion 10 r(TE):  all 32767 subsets of 15 traits, 100 communities
//   criterion 1 r(XE):   all 4095 subsets of 12 traits, 100 communities x
//                        300 OTUs (30 types of 10 OTUs, and every OTU its
//                        own type)
//   criterion 17 r(XE.TR) and criterion 15 r(PX) r(XE): the same, 30 types,
//                        with a phylogeny of the 300 OTUs
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/settings.h"
#include "multivariate/random.h"
#include "ranking/ranking.h"
#include "ranking/search.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"

namespace {

void Label(char* label, const char* prefix, int number) {
  char digits[16];
  snprintf(digits, sizeof digits, "%d", number);
  CatName(label, kLabelSize, prefix, digits);
}

void FreeDataSet() {
  FreeGlobals2();
  free1D(partition_OTUs_Phyl);
  partition_OTUs_Phyl = nullptr;
}

// Quantitative traits linked to each OTU's environmental optimum, W from a
// unimodal response to the first variable (about a quarter of W occupied),
// types of `perType` consecutive OTUs.  With a phylogeny, F holds
// similarities decreasing with the distance between the OTUs' optima.
void MakeDataSet(int communities, int otus, int traits, int perType, bool phylogeny) {
  InitRndNumberGenerator(20240601UL);
  NewDataSet(otus, traits, communities, 4);
  for (int k = 0; k < nch; k++) {
    Label(chLabel[k], "t", k + 1);
    chtype[k] = 3;
    weight[k] = 1.0;
    nchor[k] = k + 1;
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
  std::vector<double> optimum(tcst);
  for (int i = 0; i < tcst; i++) {
    weight_OTUs[i] = 1;
    partition_OTUs[i] = i / perType + 1;
    optimum[i] = gsl_rng_uniform(r) * 10.0;
    for (int k = 0; k < nch; k++)
      csm_Float[i][k] = (k % 3 == 0 ? optimum[i] : 0.0) + gsl_rng_uniform(r) * 5.0;
    for (int c = 0; c < ncsm; c++) {
      const double d = env[c][0] - optimum[i];
      const double p = 0.6 * exp(-d * d / 8.0);
      cadat[i][c] = gsl_rng_uniform(r) < p ? 1 + gsl_rng_uniform_int(r, 20) : 0.0;
    }
  }
  hasPhylogeny = phylogeny ? 1 : 0;
  phylogenyRese = nullptr;
  if (phylogeny) {
    phylogenyMatrixType = 1;
    phylogenyRese = dim2Double(tcst, tcst);
    for (int i = 0; i < tcst; i++)
      for (int j = 0; j < tcst; j++)
        phylogenyRese[i][j] = exp(-fabs(optimum[i] - optimum[j]) / 3.0);
    partition_OTUs_Phyl = dim1Dint(tcst);
    for (int i = 0; i < tcst; i++) partition_OTUs_Phyl[i] = partition_OTUs[i];
    int taxa = 0;
    for (int i = 0; i < tcst; i++) taxa = partition_OTUs[i] > taxa ? partition_OTUs[i] : taxa;
    nTaxa = taxa;
    fuzzyPhyl = 1;
  }
  optEnvVarType = 2;
  temEnvQuant = 1;
  temEnvQual = 0;
  temEnvBin = 0;
  strcpy(whichFormda, "benchFormda.txt");
  strcpy(sessionName, "bench");
}

// The settings the ranking dialog leaves for criterion c with the matrix
// correlation, fuzzy types and W to unit totals.
void SetSettings(int c, int traits) {
  opt_struct = c;
  rankingAlgorithm = 2;
  traitBasedOpt = c == 10 ? 2 : 1;
  poolCSTopt = c == 10 ? 0 : 2;
  clusMethPoolCSTs = 0;
  reseCSTopt = 1;
  fuzzy = 3;
  opt_ro = 1;
  rese_opt = 6;
  optUnitTotalAdjust1 = 1;
  optUnitTotalAdjust2 = 1;
  keepAdditivity = 1;
  restrictRaoWithinOpt = 0;
  int g = 0;
  for (int i = 0; i < tcst; i++) g = partition_OTUs[i] > g ? partition_OTUs[i] : g;
  nMinCSTGroupsChRank = nMaxCSTGroupsChRank = g;
  nMinTraitsChRank = 1;
  nMaxTraitsChRank = traits;
  printRankIntermedResults = 'n';
  saveStruct = 'n';
}

// With an argument, only the runs whose description starts with it.
const char* only = nullptr;

bool Wanted(const char* what) { return only == nullptr || strncmp(what, only, strlen(only)) == 0; }

void Measure(const char* what, int c, int traits, const std::function<void()>& routine) {
  if (!Wanted(what)) return;
  const long long subsets = (1LL << traits) - 1;
  for (int threads : {1, 2}) {
    if (getenv("BENCH_THREADS") != nullptr && atoi(getenv("BENCH_THREADS")) != threads) continue;
    SetSettings(c, traits);
    CatName(whichChorder, sizeof whichChorder, "bench", "ChRank.txt");
    omp_set_num_threads(threads);
    const double start = omp_get_wtime();
    routine();
    ClearLine();
    const double t = omp_get_wtime() - start;
    printf("%-44s threads %d: %8.3f s  %10.0f subsets/s\n", what, threads, t, subsets / t);
    fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) only = argv[1];
  FILE* quiet = fopen("/dev/null", "w");
  if (quiet != nullptr) out = quiet;
  try {
    printf("Trait-subset ranking benchmark (every subset of the traits)\n");
    MakeDataSet(100, 300, 15, 10, false);
    Measure("criterion 10, 15 traits, 100 communities", 10, 15, ChRankTCAP);
    FreeDataSet();

    MakeDataSet(100, 300, 12, 10, false);
    Measure("criterion 1, 12 traits, 100 x 300, 30 types", 1, 12, ChRankTDAP_TCAP);
    FreeDataSet();
    MakeDataSet(100, 300, 12, 1, false);
    Measure("criterion 1, 12 traits, 100 x 300, 300 types", 1, 12, ChRankTDAP_TCAP);
    FreeDataSet();

    MakeDataSet(100, 300, 12, 10, true);
    Measure("criterion 17, 12 traits, 100 x 300, 30 types", 17, 12,
            [] { ChRankAlphaBetaDivergence(2); });
    Measure("criterion 15, 12 traits, 100 x 300, 30 types", 15, 12,
            ChRank_Phylogeny_x_Trait_Assembly);
    FreeDataSet();
  } catch (const QuiltaFailure& f) {
    fprintf(stderr, "failure code %d\n", f.code);
    return 1;
  }
  return 0;
}
