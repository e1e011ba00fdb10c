// Coefficients for presence/absence rows, from the counts a (1-1), b (1-0),
// c (0-1) and d (0-0); values other than exactly 0 or 1 (the missing code
// included) count in none of them.
#include <algorithm>
#include <cmath>

#include "QELib/qelibDim.h"
#include "multivariate/resemblance.h"

void JointFreq(int p, const double* x, const double* y, int* a, int* b, int* c, int* d) {
  *a = *b = *c = *d = 0;
  for (int k = 0; k < p; k++) {
    const bool x1 = x[k] == 1.0, x0 = x[k] == 0.0, y1 = y[k] == 1.0, y0 = y[k] == 0.0;
    if (x1 && y1)
      ++*a;
    else if (x1 && y0)
      ++*b;
    else if (x0 && y1)
      ++*c;
    else if (x0 && y0)
      ++*d;
  }
}

namespace {

// Applies coefficient(a, b, c, d) to every pair, diagonal included, filling
// the upper triangle.
template <class Coefficient>
void EachPair(int n, int p, double** X, double** S, Coefficient coefficient) {
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      int a, b, c, d;
      JointFreq(p, X[i], X[j], &a, &b, &c, &d);
      S[i][j] = coefficient(static_cast<double>(a), static_cast<double>(b),
                            static_cast<double>(c), static_cast<double>(d));
    }
}

inline double Ratio(double num, double den) { return den != 0.0 ? num / den : 0.0; }

}  // namespace

void Jaccard(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) { return Ratio(a, a + b + c); });
}

void SokalMichener(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S,
           [](double a, double b, double c, double d) { return Ratio(a, a + b + c + d); });
}

void Sorensen(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S,
           [](double a, double b, double c, double) { return Ratio(2 * a, 2 * a + b + c); });
}

void Ochiai(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) {
    const double product = (a + c) * (a + b);
    return product < 1.0 ? 0.0 : a / std::sqrt(product);
  });
}

// The product of the four margins is formed in double precision: it outgrows
// a 32-bit integer from about 430 variables on.
void MeanSquareContingency(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double d) {
    const double product = (a + c) * (a + b) * (d + c) * (d + b);
    const double cross = a * d - b * c;
    return product < 1.0 ? 0.0 : cross * cross / product;
  });
}

void JaccardDissimilarity(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S,
           [](double a, double b, double c, double) { return Ratio(b + c, a + b + c); });
}

void SorensenDissimilarity(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S,
           [](double a, double b, double c, double) { return Ratio(b + c, 2 * a + b + c); });
}

// Turnover and nestedness components are -999 when undefined: no shared or
// unique presence to divide by.
void JaccardTurnover(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) {
    const double m = std::min(b, c);
    return a + 2 * m == 0.0 ? kMissing : 2 * m / (a + 2 * m);
  });
}

void JaccardNestedness(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) {
    const double lo = std::min(b, c), hi = std::max(b, c);
    if (a + 2 * lo == 0.0 || a + b + c < 1.0) return kMissing;
    return (hi - lo) / (a + b + c) * (a / (a + 2 * lo));
  });
}

void SorensenTurnover(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) {
    const double m = std::min(b, c);
    return a + m == 0.0 ? kMissing : m / (a + m);
  });
}

void SorensenNestedness(int n, int p, double** X, double** S) {
  EachPair(n, p, X, S, [](double a, double b, double c, double) {
    const double lo = std::min(b, c), hi = std::max(b, c);
    if (a + lo == 0.0 || 2 * a + b + c < 1.0) return kMissing;
    return (hi - lo) / (2 * a + b + c) * (a / (a + lo));
  });
}

// Any two equal values match, not only 0 and 1; 0 when no variable can be
// compared.
void SimpleMatching(int n, int p, double** X, double** S) {
  for (int i = 0; i < n; i++)
    for (int j = i; j < n; j++) {
      int comparable = 0, equal = 0;
      for (int k = 0; k < p; k++) {
        if (IsMissing(X[i][k]) || IsMissing(X[j][k])) continue;
        comparable++;
        if (X[i][k] == X[j][k]) equal++;
      }
      S[i][j] = comparable > 0 ? static_cast<double>(equal) / comparable : 0.0;
    }
}
