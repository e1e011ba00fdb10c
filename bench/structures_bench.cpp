// The community structures of one permutation (T, X, P, the entropies and
// the distances between communities) on generated data of the sizes of
// large surveys, by the dense products and by the sums over present OTUs:
//   bench_structures COMMUNITIES OTUS OCCUPANCY [PHYLOGENY 0/1] [PERMUTATIONS] [MEASURE]
// Prints the milliseconds per permutation of each path, the path the
// automatic choice takes and the largest relative difference between the
// two paths' structures; with 0 permutations only the automatic choice and
// the arithmetic of one permutation.
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <random>
#include <vector>

#include "QELib/qelibDim.h"
#include "functional/fcore.h"

namespace {

double MaxRelDiff(int rows, int cols, double** a, double** b) {
  double worst = 0.0;
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) {
      const double s = std::max(std::fabs(a[i][j]), std::fabs(b[i][j]));
      if (s > 0.0) worst = std::max(worst, std::fabs(a[i][j] - b[i][j]) / s);
    }
  return worst;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: %s COMMUNITIES OTUS OCCUPANCY [PHYLOGENY] [PERMUTATIONS]\n", argv[0]);
    return 2;
  }
  const int m = atoi(argv[1]), n = atoi(argv[2]);
  const double occupancy = atof(argv[3]);
  const bool phyl = argc > 4 && atoi(argv[4]) != 0;
  const int perms = argc > 5 ? atoi(argv[5]) : 3;
  const int p = 10;
  std::mt19937_64 gen(20261207);
  std::uniform_real_distribution<double> u01(0.0, 1.0);

  double** W = dim2Double(m, n);
  for (int c = 0; c < m; c++)
    for (int i = 0; i < n; i++) W[c][i] = u01(gen) < occupancy ? 1.0 + 99.0 * u01(gen) : 0.0;
  for (int c = 0; c < m; c++) {
    double t = 0.0;
    for (int i = 0; i < n; i++) t += W[c][i];
    for (int i = 0; i < n && t > 0.0; i++) W[c][i] /= t;
  }
  double** B = dim2Double(n, p);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++) B[i][k] = u01(gen);
  double** S = dim2Double(n, n);
  for (int i = 0; i < n; i++) {
    S[i][i] = 1.0;
    for (int j = i + 1; j < n; j++) S[i][j] = S[j][i] = u01(gen);
  }
  double** U = dim2Double(n, n);
  for (int i = 0; i < n; i++) {
    double t = 0.0;
    for (int j = 0; j < n; j++) t += S[i][j];
    for (int j = 0; j < n; j++) U[i][j] = S[i][j] / t;
  }
  double** F = phyl ? dim2Double(n, n) : nullptr;
  if (phyl)
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) F[i][j] = F[j][i] = u01(gen);
  std::vector<int> select(p, 1), weights(n, 1), rel(m, 1);

  FcoreInput in;
  in.m = m;
  in.n = n;
  in.p = p;
  in.g = n;
  in.h = phyl ? n : 0;
  in.traitSelect = select.data();
  in.weightOTUs = weights.data();
  in.relSelect = rel.data();
  in.W = W;
  in.B = B;
  in.U = U;
  in.Q = phyl ? U : nullptr;
  in.S = S;
  in.F = F;
  in.phylogeny = phyl;
  in.phylIsDissimilarity = true;
  in.optRo = argc > 6 ? atoi(argv[6]) : 1;

  if (perms <= 0) {
    // The choice only, with the arithmetic of one permutation on each path:
    // products 2 m n K (dense) or 2 K per present performance; entropies
    // 2 m n cols (dense) or 2 per unordered pair of present OTUs and matrix; distances of X and
    // P 3 m(m-1)/2 per column (direct) or m^2 per column (Gram).
    FcoreContext automatic;
    in.path = FcorePath::kAutomatic;
    FcoreBuild(in, automatic);
    const double K = automatic.K, cols = phyl ? 2.0 * n : n, gh = in.g + in.h;
    double nnz = 0.0, pairs = 0.0;
    for (int c = 0; c < m; c++) {
      double k = 0.0;
      for (int i = 0; i < n; i++) k += W[c][i] != 0.0;
      nnz += k;
      pairs += k * k;
    }
    const double flops = (automatic.sparseXP ? 2.0 * K * nnz : 2.0 * m * n * K) +
                         (automatic.sparseRao ? pairs * (phyl ? 2.0 : 1.0) : 2.0 * m * n * cols) +
                         (automatic.gramDistances ? 1.0 * m * m * gh : 1.5 * m * (m - 1.0) * gh);
    printf("products %s, entropies %s, distances %s; about %.3g floating-point operations per "
           "permutation\n",
           automatic.sparseXP ? "sparse" : "dense", automatic.sparseRao ? "sparse" : "dense",
           automatic.gramDistances ? "Gram" : "direct", flops);
    FcoreRelease(automatic);
    return 0;
  }
  std::vector<std::vector<int>> lists(perms, std::vector<int>(n));
  for (auto& l : lists) {
    std::iota(l.begin(), l.end(), 1);
    std::shuffle(l.begin(), l.end(), gen);
  }
  FcoreWorkspace* result[2] = {nullptr, nullptr};
  FcoreContext ctx[2];
  const char* name[2] = {"dense", "sparse"};
  double ms[2] = {0.0, 0.0};
  // Each part alone on the sparse path: the products, then the entropies.
  double part[2] = {0.0, 0.0};
  for (int path = 0; path < 2; path++) {
    in.path = path == 0 ? FcorePath::kDense : FcorePath::kSparse;
    FcoreBuild(in, ctx[path]);
    result[path] = FcoreNewWorkspace(ctx[path]);
    const double t0 = omp_get_wtime();
    for (int k = 0; k < perms; k++) FcoreStructures(ctx[path], lists[k].data(), *result[path]);
    ms[path] = 1000.0 * (omp_get_wtime() - t0) / perms;
  }
  for (int only = 0; only < 2; only++) {
    FcoreContext one;
    in.path = only == 0 ? FcorePath::kSparse : FcorePath::kDense;
    in.entropyPath = only == 1 ? FcorePath::kSparse : FcorePath::kDense;
    FcoreBuild(in, one);
    FcoreWorkspace* ws = FcoreNewWorkspace(one);
    const double t0 = omp_get_wtime();
    for (int k = 0; k < perms; k++) FcoreStructures(one, lists[k].data(), *ws);
    part[only] = 1000.0 * (omp_get_wtime() - t0) / perms;
    FcoreFreeWorkspace(one, ws);
    FcoreRelease(one);
  }
  in.entropyPath = FcorePath::kAutomatic;
  printf("sparse products only %.1f ms, sparse entropies only %.1f ms\n", part[0], part[1]);
  FcoreContext automatic;
  in.path = FcorePath::kAutomatic;
  FcoreBuild(in, automatic);
  printf("%d x %d, occupancy %.3f, phylogeny %s: dense %.1f ms, sparse %.1f ms per permutation;"
         " automatic: products %s, entropies %s\n",
         m, n, occupancy, phyl ? "yes" : "no", ms[0], ms[1], automatic.sparseXP ? name[1] : name[0],
         automatic.sparseRao ? name[1] : name[0]);
  printf("largest relative difference: T %.2g, X %.2g, R %.2g", MaxRelDiff(m, p, result[0]->T, result[1]->T),
         MaxRelDiff(m, n, result[0]->X, result[1]->X), MaxRelDiff(m, 1, result[0]->R, result[1]->R));
  if (phyl)
    printf(", P %.2g, Rp %.2g", MaxRelDiff(m, n, result[0]->P, result[1]->P),
           MaxRelDiff(m, 1, result[0]->Rp, result[1]->Rp));
  printf("\n");
  for (int path = 0; path < 2; path++) {
    FcoreFreeWorkspace(ctx[path], result[path]);
    FcoreRelease(ctx[path]);
  }
  FcoreRelease(automatic);
  return 0;
}
