#include "functional/analysisWarnings.h"

#include <cmath>

#include "data/dataset.h"
#include "data/warnings.h"
#include "functional/settings.h"
#include "simulation/simanalysis.h"

namespace {

// T is a weighted mean of trait values over each community; the mean of the
// codes of a nominal trait changes when its states are numbered otherwise.
void WarnNominalInT(const int* select) {
  for (int k = 0; k < nch; k++)
    if (chtype[k] == 2 && weight[k] > 0.0 && (select == nullptr || select[k]))
      WarnAnalysis(
          "T averages the codes of nominal trait %s; its community means depend on how its "
          "states are numbered: give it weight 0 for T, or rely on X",
          chLabel[k]);
}

// Permutation tests count the observed data among the niter iterations, so
// that the smallest probability they give is 1/niter.
void WarnFewIterations() {
  if (!optRndTests || niter >= 99) return;
  WarnAnalysis(
      "the permutation tests run %d iterations: with n permutations the smallest possible "
      "probability is 1/(n+1), here 1/%d; ask for 99 iterations or more (999 to publish)",
      niter, niter > 1 ? niter : 1);
}

}  // namespace

void WarnFunctionalAnalysis(int m, const int* select, int q) {
  ClearAnalysisWarnings();
  WarnNominalInT(select);
  WarnFewIterations();
  if (optRndTests && optTaxaSiteShuffle == 's') {
    // m! orderings of the communities: fewer than 99 for m <= 4.
    long long orders = 1;
    for (int c = 2; c <= m && orders < 99; c++) orders *= c;
    if (orders < 99)
      WarnAnalysis(
          "the site shuffle permutes %d communities, which have only %lld distinct orders: "
          "the test repeats the same permutations; use the taxa shuffle or more communities",
          m, orders);
  }
  if (opt_ro == 2 || opt_ro == 3) {
    const char* what = opt_ro == 2 ? "Procrustes" : "RV";
    int p = 0;
    for (int k = 0; k < nch; k++) p += select == nullptr || select[k] ? 1 : 0;
    if (q > m)
      WarnAnalysis(
          "the %s coefficients use %d environmental variables for %d communities: with more "
          "variables than communities they approach 1 whatever the data; select fewer "
          "variables",
          what, q, m);
    if (p > m)
      WarnAnalysis(
          "the %s coefficients use %d traits for %d communities: with more variables than "
          "communities they approach 1 whatever the data; select fewer traits",
          what, p, m);
  }
}

void WarnRanking() {
  ClearAnalysisWarnings();
  // The criteria built on T, r(XE.T) and r(TE), are not offered when a trait
  // is nominal (whatever its weight), so that none averages nominal codes;
  // the check stays for a criteria menu that would offer them.
  if (opt_struct == 9 || opt_struct == 10) WarnNominalInT(nullptr);
}

void WarnSimulation(bool tested, double alpha) {
  ClearDataWarnings();
  ClearAnalysisWarnings();
  if (!tested || !optRndTests) return;
  const int n = niter > 1 ? niter : 1;
  if (!RejectsHo(1.0 / n, alpha))
    WarnAnalysis(
        "with %d iterations the smallest possible probability is 1/%d, above alpha %g: no "
        "test can reject Ho and every rate will be 0; ask for at least %d iterations",
        n, n, alpha, alpha > 0.0 ? (int)std::ceil(1.0 / alpha) : n);
}
