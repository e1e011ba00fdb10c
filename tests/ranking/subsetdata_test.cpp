// The per-subset building blocks give, digit for digit, what a direct
// computation over the subset's traits gives: DT, S, U, X, DX, Rao entropy
// and the matrix correlations, for every subset met in enumeration order and
// in a scrambled order (the running sums then change at any position).
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "multivariate/congruence.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/stats.h"
#include "ranking/subsetdata.h"
#include "shell/preferences.h"

namespace {

// A data set in the program-wide globals: 10 OTUs in 4 types, 7
// communities, 5 traits (quantitative, binary, ordinal, quantitative,
// nominal) with a missing value, W with zeros and a missing cell, two pairs
// of OTUs of one type identical on the first three traits, two
// environmental variables.
struct Globals {
  int keptDoubleAbsence = countDoubleAbsence;
  Globals() {
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    tcst = 10;
    ncsm = 7;
    nch = 5;
    nenv = 2;
    csm_Float = dim2Double(tcst, nch);
    cadat = dim2Double(tcst, ncsm);
    env = dim2Double(ncsm, nenv);
    chtype = dim1Dint(nch);
    chrange = dim1Double(nch);
    weight = dim1Double(nch);
    weight_OTUs = dim1Dint(tcst);
    partition_OTUs = dim1Dint(tcst);
    eVarSelect = dim1Dint(nenv);
    envVarType = dim1Dint(nenv);
    const int types[5] = {3, 1, 4, 3, 2};
    for (int k = 0; k < nch; k++) {
      chtype[k] = types[k];
      weight[k] = 1.0;
    }
    const int partition[10] = {1, 1, 2, 2, 2, 3, 3, 4, 4, 4};
    for (int i = 0; i < tcst; i++) {
      partition_OTUs[i] = partition[i];
      weight_OTUs[i] = 1;
      csm_Float[i][0] = 10.0 * u(gen);
      csm_Float[i][1] = u(gen) < 0.5 ? 0.0 : 1.0;
      csm_Float[i][2] = static_cast<int>(4 * u(gen));
      csm_Float[i][3] = 3.0 + u(gen);
      csm_Float[i][4] = 1 + static_cast<int>(3 * u(gen));
      for (int c = 0; c < ncsm; c++) cadat[i][c] = u(gen) < 0.4 ? 0.0 : 1 + 9 * u(gen);
    }
    // OTUs 0 and 1, and 3 and 4, are identical on the first three traits
    // and differ on the nominal one: some subsets hold duplicates, others
    // (with the nominal trait) do not.
    for (int k = 0; k < 3; k++) {
      csm_Float[1][k] = csm_Float[0][k];
      csm_Float[4][k] = csm_Float[3][k];
    }
    csm_Float[0][4] = 1;
    csm_Float[1][4] = 2;
    csm_Float[3][4] = 3;
    csm_Float[4][4] = 1;
    csm_Float[6][3] = kMissing;
    cadat[5][2] = kMissing;
    for (int c = 0; c < ncsm; c++)
      for (int j = 0; j < nenv; j++) env[c][j] = c * (j + 1) + 3 * u(gen);
    for (int j = 0; j < nenv; j++) {
      eVarSelect[j] = 1;
      envVarType[j] = 3;
    }
    optEnvVarType = 2;
    temEnvQual = 0;
    fuzzy = 3;
    optUnitTotalAdjust1 = 1;
    optUnitTotalAdjust2 = 1;
    nMinCSTGroupsChRank = nMaxCSTGroupsChRank = 4;
    nMaxTraitsChRank = nch;
    // Binary double absences make some partial similarities -999.
    countDoubleAbsence = 0;
  }
  ~Globals() {
    free2D(csm_Float, tcst);
    free2D(cadat, tcst);
    free2D(env, ncsm);
    for (void* v : {static_cast<void*>(chtype), static_cast<void*>(chrange),
                    static_cast<void*>(weight), static_cast<void*>(weight_OTUs),
                    static_cast<void*>(partition_OTUs), static_cast<void*>(eVarSelect),
                    static_cast<void*>(envVarType)})
      free1D(v);
    csm_Float = cadat = env = nullptr;
    countDoubleAbsence = keptDoubleAbsence;
  }
};

struct M {
  int rows;
  double** v;
  M(int r, int c) : rows(r), v(dim2Double(r, c > 0 ? c : 1)) {}
  ~M() { free2D(v, rows); }
  M(const M&) = delete;
  M& operator=(const M&) = delete;
};

std::vector<double> Pairs(int m, double** D) {
  std::vector<double> p(NPairs(m));
  ToPairs(m, D, p.data());
  return p;
}

// Every subset of p traits (indices from 0), by size, lexicographic.
std::vector<std::vector<int>> AllSubsets(int p) {
  std::vector<std::vector<int>> all;
  for (int k = 1; k <= p; k++) {
    std::vector<int> t(k);
    for (int j = 0; j < k; j++) t[j] = j;
    for (;;) {
      all.push_back(t);
      int j = k - 1;
      while (j >= 0 && t[j] == p - k + j) j--;
      if (j < 0) break;
      t[j]++;
      for (int x = j + 1; x < k; x++) t[x] = t[x - 1] + 1;
    }
  }
  return all;
}

}  // namespace

TEST(SubsetBlocks, SameDigitsAsADirectComputation) {
  Globals globals;
  RankNeeds needs;
  needs.environment = needs.traitMeans = needs.similarities = needs.rao = needs.distX = true;
  needs.reseX = 6;
  RankData d;
  PrepareRankData(d, needs);
  ASSERT_TRUE(d.sCounts);
  ASSERT_TRUE(d.level);
  const int m = d.m, n = d.n, p = d.p, g = d.g;

  // The direct computation's inputs.
  double*** partial = dim3Double(n, n, p);
  gower_similarityPartial(p, d.B, n, partial, chtype, chrange, weight);
  M DE(m, m), E(m, nenv);
  for (int c = 0; c < m; c++)
    for (int j = 0; j < nenv; j++) E.v[c][j] = env[c][j];
  CorrAdj(m, nenv, E.v, E.v);
  EucliDistMV(m, nenv, E.v, DE.v);
  UpperToLowerMatrix(m, DE.v);

  std::vector<std::vector<int>> order = AllSubsets(p);
  std::vector<std::vector<int>> scrambled = order;
  std::shuffle(scrambled.begin(), scrambled.end(), std::mt19937(3));
  order.insert(order.end(), scrambled.begin(), scrambled.end());

  RankWork w;
  InitRankWork(d, w);
  int duplicatesMet = 0;
  for (const std::vector<int>& t : order) {
    const int k = static_cast<int>(t.size());
    SCOPED_TRACE(testing::Message() << "subset of " << k << " starting " << t[0]);
    SubsetT(d, w, t.data(), k);
    SubsetDT(d, w, t.data(), k);
    SubsetS(d, w, t.data(), k);
    SubsetX(d, w);
    SubsetRao(d, w);

    M T(m, p), Tn(m, p), DT(m, m), S(n, n), Sc(n, n), U(n, g), X(m, g), DX(m, m);
    MatrixProdSelectMV_Adjust_Weight(m, n, n, p, d.Wtcap, d.Bmasked, T.v, w.sel, weight_OTUs);
    NormalizeCols(m, p, T.v, Tn.v);
    EucliDistMV(m, p, Tn.v, DT.v);
    EXPECT_EQ(w.dt, Pairs(m, DT.v));
    for (int c = 0; c < m; c++)
      for (int j = 0; j < p; j++) ASSERT_EQ(w.T[c][j], Tn.v[c][j]);
    UpperToLowerMatrix(m, DT.v);
    EXPECT_EQ(FixedCommunityCorr(d.de, w.dt.data()), CommunityMatrixCorr(m, DE.v, DT.v));

    gower_similarityAverage(n, p, partial, S.v, w.sel);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < n; j++) {
        ASSERT_EQ(w.S[i][j], S.v[i][j]) << i << " " << j;
        Sc.v[i][j] = S.v[i][j];
      }
    if (AlmostEqual2sComplement(S.v[3][4], 1.0, 1)) duplicatesMet++;
    FuzzyBelonging(n, g, Sc.v, partition_OTUs, U.v, false);
    for (int i = 0; i < n; i++)
      for (int j = 0; j < g; j++) ASSERT_EQ(w.U[i][j], U.v[i][j]);
    MatrixProdMV_Weight(m, n, n, g, d.Wtdap, U.v, X.v, weight_OTUs, false);
    for (int c = 0; c < m; c++)
      for (int j = 0; j < g; j++) ASSERT_EQ(w.X[c][j], X.v[c][j]);
    for (int rese : {6, 8, 10}) {
      NominalReseNonHier(m, g, X.v, DX.v, rese);
      std::vector<double> dx(NPairs(m));
      PairDistances(m, g, w.X, rese, dx.data(), w.work, w.columns);
      EXPECT_EQ(dx, Pairs(m, DX.v)) << rese;
    }
    NominalReseNonHier(m, g, X.v, DX.v, 6);
    EXPECT_EQ(w.dx, Pairs(m, DX.v));
    EXPECT_EQ(PairCommunityCorr(m, w.dt.data(), w.dx.data()), MatrixCorr(m, DT.v, DX.v));
    for (int c = 0; c < m; c++)
      EXPECT_EQ(w.R[0 + c][0], RaoIndex_Weight(n, d.Wtdap[c], Sc.v, false,
                                                sqrtDissimOpt_RaoTraits != 0, weight_OTUs,
                                                false));
  }
  EXPECT_GT(duplicatesMet, 0);
  free3D(partial, n, n);
}
