// Import of tables: a trait table of n OTUs and a performance table of m
// communities x n OTUs (CSV as R's write.csv writes it, about 20% of the
// cells nonzero) are generated with a fixed seed; the program times the
// recognition and reading of the performance table alone, then runs the
// quilta binary on a scripted import of both files and reports its wall
// time (import, formatted data file written and loaded by the session), its
// peak memory and that peak against the bytes of the matrices it holds.
//
//   bench_import [communities [otus]]      (default 1000 x 5000)
//
// Files are written to the working directory (session "bench").
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "data/table.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

void MakeTables(int m, int n) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> cover(1, 100), percent(0, 99);
  FILE* fp = fopen("bench_traits.csv", "w");
  fprintf(fp, "\"\",\"Height\",\"SLA\"\n");
  for (int i = 0; i < n; i++)
    fprintf(fp, "\"Sp%d\",%d,%.3f\n", i + 1, cover(rng), cover(rng) / 7.0);
  fclose(fp);
  fp = fopen("bench_perf.csv", "w");
  fprintf(fp, "\"\"");
  for (int i = 0; i < n; i++) fprintf(fp, ",\"Sp%d\"", i + 1);
  fprintf(fp, "\n");
  for (int c = 0; c < m; c++) {
    fprintf(fp, "\"R%d\"", c + 1);
    for (int i = 0; i < n; i++) fprintf(fp, ",%d", percent(rng) < 20 ? cover(rng) : 0);
    fprintf(fp, "\n");
  }
  fclose(fp);
  fp = fopen("bench_import.answers", "w");
  fprintf(fp, "N\nbench\n1\nbench_traits.csv\n0\nbench_perf.csv\n0\n0\nk\n3 3\ny\n0\nC\nX\n");
  fclose(fp);
}

}  // namespace

int main(int argc, char** argv) {
  const int m = argc > 1 ? atoi(argv[1]) : 1000;
  const int n = argc > 2 ? atoi(argv[2]) : 5000;
  MakeTables(m, n);
  const double cells = static_cast<double>(m) * n;

  auto start = std::chrono::steady_clock::now();
  RawFile f;
  std::string reason;
  if (!RecogniseRawFile("bench_perf.csv", true, f, reason)) {
    fprintf(stderr, "bench_perf.csv: %s\n", reason.c_str());
    return 1;
  }
  const double read = Seconds(start);
  printf("%d communities x %d OTUs: reading the table %.3f s (%.1f million cells/s)\n", m, n,
         read, cells / read / 1e6);

  fflush(stdout);
  start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("bench_import.answers", "r", stdin) || !freopen("/dev/null", "w", stdout))
      _exit(127);
    execl(QUILTA_BIN, "quilta", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double wall = Seconds(start);
  const double matrices = (cells + 2.0 * n) * sizeof(double);
  const double peak = usage.ru_maxrss * 1024.0;
  printf("whole import (quilta, status %d): %.3f s; peak memory %.1f MB = %.2f x the %.1f MB of "
         "the matrices\n",
         WIFEXITED(status) ? WEXITSTATUS(status) : -1, wall, peak / 1e6, peak / matrices,
         matrices / 1e6);
  return 0;
}
