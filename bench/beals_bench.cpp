// Beals smoothing on generated data of the sizes of large surveys:
//   bench_beals COMMUNITIES OTUS [OCCUPANCY] [THREADS...]
// For each thread count, both weightings of the target OTU and both
// normalisations of the conditional probabilities: wall and CPU seconds and a
// hash of the bytes of the result, which must not depend on the thread count.
#include <omp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/beals.h"

namespace {

uint64_t Hash(int rows, int cols, double** a) {
  uint64_t h = 1469598103934665603ull;
  for (int i = 0; i < rows; i++) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(a[i]);
    for (size_t b = 0; b < sizeof(double) * cols; b++) h = (h ^ p[b]) * 1099511628211ull;
  }
  return h;
}

double Cpu() {
  timespec t;
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec + 1e-9 * t.tv_nsec;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s COMMUNITIES OTUS [OCCUPANCY] [THREADS...]\n", argv[0]);
    return 2;
  }
  const int n = atoi(argv[1]), s = atoi(argv[2]);
  const double occupancy = argc > 3 ? atof(argv[3]) : 0.17;
  std::vector<int> threads;
  for (int a = 4; a < argc; a++) threads.push_back(atoi(argv[a]));
  if (threads.empty()) threads = {1, 2};
  std::mt19937_64 gen(20261207);
  std::uniform_real_distribution<double> u01(0.0, 1.0);
  double** W = dim2Double(n, s);
  for (int c = 0; c < n; c++)
    for (int j = 0; j < s; j++) W[c][j] = u01(gen) < occupancy ? 1.0 + 99.0 * u01(gen) : 0.0;
  double** Y = dim2Double(n, s);
  for (int t : threads) {
    omp_set_num_threads(t);
    for (int include = 0; include < 2; include++)
      for (int unit = 0; unit < 2; unit++) {
        const double w0 = omp_get_wtime(), c0 = Cpu();
        BealsSmoothing(n, s, W, W, Y, include != 0, 1, unit != 0, t);
        const double wall = omp_get_wtime() - w0, cpu = Cpu() - c0;
        printf("%d x %d threads %d include %d unit %d: wall %.3f s cpu %.3f s hash %016llx\n", n,
               s, t, include, unit, wall, cpu, static_cast<unsigned long long>(Hash(n, s, Y)));
        fflush(stdout);
      }
  }
  free2D(Y, n);
  free2D(W, n);
  return 0;
}
