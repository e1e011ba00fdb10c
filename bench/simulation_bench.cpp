// Assembly simulation without the dialogue, at 1 and 2 threads:
//   1. 100 data sets of 30 sites x 50 OTUs x 4 traits (2 factors, 100 steps)
//      with 99 permutations each (taxa shuffle, Mantel correlations);
//   2. the null check: 500 data sets of 20 sites x 25 OTUs x 3 traits with
//      no response and no effect, 99 permutations each (site shuffle).
// Each is also run with no permutations, to show what the model itself
// costs.  Prints the sizes, the time per data set and the total, and the
// rejection rate of r(TE).  The result files are written to the working
// directory.
#include <omp.h>

#include <cstdio>

#include "QELib/qelibDim.h"
#include "data/track.h"
#include "functional/settings.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "simulation/assembly.h"
#include "simulation/simanalysis.h"
#include "simulation/simreport.h"
#include "simulation/simulation.h"

namespace {

struct Case {
  const char* name;
  int S, N, K, F;
  int dataSets;
  bool null;    // no response, no effect
  int shuffle;  // 't' or 's'
};

void Random(CurveSpec& curve, double c0, double c1, double s0, double s1) {
  curve.random = true;
  curve.centerMin = c0;
  curve.centerMax = c1;
  curve.slopeMin = s0;
  curve.slopeMax = s1;
}

// The model of a case: traits and factors from correlation matrices (0.3
// between neighbours), every OTU parameter random.
void Build(const Case& c, AssemblyModel& m) {
  m.S = c.S;
  m.N = c.N;
  m.K = c.K;
  m.F = c.F;
  m.P = c.F;
  m.traitSource = 'c';
  m.envSource = 'c';
  m.traitDistribution = m.envDistribution = 2;
  m.traitCorrFile = m.envCorrFile = "generated";
  m.responseFile = m.effectFile = "generated";
  Random(m.dispersalSpec, 0.2, 0.6, -5, -1);
  Random(m.survivalSpec, 0.4, 0.7, -8, -3);
  Random(m.densitySpec, 0.7, 0.9, -5, -1);
  Random(m.ageSpec, 0.7, 0.9, -5, -1);
  m.randomLifespan = true;
  m.lifeMin = 5;
  m.lifeMax = 10;
  m.maxAvg = 30;
  m.years = 20;
  m.perYear = 5;
  m.steps = 100;
  m.threshold = 0.5;
  AllocAssembly(m);
  for (int i = 0; i < m.K; i++)
    for (int j = 0; j < m.K; j++)
      m.traitCorr[i][j] = i == j ? 1.0 : (i - j == 1 || j - i == 1 ? 0.3 : 0);
  for (int i = 0; i < m.F; i++)
    for (int j = 0; j < m.F; j++) m.envCorr[i][j] = i == j ? 1.0 : 0.3;
  if (!c.null) {
    for (int k = 0; k < m.K; k++) m.response[k][k % m.F] = k % 2 == 0 ? 0.8 : -0.5;
    for (int f = 0; f < m.F; f++) m.effect[f][f % m.K] = 0.2;
  }
  for (int k = 0; k < m.K; k++)
    for (int p = 0; p < m.P; p++)
      if (m.response[k][p] != 0.0) m.responsive[k] = 1;
}

// One run; returns the seconds it took and the rate of r(TE).
double RunCase(const Case& c, int threads, int permutations, double* rate) {
  omp_set_num_threads(threads);
  AssemblyModel m;
  Build(c, m);
  SetSimulationDataSet(m);
  fuzzy = 0;
  optRndTests = 1;
  niter = permutations;
  optTaxaSiteShuffle = c.shuffle;
  optRestrictPermutNullModel = 0;
  rseed = 20240607UL;
  opt_ro = 1;
  rese_opt = 6;
  SimAnalysis a;
  AllocSimAnalysis(a, m);
  for (int p = 0; p < m.P; p++) a.predSelect[p] = 1;
  ListSimTests(a);
  SimRunInfo info;
  info.dataSets = c.dataSets;
  info.evaluate = true;
  info.alpha = 0.05;
  const double start = omp_get_wtime();
  RunSimulation(m, a, info);
  const double seconds = omp_get_wtime() - start;
  *rate = static_cast<double>(a.rejections[0]) / c.dataSets;
  KeepLastDataSet(m);
  FreeSimAnalysis(a);
  FreeAssembly(m);
  return seconds;
}

}  // namespace

int main() {
  out = stdout;
  in_ = stdin;
  const Case cases[] = {{"power run", 30, 50, 4, 2, 100, false, 't'},
                        {"null check", 20, 25, 3, 1, 500, true, 's'}};
  try {
    for (const Case& c : cases) {
      printf(
          "\n%s: %d data sets of %d sites x %d OTUs x %d traits, %d factor(s), 100 steps, "
          "%s shuffle\n",
          c.name, c.dataSets, c.S, c.N, c.K, c.F, c.shuffle == 't' ? "taxa" : "site");
      for (int permutations : {1, 99}) {
        for (int threads : {1, 2}) {
          double rate = 0.0;
          const double seconds = RunCase(c, threads, permutations, &rate);
          ClearLine();
          printf(
              "  %2d permutation(s), %d thread(s): %8.3f s total, %8.2f ms per data set, "
              "rate of r(TE) %.3f\n",
              permutations, threads, seconds, 1000.0 * seconds / c.dataSets, rate);
          fflush(stdout);
        }
      }
    }
  } catch (const QuiltaFailure& f) {
    fprintf(stderr, "failure code %d\n", f.code);
    return 1;
  }
  return 0;
}
