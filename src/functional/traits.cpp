// Trait resemblance between OTUs, belonging of OTUs to types, Rao quadratic
// entropy and the resemblance between communities of the functional analysis.
#include "functional/traits.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/cluster.h"
#include "multivariate/resemblance.h"
#include "numeric/stats.h"
#include "shell/preferences.h"

void gower_similarityPartial(int p, double** B, int n, double*** partial, const int* types,
                             const double* ranges, const double* weights) {
  if (n <= 0 || p <= 0) return;
  // One trait at a time: the column is copied because ordinal traits are
  // replaced by their ranks inside the partial similarity.
  double* column = dim1Double(n);
  double** work = dim2Double(n, n);
  for (int k = 0; k < p; k++) {
    for (int i = 0; i < n; i++) column[i] = B[i][k];
    for (int i = 0; i < n; i++) std::fill(work[i], work[i] + n, 0.0);
    GowerMVPartial_dAbsences(n, types[k], column, work, ranges[k], weights[k],
                             countDoubleAbsence);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) partial[i][j][k] = work[i][j];
  }
  free2D(work, n);
  free1D(column);
}

// S[i][j]: sum of the partial similarities of the traits that take part and
// are comparable for the pair, over the sum of their weights.
static void AverageOverTraits(int n, int p, double*** partial, double** S, const double* w) {
  for (int i = 0; i < n; i++) {
    for (int j = 0; j < n; j++) {
      if (i == j) {
        S[i][j] = 1.0;
        continue;
      }
      double num = 0.0, den = 0.0;
      for (int k = 0; k < p; k++) {
        if (!(w[k] > 0.0) || IsMissing(partial[i][j][k])) continue;
        num += partial[i][j][k];
        den += w[k];
      }
      S[i][j] = den > 0.0 ? num / den : kMissing;
    }
  }
}

void gower_similarityAverage(int n, int p, double*** partial, double** S, const double* weights) {
  AverageOverTraits(n, p, partial, S, weights);
}

void gower_similarityAverage(int n, int p, double*** partial, double** S, const int* select) {
  double* w = dim1Double(p);
  for (int k = 0; k < p; k++) w[k] = select[k] == 1 ? 1.0 : 0.0;
  AverageOverTraits(n, p, partial, S, w);
  free1D(w);
}

namespace {

// One trait of the Gower similarity as its partial similarities are formed
// (GowerMVPartial_dAbsences): the column (ranked for an ordinal trait), its
// range and its weight.
struct GowerTrait {
  int type;
  double range, weight;
  std::vector<double> x;
};

// The partial similarities of trait t between OTU i and OTUs i..n - 1
// added to row[j] and their weight to den[j - i] where they are formed, as
// the partial similarities are kept: rounded to single precision, not
// formed (missing) when a value is missing or, for a binary trait without
// double absences, both are 0.  One loop per kind of trait, so that it
// runs in vector registers (a pair not formed adds an exact 0, which
// changes no sum).
template <class Kind>
inline void AddKind(const double* x, int i, int n, double w, Kind kind, double* row,
                    double* den) {
  const double a = x[i];
#pragma omp simd
  for (int j = i; j < n; j++) {
    const double b = x[j];
    double v = IsMissing(a) || IsMissing(b) ? kMissing : kind(a, b);
    v = static_cast<float>(v);
    const bool formed = !IsMissing(v);
    row[j] += formed ? v : 0.0;
    den[j - i] += formed ? w : 0.0;
  }
}

void AddPartials(const GowerTrait& t, int i, int n, int doubleZero, double* row, double* den) {
  const double w = t.weight, range = t.range;
  const double* x = t.x.data();
  if (t.type == 3 || t.type == 4) {
    if (range > 0.0)
      AddKind(x, i, n, w, [=](double a, double b) { return w * (1.0 - std::fabs(a - b) / range); },
              row, den);
    else
      AddKind(x, i, n, w, [=](double, double) { return w; }, row, den);
  } else if (t.type == 2 || (t.type == 1 && doubleZero == 1)) {
    AddKind(x, i, n, w, [=](double a, double b) { return a == b ? w : 0.0; }, row, den);
  } else if (t.type == 1 && doubleZero == 0) {
    AddKind(x, i, n, w, [=](double a, double b) { return a != b ? 0.0 : (a != 0.0 ? w : kMissing); },
            row, den);
  }
}

}  // namespace

void gower_similarity(int p, double** B, int n, double** S, const int* types,
                       const double* ranges, const double* weights, int threads) {
  if (n <= 0) return;
  // The average over the traits of weight (> 0) of the partial similarities
  // of each pair, adding its traits in their order, without holding the
  // partial similarities: each pair of the upper half on its own (rows
  // shared by the threads handed over), the lower half its mirror.
  std::vector<GowerTrait> traits;
  for (int k = 0; k < p; k++) {
    if (!(weights[k] > 0.0)) continue;
    GowerTrait t{types[k], ranges[k], weights[k], std::vector<double>(static_cast<size_t>(n))};
    for (int i = 0; i < n; i++) t.x[i] = B[i][k];
    if (t.type == 4) {
      std::vector<double> ranks(static_cast<size_t>(n));
      RankVectorAdjMV(n, t.x.data(), ranks.data());
      t.x = ranks;
      t.range = VectorRange(n, t.x.data());
    } else if (t.type == 3 && t.range == 0.0) {
      t.range = VectorRange(n, t.x.data());
    }
    traits.push_back(std::move(t));
  }
  const int doubleZero = countDoubleAbsence;
#pragma omp parallel for schedule(dynamic, 16) num_threads(threads) if (threads > 1)
  for (int i = 0; i < n; i++) {
    std::vector<double> den(static_cast<size_t>(n - i), 0.0);
    double* row = S[i];
    for (int j = i; j < n; j++) row[j] = 0.0;
    for (const GowerTrait& t : traits) AddPartials(t, i, n, doubleZero, row, den.data());
    for (int j = i; j < n; j++)
      row[j] = i == j ? 1.0 : (den[j - i] > 0.0 ? row[j] / den[j - i] : kMissing);
  }
  for (int i = 1; i < n; i++)
    for (int j = 0; j < i; j++) S[i][j] = S[j][i];
}

namespace {
// The weighted quadratic entropy sum_ij w_ij p_i p_j d_ij of the relative
// performances p / sum(p), over the pairs of OTUs present (in the order of
// the full double sum) for which dissimilarity(i, j, d) gives a d; adjusted,
// it is divided by the share of the pairs that the weights select.
// The total of the performances p (missing ones left out) and the OTUs
// present (a zero performance adds nothing to any sum of the entropies).
double PresentOTUs(int n, const double* p, std::vector<int>& present) {
  double A = 0.0;
  for (int i = 0; i < n; i++)
    if (!IsMissing(p[i])) A += p[i];
  present.clear();
  for (int i = 0; i < n; i++)
    if (!IsMissing(p[i]) && p[i] != 0.0) present.push_back(i);
  return A;
}

template <class Dissimilarity>
double WeightedEntropy(int n, const double* p, const int* w, bool restrictWithin, bool adjust,
                       Dissimilarity dissimilarity) {
  std::vector<int> present;
  const double A = PresentOTUs(n, p, present);
  if (!(A > 0.0)) return 0.0;
  double Q = 0.0, SW = 0.0, SP = 0.0;
  for (int i : present) {
    const double pi = p[i] / A;
    const int wi = w != nullptr ? w[i] : 1;
    for (int j : present) {
      double d;
      if (!dissimilarity(i, j, d)) continue;
      const double pj = p[j] / A;
      const int wj = w != nullptr ? w[j] : 1;
      const double wij = restrictWithin ? static_cast<double>(wi) * wj
                                        : ((wi == 1 || wj == 1) ? 1.0 : 0.0);
      const double pp = pi * pj;
      Q += wij * pp * d;
      SW += wij * pp;
      SP += pp;
    }
  }
  if (!adjust) return Q;
  // No pair with a selected OTU: nothing to rescale, the entropy is 0.
  if (!(SW > 0.0)) return 0.0;
  return Q / (SW / SP);
}
}  // namespace

double GiniSimpson_Weight(int n, const double* p, const int* w, bool restrictWithin,
                          bool adjust) {
  // The entropy with the identity as similarity, sum over i != j of w_ij
  // p_i p_j (relative performances), in linear time: each OTU's partner sum
  // over the others is the sum before it plus the sum after it, so that no
  // difference of large sums cancels when one OTU dominates.
  std::vector<int> present;
  const double A = PresentOTUs(n, p, present);
  if (!(A > 0.0)) return 0.0;
  const int k = static_cast<int>(present.size());
  auto weight = [w](int i) { return w != nullptr ? w[i] : 1; };
  // Restricted, w_ij = w_i w_j: a_i = w_i p_i.  Otherwise w_ij = 1 when
  // either OTU is selected (weight 1): a_i = p_i, and an unselected OTU
  // pairs only with the selected ones.
  std::vector<double> a(static_cast<size_t>(k)), after(static_cast<size_t>(k) + 1, 0.0);
  double sumP = 0.0, sumSelected = 0.0;
  for (int e = 0; e < k; e++) {
    const int i = present[e];
    const double pi = p[i] / A;
    a[e] = restrictWithin ? weight(i) * pi : pi;
    sumP += pi;
    if (weight(i) == 1) sumSelected += pi;
  }
  for (int e = k - 1; e >= 0; e--) after[e] = after[e + 1] + a[e];
  double Q = 0.0, SW = 0.0, before = 0.0;
  for (int e = 0; e < k; e++) {
    const double others = before + after[e + 1];
    if (restrictWithin || weight(present[e]) == 1) {
      Q += a[e] * others;
      SW += a[e] * (others + a[e]);
    } else {
      Q += a[e] * sumSelected;
      SW += a[e] * sumSelected;
    }
    before += a[e];
  }
  if (!adjust) return Q;
  // No pair with a selected OTU: nothing to rescale, the entropy is 0.
  if (!(SW > 0.0)) return 0.0;
  return Q / (SW / (sumP * sumP));
}

// Without a partition every OTU is its own type.
int TypeColumns(int n, const int* partition, int* typeOf) {
  if (partition == nullptr) {
    for (int i = 0; i < n; i++) typeOf[i] = i;
    return n;
  }
  int count = 0;
  int* labels = dim1Dint(n);
  CountGroupsNew(n, partition, &count, labels);
  for (int i = 0; i < n; i++)
    typeOf[i] = static_cast<int>(std::lower_bound(labels, labels + count, partition[i]) - labels);
  free1D(labels);
  return count;
}

bool CrispBelonging(int n, int g, const int* partition, double** C) {
  if (n <= 0) return true;
  int* typeOf = dim1Dint(n);
  TypeColumns(n, partition, typeOf);
  for (int i = 0; i < n; i++) {
    for (int t = 0; t < g; t++) C[i][t] = 0.0;
    if (typeOf[i] < g) C[i][typeOf[i]] = 1.0;
  }
  free1D(typeOf);
  return true;
}

bool FuzzyBelonging(int n, int g, double** S, const int* partition, double** U,
                    bool isDissimilarity, int threads) {
  if (n <= 0) return true;
  int* typeOf = dim1Dint(n);
  int count = TypeColumns(n, partition, typeOf);
  int* size = dim1Dint(count > 0 ? count : 1);
  for (int i = 0; i < n; i++) size[typeOf[i]]++;

  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) S[j][i] = S[i][j];

  // Identical OTUs of one type count as one member.  Each duplicate is marked
  // by the lowest-numbered unmarked OTU it equals; run serially so that the
  // marking does not depend on the number of threads.  "Identical" is an
  // element equal to 1, whether S holds similarities or dissimilarities.
  int* duplicateOf = dim1Dint(n);
  for (int i = 0; i < n; i++) duplicateOf[i] = -1;
  for (int i = 0; i < n; i++) {
    if (duplicateOf[i] >= 0) continue;
    for (int j = i + 1; j < n; j++) {
      if (duplicateOf[j] >= 0 || typeOf[j] != typeOf[i]) continue;
      if (AlmostEqual2sComplement(S[i][j], 1.0, 1)) {
        duplicateOf[j] = i;
        size[typeOf[i]]--;
      }
    }
  }

  // U is formed once per analysis, never per permutation: its rows are
  // shared by the threads handed over, if any.
#pragma omp parallel for schedule(dynamic, 16) num_threads(threads) if (threads > 1)
  for (int i = 0; i < n; i++) {
    for (int t = 0; t < g; t++) U[i][t] = 0.0;
    for (int j = 0; j < n; j++) {
      if (j != i && (duplicateOf[j] >= 0 || duplicateOf[i] == j)) continue;
      int t = typeOf[j];
      if (t >= g || IsMissing(S[i][j])) continue;
      double s = isDissimilarity ? 1.0 - S[i][j] : S[i][j];
      U[i][t] += s / size[t];
    }
  }
  UnitSumRowsAdjMV(n, g, U, U);

  free1D(duplicateOf);
  free1D(size);
  free1D(typeOf);
  return true;
}

double RaoIndex_Weight(int n, const double* p, double** rese, bool isDissimilarity,
                       bool squareRoot, const int* w, bool restrictWithin, bool adjust) {
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) rese[j][i] = rese[i][j];
  return WeightedEntropy(n, p, w, restrictWithin, adjust, [&](int i, int j, double& d) {
    if (IsMissing(rese[i][j])) return false;
    d = isDissimilarity ? rese[i][j] : 1.0 - rese[i][j];
    // A negative dissimilarity (a distance above 1 read as a similarity)
    // has no square root; it is taken as 0.
    if (squareRoot) d = d > 0.0 ? std::sqrt(d) : 0.0;
    return true;
  });
}

double RaoIndex_Weight(int n, const double* p, double** rese, bool isDissimilarity,
                       bool squareRoot, const int* w, bool restrictWithin) {
  return RaoIndex_Weight(n, p, rese, isDissimilarity, squareRoot, w, restrictWithin, false);
}

void NominalReseNonHier(int rows, int columns, double** data, double** D, int reseOpt,
                        int threads) {
  switch (reseOpt) {
    case 6:
    case 7:
      EucliDistMV(rows, columns, data, D, threads);
      break;
    case 8:
    case 9:
      AbsValFunctionMV(rows, columns, data, D);
      break;
    case 10: {
      // The rows are normalised in a copy; the data stay as they are.
      double** work = dim2Double(rows, columns);
      NormalizeRowsMV(rows, columns, data, work);
      EucliDistMV(rows, columns, work, D, threads);
      free2D(work, rows);
      break;
    }
    default:
      return;
  }
  for (int i = 0; i < rows; i++)
    for (int j = i + 1; j < rows; j++) D[j][i] = D[i][j];
}

bool ScaleAdjustFlag(int nOTUs, const int* weightOTUs, bool keepAdditivity) {
  if (keepAdditivity) return false;
  for (int i = 0; i < nOTUs; i++)
    if (!(weightOTUs[i] > 0)) return true;
  return false;
}
