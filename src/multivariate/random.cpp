// Random permutations, restricted permutations, enumeration of subsets and
// correlated random data, all drawn from the program-wide generator r.
#include "multivariate/random.h"

#include <gsl/gsl_randist.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/cluster.h"
#include "numeric/linalg.h"
#include "shell/failure.h"

gsl_rng* r = nullptr;

void InitRndNumberGenerator(unsigned long seed) {
  if (r != nullptr) gsl_rng_free(r);
  r = gsl_rng_alloc(gsl_rng_mt19937);
  if (r == nullptr) RaiseFailure(kFailMemory);
  gsl_rng_set(r, seed);
  srand(static_cast<unsigned int>(seed));
}

std::vector<char> GeneratorState() {
  if (r == nullptr) InitRndNumberGenerator(0);
  const char* state = static_cast<const char*>(gsl_rng_state(r));
  return std::vector<char>(state, state + gsl_rng_size(r));
}

void SetGeneratorState(const std::vector<char>& state) {
  if (r == nullptr) InitRndNumberGenerator(0);
  if (state.size() != gsl_rng_size(r)) RaiseFailure(kFailEndOfFile);
  memcpy(gsl_rng_state(r), state.data(), state.size());
}

namespace {

// The generator, created with seed 0 should a draw come before any
// InitRndNumberGenerator, so that no caller can dereference a null
// generator.
gsl_rng* Rng() {
  if (r == nullptr) InitRndNumberGenerator(0);
  return r;
}

void Shuffle(int n, int* list) {
  for (int i = 0; i < n - 1; i++) {
    const int u = static_cast<int>(gsl_rng_uniform_int(Rng(), static_cast<unsigned long>(n - i)));
    std::swap(list[i], list[i + u]);
  }
}

}  // namespace

void RndList(int n, int* list) {
  for (int i = 0; i < n; i++) list[i] = i + 1;
  Shuffle(n, list);
}

void RndListSpecified(int n, int* list) { Shuffle(n, list); }

void RndListSelect(int n, int* list, const bool* select) {
  std::vector<int> positions;  // 1-based numbers of the selected positions
  for (int i = 0; i < n; i++)
    if (select[i]) positions.push_back(i + 1);
  const int m = static_cast<int>(positions.size());
  std::vector<int> q(m);
  RndList(m, q.data());
  for (int a = 0; a < m; a++) list[positions[a] - 1] = positions[q[a] - 1];
}

void RndListNestedNew(int n, const int* groups, int option, int* list) {
  for (int i = 0; i < n; i++) list[i] = i + 1;
  if (option < 1 || option > 3 || n < 1) return;
  int count = 0;
  std::vector<int> labels(n);
  CountGroupsNew(n, groups, &count, labels.data());
  std::vector<int> sizes(count, 0);
  std::unique_ptr<bool[]> select(new bool[n]);
  for (int g = 0; g < count; g++) {
    for (int i = 0; i < n; i++) {
      select[i] = groups[i] == labels[g];
      if (select[i]) sizes[g]++;
    }
    if (option == 1 || option == 3) RndListSelect(n, list, select.get());
  }
  if (option == 1 || count < 2) return;
  for (int g = 1; g < count; g++)
    if (sizes[g] != sizes[0]) return;  // whole groups are exchanged only when all are equal
  // values[g] and positions[g]: the current values of group g's members and
  // their positions, in position order.
  std::vector<std::vector<int>> values(count), positions(count);
  for (int g = 0; g < count; g++)
    for (int i = 0; i < n; i++)
      if (groups[i] == labels[g]) {
        values[g].push_back(list[i]);
        positions[g].push_back(i);
      }
  std::vector<int> q(count);
  RndList(count, q.data());
  for (int g = 0; g < count; g++)
    for (int a = 0; a < sizes[g]; a++) list[positions[g][a]] = values[q[g] - 1][a];
}

// The enumeration state lives between calls.  A call with init false when
// no enumeration is under way (none started yet, the last one finished, or
// n and k differ from those of the running one) starts a new enumeration, as
// init true would: it delivers the first subset and returns 1.  An invalid
// request (k outside 0..n) delivers nothing and returns 0.
int PermuteArray(int n, int k, int* out, bool init) {
  static std::vector<int> combination;  // k positions, 0-based, ascending
  static std::vector<int> items;        // the item numbers 1..n
  static std::vector<bool> chosen;      // membership flag per item
  static long long total = 0;           // C(n, k)
  static long long counter = 0;         // subsets delivered
  static int stateN = -1, stateK = -1;
  static bool active = false;

  if (n < 0 || k < 0 || k > n) return 0;
  if (init || !active || n != stateN || k != stateK) {
    combination.resize(k);
    for (int t = 0; t < k; t++) combination[t] = t;
    items.resize(n);
    for (int t = 0; t < n; t++) items[t] = t + 1;
    chosen.assign(n, false);
    // C(n, k) counted exactly: a quotient of factorials in floating point
    // can fall just short of a whole number and lose the last subset.
    total = 1;
    for (int t = 1; t <= k; t++) {
      total = total * (n - k + t) / t;
      if (total > INT_MAX) total = INT_MAX;
    }
    counter = 0;
    stateN = n;
    stateK = k;
    active = true;
  } else {
    int t = k - 1;
    while (t >= 0 && combination[t] >= n - k + t) t--;
    if (t >= 0) {
      combination[t]++;
      for (int u = t + 1; u < k; u++) combination[u] = combination[u - 1] + 1;
    }
  }
  std::fill(chosen.begin(), chosen.end(), false);
  for (int t = 0; t < k; t++) {
    out[t] = items[combination[t]];
    chosen[combination[t]] = true;
  }
  int rest = k;
  for (int t = 0; t < n; t++)
    if (!chosen[t]) out[rest++] = items[t];
  counter++;
  const int delivered = static_cast<int>(std::min<long long>(counter, INT_MAX));
  if (counter >= total) {
    active = false;
    std::vector<int>().swap(combination);
    std::vector<int>().swap(items);
    std::vector<bool>().swap(chosen);
  }
  return delivered;
}

namespace {

// The upper Cholesky factor U of R (R = U'U) into U; false when R is not
// positive definite (choldc has printed its message).
bool UpperFactor(int p, double** R, double** U) {
  double** a = dim2Double(p, p);
  double* diag = dim1Double(p);
  for (int i = 0; i < p; i++)
    for (int j = 0; j < p; j++) a[i][j] = R[i][j];
  const bool ok = choldc(a, p, diag) != 0;
  if (ok)
    for (int i = 0; i < p; i++) {
      U[i][i] = diag[i];
      for (int j = 0; j < p; j++)
        if (j != i) U[i][j] = j > i ? a[j][i] : 0.0;
    }
  free1D(diag);
  free2D(a, p);
  return ok;
}

// Distribution codes 1 (uniform on -0.5..0.5), 5 (lognormal, zeta 0, sigma
// 1) and every other code, 7 and 8 included, standard normal.
double Draw(int distribution) {
  switch (distribution) {
    case 1:
      return gsl_rng_uniform(Rng()) - 0.5;
    case 5:
      return gsl_ran_lognormal(Rng(), 0.0, 1.0);
    default:
      return gsl_ran_gaussian(Rng(), 1.0);
  }
}

}  // namespace

int CorrToData_New(int n, int p, double** R, double** out, int distribution) {
  if (n < 1 || p < 1) return 1;
  double** U = dim2Double(p, p);
  if (!UpperFactor(p, R, U)) {
    free2D(U, p);
    return 0;
  }
  double** Z = dim2Double(n, p);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Z[i][j] = Draw(distribution);
  MatrixProd(n, p, p, p, Z, U, out);
  free2D(Z, n);
  free2D(U, p);
  return 1;
}

int CorrToData_BothRowsColumns(int n, int p, double** Rcols, double** Rrows, double** out,
                               int distribution) {
  if (n < 1 || p < 1) return 1;
  // The column factor is checked first, so that a failure draws nothing.
  double** U = dim2Double(p, p);
  if (!UpperFactor(p, Rcols, U)) {
    free2D(U, p);
    return 0;
  }
  double** T = dim2Double(p, n);
  if (CorrToData_New(p, n, Rrows, T, distribution) == 0) {
    free2D(T, p);
    free2D(U, p);
    return 0;
  }
  double** Tt = dim2Double(n, p);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < p; j++) Tt[i][j] = T[j][i];
  MatrixProd(n, p, p, p, Tt, U, out);
  free2D(Tt, n);
  free2D(T, p);
  free2D(U, p);
  return 1;
}
