#include "simulation/simanalysis.h"

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/permtest.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "multivariate/beals.h"
#include "multivariate/cluster.h"
#include "multivariate/resemblance.h"
#include "numeric/regression.h"
#include "numeric/stats.h"
#include "shell/preferences.h"
#include "simulation/assembly.h"

void AllocSimAnalysis(SimAnalysis& a, const AssemblyModel& m) {
  const int S = m.S, N = m.N, K = m.K;
  a.S = S;
  a.N = N;
  a.K = K;
  a.P = m.P;
  a.predSelect = dim1Dint(m.P);
  a.traitSelect = dim1Dint(K);
  a.eSel = dim1Dint(m.P);
  a.traitTypes = dim1Dint(K);
  for (int k = 0; k < K; k++) a.traitTypes[k] = 3;
  a.Bm = dim2Double(N, K);
  a.Bw = dim2Double(N, K);
  a.Sg = dim2Double(N, N);
  a.U = dim2Double(N, N);
  a.Wrel = dim2Double(S, N);
  a.Y = dim2Double(S, N);
  a.Z = dim2Double(S, N);
  a.DY = dim2Double(S, S);
  a.DZ = dim2Double(S, S);
  a.E = dim2Double(S, m.P);
  a.DE = dim2Double(S, S);
  a.column = dim1Double(S);
  a.classes = dim1Double(S);

  // The record and every result array the routine may fill.  No phylogeny
  // takes part: F, Q and the phylogenetic scores are empty placeholders.
  PermTest_FunctionalPhyl_Correl_Input* rec = PermTestNewRecord(S, K, m.P, N, 1);
  rec->traitSelect = a.traitSelect;
  rec->eVarSelect = a.eSel;
  rec->relSelect = relSelect;
  rec->weight_OTUs = weight_OTUs;
  rec->B = dim2Double(N, K);
  rec->S = dim2Double(N, N);
  rec->U = dim2Double(N, N);
  rec->phylScores = dim2Double(N, 1);
  rec->F = dim2Double(N, N);
  rec->Q = dim2Double(N, 1);
  a.rec = rec;
}

void ListSimTests(SimAnalysis& a) {
  a.q = 0;
  for (int p = 0; p < a.P; p++) a.q += a.predSelect[p] == 1 ? 1 : 0;
  for (int k = 0; k < a.K; k++) a.traitSelect[k] = weight[k] > 0.0 ? 1 : 0;
  a.tests.clear();
  if (opt_ro >= 1 && opt_ro <= 3) {
    for (int s : {kStatTE, kStatXE, kStatXE_T, kStatRE, kStatXE_TR, kStatTY, kStatXY, kStatXY_T,
                  kStatTY2, kStatXY2, kStatXY_T2})
      a.tests.push_back({SimTest::kCorrelation, s, 0});
  } else if (opt_ro == 4) {
    // Each selected trait, then the functional diversity (response K).
    for (int k = 0; k <= a.K; k++) {
      if (k < a.K && a.traitSelect[k] != 1) continue;
      a.tests.push_back({SimTest::kRSquare, k, 0});
      for (int f = 0; f < a.q; f++) a.tests.push_back({SimTest::kCoefficient, k, f});
    }
  } else if (opt_ro == 5) {
    for (int f = 0; f < a.q; f++) a.tests.push_back({SimTest::kAnovaT, 0, f});
    for (int k = 0; k < a.K; k++)
      if (a.traitSelect[k] == 1)
        for (int f = 0; f < a.q; f++) a.tests.push_back({SimTest::kAnovaTrait, k, f});
    for (int f = 0; f < a.q; f++) a.tests.push_back({SimTest::kAnovaX, 0, f});
    for (int f = 0; f < a.q; f++) a.tests.push_back({SimTest::kAnovaR, 0, f});
  }
  a.rejections.assign(a.tests.size(), 0);
}

void FreeSimAnalysis(SimAnalysis& a) {
  const int S = a.S, N = a.N, K = a.K;
  PermTest_FunctionalPhyl_Correl_Input* rec = a.rec;
  if (rec != nullptr) {
    free2D(rec->B, N);
    free2D(rec->S, N);
    free2D(rec->U, N);
    free2D(rec->phylScores, N);
    free2D(rec->F, N);
    free2D(rec->Q, N);
    PermTestFreeRecord(rec, S, K);
  }
  free1D(a.predSelect);
  free1D(a.traitSelect);
  free1D(a.eSel);
  free1D(a.traitTypes);
  free2D(a.Bm, N);
  free2D(a.Bw, N);
  free2D(a.Sg, N);
  free2D(a.U, N);
  free2D(a.Wrel, S);
  free2D(a.Y, S);
  free2D(a.Z, S);
  free2D(a.DY, S);
  free2D(a.DZ, S);
  free2D(a.E, S);
  free2D(a.DE, S);
  free1D(a.column);
  free1D(a.classes);
  a = SimAnalysis();
}

// The selected predictors of the final environment, sites as rows: cut into
// 5 classes for the analysis of variance, otherwise column-standardised with
// Euclidean distances between the sites.
static void Environment(SimAnalysis& a, const AssemblyModel& m) {
  const int S = a.S;
  int col = 0;
  for (int p = 0; p < m.P; p++) {
    if (a.predSelect[p] != 1) continue;
    for (int s = 0; s < S; s++) a.column[s] = m.E[p][s];
    if (opt_ro == 5) {
      ClassesMV(S, a.column, a.classes, 5);
      for (int s = 0; s < S; s++) a.E[s][col] = a.classes[s];
    } else {
      for (int s = 0; s < S; s++) a.E[s][col] = a.column[s];
    }
    col++;
  }
  if (opt_ro != 5) {
    CorrAdj(S, a.q, a.E, a.E);
    EucliDist(S, a.q, a.E, a.DE);
    UpperToLowerMatrix(S, a.DE);
  }
}

void AnalyseDataSet(SimAnalysis& a, const AssemblyModel& m) {
  const int S = a.S, N = a.N, K = a.K;
  PermTest_FunctionalPhyl_Correl_Input* rec = a.rec;

  // Final relative abundances.
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) a.Wrel[s][j] = m.abund[s][j];
  UnitSumRowsAdjMV(S, N, a.Wrel, a.Wrel);

  // Traits: all quantitative, weighted by the trait weights.  Each OTU is
  // its own type, crisply or fuzzily by the Gower similarity.
  for (int i = 0; i < N; i++)
    for (int k = 0; k < K; k++) {
      a.Bm[i][k] = a.traitSelect[k] == 1 ? m.B[i][k] : 0.0;
      a.Bw[i][k] = m.B[i][k];
    }
  GowerMV(N, K, a.traitTypes, a.Bw, a.Sg, nullptr, weight);
  if (fuzzy == 3) {
    CopyMatrix(N, N, a.Sg, rec->U);
    FuzzyBelonging(N, N, rec->U, nullptr, a.U, false);
  } else {
    CrispBelonging(N, N, nullptr, a.U);
  }

  // Beals smoothing with abundance weights (Y) and cross products (Z).
  BealsSmoothing(S, N, a.Wrel, a.Wrel, a.Y, BealsIncludeOpt != 0, 1);
  BealsSmoothing(S, N, a.Wrel, a.Wrel, a.Z, BealsIncludeOpt != 0, 2);
  Environment(a, m);
  if (opt_ro == 1) {
    NominalReseNonHier(S, N, a.Y, a.DY, rese_opt);
    NominalReseNonHier(S, N, a.Z, a.DZ, rese_opt);
    UpperToLowerMatrix(S, a.DY);
    UpperToLowerMatrix(S, a.DZ);
  }

  // The record: the routine gets its own copies of the OTU matrices.
  for (int f = 0; f < a.q; f++) a.eSel[f] = 1;
  PermTestSettingsFromGlobals(rec);
  rec->nch = K;
  rec->ncsm = S;
  rec->nTypes = N;
  rec->nTaxa = 0;
  rec->nEnv = a.q;
  rec->nOTUs = N;
  rec->nPhylAxes = 0;
  CopyMatrix(N, K, a.Bm, rec->B);
  CopyMatrix(N, N, a.Sg, rec->S);
  CopyMatrix(N, N, a.U, rec->U);
  rec->E = a.E;
  rec->W = a.Wrel;
  rec->DE = a.DE;
  rec->DY1 = a.DY;
  rec->DY2 = a.DZ;
  rec->Y1 = a.Y;
  rec->Y2 = a.Z;
  rec->scaleAdjust = ScaleAdjustFlag(N, weight_OTUs, keepAdditivity != 0);
  rec->includePhylogeny = false;
  rec->phylIsDissimilarity = false;
  PermTest_FunctionalPhyl_Correl(rec);
}

double TestProbability(const SimAnalysis& a, const SimTest& t) {
  const PermTest_FunctionalPhyl_Correl_Input* rec = a.rec;
  switch (t.kind) {
    case SimTest::kCorrelation:
      return rec->probabilities[t.index];
    case SimTest::kRSquare:
      return rec->regrR2Prob[t.index];
    case SimTest::kCoefficient:
      return rec->regrCoeffProb[t.index][t.factor];
    case SimTest::kAnovaT:
      return rec->anovaTProb[t.factor];
    case SimTest::kAnovaTrait:
      return rec->anovaTraitProb[t.index][t.factor];
    case SimTest::kAnovaX:
      return rec->anovaXProb[t.factor];
    case SimTest::kAnovaR:
      return rec->anovaRProb[t.factor];
  }
  return 1.0;
}

bool RejectsHo(double probability, double alpha) {
  return probability < alpha || AlmostEqual2sComplement(probability, alpha, 1);
}

void CountRejections(SimAnalysis& a, double alpha) {
  for (size_t i = 0; i < a.tests.size(); i++)
    if (RejectsHo(TestProbability(a, a.tests[i]), alpha)) a.rejections[i]++;
}

void SkipDataSetDraws(SimAnalysis& a, const AssemblyModel& m) {
  const int S = a.S, N = a.N;
  PermTest_FunctionalPhyl_Correl_Input* rec = a.rec;
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) a.Wrel[s][j] = m.abund[s][j];
  UnitSumRowsAdjMV(S, N, a.Wrel, a.Wrel);
  PermTestSettingsFromGlobals(rec);
  rec->ncsm = S;
  rec->nOTUs = N;
  rec->W = a.Wrel;
  PermTestSkipDraws(rec);
}

void PackDataSetResults(Pack& p, SimAnalysis& a) {
  PermTestPackResults(p, a.rec, a.S, a.K, a.P, a.N, 1);
}

void UnpackDataSetResults(Pack& p, SimAnalysis& a) {
  PermTestUnpackResults(p, a.rec, a.S, a.K, a.P, a.N, 1);
}
