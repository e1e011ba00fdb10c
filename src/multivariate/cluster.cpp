// Agglomerative hierarchical clustering, partitions cut from a hierarchy,
// merging of identical objects and measures of group separation.
#include "multivariate/cluster.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"

const char* const clusMethInfo[] = {"0 (none)",
                                    "1 (single linkage)",
                                    "2 (complete linkage)",
                                    "3 (sum of squares)",
                                    "4 (average linkage UPGMA)",
                                    "5 (average linkage WPGMA)"};
// Indexed by code - 1, like the other option tables of codes counted from 1.
const char* const groupDissMethInfo[] = {"1 (average dissimilarity)", "2 (nearest neighbor)",
                                         "3 (sum of squares between groups)",
                                         "4 (ratio of between/within groups sum of squares)"};

namespace {

// Element (a, b) of a matrix of which only the upper triangle is kept.
inline double Upper(double** M, int a, int b) { return a < b ? M[a][b] : M[b][a]; }
inline double& UpperRef(double** M, int a, int b) { return a < b ? M[a][b] : M[b][a]; }

inline bool Included(const int* include, int i) { return include == nullptr || include[i] == 1; }

// Removes row and column j from the strict upper triangle of an m x m work
// matrix: later rows and columns move one place towards the start.  Each
// element is read from a position at or after the one written, so the
// in-place sweep in row order is safe.
void DropRowColumn(int m, int j, double** work) {
  for (int a = 0; a < m - 1; a++) {
    const int from_a = a < j ? a : a + 1;
    for (int b = a + 1; b < m - 1; b++) work[a][b] = work[from_a][b < j ? b : b + 1];
  }
}

void DropSize(int m, int* sizes, int i, int j) {
  sizes[i] += sizes[j];
  for (int a = j; a < m - 1; a++) sizes[a] = sizes[a + 1];
}

// Best pair i < j of the current m clusters under value(i, j); only a
// strictly better value replaces the choice, so ties go to the first pair in
// row order.  The first pair is the fallback should no value ever compare
// better (NaN everywhere).
template <class Value>
void BestPair(int m, bool smallest, Value value, int* bi, int* bj, double* best) {
  *bi = 0;
  *bj = 1;
  *best = smallest ? DBL_MAX : -DBL_MAX;
  bool found = false;
  for (int i = 0; i < m - 1; i++)
    for (int j = i + 1; j < m; j++) {
      const double v = value(i, j);
      if (smallest ? v < *best : v > *best) {
        *best = v;
        *bi = i;
        *bj = j;
        found = true;
      }
    }
  if (!found) *best = value(0, 1);
}

// Joins the member list of cluster j to that of cluster i, fills the common
// fields of the fusion record and removes cluster j's list.
void JoinMembers(std::vector<std::vector<int>>& members, int i, int j, clusterReport* rec) {
  rec->link = members[i].back();
  members[i].insert(members[i].end(), members[j].begin(), members[j].end());
  members.erase(members.begin() + j);
  rec->size = static_cast<int>(members[i].size());
  if (rec->members != nullptr) std::copy(members[i].begin(), members[i].end(), rec->members);
}

std::vector<std::vector<int>> Singletons(int n) {
  std::vector<std::vector<int>> members(n);
  for (int i = 0; i < n; i++) members[i].push_back(i + 1);
  return members;
}

}  // namespace

// ---- linkage methods ----------------------------------------------------

void LinkageFusion(int m, int* sizes, int i, int j, double** work, bool isDissimilarity,
                   int method) {
  const double ni = sizes[i], nj = sizes[j];
  for (int k = 0; k < m; k++) {
    if (k == i || k == j) continue;
    const double rki = Upper(work, k, i), rkj = Upper(work, k, j);
    double v = rki;
    switch (method) {
      case 1:
        v = isDissimilarity ? std::min(rki, rkj) : std::max(rki, rkj);
        break;
      case 2:
        v = isDissimilarity ? std::max(rki, rkj) : std::min(rki, rkj);
        break;
      case 4:
        v = (ni * rki + nj * rkj) / (ni + nj);
        break;
      case 5:
        v = (rki + rkj) / 2.0;
        break;
      default:  // no linkage rule: the joined cluster keeps cluster i's values
        break;
    }
    UpperRef(work, k, i) = v;
  }
  DropRowColumn(m, j, work);
  DropSize(m, sizes, i, j);
}

void LinkageCluster(int n, double** rese, clusterReport* report, bool isDissimilarity,
                    bool squared, int method, bool copy) {
  if (n < 2) return;
  double** work = rese;
  if (copy) {
    work = dim2Double(n, n);
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) work[i][j] = rese[i][j];
  }
  if ((method == 4 || method == 5) && isDissimilarity && squared) {
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) work[i][j] = std::sqrt(std::max(work[i][j], 0.0));
    squared = false;
  }
  std::vector<std::vector<int>> members = Singletons(n);
  std::vector<int> sizes(n, 1);
  for (int step = 0; step < n - 1; step++) {
    const int m = n - step;
    int bi, bj;
    double best;
    BestPair(m, isDissimilarity, [work](int a, int b) { return work[a][b]; }, &bi, &bj, &best);
    clusterReport* rec = &report[step];
    JoinMembers(members, bi, bj, rec);
    const double level = isDissimilarity && squared ? std::sqrt(std::max(best, 0.0)) : best;
    rec->level = static_cast<float>(level);
    LinkageFusion(m, sizes.data(), bi, bj, work, isDissimilarity, method);
  }
  if (copy) free2D(work, n);
}

// ---- sum of squares -------------------------------------------------------

void FusionMatrix(int m, int* sizes, int i, int j, double** work, bool distances) {
  const double ni = sizes[i], nj = sizes[j], N = ni + nj;
  const double d = work[i][j];
  const double last = distances ? -(ni * nj / (N * N)) * d : (ni * nj / (N * N)) * (1.0 - d);
  for (int k = 0; k < m; k++) {
    if (k == i || k == j) continue;
    UpperRef(work, k, i) = (ni / N) * Upper(work, k, i) + (nj / N) * Upper(work, k, j) + last;
  }
  DropRowColumn(m, j, work);
  DropSize(m, sizes, i, j);
}

void SumSqCluster(int n, double** rese, clusterReport* report, bool squared) {
  if (n < 2) return;
  // d2: the squared input distances (kept for the within sums); work: the
  // squared distances between cluster centroids.
  double** d2 = dim2Double(n, n);
  double** work = dim2Double(n, n);
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) {
      d2[i][j] = squared ? rese[i][j] : rese[i][j] * rese[i][j];
      work[i][j] = d2[i][j];
    }
  std::vector<std::vector<int>> members = Singletons(n);
  std::vector<int> sizes(n, 1);
  std::vector<double> S(n, 0.0);  // sum of squared distances within each cluster
  for (int step = 0; step < n - 1; step++) {
    const int m = n - step;
    int bi, bj;
    double best;
    BestPair(
        m, true,
        [&](int a, int b) {
          const double na = sizes[a], nb = sizes[b];
          return na * nb / (na + nb) * work[a][b];
        },
        &bi, &bj, &best);
    const double ni = sizes[bi], nj = sizes[bj];
    const double oldFirst = S[bi] / ni, oldSecond = S[bj] / nj;
    double between = 0.0;
    for (int a : members[bi])
      for (int b : members[bj]) between += Upper(d2, a - 1, b - 1);
    S[bi] += S[bj] + between;
    S.erase(S.begin() + bj);
    clusterReport* rec = &report[step];
    JoinMembers(members, bi, bj, rec);
    rec->level = static_cast<float>(S[bi] / (ni + nj));
    rec->increase = static_cast<float>(best);
    rec->riseFirst = rec->level - oldFirst;
    rec->riseSecond = rec->level - oldSecond;
    FusionMatrix(m, sizes.data(), bi, bj, work, true);
  }
  free2D(work, n);
  free2D(d2, n);
}

// ---- partitions -----------------------------------------------------------

void GetClusterPartitionNew(int n, int k, int* partition, clusterReport* report, int method) {
  for (int i = 0; i < n; i++) partition[i] = i + 1;
  if (n < 1) return;
  std::vector<clusterReport> rec(report, report + (n - 1));
  if (method == 3)
    for (int a = 0; a < n - 1; a++)
      for (int b = a + 1; b < n - 1; b++)
        if (rec[b].level < rec[a].level) std::swap(rec[a], rec[b]);
  if (n > 1 && k != n) {
    int groups = n;
    for (int a = 0; a < n - 1 && groups > k; a++) {
      const int size = std::min(rec[a].size, n);
      if (size < 1 || rec[a].members == nullptr) continue;
      const int* mem = rec[a].members;
      if (mem[0] < 1 || mem[0] > n) continue;
      const int label = partition[mem[0] - 1];
      for (int b = 0; b < size; b++)
        if (mem[b] >= 1 && mem[b] <= n) partition[mem[b] - 1] = label;
      groups--;
    }
  }
  RenamePartitionLabels(n, k, partition);
}

// Makes the positive labels consecutive from 1 in their own order: the t-th
// smallest distinct positive label becomes t.  Once the k-th label is
// reached the renumbering stops and any larger labels keep their distance
// from it.  When fewer than k distinct labels are present (or k is out of
// 1..n) all positive labels are simply made consecutive.  The result is
// worked out from the sorted distinct labels, so it takes O(n log n) steps
// whatever the gaps between labels; labels below 1 are left alone.
void RenamePartitionLabels(int n, int k, int* partition) {
  std::vector<int> distinct;
  for (int i = 0; i < n; i++)
    if (partition[i] >= 1) distinct.push_back(partition[i]);
  std::sort(distinct.begin(), distinct.end());
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  const int d = static_cast<int>(distinct.size());
  const bool stopsAtK = k >= 1 && k <= d;
  for (int i = 0; i < n; i++) {
    const int v = partition[i];
    if (v < 1) continue;
    const int t = static_cast<int>(std::lower_bound(distinct.begin(), distinct.end(), v) -
                                   distinct.begin()) + 1;
    if (stopsAtK && t > k)
      partition[i] = v - (distinct[k - 1] - k);
    else
      partition[i] = t;
  }
}

void CountGroupsNew(int n, const int* labels, int* count, int* distinct) {
  std::vector<int> v(labels, labels + std::max(n, 0));
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  *count = static_cast<int>(v.size());
  if (distinct != nullptr) std::copy(v.begin(), v.end(), distinct);
}

void ClusterIdenticals(int n, double** rese, int* labels, int* groupCount,
                       bool isDissimilarity) {
  const double identical = isDissimilarity ? 0.0 : 1.0;
  for (int i = 0; i < n; i++) labels[i] = i + 1;
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++)
      if (rese[i][j] == identical) labels[j] = labels[i];
  CountGroupsNew(n, labels, groupCount, nullptr);
  RenamePartitionLabels(n, *groupCount, labels);
}

// The representative of a group is its first object; the representatives'
// resemblances are read from the upper triangle of rese.  A group label with
// no object leaves its row and column of out unwritten.
void TrimRese(int n, int k, const int* labels, double** rese, double** out) {
  std::vector<int> rep(std::max(k, 0), -1);
  for (int i = n - 1; i >= 0; i--)
    if (labels[i] >= 1 && labels[i] <= k) rep[labels[i] - 1] = i;
  for (int a = 0; a < k; a++)
    for (int b = a; b < k; b++) {
      if (rep[a] < 0 || rep[b] < 0) continue;
      out[a][b] = rep[a] == rep[b] ? rese[rep[a]][rep[a]] : Upper(rese, rep[a], rep[b]);
    }
}

// ---- group separation -------------------------------------------------------

double WithinGrSqDissim(int n, double** D, const int* include, bool squared) {
  int count = 0;
  double sum = 0.0;
  for (int i = 0; i < n; i++) {
    if (!Included(include, i)) continue;
    count++;
    for (int j = i + 1; j < n; j++)
      if (Included(include, j)) sum += squared ? D[i][j] : D[i][j] * D[i][j];
  }
  return count > 0 ? sum / count : 0.0;
}

double BetweenGrSqDissim(int n, double** D, const int* groups, double* between, double* total,
                         const int* include, bool squared) {
  const double all = WithinGrSqDissim(n, D, include, squared);
  std::vector<int> present;
  for (int i = 0; i < n; i++)
    if (Included(include, i)) present.push_back(groups[i]);
  std::sort(present.begin(), present.end());
  present.erase(std::unique(present.begin(), present.end()), present.end());
  std::vector<int> inGroup(n);
  double within = 0.0;
  for (int g : present) {
    for (int i = 0; i < n; i++) inGroup[i] = Included(include, i) && groups[i] == g ? 1 : 0;
    within += WithinGrSqDissim(n, D, inGroup.data(), squared);
  }
  const double b = all - within;
  if (between != nullptr) *between = b;
  if (total != nullptr) *total = all;
  return b;
}

// A partition with no pair of included objects in different groups has no
// average dissimilarity between groups: 0.
double AverageDissim(int n, double** D, const int* groups, const int* include) {
  double sum = 0.0;
  long pairs = 0;
  for (int i = 0; i < n; i++) {
    if (!Included(include, i)) continue;
    for (int j = i + 1; j < n; j++)
      if (Included(include, j) && groups[i] != groups[j]) {
        sum += D[i][j];
        pairs++;
      }
  }
  return pairs > 0 ? sum / pairs : 0.0;
}

// As for AverageDissim, a single group (no minimum) gives 0.
double NearNeighDist(int n, double** D, const int* groups, const int* include) {
  std::vector<int> present;
  for (int i = 0; i < n; i++)
    if (Included(include, i)) present.push_back(groups[i]);
  std::sort(present.begin(), present.end());
  present.erase(std::unique(present.begin(), present.end()), present.end());
  double sum = 0.0;
  long minima = 0;
  for (int g : present)
    for (int h : present) {
      if (g == h) continue;
      for (int a = 0; a < n; a++) {
        if (!Included(include, a) || groups[a] != g) continue;
        double nearest = DBL_MAX;
        for (int b = 0; b < n; b++)
          if (Included(include, b) && groups[b] == h && Upper(D, a, b) < nearest)
            nearest = Upper(D, a, b);
        sum += nearest;
        minima++;
      }
    }
  return minima > 0 ? sum / minima : 0.0;
}

// ---- classes of a variable -----------------------------------------------------

void ClassesMV(int n, const double* x, double* classes, int k) {
  double min = DBL_MAX, max = -DBL_MAX;
  for (int i = 0; i < n; i++) {
    if (IsMissing(x[i])) continue;
    min = std::min(min, x[i]);
    max = std::max(max, x[i]);
  }
  ClassesDefinitionMV(n, x, classes, k, min, max);
}

// An empty range (max not above min) puts every value in class 1, and a
// value outside a given range goes to the nearest end class, so classes
// always lie in 1..k.
void ClassesDefinitionMV(int n, const double* x, double* classes, int k, double min,
                         double max) {
  for (int i = 0; i < n; i++) {
    const double v = x[i];
    if (IsMissing(v))
      classes[i] = kMissing;
    else if (v == min)
      classes[i] = 1;
    else if (v == max)
      classes[i] = k;
    else if (!(max > min))
      classes[i] = 1;
    else
      classes[i] = std::clamp(std::ceil((v - min) * k / (max - min)), 1.0,
                              static_cast<double>(std::max(k, 1)));
  }
}
