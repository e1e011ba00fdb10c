// The functional core against the definitions of its structures and
// statistics: the community structures of a permuted data set equal those
// of the permuted OTU-level matrices, and the probabilities of a tiny case
// equal counts worked out from the permutation lists the seeded generator
// draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "fcore_fixture.h"
#include "functional/fcore.h"
#include "multivariate/random.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"
#include "shell/preferences.h"

namespace {

FcoreInput Input(Case& c, bool adjust, bool restrict, bool sqrtT, bool sqrtP) {
  FcoreInput in;
  in.m = c.m, in.n = c.n, in.p = c.p, in.g = c.g, in.h = c.taxa, in.q = c.q;
  in.traitSelect = c.select.data(), in.weightOTUs = c.wOTU.data();
  in.W = c.W.p(), in.B = c.B.p(), in.U = c.U.p(), in.Q = c.Q.p(), in.S = c.S.p();
  in.F = c.F.p(), in.E = c.E.p(), in.DE = c.DE.p();
  in.scaleAdjust = adjust, in.restrictRaoWithin = restrict;
  in.sqrtRaoTraits = sqrtT, in.sqrtRaoPhyl = sqrtP;
  in.phylogeny = true, in.phylIsDissimilarity = true;
  return in;
}

// The structures of the definitions: the weighted products of the permuted
// B, U and Q, and the Rao entropies of the permuted S and F.
struct Expected {
  Mat T, X, P, R, Rp;
  Expected(Case& d, const FcoreInput& in, const int* list)
      : T(d.m, d.p), X(d.m, d.g), P(d.m, d.taxa), R(d.m, 1), Rp(d.m, 1) {
    const int n = d.n;
    Mat Bp(n, d.p), Up(n, d.g), Qp(n, d.taxa), Sp(n, n), Fp(n, n);
    for (int i = 0; i < n; i++) {
      const int o = list[i] - 1;
      std::copy(d.B[o], d.B[o] + d.p, Bp[i]);
      std::copy(d.U[o], d.U[o] + d.g, Up[i]);
      std::copy(d.Q[o], d.Q[o] + d.taxa, Qp[i]);
      for (int j = 0; j < n; j++) {
        Sp[i][j] = d.S[o][list[j] - 1];
        Fp[i][j] = d.F[o][list[j] - 1];
      }
    }
    MatrixProdSelectMV_Adjust_Weight(d.m, n, n, d.p, d.W.p(), Bp.p(), T.p(), d.select.data(),
                                     d.wOTU.data(), in.scaleAdjust);
    NormalizeCols(d.m, d.p, T.p(), T.p());
    MatrixProdMV_Weight(d.m, n, n, d.g, d.W.p(), Up.p(), X.p(), d.wOTU.data(), in.scaleAdjust);
    MatrixProdMV_Weight(d.m, n, n, d.taxa, d.W.p(), Qp.p(), P.p(), d.wOTU.data(),
                        in.scaleAdjust);
    for (int c = 0; c < d.m; c++) {
      R[c][0] = RaoIndex_Weight(n, d.W[c], Sp.p(), false, in.sqrtRaoTraits, d.wOTU.data(),
                                in.restrictRaoWithin, in.scaleAdjust);
      Rp[c][0] = RaoIndex_Weight(n, d.W[c], Fp.p(), true, in.sqrtRaoPhyl, d.wOTU.data(),
                                 in.restrictRaoWithin, in.scaleAdjust);
    }
  }
};

void ExpectSame(int rows, int cols, double** got, Mat& want, const char* what) {
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++)
      EXPECT_NEAR(got[i][j], want[i][j], 1e-12 * std::fmax(1.0, std::fabs(want[i][j])))
          << what << " [" << i << "][" << j << "]";
}

}  // namespace

// Every combination of OTU weights, restriction, scale adjustment and square
// roots, with complete data (dense products) and with missing trait values,
// performances and resemblances (the missing-value rules: OTU 2 keeps only
// its binary absence, so that binary double absences leave pairs without a
// comparable value, S = -999).
// Both ways of forming them (dense products, sums over the OTUs present in
// each community) are held to the definitions; the third data set adds an
// empty community and an OTU absent everywhere.
TEST(FunctionalCore, PermutedStructuresEqualTheDefinitions) {
  const int order[6] = {0, 1, 2, 3, 4, 5};
  const int list[6] = {4, 6, 1, 3, 5, 2};
  int missingSeen = 0;
  for (int variant = 0; variant < 3; variant++) {
    const int missing = variant > 0;
    Case d = Generic(order);
    if (missing) {
      d.B[1][0] = d.B[1][2] = kMissing;
      d.W[2][4] = kMissing;
    }
    if (variant == 2) {
      for (int i = 0; i < d.n; i++) d.W[1][i] = 0.0;
      for (int c = 0; c < d.m; c++) d.W[c][5] = 0.0;
    }
    countDoubleAbsence = missing ? 0 : 1;
    d.Prepare(1, 1);
    countDoubleAbsence = 1;
    for (int i = 0; i < d.n; i++)
      for (int j = 0; j < d.n; j++) missingSeen += IsMissing(d.S[i][j]);
    for (int allWeights = 0; allWeights < 2; allWeights++) {
      if (allWeights) std::fill(d.wOTU.begin(), d.wOTU.end(), 1);
      for (int flags = 0; flags < 24; flags++) {
        SCOPED_TRACE(testing::Message() << "variant " << variant << " all weights " << allWeights
                                        << " flags " << flags);
        FcoreInput in = Input(d, flags & 1, flags & 2, flags & 4, !(flags & 4));
        in.path = flags < 8 ? FcorePath::kAutomatic
                            : (flags < 16 ? FcorePath::kDense : FcorePath::kSparse);
        FcoreContext ctx;
        FcoreBuild(in, ctx);
        if (in.path != FcorePath::kAutomatic) {
          EXPECT_EQ(ctx.sparseXP, in.path == FcorePath::kSparse);
          EXPECT_EQ(ctx.sparseRao, in.path == FcorePath::kSparse);
        }
        EXPECT_EQ(ctx.fastT, missing == 0);
        EXPECT_EQ(ctx.fastXP, missing == 0);
        FcoreWorkspace* ws = FcoreNewWorkspace(ctx);
        for (const int* l : {list, static_cast<const int*>(nullptr)}) {
          const int identity[6] = {1, 2, 3, 4, 5, 6};
          FcoreStructures(ctx, l, *ws);
          Expected e(d, in, l == nullptr ? identity : l);
          ExpectSame(d.m, d.p, ws->T, e.T, "T");
          ExpectSame(d.m, d.g, ws->X, e.X, "X");
          ExpectSame(d.m, d.taxa, ws->P, e.P, "P");
          ExpectSame(d.m, 1, ws->R, e.R, "R");
          ExpectSame(d.m, 1, ws->Rp, e.Rp, "Rp");
        }
        FcoreFreeWorkspace(ctx, ws);
        FcoreRelease(ctx);
      }
    }
  }
  EXPECT_GT(missingSeen, 0);  // the missing-value case has non-comparable pairs
}

// The statistics of every congruence measure, observed and for one taxa
// shuffle, by the sums over present OTUs on the data with its OTUs
// reordered, against the dense products on the data as given.
TEST(FunctionalCore, SparseOnReorderedOTUsAgreesWithDense) {
  const int identity[6] = {0, 1, 2, 3, 4, 5}, reorder[6] = {3, 5, 0, 4, 2, 1};
  // The shuffle of the reordered data that puts the same OTU vectors where
  // list puts them in the data as given.
  const int list[6] = {4, 6, 1, 3, 5, 2};
  int relist[6];
  for (int i = 0; i < 6; i++) {
    const int o = list[reorder[i]] - 1;
    for (int j = 0; j < 6; j++)
      if (reorder[j] == o) relist[i] = j + 1;
  }
  for (int optRo = 1; optRo <= 5; optRo++) {
    SCOPED_TRACE(testing::Message() << "measure " << optRo);
    Case a = Generic(identity), b = Generic(reorder);
    if (optRo == 5)  // groups from the integer part of E
      for (Case* c : {&a, &b})
        for (int s = 0; s < c->m; s++) c->E[s][1] = s % 2 + 1;
    a.Prepare(optRo, 1);
    b.Prepare(optRo, 1);
    std::vector<double> vals[2][2];
    int k = 0;
    for (Case* c : {&a, &b}) {
      FcoreInput in = Input(*c, true, false, true, false);
      in.optRo = optRo;
      in.E = c->E.p();
      in.DY1 = c->DY1.p(), in.Y1 = c->Y1.p();
      in.path = c == &a ? FcorePath::kDense : FcorePath::kSparse;
      FcoreContext ctx;
      FcoreBuild(in, ctx);
      std::vector<int> tested(ctx.total), absolute(ctx.total);
      FcoreStatisticKinds(ctx, true, false, tested.data(), absolute.data());
      FcoreWorkspace* obs = FcoreNewWorkspace(ctx);
      FcoreWorkspace* ws = FcoreNewWorkspace(ctx);
      vals[k][0].assign(ctx.total, 0.0);
      vals[k][1].assign(ctx.total, 0.0);
      FcoreStructures(ctx, nullptr, *obs);
      FcoreStatistics(ctx, *obs, *obs, tested.data(), vals[k][0].data(), nullptr);
      FcoreSetObserved(ctx, *obs);
      FcoreStructures(ctx, c == &a ? list : relist, *ws);
      FcoreStatistics(ctx, *obs, *ws, tested.data(), vals[k][1].data(), nullptr);
      int formed = 0;
      for (int t = 0; t < ctx.total; t++) formed += tested[t];
      EXPECT_GT(formed, 3);
      FcoreFreeWorkspace(ctx, ws);
      FcoreFreeWorkspace(ctx, obs);
      FcoreRelease(ctx);
      k++;
    }
    ASSERT_EQ(vals[0][0].size(), vals[1][0].size());
    for (int which = 0; which < 2; which++)
      for (size_t t = 0; t < vals[0][which].size(); t++)
        EXPECT_NEAR(vals[1][which][t], vals[0][which][t], 1e-10)
            << (which ? "random " : "observed ") << "value " << t;
  }
}

namespace {

// Four OTUs with one quantitative trait in four communities along one
// variable, as a permutation-test record (Mantel, tests of r(TE)).
struct Tiny {
  Case c{4, 4, 1, 1};
  Tiny() {
    const double b[4] = {1.0, 2.0, 4.5, 8.0};
    const double w[4][4] = {{.6, .4, 0, 0}, {.2, .5, .3, 0}, {0, .3, .3, .4}, {.1, 0, .2, .7}};
    const double e[4] = {0.0, 1.0, 2.5, 2.9};
    for (int i = 0; i < 4; i++) c.B[i][0] = b[i];
    for (int s = 0; s < 4; s++) {
      for (int i = 0; i < 4; i++) c.W[s][i] = w[s][i];
      c.E[s][0] = e[s];
    }
  }
};

// r(TE) of the definitions: T_c = sum_i W[c][i] b[list[i]], the column to
// unit length, distances |T_c - T_d| and |e_c - e_d|, Pearson over the six
// pairs.
double TinyRTE(Tiny& t, const int* list, const int* communities) {
  double T[4], norm = 0.0;
  for (int c = 0; c < 4; c++) {
    T[c] = 0.0;
    for (int i = 0; i < 4; i++) T[c] += t.c.W[c][i] * t.c.B[list[i] - 1][0];
    norm += T[c] * T[c];
  }
  std::vector<double> a, b;
  for (int c = 0; c < 4; c++)
    for (int d = c + 1; d < 4; d++) {
      a.push_back(std::fabs(T[communities[c] - 1] - T[communities[d] - 1]) / std::sqrt(norm));
      b.push_back(std::fabs(t.c.E[c][0] - t.c.E[d][0]));
    }
  double ma = 0, mb = 0;
  for (size_t k = 0; k < a.size(); k++) ma += a[k] / a.size(), mb += b[k] / b.size();
  double sab = 0, saa = 0, sbb = 0;
  for (size_t k = 0; k < a.size(); k++) {
    sab += (a[k] - ma) * (b[k] - mb);
    saa += (a[k] - ma) * (a[k] - ma);
    sbb += (b[k] - mb) * (b[k] - mb);
  }
  return sab / std::sqrt(saa * sbb);
}

// The lists of the shuffle: from 1..n, position i exchanged with position
// i + u for u drawn uniformly from 0..n - i - 1.
void DrawList(int n, int* list) {
  for (int i = 0; i < n; i++) list[i] = i + 1;
  for (int i = 0; i < n - 1; i++) {
    const int u = static_cast<int>(gsl_rng_uniform_int(r, n - i));
    std::swap(list[i], list[i + u]);
  }
}

}  // namespace

// Probabilities are the counts of random values at least as large as the
// observed one (the observed value counting itself) over the iterations:
// one-tailed and two-tailed, taxa and site shuffle.
TEST(FunctionalCore, ProbabilitiesEqualCountsOverTheDrawnLists) {
  const int niter = 150;
  const int identity[4] = {1, 2, 3, 4};
  for (const int shuffle : {'t', 's'})
    for (const bool twoTailed : {false, true}) {
      SCOPED_TRACE(testing::Message() << "shuffle " << static_cast<char>(shuffle)
                                      << " two-tailed " << twoTailed);
      Tiny t;
      t.c.Prepare(1, niter, shuffle);
      t.c.rec.twoTailedTestMantel = twoTailed;
      t.c.rec.DY1 = nullptr;  // r(TE) and the other E statistics only
      InitRndNumberGenerator(2024);
      PermTest_FunctionalPhyl_Correl(&t.c.rec);

      const double observed = TinyRTE(t, identity, identity);
      EXPECT_NEAR(t.c.rec.statistics[kStatTE], observed, 1e-12);
      InitRndNumberGenerator(2024);
      int count = 1, above = 0;
      for (int k = 2; k <= niter; k++) {
        int list[4];
        DrawList(4, list);
        const double v = shuffle == 't' ? TinyRTE(t, list, identity) : TinyRTE(t, identity, list);
        const double a = twoTailed ? std::fabs(v) : v, b = twoTailed ? std::fabs(observed) : observed;
        if (a > b || AlmostEqual2sComplement(a, b, 1)) count++;
        above += v > observed + 1e-9;
      }
      EXPECT_DOUBLE_EQ(t.c.rec.probabilities[kStatTE], static_cast<double>(count) / niter);
      EXPECT_GT(count, 1);  // neither probability is at its bound:
      EXPECT_LT(count, niter);
      EXPECT_GT(above, 0);
    }
}

// With many types the sums over present OTUs take the distances between
// communities from the Gram matrix of X: they must match the direct
// distances of the dense path, also for two identical communities (0).
TEST(FunctionalCore, GramDistancesMatchTheDirectOnes) {
  const int m = 9, n = 70;
  Mat W(m, n), B(n, 1), S(n, n), U(n, n);
  unsigned state = 7;
  auto next = [&] { return ((state = state * 1103515245u + 12345u) >> 16 & 0x7fff) / 32768.0; };
  for (int c = 0; c < m; c++)
    for (int i = 0; i < n; i++) W[c][i] = next() < 0.1 ? next() : 0.0;
  for (int i = 0; i < n; i++) W[8][i] = W[3][i];  // a repeated community
  for (int i = 0; i < n; i++) {
    B[i][0] = next();
    for (int j = 0; j < n; j++) S[i][j] = i == j ? 1.0 : 0.0;
  }
  for (int i = 0; i < n; i++)
    for (int j = i + 1; j < n; j++) S[i][j] = S[j][i] = next();
  for (int i = 0; i < n; i++) {
    double t = 0.0;
    for (int j = 0; j < n; j++) t += S[i][j];
    for (int j = 0; j < n; j++) U[i][j] = S[i][j] / t;
  }
  std::vector<int> select(1, 1), weights(n, 1);
  std::vector<int> list(n);
  for (int i = 0; i < n; i++) list[i] = (i * 17) % n + 1;
  std::vector<double> d[2];
  for (int path = 0; path < 2; path++) {
    FcoreInput in;
    in.m = m, in.n = n, in.p = 1, in.g = n;
    in.traitSelect = select.data(), in.weightOTUs = weights.data();
    in.W = W.p(), in.B = B.p(), in.U = U.p(), in.S = S.p();
    in.path = path ? FcorePath::kSparse : FcorePath::kDense;
    FcoreContext ctx;
    FcoreBuild(in, ctx);
    EXPECT_EQ(ctx.gramDistances, path == 1);
    FcoreWorkspace* ws = FcoreNewWorkspace(ctx);
    FcoreStructures(ctx, list.data(), *ws);
    d[path].assign(ws->uX.raw, ws->uX.raw + m * (m - 1) / 2);
    FcoreFreeWorkspace(ctx, ws);
    FcoreRelease(ctx);
  }
  for (size_t k = 0; k < d[0].size(); k++) EXPECT_NEAR(d[1][k], d[0][k], 1e-9) << k;
  // Pair (4, 9) in the upper half: row 3 holds pairs with 4..8 after rows 0..2.
  const int at = (8 + 7 + 6) + (8 - 3 - 1);
  EXPECT_EQ(d[1][at], 0.0);
  EXPECT_EQ(d[0][at], 0.0);
  EXPECT_GT(d[0][0], 0.0);
}
