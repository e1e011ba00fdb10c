#include "ranking/subsetdata.h"

#include <algorithm>
#include <cmath>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/fcore.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "multivariate/cluster.h"
#include "multivariate/beals.h"
#include "multivariate/congruence.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"
#include "shell/preferences.h"

// ---- pairs ------------------------------------------------------------------

void ToPairs(int m, double** D, double* pairs) {
  long k = 0;
  for (int i = 0; i < m; i++)
    for (int j = i + 1; j < m; j++) pairs[k++] = D[i][j];
}

void FromPairs(int m, const double* pairs, double** D) {
  long k = 0;
  for (int i = 0; i < m; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < m; j++) D[i][j] = D[j][i] = pairs[k++];
  }
}

double PairCommunityCorr(int m, const double* a, const double* b) {
  if (m < 2) return 0.0;
  if (m == 2) return TwoCommunityCorr(a[0], b[0]);
  return PairsCorr(NPairs(m), a, b);
}

void FixSide(int m, double** D, FixedSide& f) {
  const long np = NPairs(m);
  f.m = m;
  f.a.assign(np, 0.0);
  f.dev.assign(np, 0.0);
  f.use.assign(np, 0);
  ToPairs(m, D, f.a.data());
  double sa = 0.0;
  f.count = 0;
  f.anyMissing = false;
  for (long k = 0; k < np; k++) {
    if (IsMissing(f.a[k])) {
      f.anyMissing = true;
      continue;
    }
    f.use[k] = 1;
    sa += f.a[k];
    f.count++;
  }
  f.mean = f.count > 0 ? sa / f.count : 0.0;
  f.ss = 0.0;
  for (long k = 0; k < np; k++) {
    if (!f.use[k]) continue;
    f.dev[k] = f.a[k] - f.mean;
    f.ss += f.dev[k] * f.dev[k];
  }
}

double FixedCorr(const FixedSide& f, const double* b) {
  if (f.count == 0) return 0.0;
  const long np = static_cast<long>(f.a.size());
  const double* dev = f.dev.data();
  const char* use = f.use.data();
  double sb = 0.0, sbb = 0.0, sab = 0.0;
  if (!f.anyMissing) {
    for (long k = 0; k < np; k++) sb += b[k];
    const double mb = sb / f.count;
    for (long k = 0; k < np; k++) {
      const double db = b[k] - mb;
      sbb += db * db;
      sab += dev[k] * db;
    }
  } else {
    for (long k = 0; k < np; k++)
      if (use[k]) sb += b[k];
    const double mb = sb / f.count;
    for (long k = 0; k < np; k++) {
      if (!use[k]) continue;
      const double db = b[k] - mb;
      sbb += db * db;
      sab += dev[k] * db;
    }
  }
  if (f.ss == 0.0 || sbb == 0.0) return 0.0;
  return sab / std::sqrt(f.ss * sbb);
}

namespace {

// Four correlations with the fixed side; the sums are kept in registers so
// that the four chains of additions run side by side.
void FixedCorr4(const FixedSide& f, const double* const* b, double* r) {
  const long np = static_cast<long>(f.a.size());
  const double* dev = f.dev.data();
  const double *b0 = b[0], *b1 = b[1], *b2 = b[2], *b3 = b[3];
  double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
  for (long k = 0; k < np; k++) {
    s0 += b0[k];
    s1 += b1[k];
    s2 += b2[k];
    s3 += b3[k];
  }
  const double m0 = s0 / f.count, m1 = s1 / f.count, m2 = s2 / f.count, m3 = s3 / f.count;
  double q0 = 0.0, q1 = 0.0, q2 = 0.0, q3 = 0.0;
  double p0 = 0.0, p1 = 0.0, p2 = 0.0, p3 = 0.0;
  for (long k = 0; k < np; k++) {
    const double dv = dev[k];
    const double d0 = b0[k] - m0, d1 = b1[k] - m1, d2 = b2[k] - m2, d3 = b3[k] - m3;
    q0 += d0 * d0;
    p0 += dv * d0;
    q1 += d1 * d1;
    p1 += dv * d1;
    q2 += d2 * d2;
    p2 += dv * d2;
    q3 += d3 * d3;
    p3 += dv * d3;
  }
  const double q[4] = {q0, q1, q2, q3}, p[4] = {p0, p1, p2, p3};
  for (int j = 0; j < 4; j++)
    r[j] = (f.ss == 0.0 || q[j] == 0.0) ? 0.0 : p[j] / std::sqrt(f.ss * q[j]);
}

}  // namespace

void FixedCommunityCorrBatch(const FixedSide& f, int count, const double* const* b, double* r) {
  if (f.m <= 2 || f.anyMissing || f.count == 0) {
    for (int j = 0; j < count; j++) r[j] = FixedCommunityCorr(f, b[j]);
    return;
  }
  if (count == kSubsetBatch) {
    FixedCorr4(f, b, r);
    return;
  }
  for (int j = 0; j < count; j++) r[j] = FixedCorr(f, b[j]);
}

double FixedCommunityCorr(const FixedSide& f, const double* b) {
  if (f.m < 2) return 0.0;
  if (f.m == 2) return TwoCommunityCorr(f.a[0], b[0]);
  return FixedCorr(f, b);
}

namespace {
void RootOfPositive(long np, const double* x, double* out);
}  // namespace

namespace {

bool AnyMissing(int rows, int cols, double** X) {
  for (int i = 0; i < rows; i++)
    for (int v = 0; v < cols; v++)
      if (IsMissing(X[i][v])) return true;
  return false;
}

// The distances of every pair with i < j, the pairs of each row i side by
// side: for each variable in turn, the term of each pair is added to its own
// sum, so every sum runs over the variables in order as a pair at a time
// would.  absolute: sums of absolute differences, else squared differences.
// The columns of X are copied to `columns` (cols x rows) first.
#if defined(__x86_64__)
__attribute__((target_clones("avx", "default")))
#endif
void PairSums(int rows, int cols, double** X, bool absolute, double* out, double* columns) {
  for (int i = 0; i < rows; i++)
    for (int v = 0; v < cols; v++) columns[static_cast<size_t>(v) * rows + i] = X[i][v];
  long base = 0;
  for (int i = 0; i < rows; i++) {
    double* o = out + base;
    const int len = rows - i - 1;
    for (int j = 0; j < len; j++) o[j] = 0.0;
    for (int v = 0; v < cols; v++) {
      const double* col = columns + static_cast<size_t>(v) * rows + i + 1;
      const double xi = col[-1];
      if (absolute) {
#pragma omp simd
        for (int j = 0; j < len; j++) o[j] += std::fabs(xi - col[j]);
      } else {
#pragma omp simd
        for (int j = 0; j < len; j++) {
          const double d = xi - col[j];
          o[j] += d * d;
        }
      }
    }
    base += len;
  }
}

// With missing values: one pair at a time, a variable missing in either row
// left out.
void PairSumsMV(int rows, int cols, double** X, bool absolute, double* out) {
  long k = 0;
  for (int i = 0; i < rows; i++)
    for (int j = i + 1; j < rows; j++) {
      const double* x = X[i];
      const double* y = X[j];
      double sum = 0.0;
      for (int v = 0; v < cols; v++) {
        if (IsMissing(x[v]) || IsMissing(y[v])) continue;
        if (absolute) {
          sum += std::fabs(x[v] - y[v]);
        } else {
          const double d = x[v] - y[v];
          sum += d * d;
        }
      }
      out[k++] = sum;
    }
}

void Distances(int rows, int cols, double** X, bool absolute, double* out,
               std::vector<double>& columns) {
  if (AnyMissing(rows, cols, X)) {
    PairSumsMV(rows, cols, X, absolute, out);
  } else {
    columns.resize(static_cast<size_t>(rows) * (cols > 0 ? cols : 1));
    PairSums(rows, cols, X, absolute, out, columns.data());
  }
  if (!absolute) RootOfPositive(NPairs(rows), out, out);
}

}  // namespace

void PairDistances(int rows, int cols, double** X, int reseOpt, double* out, double** work,
                   std::vector<double>& columns) {
  switch (reseOpt) {
    case 6:
    case 7:
      Distances(rows, cols, X, false, out, columns);
      return;
    case 8:
    case 9:
      Distances(rows, cols, X, true, out, columns);
      return;
    case 10:
      NormalizeRowsMV(rows, cols, X, work);
      Distances(rows, cols, work, false, out, columns);
      return;
    default:
      std::fill(out, out + NPairs(rows), 0.0);
  }
}

// ---- pool -------------------------------------------------------------------

double** MatrixPool::Mat(int rows, int cols) {
  double** M = dim2Double(rows, cols > 0 ? cols : 1);
  matrices.emplace_back(M, rows);
  return M;
}

int* MatrixPool::IntVec(int n) {
  int* v = dim1Dint(n > 0 ? n : 1);
  vectors.push_back(v);
  return v;
}

double* MatrixPool::Vec(int n) {
  double* v = dim1Double(n > 0 ? n : 1);
  vectors.push_back(v);
  return v;
}

MatrixPool::~MatrixPool() {
  for (auto& M : matrices) free2D(M.first, M.second);
  for (void* v : vectors) free1D(v);
}

// ---- preparation ------------------------------------------------------------

namespace {

// X = W U over the occupied cells of each community row (OTU weight
// included), adding the OTUs in ascending order as the weighted product does;
// an exact 0 in a row with a missing cell is -999.
#if defined(__x86_64__)
__attribute__((target_clones("avx", "default")))
#endif
void ProductX(const RankData& d, double** U, double** X) {
  const int g = d.g;
  for (int c = 0; c < d.m; c++) {
    double* x = X[c];
    std::fill(x, x + g, 0.0);
    for (const auto& cell : d.occupied[c]) {
      const double a = cell.second;
      const double* u = U[cell.first];
#pragma omp simd
      for (int t = 0; t < g; t++) x[t] += a * u[t];
    }
    if (d.rowMissing[c])
      for (int t = 0; t < g; t++)
        if (x[t] == 0.0) x[t] = kMissing;
  }
}

void PrepareEnvironment(RankData& d) {
  const int m = d.m;
  int q = 0;
  for (int v = 0; v < nenv; v++)
    if (eVarSelect[v] == 1) q++;
  d.q = q;
  d.E = d.pool.Mat(m, q);
  d.eTypes = d.pool.IntVec(q);
  d.DE = d.pool.Mat(m, m);
  // The variables chosen in the settings dialog are the E of every
  // environmental criterion.
  for (int v = 0, j = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    d.eTypes[j] = envVarType[v];
    for (int c = 0; c < m; c++) d.E[c][j] = env[c][v];
    j++;
  }
  if (d.needs.environment) EnvironmentalDistance(m, q, d.E, d.eTypes, d.DE);
  FixSide(m, d.DE, d.de);
}

void PreparePerformances(RankData& d) {
  const int m = d.m, n = d.n;
  d.Wtcap = d.pool.Mat(m, n);
  d.Wtdap = d.pool.Mat(m, n);
  TransposeMatrix(n, m, cadat, d.Wtcap);
  TransposeMatrix(n, m, cadat, d.Wtdap);
  if (optUnitTotalAdjust1) UnitSumRowsAdjMV(m, n, d.Wtcap, d.Wtcap);
  if (optUnitTotalAdjust2) UnitSumRowsAdjMV(m, n, d.Wtdap, d.Wtdap);
  d.occupied.assign(m, {});
  d.relative.assign(m, {});
  d.rowMissing.assign(m, 0);
  for (int c = 0; c < m; c++) {
    const double* w = d.Wtdap[c];
    double total = 0.0;
    for (int l = 0; l < n; l++)
      if (!IsMissing(w[l])) total += w[l];
    for (int l = 0; l < n; l++) {
      if (IsMissing(w[l])) {
        d.rowMissing[c] = 1;
        continue;
      }
      // A zero cell adds exactly nothing to the products and the entropy.
      if (w[l] == 0.0) continue;
      if (weight_OTUs[l] != 0) d.occupied[c].emplace_back(l, weight_OTUs[l] * w[l]);
      if (total > 0.0) d.relative[c].emplace_back(l, w[l] / total);
    }
  }
}

void PrepareTraitMeans(RankData& d) {
  const int m = d.m, p = d.p;
  d.Traw = d.pool.Mat(m, p);
  d.Tn = d.pool.Mat(m, p);
  // Community-weighted means over the OTUs with a known trait value; every
  // column depends on its own trait only.
  MatrixProdSelectMV_Adjust_Weight(m, d.n, d.n, p, d.Wtcap, d.Bmasked, d.Traw, d.positive,
                                   weight_OTUs);
  NormalizeCols(m, p, d.Traw, d.Tn);
  d.dtPlanes.assign(static_cast<size_t>(p) * d.npm, 0.0);
  for (int k = 0; k < p; k++) {
    if (!d.positive[k]) continue;
    double* plane = &d.dtPlanes[static_cast<size_t>(k) * d.npm];
    long x = 0;
    for (int i = 0; i < m; i++)
      for (int j = i + 1; j < m; j++) {
        const double diff = d.Tn[i][k] - d.Tn[j][k];
        plane[x++] = diff * diff;
      }
  }
}

void PrepareTypes(RankData& d) {
  const int n = d.n;
  int count = 0;
  d.typeLabel = d.pool.IntVec(n);
  CountGroupsNew(n, partition_OTUs, &count, d.typeLabel);
  d.g = count;
  // One partition level, the user's g types, within the range of types
  // examined; with fewer than 2 types nothing is evaluated.
  d.level = count >= 2 && count >= nMinCSTGroupsChRank && count <= nMaxCSTGroupsChRank;
  d.typeOf = d.pool.IntVec(n);
  d.typeSize = d.pool.IntVec(count);
  d.members.assign(count, {});
  for (int i = 0; i < n; i++) {
    const int t = static_cast<int>(std::lower_bound(d.typeLabel, d.typeLabel + count,
                                                    partition_OTUs[i]) - d.typeLabel);
    d.typeOf[i] = t;
    d.typeSize[t]++;
    d.members[t].push_back(i);
  }
  d.C = d.pool.Mat(n, count);
  CrispBelonging(n, count, partition_OTUs, d.C);
  d.fuzzyTypes = fuzzy == 3;
  if (!d.fuzzyTypes) {
    d.Xcrisp = d.pool.Mat(d.m, count);
    ProductX(d, d.C, d.Xcrisp);
    d.dxCrisp.assign(d.npm, 0.0);
    double** work = d.pool.Mat(d.m, count);
    std::vector<double> columns;
    PairDistances(d.m, count, d.Xcrisp, d.needs.reseX, d.dxCrisp.data(), work, columns);
  }
}

// The partial similarities of each trait taking part, one trait at a time
// through one n x n work matrix (never the whole n x n x p array), kept as
// the pairs of the upper half.
void PrepareSimilarities(RankData& d) {
  const int n = d.n, p = d.p;
  RangeStates(p, n, csm_Float, chtype, chrange);
  MatrixPool scratch;
  double** work = scratch.Mat(n, n);
  double* column = scratch.Vec(n);
  d.sNum.assign(static_cast<size_t>(p) * d.npn, 0.0);
  std::vector<double> cnt(static_cast<size_t>(p) * d.npn, 0.0);
  bool missing = false;
  for (int k = 0; k < p; k++) {
    if (!d.positive[k]) continue;
    // The column is copied: an ordinal trait is replaced by its ranks.
    for (int i = 0; i < n; i++) column[i] = d.B[i][k];
    for (int i = 0; i < n; i++) std::fill(work[i], work[i] + n, 0.0);
    GowerMVPartial_dAbsences(n, chtype[k], column, work, chrange[k], weight[k],
                             countDoubleAbsence);
    const size_t base = static_cast<size_t>(k) * d.npn;
    long x = 0;
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++, x++) {
        const double s = work[i][j];
        if (IsMissing(s)) {
          missing = true;
          continue;
        }
        d.sNum[base + x] = s;
        cnt[base + x] = 1.0;
      }
  }
  d.sCounts = missing;
  if (missing) d.sCnt.swap(cnt);
  PrepareTypes(d);
}

// Beals smoothing with the odds transformation (cross products, target
// excluded): a conditional value of 1 or more has no finite odds and its
// term is left out, so that no value divides by zero and none is negative;
// -999 cells of W are left out of every sum.
void BealsOddsExcludingTarget(int m, int n, double** W, double** Z) {
  MatrixPool pool;
  double** M = pool.Mat(n, n);
  ConditionalProb(m, n, W, M, 2);
  double** Wr = pool.Mat(m, n);
  UnitSumRowsAdjMV(m, n, Wr, W);
  for (int j = 0; j < n; j++) M[j][j] = 0.0;
  for (int i = 0; i < m; i++)
    for (int j = 0; j < n; j++) {
      const double w = IsMissing(Wr[i][j]) ? 0.0 : Wr[i][j];
      if (1.0 - w == 0.0) {
        Z[i][j] = 0.0;
        continue;
      }
      double sum = 0.0;
      for (int k = 0; k < n; k++) {
        if (IsMissing(Wr[i][k])) continue;
        const double c = M[k][j];
        if (c >= 1.0) continue;
        sum += Wr[i][k] / (1.0 - w) * (c / (1.0 - c));
      }
      Z[i][j] = sum;
    }
}

void PrepareBeals(RankData& d) {
  const int m = d.m, n = d.n;
  d.Z = d.pool.Mat(m, n);
  const bool include = BealsIncludeOpt != 0;
  if (d.needs.beals == 2 && !include)
    BealsOddsExcludingTarget(m, n, d.Wtdap, d.Z);
  else
    BealsSmoothing(m, n, d.Wtdap, d.Wtdap, d.Z, include, d.needs.beals);
  d.DZ = d.pool.Mat(m, m);
  NominalReseNonHier(m, n, d.Z, d.DZ, d.needs.reseX);
  FixSide(m, d.DZ, d.dz);
}

// F (derived from the phylogenetic variables by the Gower similarity when it
// is not stored), the belonging of the OTUs to the taxa, P and DP.  Like the
// functional analysis, only a stored dissimilarity matrix (type 3) is read
// as dissimilarities; F derived from variables is a similarity.
void PreparePhylogeny(RankData& d) {
  const int m = d.m, n = d.n;
  d.h = partition_OTUs_Phyl != nullptr ? nTaxa : 0;
  const int h = d.h;
  d.phylIsDissimilarity = phylogenyMatrixType == 3;
  d.F = d.pool.Mat(n, n);
  if (phylogenyMatrixType == 2 && phylogenyData != nullptr) {
    double** work = d.pool.Mat(n, nClados);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < nClados; j++) work[i][j] = phylogenyData[i][j];
    GowerMVOpt(n, nClados, phylogenyVarType, work, d.F, nullptr, nullptr, 0);
  } else if (phylogenyRese != nullptr) {
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) d.F[i][j] = phylogenyRese[i][j];
  }
  d.Q = d.pool.Mat(n, h);
  d.P = d.pool.Mat(m, h);
  d.DP = d.pool.Mat(m, m);
  if (h > 0) {
    if (fuzzyPhyl == 1) {
      double** work = d.pool.Mat(n, n);
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) work[i][j] = d.F[i][j];
      FuzzyBelonging(n, h, work, partition_OTUs_Phyl, d.Q, d.phylIsDissimilarity);
    } else {
      CrispBelonging(n, h, partition_OTUs_Phyl, d.Q);
    }
    MatrixProdMV_Weight(m, n, n, h, d.Wtdap, d.Q, d.P, weight_OTUs);
    NominalReseNonHier(m, h, d.P, d.DP, d.needs.reseP);
  }
  FixSide(m, d.DP, d.dp);
}

}  // namespace

void PrepareRankData(RankData& d, const RankNeeds& needs) {
  d.needs = needs;
  d.m = ncsm;
  d.n = tcst;
  d.p = nch;
  d.npm = NPairs(d.m);
  d.npn = NPairs(d.n);
  PrepareEnvironment(d);
  PreparePerformances(d);
  d.B = CopyOf(d.n, d.p, csm_Float);
  d.pool.matrices.emplace_back(d.B, d.n);
  d.Bmasked = d.pool.Mat(d.n, d.p);
  d.positive = d.pool.IntVec(d.p);
  for (int k = 0; k < d.p; k++) d.positive[k] = weight[k] > 0.0 ? 1 : 0;
  for (int i = 0; i < d.n; i++)
    for (int k = 0; k < d.p; k++) d.Bmasked[i][k] = d.positive[k] ? d.B[i][k] : 0.0;
  if (needs.traitMeans) PrepareTraitMeans(d);
  if (needs.similarities) PrepareSimilarities(d);
  if (needs.beals != 0) PrepareBeals(d);
  if (needs.pooledW && needs.similarities) {
    // The crisp pooled composition: W summed over the OTUs of each type.
    d.Wpooled = d.pool.Mat(d.m, d.g);
    MatrixProdMV_Weight(d.m, d.n, d.n, d.g, d.Wtdap, d.C, d.Wpooled, weight_OTUs);
  }
  if (needs.phylogeny) PreparePhylogeny(d);
}

// ---- per-thread work --------------------------------------------------------

void InitRankWork(const RankData& d, RankWork& w) {
  const int kmax = std::max(1, std::min(nMaxTraitsChRank, d.p));
  const int m = d.m, n = d.n, p = d.p, g = d.g;
  w.prevT.assign(p, -1);
  w.prevS.assign(p, -1);
  w.T = w.pool.Mat(m, p);
  w.sel = w.pool.IntVec(p);
  if (d.needs.traitMeans) {
    w.dtSum.assign(static_cast<size_t>(kmax) * d.npm, 0.0);
    w.dt.assign(d.npm, 0.0);
    w.dtBatch.assign(static_cast<size_t>(kSubsetBatch) * d.npm, 0.0);
  }
  if (d.needs.similarities) {
    w.sNumSum.assign(static_cast<size_t>(kmax) * d.npn, 0.0);
    if (d.sCounts) w.sCntSum.assign(static_cast<size_t>(kmax) * d.npn, 0.0);
    w.S = w.pool.Mat(n, n);
    w.U = w.pool.Mat(n, g);
    w.X = w.pool.Mat(m, g);
    w.work = w.pool.Mat(m, g);
    w.dx.assign(d.npm, 0.0);
    w.duplicateOf.assign(n, -1);
    w.size.assign(g > 0 ? g : 1, 0);
  }
  if (d.needs.rao) {
    w.dis = w.pool.Mat(n, n);
    w.R = w.pool.Mat(m, 1);
    w.dr.assign(d.npm, 0.0);
  }
  if (d.needs.pooledW) {
    w.D = w.pool.Mat(m, 1);
    w.ds.assign(d.npm, 0.0);
  }
}

namespace {

// First position at which the subset differs from the one the running sums
// were formed for.
int FirstChange(const int* traits, int k, const std::vector<int>& prev, int depth) {
  int t = 0;
  const int common = std::min(k, depth);
  while (t < common && traits[t] == prev[t]) t++;
  return t;
}

// Running sums of the planes (np values each) of the subset's traits, from
// position `from` on.
#if defined(__x86_64__)
__attribute__((target_clones("avx", "default")))
#endif
void Accumulate(const double* planes, long np, const int* traits, int from, int k,
                double* sums) {
  for (int t = from; t < k; t++) {
    const double* plane = planes + static_cast<size_t>(traits[t]) * np;
    double* dst = sums + static_cast<size_t>(t) * np;
    if (t == 0) {
      std::copy(plane, plane + np, dst);
    } else {
      const double* src = dst - np;
#pragma omp simd
      for (long x = 0; x < np; x++) dst[x] = src[x] + plane[x];
    }
  }
}

// out = sqrt(x) where x > 0, else 0: the Euclidean distance from its sum of
// squares.  Several at a time where the processor has them (the same
// correctly rounded square roots; the maximum with 0 turns every x not > 0,
// a NaN included, into 0).
#if defined(__x86_64__)
__attribute__((target("avx"))) void RootOfPositiveAvx(long np, const double* x, double* out) {
  long k = 0;
  const __m256d zero = _mm256_setzero_pd();
  for (; k + 4 <= np; k += 4)
    _mm256_storeu_pd(out + k, _mm256_sqrt_pd(_mm256_max_pd(_mm256_loadu_pd(x + k), zero)));
  for (; k < np; k++) out[k] = x[k] > 0.0 ? std::sqrt(x[k]) : 0.0;
}

void RootOfPositiveSse2(long np, const double* x, double* out) {
  long k = 0;
  const __m128d zero = _mm_setzero_pd();
  for (; k + 2 <= np; k += 2)
    _mm_storeu_pd(out + k, _mm_sqrt_pd(_mm_max_pd(_mm_loadu_pd(x + k), zero)));
  for (; k < np; k++) out[k] = x[k] > 0.0 ? std::sqrt(x[k]) : 0.0;
}
#endif

void RootOfPositive(long np, const double* x, double* out) {
#if defined(__x86_64__)
  static const bool avx = __builtin_cpu_supports("avx");
  if (avx)
    RootOfPositiveAvx(np, x, out);
  else
    RootOfPositiveSse2(np, x, out);
#else
  for (long k = 0; k < np; k++) out[k] = x[k] > 0.0 ? std::sqrt(x[k]) : 0.0;
#endif
}

}  // namespace

void SubsetT(const RankData& d, RankWork& w, const int* traits, int k) {
  std::fill(w.sel, w.sel + d.p, 0);
  for (int t = 0; t < k; t++) w.sel[traits[t]] = 1;
  if (d.Tn == nullptr) return;
  for (int c = 0; c < d.m; c++)
    for (int j = 0; j < d.p; j++) w.T[c][j] = w.sel[j] ? d.Tn[c][j] : 0.0;
}

void SubsetDT(const RankData& d, RankWork& w, const int* traits, int k) {
  SubsetDT(d, w, traits, k, w.dt.data());
}

void SubsetDT(const RankData& d, RankWork& w, const int* traits, int k, double* out) {
  const long np = d.npm;
  const int from = FirstChange(traits, k, w.prevT, w.depthT);
  Accumulate(d.dtPlanes.data(), np, traits, from, k, w.dtSum.data());
  std::copy(traits, traits + k, w.prevT.begin());
  w.depthT = k;
  RootOfPositive(np, &w.dtSum[static_cast<size_t>(k - 1) * np], out);
}

void SubsetS(const RankData& d, RankWork& w, const int* traits, int k) {
  const long np = d.npn;
  const int from = FirstChange(traits, k, w.prevS, w.depthS);
  Accumulate(d.sNum.data(), np, traits, from, k, w.sNumSum.data());
  if (d.sCounts) Accumulate(d.sCnt.data(), np, traits, from, k, w.sCntSum.data());
  std::copy(traits, traits + k, w.prevS.begin());
  w.depthS = k;
  const double* num = &w.sNumSum[static_cast<size_t>(k - 1) * np];
  const double* cnt = d.sCounts ? &w.sCntSum[static_cast<size_t>(k - 1) * np] : nullptr;
  const double den = k;
  long x = 0;
  for (int i = 0; i < d.n; i++) {
    w.S[i][i] = 1.0;
    for (int j = i + 1; j < d.n; j++, x++) {
      const double c = cnt != nullptr ? cnt[x] : den;
      w.S[i][j] = w.S[j][i] = c > 0.0 ? num[x] / c : kMissing;
    }
  }
}

// A row of U divided by its total (UnitSumRowsAdjMV on a row that holds no
// missing value).
#if defined(__x86_64__)
__attribute__((target_clones("avx", "default")))
#endif
static void UnitRow(int g, double* u) {
  double total = 0.0;
  for (int t = 0; t < g; t++) total += u[t];
  if (total == 0.0) total = 1.0;
#pragma omp simd
  for (int t = 0; t < g; t++) u[t] = u[t] / total;
}

namespace {

// term[j] = v[j] / size[j], each quotient as the scalar division gives it.
#if defined(__x86_64__)
__attribute__((target_clones("avx", "default")))
#endif
void Quotients(int n, const double* v, const double* size, double* term) {
#pragma omp simd
  for (int j = 0; j < n; j++) term[j] = v[j] / size[j];
}

}  // namespace

void FuzzyBelongingSerial(int n, int g, double** S, const int* typeOf,
                          const std::vector<std::vector<int>>& members, double** U,
                          bool isDissimilarity, int* duplicateOf, int* size) {
  for (int t = 0; t < g; t++) size[t] = static_cast<int>(members[t].size());
  for (int i = 0; i < n; i++) duplicateOf[i] = -1;
  // Identical OTUs of one type count as one member, each duplicate marked by
  // the lowest-numbered unmarked OTU it equals.
  bool duplicates = false;
  for (int i = 0; i < n; i++) {
    if (duplicateOf[i] >= 0) continue;
    const int ti = typeOf[i];
    for (int j : members[ti]) {
      if (j <= i || duplicateOf[j] >= 0) continue;
      if (AlmostEqual2sComplement(S[i][j], 1.0, 1)) {
        duplicateOf[j] = i;
        size[ti]--;
        duplicates = true;
      }
    }
  }
  // Each OTU j adds S[i][j] / (size of its type) to its type's column, in
  // the order of j; the quotients are formed first, several at a time.
  std::vector<double> sizeOf(n), value(n), term(n);
  for (int j = 0; j < n; j++) sizeOf[j] = typeOf[j] < g ? size[typeOf[j]] : 1.0;
  for (int i = 0; i < n; i++) {
    double* u = U[i];
    std::fill(u, u + g, 0.0);
    const double* s = S[i];
    bool missing = false;
    for (int j = 0; j < n; j++) {
      missing |= IsMissing(s[j]);
      value[j] = isDissimilarity ? 1.0 - s[j] : s[j];
    }
    Quotients(n, value.data(), sizeOf.data(), term.data());
    if (!duplicates && !missing) {
      // The running sum of a type stays in a register while its OTUs follow
      // one another.
      int t = -1;
      double acc = 0.0;
      for (int j = 0; j < n; j++) {
        if (typeOf[j] != t) {
          if (t >= 0 && t < g) u[t] = acc;
          t = typeOf[j];
          acc = t < g ? u[t] : 0.0;
        }
        acc += term[j];
      }
      if (t >= 0 && t < g) u[t] = acc;
    } else {
      for (int j = 0; j < n; j++) {
        if (j != i && (duplicateOf[j] >= 0 || duplicateOf[i] == j)) continue;
        const int t = typeOf[j];
        if (t >= g || IsMissing(s[j])) continue;
        u[t] += term[j];
      }
    }
    UnitRow(g, u);
  }
}

void SubsetX(const RankData& d, RankWork& w) {
  if (!d.fuzzyTypes) return;
  // The ranking always measures OTU resemblance by the Gower similarity.
  FuzzyBelongingSerial(d.n, d.g, w.S, d.typeOf, d.members, w.U, false, w.duplicateOf.data(),
                       w.size.data());
  ProductX(d, w.U, w.X);
  if (d.needs.distX)
    PairDistances(d.m, d.g, w.X, d.needs.reseX, w.dx.data(), w.work, w.columns);
}

double** SubsetXMatrix(const RankData& d, const RankWork& w) {
  return d.fuzzyTypes ? w.X : d.Xcrisp;
}

const double* SubsetDXPairs(const RankData& d, const RankWork& w) {
  return d.fuzzyTypes ? w.dx.data() : d.dxCrisp.data();
}

void SubsetRao(const RankData& d, RankWork& w) {
  const int n = d.n;
  const bool root = sqrtDissimOpt_RaoTraits != 0;
  // Dissimilarity 1 - S of each pair (its square root when asked); a pair
  // without comparable trait adds nothing, as Rao entropy leaves it out.
  for (int i = 0; i < n; i++) {
    const double* s = w.S[i];
    double* dis = w.dis[i];
    for (int j = 0; j < n; j++) dis[j] = IsMissing(s[j]) ? 0.0 : 1.0 - s[j];
    if (root) RootOfPositive(n, dis, dis);
  }
  // Every OTU takes part in a ranking (all OTU weights 1), so each pair
  // counts with weight 1 and no scale adjustment applies.
  for (int c = 0; c < d.m; c++) {
    const auto& rel = d.relative[c];
    double Q = 0.0;
    for (const auto& a : rel) {
      const double pa = a.second;
      const double* dis = w.dis[a.first];
      for (const auto& b : rel) Q += pa * b.second * dis[b.first];
    }
    w.R[c][0] = Q;
  }
  long x = 0;
  for (int i = 0; i < d.m; i++)
    for (int j = i + 1; j < d.m; j++) w.dr[x++] = std::fabs(w.R[i][0] - w.R[j][0]);
}

namespace {

// Half the sum of the absolute differences between the two rows as relative
// profiles (SumAbsDeviations), over the cells where neither is -999; 0 when
// either total is not positive.
double ProfileDeviation(int g, const double* x, const double* y) {
  double tx = 0.0, ty = 0.0;
  for (int t = 0; t < g; t++) {
    if (IsMissing(x[t]) || IsMissing(y[t])) continue;
    tx += x[t];
    ty += y[t];
  }
  if (!(tx > 0.0) || !(ty > 0.0)) return 0.0;
  double sum = 0.0;
  for (int t = 0; t < g; t++) {
    if (IsMissing(x[t]) || IsMissing(y[t])) continue;
    sum += std::fabs(x[t] / tx - y[t] / ty);
  }
  return 0.5 * sum;
}

}  // namespace

// The dark diversity compares, type by type, the fuzzy-weighted composition
// X with the composition observed, W pooled into the same types (W itself
// when every OTU is its own type, the OTUs in label order).
void SubsetDarkDiversity(const RankData& d, RankWork& w) {
  double** X = SubsetXMatrix(d, w);
  for (int c = 0; c < d.m; c++) w.D[c][0] = ProfileDeviation(d.g, d.Wpooled[c], X[c]);
  long x = 0;
  for (int i = 0; i < d.m; i++)
    for (int j = i + 1; j < d.m; j++) {
      const double diff = w.D[i][0] - w.D[j][0];
      const double sum = diff * diff;
      w.ds[x++] = sum > 0.0 ? std::sqrt(sum) : 0.0;
    }
}
