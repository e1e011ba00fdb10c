// Functional analysis with permutation tests on generated data sets.
//
// For each case (sizes, congruence measure) the analysis runs once without
// tests and then with 999 permutations (taxa shuffle) at 1 and at 2 threads;
// the program prints the wall times, the permutations per second, the
// floating-point operations of one permutation estimated from the sizes and
// the rate reached.  The two thread counts must give the same statistics and
// probabilities: the program checks that and says so.  Finally the whole
// process, from the import of raw files to the results file, is timed for
// the 75 x 82 x 8 data set by running the quilta binary on a scripted
// session.  Files are written to the working directory (session "bench").
#include <omp.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <string>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/permtest.h"
#include "functional/scalingUp.h"
#include "functional/settings.h"
#include "multivariate/random.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"

namespace {

struct Case {
  const char* name;
  int communities, otus, traits, env, types;
  bool phylogeny;
  int measure;  // 1 Mantel, 2 Procrustes, 3 RV
};

void Label(char* label, const char* prefix, int number) {
  char digits[16];
  snprintf(digits, sizeof digits, "%d", number);
  CatName(label, kLabelSize, prefix, digits);
}

// Generated with a fixed seed; environment and traits are linked so that
// the statistics are not all near 0.  The phylogeny is a distance between
// the trait optima with noise, scaled to [0, 1].
void MakeDataSet(const Case& c) {
  InitRndNumberGenerator(20240601UL);
  NewDataSet(c.otus, c.traits, c.communities, c.env);
  hasPhylogeny = c.phylogeny ? 1 : 0;
  phylogenyMatrixType = 3;
  phylogenyRese = c.phylogeny ? dim2Double(tcst, tcst) : nullptr;

  for (int k = 0; k < nch; k++) {
    Label(chLabel[k], "t", k + 1);
    chtype[k] = k < 2 * nch / 3 ? 3 : (k % 2 == 0 ? 1 : 2);
    weight[k] = 1.0;
    nchor[k] = k + 1;
    nGrPoly[k] = k == 0 ? c.types : 2;
  }
  for (int j = 0; j < nenv; j++) {
    Label(envLabel[j], "e", j + 1);
    envVarType[j] = 3;
    eVarSelect[j] = 1;
  }
  for (int s = 0; s < ncsm; s++) {
    Label(reLabel[s], "r", s + 1);
    relSelect[s] = 1;
    for (int j = 0; j < nenv; j++) env[s][j] = gsl_rng_uniform(r) * 10.0;
  }
  double* optimum = dim1Double(tcst);
  for (int i = 0; i < tcst; i++) {
    weight_OTUs[i] = 1;
    partition_OTUs[i] = i % c.types + 1;
    optimum[i] = gsl_rng_uniform(r) * 10.0;
    for (int k = 0; k < nch; k++) {
      if (chtype[k] == 3)
        csm_Float[i][k] = (k % 2 == 0 ? optimum[i] : 0.0) + gsl_rng_uniform(r) * 5.0;
      else if (chtype[k] == 1)
        csm_Float[i][k] = gsl_rng_uniform_int(r, 2);
      else
        csm_Float[i][k] = 1 + gsl_rng_uniform_int(r, 4);
    }
    for (int s = 0; s < ncsm; s++) {
      const double d = env[s][0] - optimum[i];
      const double p = 0.5 * exp(-d * d / 8.0);
      cadat[i][s] = gsl_rng_uniform(r) < p ? 1 + gsl_rng_uniform_int(r, 20) : 0.0;
    }
  }
  if (c.phylogeny)
    for (int i = 0; i < tcst; i++)
      for (int j = i; j < tcst; j++)
        phylogenyRese[i][j] = phylogenyRese[j][i] =
            i == j ? 0.0 : std::fabs(optimum[i] - optimum[j]) / 20.0 + gsl_rng_uniform(r) * 0.5;
  free1D(optimum);
  optEnvVarType = 2;
  temEnvQuant = 1;
  temEnvQual = 0;
  temEnvBin = 0;
  strcpy(whichFormda, "benchFormda.txt");
  strcpy(dataName, "generated");
  strcpy(sessionName, "bench");
  CatName(whichPrinda, sizeof whichPrinda, sessionName, "Prinda.txt");
}

void FreeDataSet() {
  FreeGlobals2();
  free1D(partition_OTUs_Phyl);
  partition_OTUs_Phyl = nullptr;
}

// The settings the dialog would set for a fuzzy, taxa-shuffle run.
void SetSettings(const Case& c, int iterations) {
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
  opt_ro = c.measure;
  rese_opt = 6;
  restrictRaoWithinOpt = 0;
  keepAdditivity = 1;
  optUnitTotalAdjust2 = 1;
  includePhylogeny = c.phylogeny ? 1 : 0;
  fuzzyPhyl = 1;
  printDetail = 0;
  strcpy(prindaMode, "w");
  if (c.phylogeny) {
    free1D(partition_OTUs_Phyl);
    partition_OTUs_Phyl = dim1Dint(tcst);
    for (int i = 0; i < tcst; i++) partition_OTUs_Phyl[i] = partition_OTUs[i];
    nTaxa = c.types;
  }
}

double RunOnce(const Case& c, int iterations, int threads) {
  omp_set_num_threads(threads);
  SetSettings(c, iterations);
  const double start = omp_get_wtime();
  PFTs_ScalingUp();
  ClearLine();
  return omp_get_wtime() - start;
}

std::string ReadResults() {
  std::string text;
  FILE* fp = fopen(whichPrinda, "r");
  if (fp == nullptr) return text;
  char line[4096];
  while (fgets(line, sizeof line, fp) != nullptr)
    if (strstr(line, "Elapsed time") == nullptr && strncmp(line, "Sun ", 4) != 0 &&
        strncmp(line, "Mon ", 4) != 0 && strncmp(line, "Tue ", 4) != 0 &&
        strncmp(line, "Wed ", 4) != 0 && strncmp(line, "Thu ", 4) != 0 &&
        strncmp(line, "Fri ", 4) != 0 && strncmp(line, "Sat ", 4) != 0)
      text += line;
  fclose(fp);
  return text;
}

// Floating-point operations of one taxa-shuffle permutation: the product of
// the permuted performances with [B | U | Q], the Rao quadratic forms, the
// community distances and the matrix correlations.
double FlopsPerPermutation(const Case& c) {
  const double m = c.communities, n = c.otus, p = c.traits, g = c.types;
  const double h = c.phylogeny ? c.types : 0.0;
  const double pairs = m * (m - 1) / 2;
  double flops = 2 * m * n * (p + g + h) + 2 * m * n * n * (c.phylogeny ? 2 : 1);
  flops += pairs * 3 * (p + g + h);
  flops += pairs * 2 * 20;
  return flops;
}

void RunCase(const Case& c, int iterations) {
  MakeDataSet(c);
  printf("\n%s: communities %d, OTUs %d, traits %d, variables %d, types %d, phylogeny %s\n",
         c.name, c.communities, c.otus, c.traits, c.env, c.types, c.phylogeny ? "yes" : "no");
  std::string results[2];
  for (int threads = 1; threads <= 2; threads++) {
    const double base = RunOnce(c, 1, threads);
    const double tested = RunOnce(c, iterations, threads);
    results[threads - 1] = ReadResults();
    const double perSecond = (iterations - 1) / (tested - base);
    printf("  %d thread%s: without tests %.3f s, with %d iterations %.3f s, %.0f permutations/s,"
           " %.2f GFLOP/s\n",
           threads, threads > 1 ? "s" : " ", base, iterations, tested, perSecond,
           perSecond * FlopsPerPermutation(c) * 1e-9);
  }
  printf("  estimated %.2f MFLOP per permutation; results at 1 and 2 threads %s\n",
         FlopsPerPermutation(c) * 1e-6,
         results[0] == results[1] ? "identical" : "DIFFERENT");
  FreeDataSet();
}

// The whole process on the 75 x 82 x 8 data set: raw files written, then
// the quilta binary imports them and runs the analysis with 999
// permutations; the wall time of the process is printed.
void RunWholeProcess() {
  const Case c{"whole", 75, 82, 8, 4, 20, true, 1};
  MakeDataSet(c);
  FILE* fp = fopen("bench_traits.txt", "w");
  for (int i = 0; i < tcst; i++) {
    for (int k = 0; k < nch; k++) fprintf(fp, "%g\t", csm_Float[i][k]);
    fputc('\n', fp);
  }
  fclose(fp);
  fp = fopen("bench_perf.txt", "w");
  for (int i = 0; i < tcst; i++) {
    for (int s = 0; s < ncsm; s++) fprintf(fp, "%g\t", cadat[i][s]);
    fputc('\n', fp);
  }
  fclose(fp);
  fp = fopen("bench_phylo.txt", "w");
  for (int i = 0; i < tcst; i++) {
    for (int j = 0; j < tcst; j++) fprintf(fp, "%g\t", phylogenyRese[i][j]);
    fputc('\n', fp);
  }
  fclose(fp);
  fp = fopen("bench_env.txt", "w");
  for (int s = 0; s < ncsm; s++) {
    for (int j = 0; j < nenv; j++) fprintf(fp, "%g\t", env[s][j]);
    fputc('\n', fp);
  }
  fclose(fp);
  std::string types;
  for (int k = 0; k < nch; k++) types += std::to_string(chtype[k]) + " ";
  std::string groups;
  for (int i = 0; i < tcst; i++) groups += std::to_string(partition_OTUs[i]) + " ";
  fp = fopen("bench_whole.answers", "w");
  fprintf(fp,
          "N\nwhole\n1\nbench_traits.txt\n1\nbench_phylo.txt\nbench_perf.txt\n0\n1\n"
          "bench_env.txt\n%d\n%d\n1\n2\nk\n%s\ny\n0\n1\n%d\n1\n2\n%d\n1\n2\nn\n"
          "V\nH\nk\n%s\n1\ny\n999\nt\n0\n2\n12345\n1\n6\n1\n1\n1\ny\nn\n\nC\nC\nX\n",
          tcst, nch, types.c_str(), ncsm, nenv, groups.c_str());
  fclose(fp);
  FreeDataSet();
  remove("wholeTrk.txt");
  printf("\nwhole process (import of raw files, analysis with 999 permutations, results file):\n");
  printf("  75 communities x 82 OTUs x 8 traits, 4 variables, phylogeny\n");
  for (int threads = 1; threads <= 2; threads++) {
    FILE* prf = fopen("QUILTA.prf", "w");
    fprintf(prf, "18Nov2016\n0\n0\n0\n0\n0\n0\n1\nn\n0\n0\n0\n6\n2147483647\n6\nn\nn\nn\n1\n1\n0\n"
                 "1\n2\n1\n%d\n", threads);
    fclose(prf);
    remove("wholeTrk.txt");
    remove("wholePrinda.txt");
    const double start = omp_get_wtime();
    const int status = system(QUILTA_BIN " < bench_whole.answers > /dev/null 2>&1");
    printf("  %d thread%s: %.3f s (exit status %d)\n", threads, threads > 1 ? "s" : " ",
           omp_get_wtime() - start, status);
  }
  remove("QUILTA.prf");
}

}  // namespace

// Arguments (both optional): the measures to run, any of "mantel",
// "procrustes", "rv", "whole" joined by commas (default all), and the number
// of iterations (default 999).
int main(int argc, char** argv) {
  // The progress line of the analysis goes to the dialogue stream; keep it
  // out of the figures.
  FILE* quiet = fopen("/dev/null", "w");
  if (quiet != nullptr) out = quiet;
  const std::string which = argc > 1 ? argv[1] : "mantel,procrustes,rv,whole";
  const int iterations = argc > 2 ? atoi(argv[2]) : 999;
  auto wanted = [&](const char* name) {
    std::string lower(name);
    for (char& ch : lower) ch = static_cast<char>(tolower(ch));
    return which.find(lower) != std::string::npos;
  };
  printf("Functional analysis benchmark (%d iterations, taxa shuffle, fuzzy types)\n", iterations);
  const Case cases[] = {
      {"Mantel", 75, 82, 8, 4, 20, true, 1},
      {"Mantel", 100, 300, 12, 6, 30, false, 1},
      {"Procrustes", 100, 300, 12, 6, 30, false, 2},
      {"RV", 100, 300, 12, 6, 30, false, 3},
  };
  try {
    for (const Case& c : cases)
      if (wanted(c.name)) RunCase(c, iterations);
    if (wanted("whole")) RunWholeProcess();
  } catch (const QuiltaFailure& f) {
    fprintf(stderr, "failure code %d\n", f.code);
    return 1;
  }
  return 0;
}
