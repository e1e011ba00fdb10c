// A small data set and a filled permutation-test record for the tests of the
// functional core and its permutation test.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

#include "QELib/qelibDim.h"
#include "functional/permtest.h"
#include "functional/traits.h"
#include "multivariate/resemblance.h"

// Row-pointer matrix owned by the test.
struct Mat {
  std::vector<double> v;
  std::vector<double*> r;
  Mat(int rows = 0, int cols = 0) : v(std::max(1, rows * cols)), r(rows) {
    for (int i = 0; i < rows; i++) r[i] = v.data() + i * cols;
  }
  Mat(const Mat&) = delete;
  Mat(Mat&&) = default;
  Mat& operator=(const Mat&) = delete;
  Mat& operator=(Mat&&) = default;
  double** p() { return r.data(); }
  double* operator[](int i) { return r[i]; }
};

// Communities x OTUs performances, OTUs x traits, optional phylogeny and
// environment; Prepare() derives S, U, Q, DE, DY1 and fills the record.
struct Case {
  int m, n, p, q;
  int g = 0, taxa = 0;
  bool fuzzy = true, phyl = false;
  Mat B, W, E, F, scores, S, U, Q, DE, Y1, DY1, T, X, P, R, reg, coef, coefP, anova, anovaTrait,
      anovaTraitP;
  std::vector<int> types, select, wOTU, rel, partition, taxon, nest;
  std::vector<double> ranges, weights, Rp;
  PermTest_FunctionalPhyl_Correl_Input rec{};

  Case(int m_, int n_, int p_, int q_)
      : m(m_), n(n_), p(p_), q(q_), B(n_, p_), W(m_, n_), E(m_, q_), F(n_, n_), scores(n_, 2),
        types(p_, 3), select(p_, 1), wOTU(n_, 1), rel(m_, 1), partition(n_), taxon(n_, 1),
        nest(n_, 1), ranges(p_, 0.0), weights(p_, 1.0) {
    for (int i = 0; i < n; i++) partition[i] = i + 1;
  }

  static int Distinct(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return static_cast<int>(std::unique(v.begin(), v.end()) - v.begin());
  }
  static void Symmetric(int n, Mat& M) {
    for (int i = 0; i < n; i++)
      for (int j = i + 1; j < n; j++) M[j][i] = M[i][j];
  }

  void Prepare(int optRo, int niter, int shuffle = 't') {
    S = Mat(n, n);
    double*** partial = dim3Double(n, n, p);
    gower_similarityPartial(p, B.p(), n, partial, types.data(), ranges.data(), weights.data());
    gower_similarityAverage(n, p, partial, S.p(), weights.data());
    free3D(partial, n, n);
    g = Distinct(partition), taxa = Distinct(taxon);
    U = Mat(n, g), Q = Mat(n, taxa);
    if (fuzzy)
      FuzzyBelonging(n, g, S.p(), partition.data(), U.p(), false);
    else
      CrispBelonging(n, g, partition.data(), U.p());
    if (phyl) FuzzyBelonging(n, taxa, F.p(), taxon.data(), Q.p(), true);
    DE = Mat(m, m), Y1 = Mat(m, n), DY1 = Mat(m, m);
    EucliDistMV(m, q, E.p(), DE.p());
    for (int c = 0; c < m; c++) std::copy(W[c], W[c] + n, Y1[c]);
    EucliDistMV(m, n, Y1.p(), DY1.p());
    Symmetric(m, DE), Symmetric(m, DY1);
    T = Mat(m, p), X = Mat(m, g), P = Mat(m, taxa), R = Mat(m, 1), Rp.assign(m, 0.0);
    reg = Mat(3, p + 2), coef = Mat(p + 2, q), coefP = Mat(p + 2, q);
    anova = Mat(10, q), anovaTrait = Mat(p, q), anovaTraitP = Mat(p, q);

    rec = PermTest_FunctionalPhyl_Correl_Input{};
    rec.niter = niter, rec.nch = p, rec.traitSelect = select.data(), rec.ncsm = m;
    rec.nTypes = g, rec.nTaxa = taxa, rec.nEnv = q, rec.nOTUs = n, rec.relSelect = rel.data();
    rec.nPhylAxes = 2, rec.B = B.p(), rec.S = S.p(), rec.phylScores = scores.p(), rec.F = F.p();
    rec.E = E.p(), rec.U = U.p(), rec.Q = Q.p(), rec.W = W.p(), rec.DE = DE.p();
    rec.DY1 = DY1.p(), rec.Y1 = Y1.p();
    rec.regrR2 = reg[0], rec.regrR2Prob = reg[1], rec.regrIntercept = reg[2];
    rec.regrCoeff = coef.p(), rec.regrCoeffProb = coefP.p();
    rec.anovaT = anova[0], rec.anovaTProb = anova[1], rec.anovaX = anova[2];
    rec.anovaXProb = anova[3], rec.anovaP = anova[4], rec.anovaPProb = anova[5];
    rec.anovaR = anova[6], rec.anovaRProb = anova[7], rec.anovaRp = anova[8];
    rec.anovaRpProb = anova[9];
    rec.anovaTrait = anovaTrait.p(), rec.anovaTraitProb = anovaTraitP.p();
    rec.rese_opt = 6, rec.opt_ro = optRo, rec.overfitFactorPCARegr = 2.0;
    rec.includePhylogeny = phyl, rec.phylIsDissimilarity = true;
    rec.nestingMembershipOTUs = nest.data(), rec.optTaxaSiteShuffle = shuffle;
    rec.alwaysOne = true, rec.twoTailedTestMantel = true;
    rec.T = T.p(), rec.X = X.p(), rec.P = P.p(), rec.R = R.p(), rec.Rp = Rp.data();
    rec.weight_OTUs = wOTU.data();
  }

  // Every value (or probability) the routine returned for its measure.
  std::vector<double> Collect(bool prob) const {
    const double* st = prob ? rec.probabilities : rec.statistics;
    std::vector<double> v(st, st + kStatCount);
    auto add = [&](const double* a, int k) { v.insert(v.end(), a, a + k); };
    if (rec.opt_ro == 4) {
      add(reg.r[prob ? 1 : 0], p + 2);
      for (int k = 0; k < p + 2; k++) add((prob ? coefP : coef).r[k], q);
    }
    if (rec.opt_ro == 5) {
      for (int k = prob ? 1 : 0; k < 10; k += 2) add(anova.r[k], q);
      for (int k = 0; k < p; k++) add((prob ? anovaTraitP : anovaTrait).r[k], q);
    }
    return v;
  }
  std::vector<double> Values() const { return Collect(false); }
};

// Six OTUs, five communities, three traits (quantitative, binary, nominal),
// two environmental variables, a phylogeny; OTU position i holds OTU
// order[i], so that a reordering moves every OTU-indexed datum together.
inline Case Generic(const int order[6], bool phyl = true) {
  const double b[6][3] = {{1, 1, 1}, {2.5, 0, 2}, {4, 1, 2}, {3, 1, 3}, {5.5, 0, 1}, {2, 0, 3}};
  const double w[5][6] = {{3, 1, 0, 0, 2, 0}, {0, 2, 4, 1, 0, 0}, {1, 0, 0, 3, 0, 5},
                          {2, 2, 2, 0, 1, 1}, {0, 0, 1, 4, 3, 0}};
  const double e[5][2] = {{1, .5}, {1, 1.7}, {2, .2}, {2, 1.1}, {3, .9}};
  const double a[6] = {0, .1, .3, .6, .7, 1};
  const int type[6] = {7, 7, 3, 3, 9, 9}, taxon[6] = {1, 1, 1, 2, 2, 2};
  const int weight[6] = {1, 1, 1, 0, 1, 1};
  Case c(5, 6, 3, 2);
  c.types = {3, 1, 2};
  c.phyl = phyl;
  for (int i = 0; i < 6; i++) {
    const int o = order[i];
    for (int k = 0; k < 3; k++) c.B[i][k] = b[o][k];
    for (int s = 0; s < 5; s++) c.W[s][i] = w[s][o];
    for (int j = 0; j < 6; j++) c.F[i][j] = std::fabs(a[o] - a[order[j]]);
    c.scores[i][0] = a[o], c.scores[i][1] = a[o] * a[o] - .3;
    c.partition[i] = type[o], c.taxon[i] = taxon[o], c.wOTU[i] = weight[o];
  }
  for (int s = 0; s < 5; s++) c.E[s][0] = e[s][0], c.E[s][1] = e[s][1];
  return c;
}
