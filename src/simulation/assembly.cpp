// The assembly model: data-set generation and the colonization-extinction
// step with environmental feedback.
#include "simulation/assembly.h"

#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>

#include "QELib/qelibDim.h"
#include "multivariate/random.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "simulation/stepfiles.h"

double Logistic(double x, double xmin, double xmax, double ymin, double ymax, double slope,
                double center) {
  const double range = ymax - ymin;
  return ymin +
         range / (1.0 + std::exp(((x - xmin) - (xmax - xmin) * center) * (-4.0 * slope / range)));
}

double LogisticSlopeBound(double center) {
  const double ln999 = 6.906754778648552;
  return std::fmin(-ln999 / (4.0 * center), ln999 / (4.0 * (center - 1.0)));
}

// ---- allocation -------------------------------------------------------------

// Arrays already allocated (the inputs read during the dialogue) are kept.
void AllocAssembly(AssemblyModel& m) {
  const int S = m.S, N = m.N, K = m.K, F = m.F, P = m.P;
  if (m.traitsGiven == nullptr) m.traitsGiven = dim2Double(N, K);
  if (m.traitCorr == nullptr) m.traitCorr = dim2Double(K, K);
  if (m.envInitial == nullptr) m.envInitial = dim2Double(P, S);
  if (m.envCorr == nullptr) m.envCorr = dim2Double(F, F);
  if (m.response == nullptr) m.response = dim2Double(K, P);
  if (m.effect == nullptr) m.effect = dim2Double(F, K);
  if (m.responsive == nullptr) m.responsive = dim1Dint(K);
  if (m.coords == nullptr) m.coords = dim2Double(2, S);
  if (m.siteDist == nullptr) m.siteDist = dim2Double(S, S);
  if (m.dispersal == nullptr) m.dispersal = dim2Double(N, 2);
  if (m.survival == nullptr) m.survival = dim2Double(N, 2);
  if (m.density == nullptr) m.density = dim2Double(N, 2);
  if (m.age == nullptr) m.age = dim2Double(N, 2);
  if (m.lifespan == nullptr) m.lifespan = dim1Dint(N);
  if (m.B == nullptr) m.B = dim2Double(N, K);
  if (m.traitMean == nullptr) m.traitMean = dim1Double(K);
  if (m.traitSd == nullptr) m.traitSd = dim1Double(K);
  if (m.traitMin == nullptr) m.traitMin = dim1Double(K);
  if (m.traitMax == nullptr) m.traitMax = dim1Double(K);
  if (m.E == nullptr) m.E = dim2Double(P, S);
  if (m.abund == nullptr) m.abund = dim2Dint(S + 1, N);
  m.births.assign(static_cast<size_t>(S) * static_cast<size_t>(N), std::vector<int>());
  m.birthSum = static_cast<long long**>(static_cast<void*>(dim2D(sizeof(long long), S + 1, N + 1)));
  if (m.individuals == nullptr) m.individuals = dim1Dint(S);
  if (m.richStart == nullptr) m.richStart = dim1Dint(S);
  if (m.colonizations == nullptr) m.colonizations = dim1Dint(S);
  if (m.extinctions == nullptr) m.extinctions = dim1Dint(S);
  if (m.Texp == nullptr) m.Texp = dim2Double(K, S);
  if (m.dist == nullptr) m.dist = dim2Double(S, N);
  if (m.pEnv == nullptr) m.pEnv = dim2Double(S, N);
  if (m.cwm == nullptr) m.cwm = dim2Double(K, S);
  if (m.cwmPrev == nullptr) m.cwmPrev = dim2Double(K, S);
  if (m.rel == nullptr) m.rel = dim2Double(S, N);
  if (m.extrap == nullptr) m.extrap = dim2Double(K, S);
}

namespace {

template <class T>
T** CopyRows(int rows, int cols, T** from) {
  if (from == nullptr) return nullptr;
  T** to = static_cast<T**>(static_cast<void*>(dim2D(sizeof(T), rows, cols)));
  for (int i = 0; i < rows; i++) std::copy(from[i], from[i] + cols, to[i]);
  return to;
}

template <class T>
T* CopyVector(int n, const T* from) {
  if (from == nullptr) return nullptr;
  T* to = static_cast<T*>(dim1D_Clear(static_cast<size_t>(n > 0 ? n : 1), sizeof(T)));
  std::copy(from, from + n, to);
  return to;
}

}  // namespace

void CopyDataSetOutcome(const AssemblyModel& from, AssemblyModel& to) {
  FreeAssembly(to);
  to = from;
  to.births.clear();
  to.files = nullptr;
  const int S = from.S, N = from.N, K = from.K, P = from.P;
  // Nothing of the copy is shared with the model.
  to.traitsGiven = to.traitCorr = to.otuCorr = to.envInitial = to.envCorr = nullptr;
  to.response = to.effect = to.siteDist = to.dist = to.pEnv = to.cwmPrev = to.rel = nullptr;
  to.traitMin = to.traitMax = nullptr;
  to.responsive = CopyVector(K, from.responsive);
  to.coords = CopyRows(2, S, from.coords);
  to.dispersal = CopyRows(N, 2, from.dispersal);
  to.survival = CopyRows(N, 2, from.survival);
  to.density = CopyRows(N, 2, from.density);
  to.age = CopyRows(N, 2, from.age);
  to.lifespan = CopyVector(N, from.lifespan);
  to.B = CopyRows(N, K, from.B);
  to.traitMean = CopyVector(K, from.traitMean);
  to.traitSd = CopyVector(K, from.traitSd);
  to.E = CopyRows(P, S, from.E);
  to.abund = CopyRows(S + 1, N, from.abund);
  to.birthSum = CopyRows(S + 1, N + 1, from.birthSum);
  to.individuals = CopyVector(S, from.individuals);
  to.richStart = CopyVector(S, from.richStart);
  to.colonizations = CopyVector(S, from.colonizations);
  to.extinctions = CopyVector(S, from.extinctions);
  to.Texp = CopyRows(K, S, from.Texp);
  to.cwm = CopyRows(K, S, from.cwm);
  to.extrap = CopyRows(K, S, from.extrap);
}

void FreeAssembly(AssemblyModel& m) {
  const int S = m.S, N = m.N, K = m.K, F = m.F, P = m.P;
  free2D(m.traitsGiven, N);
  free2D(m.traitCorr, K);
  free2D(m.otuCorr, N);
  free2D(m.envInitial, P);
  free2D(m.envCorr, F);
  free2D(m.response, K);
  free2D(m.effect, F);
  free1D(m.responsive);
  free2D(m.coords, 2);
  free2D(m.siteDist, S);
  free2D(m.dispersal, N);
  free2D(m.survival, N);
  free2D(m.density, N);
  free2D(m.age, N);
  free1D(m.lifespan);
  free2D(m.B, N);
  free1D(m.traitMean);
  free1D(m.traitSd);
  free1D(m.traitMin);
  free1D(m.traitMax);
  free2D(m.E, P);
  free2D(m.abund, S + 1);
  std::vector<std::vector<int>>().swap(m.births);
  free2D(m.birthSum, S + 1);
  free1D(m.individuals);
  free1D(m.richStart);
  free1D(m.colonizations);
  free1D(m.extinctions);
  free2D(m.Texp, K);
  free2D(m.dist, S);
  free2D(m.pEnv, S);
  free2D(m.cwm, K);
  free2D(m.cwmPrev, K);
  free2D(m.rel, S);
  free2D(m.extrap, K);
  m = AssemblyModel();
}

// ---- traits, environment, parameters -----------------------------------------

void StandardiseTraits(AssemblyModel& m, double** raw) {
  const int N = m.N, K = m.K;
  std::vector<double> column(N);
  for (int k = 0; k < K; k++) {
    for (int i = 0; i < N; i++) column[i] = raw[i][k];
    MeanStDev(N, column.data(), &m.traitMean[k], &m.traitSd[k]);
  }
  ZStandardizationColsMV(N, K, raw, m.B);
  for (int k = 0; k < K; k++) {
    for (int i = 0; i < N; i++) column[i] = m.B[i][k];
    m.traitMin[k] = minVector(N, column.data());
    m.traitMax[k] = maxVector(N, column.data());
  }
}

void InteractionRows(const AssemblyModel& m, double** E) {
  if (!m.interactions) return;
  int row = m.F;
  for (int i = 0; i < m.F; i++)
    for (int j = i + 1; j < m.F; j++, row++)
      for (int s = 0; s < m.S; s++) E[row][s] = E[i][s] * E[j][s];
}

void StandardiseEnvironment(const AssemblyModel& m, double** E) {
  ZStandardizationRowsMV(m.F, m.S, E, E);
  InteractionRows(m, E);
}

void DrawCurves(int N, const CurveSpec& curve, double** curves) {
  for (int i = 0; i < N; i++) {
    const double c = curve.centerMin + (curve.centerMax - curve.centerMin) * gsl_rng_uniform(r);
    const double bound = LogisticSlopeBound(c);
    const double lo = std::fmin(curve.slopeMin, bound), hi = std::fmin(curve.slopeMax, bound);
    curves[i][0] = c;
    curves[i][1] = lo + (hi - lo) * gsl_rng_uniform(r);
  }
}

void NotPositiveDefinite(const std::string& file) {
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nThe correlation matrix in file %s is not positive definite.\n", file.c_str());
  RaiseFailure(kFailReported);
}

bool IsPositiveDefinite(int p, double** R) {
  double** a = dim2Double(p, p);
  double* diagonal = dim1Double(p);
  CopyMatrix(p, p, R, a);
  const bool ok = choldc(a, p, diagonal) != 0;
  free1D(diagonal);
  free2D(a, p);
  return ok;
}

static void GenerateTraits(AssemblyModel& m) {
  double** raw = dim2Double(m.N, m.K);
  bool ok;
  if (m.traitSource == 'b') {
    ok = CorrToData_BothRowsColumns(m.N, m.K, m.traitCorr, m.otuCorr, raw, m.traitDistribution);
    if (!ok) {
      // Tell the two files apart by the trait matrix alone.
      double** probe = dim2Double(1, m.K);
      const bool traitsOk = CorrToData_New(1, m.K, m.traitCorr, probe, 1) != 0;
      free2D(probe, 1);
      NotPositiveDefinite(traitsOk ? m.otuCorrFile : m.traitCorrFile);
    }
  } else {
    ok = CorrToData_New(m.N, m.K, m.traitCorr, raw, m.traitDistribution);
    if (!ok) NotPositiveDefinite(m.traitCorrFile);
  }
  StandardiseTraits(m, raw);
  free2D(raw, m.N);
}

static void GenerateEnvironment(AssemblyModel& m) {
  double** sites = dim2Double(m.S, m.F);
  if (!CorrToData_New(m.S, m.F, m.envCorr, sites, m.envDistribution))
    NotPositiveDefinite(m.envCorrFile);
  for (int f = 0; f < m.F; f++)
    for (int s = 0; s < m.S; s++) m.E[f][s] = sites[s][f];
  free2D(sites, m.S);
  StandardiseEnvironment(m, m.E);
}

static void SiteDistances(AssemblyModel& m) {
  double** xy = dim2Double(m.S, 2);
  for (int s = 0; s < m.S; s++) {
    xy[s][0] = m.coords[0][s];
    xy[s][1] = m.coords[1][s];
  }
  EucliDist(m.S, 2, xy, m.siteDist);
  UpperToLowerMatrix(m.S, m.siteDist);
  MatrixUnitMaxTransf(m.S, m.S, m.siteDist, m.siteDist);
  free2D(xy, m.S);
}

void ClearAssemblyState(AssemblyModel& m) {
  const int S = m.S, N = m.N;
  for (int s = 0; s <= S; s++) {
    for (int j = 0; j < N; j++) m.abund[s][j] = 0;
    for (int j = 0; j <= N; j++) m.birthSum[s][j] = 0;
  }
  for (auto& list : m.births) list.clear();
  for (int s = 0; s < S; s++)
    m.individuals[s] = m.richStart[s] = m.colonizations[s] = m.extinctions[s] = 0;
  m.total = 0;
  m.recording = false;
  m.recordStep = 0;
}

void NewDataSet(AssemblyModel& m) {
  // 1. Traits from correlation matrices.
  if (m.traitSource != 't') GenerateTraits(m);
  // 2. Random parameters and coordinates.
  if (m.dispersalSpec.random) DrawCurves(m.N, m.dispersalSpec, m.dispersal);
  if (m.survivalSpec.random) DrawCurves(m.N, m.survivalSpec, m.survival);
  if (m.densitySpec.random) DrawCurves(m.N, m.densitySpec, m.density);
  // Equal bounds give that lifespan; otherwise the minimum plus a uniform
  // integer in 0 .. maximum - minimum - 1.
  if (m.randomLifespan)
    for (int i = 0; i < m.N; i++)
      m.lifespan[i] = m.lifeMax > m.lifeMin
                          ? m.lifeMin + static_cast<int>(gsl_rng_uniform_int(
                                            r, static_cast<unsigned long>(m.lifeMax - m.lifeMin)))
                          : m.lifeMin;
  if (m.ageSpec.random) DrawCurves(m.N, m.ageSpec, m.age);
  if (m.randomCoords)
    for (int s = 0; s < m.S; s++) {
      m.coords[0][s] = 100.0 * gsl_rng_uniform(r);
      m.coords[1][s] = 100.0 * gsl_rng_uniform(r);
    }
  // 3. Site distances.
  SiteDistances(m);
  // 4. Environment.
  if (m.envSource == 'c') {
    GenerateEnvironment(m);
  } else {
    CopyMatrix(m.P, m.S, m.envInitial, m.E);
  }
  // 5. Clear state.
  ClearAssemblyState(m);
}

// ---- the step -----------------------------------------------------------------

double MeanBirthStep(const AssemblyModel& m, int s, int j) {
  long long count = 0;
  if (j < m.N) {
    count = m.abund[s][j];
  } else if (s < m.S) {
    count = m.individuals[s];
  } else {
    count = m.total;
  }
  return count > 0 ? static_cast<double>(m.birthSum[s][j]) / static_cast<double>(count) : 0.0;
}

double AverageAge(const AssemblyModel& m, int s, int j, int t) {
  const long long count = j < m.N ? m.abund[s][j] : m.individuals[s];
  if (count <= 0) return 0.0;
  return (t - MeanBirthStep(m, s, j)) / m.perYear;
}

int Richness(const AssemblyModel& m, int s) {
  int richness = 0;
  for (int j = 0; j < m.N; j++)
    if (m.abund[s][j] > 0) richness++;
  return richness;
}

// The expected means are put on the scale of the standardised traits with
// the trait means and standard deviations kept from the raw traits; they
// are never standardised across sites.  A constant trait (standard deviation
// 0) is only centred.
void ExpectedTraitMeans(AssemblyModel& m) {
  for (int k = 0; k < m.K; k++) {
    const double sd = m.traitSd[k] > 0.0 ? m.traitSd[k] : 1.0;
    for (int s = 0; s < m.S; s++) {
      double v = 0.0;
      for (int p = 0; p < m.P; p++) v += m.response[k][p] * m.E[p][s];
      m.Texp[k][s] = (v - m.traitMean[k]) / sd;
    }
  }
}

// Root mean square difference over the traits between each OTU and the
// expected means of each site, capped at the 0.95 percentile of all S x N
// distances and divided by the largest.  A distance that is not a finite
// number (an environment driven beyond the range of doubles) counts as the
// largest possible one.
void TraitDistances(AssemblyModel& m) {
  const int S = m.S, N = m.N, K = m.K;
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) {
      double sum = 0.0;
      for (int k = 0; k < K; k++) {
        const double d = m.B[j][k] - m.Texp[k][s];
        sum += d * d;
      }
      const double d = std::sqrt(sum / K);
      m.dist[s][j] = std::isfinite(d) ? d : DBL_MAX;
    }
  const double cap = MatrixPercentile(0.95, S, N, m.dist);
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++)
      if (m.dist[s][j] > cap) m.dist[s][j] = cap;
  MatrixUnitMaxTransf(S, N, m.dist, m.dist);
}

void SurvivalProbabilities(AssemblyModel& m) {
  for (int s = 0; s < m.S; s++)
    for (int j = 0; j < m.N; j++)
      m.pEnv[s][j] = Logistic(m.dist[s][j], 0.0, 1.0, 0.0, 1.0, m.survival[j][1], m.survival[j][0]);
}

void StartRecording(AssemblyModel& m, int t) {
  if (m.recording) return;
  if (!(t > m.steps * m.threshold ||
        static_cast<double>(m.total) > static_cast<double>(m.maxAvg) * m.S * m.threshold))
    return;
  m.recording = true;
  m.recordStep = t;
  for (int s = 0; s < m.S; s++) m.richStart[s] = Richness(m, s);
}

static std::vector<int>& Births(AssemblyModel& m, int s, int j) {
  return m.births[static_cast<size_t>(s) * static_cast<size_t>(m.N) + static_cast<size_t>(j)];
}

static void AddIndividual(AssemblyModel& m, int s, int j, int t) {
  Births(m, s, j).push_back(t);
  m.birthSum[s][j] += t;
  m.birthSum[m.S][j] += t;
  m.birthSum[s][m.N] += t;
  m.birthSum[m.S][m.N] += t;
  m.abund[s][j]++;
  m.abund[m.S][j]++;
  m.individuals[s]++;
  m.total++;
  if (m.recording && m.abund[s][j] == 1) m.colonizations[s]++;
}

static void RemoveIndividual(AssemblyModel& m, int s, int j, int index) {
  std::vector<int>& list = Births(m, s, j);
  const int born = list[static_cast<size_t>(index)];
  list.erase(list.begin() + index);
  m.birthSum[s][j] -= born;
  m.birthSum[m.S][j] -= born;
  m.birthSum[s][m.N] -= born;
  m.birthSum[m.S][m.N] -= born;
  m.abund[s][j]--;
  m.abund[m.S][j]--;
  m.individuals[s]--;
  m.total--;
  if (m.recording && m.abund[s][j] == 0) m.extinctions[s]++;
}

static int UniformInt(int n) {
  return static_cast<int>(gsl_rng_uniform_int(r, static_cast<unsigned long>(n)));
}

void Colonization(AssemblyModel& m, int t) {
  for (int s = 0; s < m.S; s++) {
    const int j = UniformInt(m.N);
    bool arrives = true;
    double nearest = 0.0, pDispersal = 1.0;
    if (m.abund[m.S][j] == 0) {
      // From outside the metacommunity: it always arrives.
      nearest = 1.0;
    } else if (m.abund[s][j] == 0) {
      nearest = 1.0;
      for (int o = 0; o < m.S; o++)
        if (o != s && m.abund[o][j] > 0 && m.siteDist[s][o] < nearest) nearest = m.siteDist[s][o];
      pDispersal = Logistic(nearest, 0.0, 1.0, 0.0, 1.0, m.dispersal[j][1], m.dispersal[j][0]);
      arrives = gsl_rng_uniform(r) < pDispersal;
    }
    bool established = false;
    if (arrives && gsl_rng_uniform(r) < m.pEnv[s][j]) {
      established = true;
      AddIndividual(m, s, j, t);
    }
    if (m.files) WriteDispersal(m.files, t, s, j, nearest, pDispersal, arrives, established);
  }
}

void Mortality(AssemblyModel& m, int t) {
  for (int s = 0; s < m.S; s++) {
    if (m.individuals[s] <= 0) continue;
    // The mortality density may exceed 1 (more individuals than the
    // maximum average): the curve is then read beyond its x range.
    const double density = static_cast<double>(m.individuals[s]) / m.maxAvg;
    const int pick = UniformInt(m.individuals[s]);
    int j = m.N - 1;
    int cumulative = 0;
    for (int o = 0; o < m.N; o++) {
      cumulative += m.abund[s][o];
      if (pick < cumulative) {
        j = o;
        break;
      }
    }
    const double pDD = Logistic(density, 0.0, 1.0, 0.0, 1.0, m.density[j][1], m.density[j][0]);
    const int index = UniformInt(m.abund[s][j]);
    const double years =
        static_cast<double>(t - Births(m, s, j)[static_cast<size_t>(index)]) / m.perYear;
    const double pAge =
        Logistic(years / m.lifespan[j], 0.0, 1.0, 0.0, 1.0, m.age[j][1], m.age[j][0]);
    const bool dies = gsl_rng_uniform(r) < 1.0 - pDD * pAge * m.pEnv[s][j];
    if (m.files) WriteMortality(m.files, t, s, j, density, pDD, years, pAge, m.pEnv[s][j], dies);
    if (dies) RemoveIndividual(m, s, j, index);
  }
}

// Community weighted means of this step from the relative abundances; the
// factor rows of E change by the effect parameters times the change in the
// means since the previous step.  The first step of a data set has no
// previous means: it starts from its own, so that it brings no feedback.
void EnvironmentalFeedback(AssemblyModel& m, int t) {
  const int S = m.S, N = m.N, K = m.K;
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) m.rel[s][j] = m.abund[s][j];
  UnitSumRowsAdjMV(S, N, m.rel, m.rel);
  for (int k = 0; k < K; k++)
    for (int s = 0; s < S; s++) {
      double v = 0.0;
      for (int j = 0; j < N; j++) v += m.rel[s][j] * m.B[j][k];
      m.cwm[k][s] = v;
    }
  if (t == 1) CopyMatrix(K, S, m.cwm, m.cwmPrev);
  for (int f = 0; f < m.F; f++)
    for (int s = 0; s < S; s++) {
      double change = 0.0;
      for (int k = 0; k < K; k++) change += m.effect[f][k] * (m.cwm[k][s] - m.cwmPrev[k][s]);
      m.E[f][s] += change;
    }
  InteractionRows(m, m.E);
  CopyMatrix(K, S, m.cwm, m.cwmPrev);
}

void AssemblyStep(AssemblyModel& m, int t) {
  ExpectedTraitMeans(m);
  TraitDistances(m);
  SurvivalProbabilities(m);
  if (m.files) WriteConditions(m, t);
  StartRecording(m, t);
  Colonization(m, t);
  if (m.files) WriteCommunity(m, t, "before");
  Mortality(m, t);
  if (m.files) WriteCommunity(m, t, "after");
  EnvironmentalFeedback(m, t);
  if (m.files) WriteOutcome(m, t);
}

void Extrapolation(AssemblyModel& m) {
  for (int k = 0; k < m.K; k++)
    for (int s = 0; s < m.S; s++) {
      const double v = m.Texp[k][s];
      m.extrap[k][s] = v > m.traitMax[k]   ? v - m.traitMax[k]
                       : v < m.traitMin[k] ? v - m.traitMin[k]
                                           : 0.0;
    }
}

void PredictorLabel(const AssemblyModel& m, int p, char* label, int size) {
  if (p < m.F) {
    snprintf(label, static_cast<size_t>(size), "%d", p + 1);
    return;
  }
  int row = m.F;
  for (int i = 0; i < m.F; i++)
    for (int j = i + 1; j < m.F; j++, row++)
      if (row == p) {
        snprintf(label, static_cast<size_t>(size), "%dx%d", i + 1, j + 1);
        return;
      }
  snprintf(label, static_cast<size_t>(size), "?");
}

void PrintPredictorLabels(FILE* fp, const AssemblyModel& m, const char* separator) {
  char label[32];
  for (int p = 0; p < m.P; p++) {
    PredictorLabel(m, p, label, sizeof label);
    fprintf(fp, "%s%s", label, separator);
  }
}
