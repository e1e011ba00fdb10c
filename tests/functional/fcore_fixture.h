// A small data set and a filled permutation-test record for the tests of the
// functional core.
#pragma once

#include <algorithm>
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
  Mat B, W, E, F, scores, S, U, Q, DE, Y1, DY1, T, X, P, R, coef, coefP, anovaTrait,
      anovaTraitP;
  std::vector<int> types, select, wOTU, rel, partition, taxon, nest;
  std::vector<double> ranges, weights, Rp, r2, r2P, icpt, aT, aTP, aX, aXP, aP, aPP, aR, aRP,
      aRp, aRpP;
  PermTest_FunctionalPhyl_Correl_Input rec{};

  Case(int m_, int n_, int p_, int q_)
      : m(m_), n(n_), p(p_), q(q_), B(n_, p_), W(m_, n_), E(m_, q_), F(n_, n_), scores(n_, 2),
        types(p_, 3), select(p_, 1), wOTU(n_, 1), rel(m_, 1), partition(n_), taxon(n_, 1),
        nest(n_, 1), ranges(p_, 0.0), weights(p_, 1.0) {
    for (int i = 0; i < n; i++) partition[i] = i + 1;
  }

  static int Distinct(const std::vector<int>& v) {
    std::vector<int> s(v);
    std::sort(s.begin(), s.end());
    return static_cast<int>(std::unique(s.begin(), s.end()) - s.begin());
  }

  void Prepare(int optRo, int niter, int shuffle = 't') {
    S = Mat(n, n);
    double*** partial = dim3Double(n, n, p);
    gower_similarityPartial(p, B.p(), n, partial, types.data(), ranges.data(), weights.data());
    gower_similarityAverage(n, p, partial, S.p(), weights.data());
    free3D(partial, n, n);
    g = Distinct(partition);
    U = Mat(n, g);
    if (fuzzy)
      FuzzyBelonging(n, g, S.p(), partition.data(), U.p(), false);
    else
      CrispBelonging(n, g, partition.data(), U.p());
    taxa = Distinct(taxon);
    Q = Mat(n, taxa);
    if (phyl) FuzzyBelonging(n, taxa, F.p(), taxon.data(), Q.p(), true);
    DE = Mat(m, m);
    EucliDistMV(m, q, E.p(), DE.p());
    Y1 = Mat(m, n);
    for (int c = 0; c < m; c++) std::copy(W[c], W[c] + n, Y1[c]);
    DY1 = Mat(m, m);
    EucliDistMV(m, n, Y1.p(), DY1.p());
    for (int i = 0; i < m; i++)
      for (int j = i + 1; j < m; j++) DE[j][i] = DE[i][j], DY1[j][i] = DY1[i][j];
    T = Mat(m, p), X = Mat(m, g), P = Mat(m, taxa), R = Mat(m, 1);
    coef = Mat(p + 2, q), coefP = Mat(p + 2, q), anovaTrait = Mat(p, q), anovaTraitP = Mat(p, q);
    for (auto* v : {&r2, &r2P, &icpt}) v->assign(p + 2, 0.0);
    for (auto* v : {&aT, &aTP, &aX, &aXP, &aP, &aPP, &aR, &aRP, &aRp, &aRpP}) v->assign(q, 0.0);
    Rp.assign(m, 0.0);

    rec = PermTest_FunctionalPhyl_Correl_Input{};
    rec.niter = niter;
    rec.nch = p;
    rec.traitSelect = select.data();
    rec.ncsm = m;
    rec.nTypes = g;
    rec.nTaxa = taxa;
    rec.nEnv = q;
    rec.nOTUs = n;
    rec.relSelect = rel.data();
    rec.nPhylAxes = 2;
    rec.B = B.p();
    rec.S = S.p();
    rec.phylScores = scores.p();
    rec.F = F.p();
    rec.E = E.p();
    rec.U = U.p();
    rec.Q = Q.p();
    rec.W = W.p();
    rec.DE = DE.p();
    rec.DY1 = DY1.p();
    rec.Y1 = Y1.p();
    rec.regrR2 = r2.data(), rec.regrR2Prob = r2P.data(), rec.regrIntercept = icpt.data();
    rec.regrCoeff = coef.p(), rec.regrCoeffProb = coefP.p();
    rec.anovaT = aT.data(), rec.anovaTProb = aTP.data();
    rec.anovaTrait = anovaTrait.p(), rec.anovaTraitProb = anovaTraitP.p();
    rec.anovaX = aX.data(), rec.anovaXProb = aXP.data(), rec.anovaP = aP.data();
    rec.anovaPProb = aPP.data(), rec.anovaR = aR.data(), rec.anovaRProb = aRP.data();
    rec.anovaRp = aRp.data(), rec.anovaRpProb = aRpP.data();
    rec.rese_opt = 6;
    rec.opt_ro = optRo;
    rec.overfitFactorPCARegr = 2.0;
    rec.includePhylogeny = phyl;
    rec.phylIsDissimilarity = true;
    rec.optRestrictPermutNullModel = 0;
    rec.nestingMembershipOTUs = nest.data();
    rec.optTaxaSiteShuffle = shuffle;
    rec.alwaysOne = true;
    rec.twoTailedTestMantel = true;
    rec.T = T.p(), rec.X = X.p(), rec.P = P.p(), rec.R = R.p(), rec.Rp = Rp.data();
    rec.weight_OTUs = wOTU.data();
  }

  // Every value the routine returned for its measure, statistics first.
  std::vector<double> Collect(bool prob) const {
    std::vector<double> v(prob ? rec.probabilities : rec.statistics,
                          (prob ? rec.probabilities : rec.statistics) + kStatCount);
    if (rec.opt_ro == 4) {
      const std::vector<double>& a = prob ? r2P : r2;
      v.insert(v.end(), a.begin(), a.end());
      for (int k = 0; k < p + 2; k++) v.insert(v.end(), (prob ? coefP : coef).r[k],
                                               (prob ? coefP : coef).r[k] + q);
    }
    if (rec.opt_ro == 5) {
      for (auto* a : prob ? std::vector<const std::vector<double>*>{&aTP, &aXP, &aPP, &aRP, &aRpP}
                          : std::vector<const std::vector<double>*>{&aT, &aX, &aP, &aR, &aRp})
        v.insert(v.end(), a->begin(), a->end());
      for (int k = 0; k < p; k++) v.insert(v.end(), (prob ? anovaTraitP : anovaTrait).r[k],
                                           (prob ? anovaTraitP : anovaTrait).r[k] + q);
    }
    return v;
  }
  std::vector<double> Values() const { return Collect(false); }
  std::vector<double> Probabilities() const { return Collect(true); }
};
