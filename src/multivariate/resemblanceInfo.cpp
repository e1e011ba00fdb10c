// Information measures: divergence of abundance rows, and mutual entropy,
// coherence and chi-square of the contingency table of two nominal rows.
#include <cmath>
#include <cstdio>
#include <vector>

#include "QELib/qelibDim.h"
#include "multivariate/resemblance.h"
#include "shell/failure.h"
#include "shell/readers.h"
#include "shell/safefile.h"

namespace {

// ---- information divergence ----------------------------------------------------

// Terms x ln(2x / (x + y)) for x > 0 (and likewise for y), over the
// variables where both values are present; a term whose sum x + y is not
// positive has no logarithm and is skipped.
float DivergenceTerm(double x, double y) {
  float s = 0.0f;
  if (!(x + y > 0.0)) return s;
  if (x > 0.0) s += static_cast<float>(x * std::log(2.0 * x / (x + y)));
  if (y > 0.0) s += static_cast<float>(y * std::log(2.0 * y / (x + y)));
  return s;
}

void Divergence(int n, int p, double** X, double** D, bool mutual) {
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      float sum = 0.0f;
      double tx = 0.0, ty = 0.0;
      for (int k = 0; k < p; k++) {
        const double x = X[i][k], y = X[j][k];
        if (IsMissing(x) || IsMissing(y)) continue;
        sum += DivergenceTerm(x, y);
        tx += x;
        ty += y;
      }
      if (mutual) sum -= DivergenceTerm(tx, ty);
      D[i][j] = sum;
    }
}

// ---- contingency tables ------------------------------------------------------------

struct Table {
  std::vector<double> rowStates, colStates;
  std::vector<std::vector<double>> count;  // count[r][c]
  std::vector<double> rowTotal, colTotal;
  double total = 0.0;
};

int StateIndex(std::vector<double>& states, double v) {
  for (size_t s = 0; s < states.size(); s++)
    if (states[s] == v) return static_cast<int>(s);
  states.push_back(v);
  return static_cast<int>(states.size()) - 1;
}

// The states of each row are its distinct non-missing values in order of
// first appearance; a cell counts the columns where both rows are present.
Table ContingencyMV(int p, const double* x, const double* y) {
  Table t;
  for (int k = 0; k < p; k++) {
    if (!IsMissing(x[k])) StateIndex(t.rowStates, x[k]);
    if (!IsMissing(y[k])) StateIndex(t.colStates, y[k]);
  }
  const size_t R = t.rowStates.size(), C = t.colStates.size();
  t.count.assign(R, std::vector<double>(C, 0.0));
  t.rowTotal.assign(R, 0.0);
  t.colTotal.assign(C, 0.0);
  for (int k = 0; k < p; k++) {
    if (IsMissing(x[k]) || IsMissing(y[k])) continue;
    const int r = StateIndex(t.rowStates, x[k]), c = StateIndex(t.colStates, y[k]);
    t.count[r][c] += 1.0;
    t.rowTotal[r] += 1.0;
    t.colTotal[c] += 1.0;
    t.total += 1.0;
  }
  return t;
}

void WriteTable(FILE* fp, int i, int j, const Table& t) {
  if (fp == nullptr) return;
  fprintf(fp, "\nContingency table var.%d x var.%d:\n", i + 1, j + 1);
  fprintf(fp, "Row states (%d): ", static_cast<int>(t.rowStates.size()));
  for (double s : t.rowStates) fprintf(fp, "%g ", s);
  fprintf(fp, "\nColumn states (%d): ", static_cast<int>(t.colStates.size()));
  for (double s : t.colStates) fprintf(fp, "%g ", s);
  fprintf(fp, "\n");
  for (const auto& row : t.count) {
    for (double c : row) fprintf(fp, "%g\t", c);
    fprintf(fp, "\n");
  }
}

// The dump file "Tables.txt", opened for one call of a measure when asked.
FILE* OpenTables(bool writeTables) {
  if (!writeTables) return nullptr;
  FILE* fp = SafeCreate("Tables.txt", nullptr);
  if (fp == nullptr) RaiseFailure(kFailOpen);
  return fp;
}

void CloseTables(FILE* fp) {
  if (fp != nullptr && !SafeFinish(fp)) RaiseFailure(kFailPrint);
}

// Mutual entropy of order a of a table; 0 for an empty table.
double MutualEntropy(const Table& t, double a) {
  if (t.total <= 0.0) return 0.0;
  double sum = 0.0;
  for (size_t r = 0; r < t.count.size(); r++)
    for (size_t c = 0; c < t.count[r].size(); c++) {
      const double prc = t.count[r][c] / t.total;
      if (!(prc > 0.0)) continue;
      const double margins = (t.rowTotal[r] / t.total) * (t.colTotal[c] / t.total);
      if (a == 1.0)
        sum += prc * std::log(prc / margins);
      else
        sum += std::pow(prc, a) / std::pow(margins, a - 1.0);
    }
  if (a == 1.0) return sum;
  return sum > 0.0 ? std::log(sum) / (a - 1.0) : 0.0;
}

// Entropy of order a of the frequencies counts / total (Shannon for a = 1).
double Entropy(const std::vector<double>& counts, double total, double a) {
  double sum = 0.0;
  for (double c : counts) {
    const double q = c / total;
    if (!(q > 0.0)) continue;
    sum += a == 1.0 ? -q * std::log(q) : std::pow(q, a);
  }
  if (a == 1.0) return sum;
  return sum > 0.0 ? std::log(sum) / (1.0 - a) : 0.0;
}

// Coherence coefficient sqrt(1 - d^2), d = 1 - I / H(XY).  A table whose
// joint entropy is 0 (both rows hold a single state, or nothing to compare)
// shows no association: 0.
double Coherence(const Table& t, double a) {
  if (t.total <= 0.0) return 0.0;
  std::vector<double> cells;
  for (const auto& row : t.count) cells.insert(cells.end(), row.begin(), row.end());
  const double hxy = Entropy(cells, t.total, a);
  const double I =
      Entropy(t.rowTotal, t.total, a) + Entropy(t.colTotal, t.total, a) - hxy;
  if (I < 0.0 || !(hxy > 0.0)) return 0.0;
  const double d = 1.0 - I / hxy;
  const double v = 1.0 - d * d;
  return v > 0.0 ? std::sqrt(v) : 0.0;
}

// Cells whose expectation is 0 (a state seen only where the other row is
// missing) hold no count and add nothing.
double ChiSquare(const Table& t) {
  double sum = 0.0;
  if (t.total <= 0.0) return sum;
  for (size_t r = 0; r < t.count.size(); r++)
    for (size_t c = 0; c < t.count[r].size(); c++) {
      const double e = t.rowTotal[r] * t.colTotal[c] / t.total;
      if (e > 0.0) sum += (t.count[r][c] - e) * (t.count[r][c] - e) / e;
    }
  return sum;
}

// Applies measure(table) to every pair of rows, diagonal included.
template <class Measure>
void EachTable(int n, int p, double** X, double** D, bool writeTables, Measure measure) {
  FILE* fp = OpenTables(writeTables);
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      const Table t = ContingencyMV(p, X[i], X[j]);
      WriteTable(fp, i, j, t);
      D[i][j] = measure(t);
    }
  CloseTables(fp);
}

}  // namespace

void IDivergenceMV(int n, int p, double** X, double** D) { Divergence(n, p, X, D, false); }

void MutualInformationMV(int n, int p, double** X, double** D) { Divergence(n, p, X, D, true); }

void MDISMV(int n, int p, double** X, double** D, bool writeTables) {
  EachTable(n, p, X, D, writeTables,
            [](const Table& t) { return 2.0 * t.total * MutualEntropy(t, 1.0); });
}

void MutualEntropyPairwiseMV(int n, int p, double** X, double** D, double order,
                             bool writeTables) {
  EachTable(n, p, X, D, writeTables, [order](const Table& t) {
    return static_cast<double>(static_cast<float>(MutualEntropy(t, order)));
  });
}

void CoheCoefPairwiseMV(int n, int p, double** X, double** D, float order, bool writeTables) {
  EachTable(n, p, X, D, writeTables, [order](const Table& t) { return Coherence(t, order); });
}

void QuiSquareMV(int n, int p, double** X, double** D, bool writeTables) {
  EachTable(n, p, X, D, writeTables, [](const Table& t) { return ChiSquare(t); });
}
