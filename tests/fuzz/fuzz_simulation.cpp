// The input files of the assembly simulation: the trait matrix, the trait
// and OTU correlation matrices, the site coordinates, the environment and
// its correlation matrix, the response and effect parameters, the logistic
// parameters of each OTU and the lifespans, each followed by a short
// simulation that uses what was read (everything else at small defaults).
//
// The input is a line "<kind> S N K F I" (sizes 1 to 6, I = 1 for double
// interactions), a line "%%", then the file.  Kinds: t traits, c trait
// correlations, o OTU correlations, x coordinates, e environment, r factor
// correlations, p response, q effect, d dispersal, s survival, y density,
// a age-related survivorship, l lifespans.
#include <cstdio>
#include <string>

#include "QELib/qelibDim.h"
#include "fuzz_support.h"
#include "multivariate/random.h"
#include "simulation/assembly.h"
#include "simulation/simulation.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

static double** Filled(int rows, int cols, double (*f)(int, int)) {
  double** M = dim2Double(rows, cols);
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) M[i][j] = f(i, j);
  return M;
}

static double** Correlation(int p) {
  return Filled(p, p, [](int i, int j) { return i == j ? 1.0 : 0.25; });
}

static void RandomCurves(CurveSpec& plan) {
  plan.random = true;
  plan.centerMin = 0.2;
  plan.centerMax = 0.8;
  plan.slopeMin = -5.0;
  plan.slopeMax = -1.0;
}

// The fuzzed file read into its place in the model.
static void ReadInput(AssemblyModel& m, char kind, double**& envRead) {
  const char* file = "in.txt";
  auto matrix = [&](int rows, int cols, bool correlation) {
    double** M = ReadMatrixFile(file, rows, cols);
    if (correlation && !IsPositiveDefinite(rows, M)) {
      free2D(M, rows);
      NotPositiveDefinite(file);
    }
    return M;
  };
  switch (kind) {
    case 't': {
      double** given = matrix(m.N, m.K, false);
      free2D(m.traitsGiven, m.N);
      m.traitsGiven = given;
      break;
    }
    case 'c': m.traitSource = 'c', m.traitCorr = matrix(m.K, m.K, true); break;
    case 'o':
      m.traitSource = 'b', m.traitCorr = Correlation(m.K), m.otuCorr = matrix(m.N, m.N, true);
      break;
    case 'x': m.randomCoords = false, m.coords = matrix(2, m.S, false); break;
    case 'e': envRead = matrix(m.F, m.S, false); break;
    case 'r': m.envSource = 'c', m.envCorr = matrix(m.F, m.F, true); break;
    case 'p': m.response = matrix(m.K, m.P, false); break;
    case 'q': m.effect = matrix(m.F, m.K, false); break;
    case 'd': m.dispersalSpec.random = false, ReadCurves(file, m.N, m.dispersal); break;
    case 's': m.survivalSpec.random = false, ReadCurves(file, m.N, m.survival); break;
    case 'y': m.densitySpec.random = false, ReadCurves(file, m.N, m.density); break;
    case 'a': m.ageSpec.random = false, ReadCurves(file, m.N, m.age); break;
    case 'l': m.randomLifespan = false, ReadLifespans(file, m.N, m.lifespan); break;
    default: break;
  }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  std::string head, file;
  SplitAtMarker(std::string(reinterpret_cast<const char*>(data), size), head, file);
  char kind = 0;
  int S = 0, N = 0, K = 0, F = 0, I = 0;
  if (sscanf(head.c_str(), " %c %d %d %d %d %d", &kind, &S, &N, &K, &F, &I) != 6) return 0;
  if (S < 1 || S > 6 || N < 1 || N > 6 || K < 1 || K > 6 || F < 1 || F > 6) return 0;
  WriteInput("in.txt", file);

  AssemblyModel m;
  m.S = S, m.N = N, m.K = K, m.F = F;
  m.interactions = I == 1;
  m.P = F + (m.interactions ? F * (F - 1) / 2 : 0);
  m.maxAvg = 4, m.years = 2, m.perYear = 2, m.steps = 4, m.threshold = 0.5;
  RandomCurves(m.dispersalSpec);
  RandomCurves(m.survivalSpec);
  RandomCurves(m.densitySpec);
  RandomCurves(m.ageSpec);
  m.randomLifespan = true, m.lifeMin = 1, m.lifeMax = 5;
  m.traitsGiven = Filled(N, K, [](int i, int j) { return double((3 * i + j) % 5); });
  double** envRead = nullptr;
  // The arrays a file may fill are allocated first, as the dialogue does.
  m.dispersal = dim2Double(N, 2), m.survival = dim2Double(N, 2);
  m.density = dim2Double(N, 2), m.age = dim2Double(N, 2);
  m.lifespan = dim1Dint(N);

  const bool ok = Orderly([&] { ReadInput(m, kind, envRead); });
  if (ok) {
    if (envRead == nullptr)
      envRead = Filled(F, S, [](int f, int s) { return double((f + 2 * s) % 4); });
    if (m.response == nullptr)
      m.response = Filled(K, m.P, [](int k, int p) { return (k + p) % 2 == 0 ? 0.5 : 0.0; });
    if (m.effect == nullptr) m.effect = Filled(F, K, [](int, int) { return 0.1; });
    AllocAssembly(m);
    for (int k = 0; k < K; k++)
      for (int p = 0; p < m.P; p++)
        if (m.response[k][p] != 0.0) m.responsive[k] = 1;
    if (m.traitSource == 't') StandardiseTraits(m, m.traitsGiven);
    for (int f = 0; f < F; f++)
      for (int s = 0; s < S; s++) m.envInitial[f][s] = envRead[f][s];
    StandardiseEnvironment(m, m.envInitial);
    InitRndNumberGenerator(7);
    Orderly([&] {
      NewDataSet(m);
      for (int t = 1; t <= m.steps; t++) AssemblyStep(m, t);
      Extrapolation(m);
    });
  }
  free2D(envRead, F);
  FreeAssembly(m);
  return 0;
}
