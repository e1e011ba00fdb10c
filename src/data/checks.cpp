#include "data/checks.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/import.h"

// Rebuilds the species tables after species have been merged or removed.
// target[s] is the new position of species s, or -1 when it is dropped; a
// species sent onto an earlier one's position adds its OTUs and occurrences
// to it.  New positions keep the order of the old ones, so the result is the
// one of removing species one at a time and moving the later ones up.  The
// rows of species that go stay in their tables' blocks until the tables are
// released.
static void CompactSpecies(const std::vector<int>& target, int newCount) {
  const int old = nSpp;
  std::vector<char> row(static_cast<size_t>(newCount));
  for (int o = 0; o < tcst; o++) {
    std::fill(row.begin(), row.end(), '0');
    for (int s = 0; s < old; s++)
      if (target[s] >= 0 && cstSppMap[o][s] == '1') row[target[s]] = '1';
    for (int s = 0; s < newCount; s++) cstSppMap[o][s] = row[s];
  }
  if (sppRelMap != nullptr) {
    std::vector<int> keeper(static_cast<size_t>(newCount), -1);  // old row kept for each
    for (int s = 0; s < old; s++) {
      int t = target[s];
      if (t < 0) continue;
      if (keeper[t] < 0) {
        keeper[t] = s;
      } else {
        for (int c = 0; c < ncsm; c++)
          if (sppRelMap[s][c] == '1') sppRelMap[keeper[t]][c] = '1';
      }
    }
  }
  // Target positions never exceed the source positions, so the kept rows
  // move up in place.
  for (int s = 0, next = 0; s < old; s++) {
    if (target[s] != next) continue;
    std::swap(spp[next], spp[s]);
    if (sppRelMap != nullptr) std::swap(sppRelMap[next], sppRelMap[s]);
    next++;
  }
  nSpp = newCount;
  if (nSpp == 0) {  // no species left: the data set has no species names
    free1D(spp);
    free1D(sppRelMap);
    free2D(cstSppMap, tcst);
    spp = nullptr;
    sppRelMap = nullptr;
    cstSppMap = nullptr;
  }
}

void CheckSpeciesMerge() {
  if (nSpp <= 0) return;
  std::unordered_map<std::string, int> first;
  std::vector<int> target(static_cast<size_t>(nSpp));
  int count = 0;
  for (int s = 0; s < nSpp; s++) {
    auto [it, added] = first.emplace(spp[s], count);
    if (added) count++;
    target[s] = it->second;
  }
  if (count < nSpp) CompactSpecies(target, count);
}

void CheckCSTsSameSpecies() {
  int k = -1;
  for (int j = 0; j < nch; j++)
    if (std::strcmp(chLabel[j], "sp") == 0) k = j;
  if (k < 0 || nSpp <= 0) return;
  // OTU j ends with the number of the last earlier OTU i that shares a
  // species with it (whose own number is final by then), or its own
  // position: the outcome of letting every later OTU of each sharing pair
  // take the earlier one's number, pair by pair in order.
  std::vector<int> lastOtu(static_cast<size_t>(nSpp), -1);
  for (int j = 0; j < tcst; j++) {
    int from = -1;
    for (int s = 0; s < nSpp; s++)
      if (cstSppMap[j][s] == '1') {
        from = std::max(from, lastOtu[s]);
        lastOtu[s] = j;
      }
    csm_Float[j][k] = from >= 0 ? csm_Float[from][k] : static_cast<double>(j);
  }
}

void TrimSpecies(int n) {
  if (nSpp <= 0) return;
  std::vector<int> target(static_cast<size_t>(nSpp));
  int count = 0;
  for (int s = 0; s < nSpp; s++) {
    bool hasOtu = false, occurs = false;
    for (int o = 0; o < n && !hasOtu; o++) hasOtu = cstSppMap[o][s] == '1';
    for (int c = 0; c < ncsm && !occurs; c++) occurs = sppRelMap[s][c] == '1';
    target[s] = hasOtu && occurs ? count++ : -1;
  }
  if (count < nSpp) CompactSpecies(target, count);
  for (int o = 0; o < n && nSpp > 0; o++)
    for (int s = 0; s < nSpp; s++) {
      if (cstSppMap[o][s] != '1') continue;
      bool supported = false;
      for (int c = 0; c < ncsm && !supported; c++)
        supported = cadat[o][c] != 0.0 && sppRelMap[s][c] == '1';
      if (!supported) cstSppMap[o][s] = '0';
    }
}

void RangeStates(int nch, int tcst, double** B, const int* chtype, double* chrange) {
  for (int j = 0; j < nch; j++) {
    if (chtype[j] != 3) continue;
    bool any = false;
    double lo = 0.0, hi = 0.0;
    for (int i = 0; i < tcst; i++) {
      double x = B[i][j];
      if (IsMissing(x)) continue;
      if (!any || x < lo) lo = x;
      if (!any || x > hi) hi = x;
      any = true;
    }
    chrange[j] = hi - lo;  // 0 when every value is missing
  }
}

// Moves the row at position i to position last, the rows between moving up
// by one (the successive exchanges with its neighbours).
template <class T>
static void RowToEnd(T** rows, int i, int last) {
  T* r = rows[i];
  for (int k = i; k < last; k++) rows[k] = rows[k + 1];
  rows[last] = r;
}

// Removes OTU i: it moves behind the others in every per-OTU table (rows of
// B, W and the OTU-by-species map; row and column of F; rows of the clade
// matrix), so that row and column i of each table keep belonging to the same
// OTU, and tcst decreases.
static void MoveOtuToEnd(int i) {
  const int last = tcst - 1;
  RowToEnd(csm_Float, i, last);
  RowToEnd(cadat, i, last);
  if (nSpp > 0 && cstSppMap != nullptr) RowToEnd(cstSppMap, i, last);
  if (phylogenyRese != nullptr) {
    RowToEnd(phylogenyRese, i, last);
    for (int r = 0; r < tcst; r++) {
      double v = phylogenyRese[r][i];
      for (int k = i; k < last; k++) phylogenyRese[r][k] = phylogenyRese[r][k + 1];
      phylogenyRese[r][last] = v;
    }
  }
  if (phylogenyData != nullptr) RowToEnd(phylogenyData, i, last);
  tcst--;
}

void CheckData(int countStates) {
  for (int i = 0; i < tcst;) {
    bool absent = true;
    for (int c = 0; c < ncsm && absent; c++) absent = std::fabs(cadat[i][c]) < 1e-13;
    if (absent)
      MoveOtuToEnd(i);  // the same position is examined again
    else
      i++;
  }

  if (nSpp > 0) {
    CheckSpeciesMerge();
    CheckCSTsSameSpecies();
  }
  emptyReleves = 0;
  for (int c = 0; c < ncsm; c++) {
    int n = 0;
    for (int o = 0; o < tcst; o++)
      if (cadat[o][c] != 0.0) n++;
    ncst[c] = n;
    if (n == 0) emptyReleves++;
  }
  if (countStates == 1) CountStates(nch, tcst, onsta, csm_Float);
  for (int j = 0; j < nch; j++)
    if (chtype[j] == 3) {
      RangeStates(nch, tcst, csm_Float, chtype, chrange);
      break;
    }
  if (nSpp > 0) TrimSpecies(tcst);
}
