#include "functional/scalingUp.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <initializer_list>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/fcore.h"
#include "functional/permtest.h"
#include "functional/printout.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "multivariate/beals.h"
#include "multivariate/cluster.h"
#include "multivariate/congruence.h"
#include "multivariate/ordination.h"
#include "multivariate/random.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "numeric/stats.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"
#include "shell/readers.h"

void IFHierarchicalAccum() {
  CatName(whichPrinda, sizeof whichPrinda, sessionName, "Prinda.txt");
  CatName(whichHier, sizeof whichHier, sessionName, "Hie.txt");
  hasHier = 1;
  hasCstRese = hasCstClus = hasNRese = hasPRese = hasScores = hasReClus = hasAOCScor = 0;
  hasProbN = hasProbRo = hasRo = hasComplexity = hasVelocity = hasRoVelComplex = 0;
  hasRoVelComplexPROB = 0;
  nCstGroups = 0;
  whichLevelGrCST = 1;

  SettingsHierarchy();
  cohe = 0;
  reseTypeOrd = reseTypeClus = reseTypeEv = reseTypeRnd = reseTypeERank = 1;
  reseCstOpt[0] = 0;

  if (traitBasedOpt == 1 && poolCSTopt == 2) {
    PFTs_ScalingUp();
    for (int k = 0; k < nch; k++) rcst[k] = nGrPoly[k];
  }

  if (optRestrictPermutNullModel == 1) {
    free1D(nestingMembershipOTUs);
    nestingMembershipOTUs = nullptr;
  }
  if (includePhylogeny) {
    free1D(partition_OTUs_Phyl);
    partition_OTUs_Phyl = nullptr;
    if (!hasPhylogeny) {
      free2D(phylogenyRese, tcst);
      phylogenyRese = nullptr;
      if (phylogenyMatrixType == 2) {
        free2D(phylogenyData, tcst);
        phylogenyData = nullptr;
        free1D(phylogenyVarType);
        phylogenyVarType = nullptr;
      }
    }
  }

  dirtyOrig = 1;
  WriteTrack(1);
  ClearLine();
  fprintf(out, "\n\nResults on file %s%s\n", volumeName, whichPrinda);
  Wait();
}

// ---------------------------------------------------------------------------

void PFTs_ScalingUp() {
  const int m = ncsm, n = tcst, p = nch;

  // 1. Fixed settings of this analysis.
  opt_struct = 9;
  optUnitTotalAdjust1 = 1;
  int nTypes = 0;
  CountGroupsNew(n, partition_OTUs, &nTypes, nullptr);
  if (p > 0) nTypes = nGrPoly[0];
  nMaxCSTGroupsChRank = nMinCSTGroupsChRank = nTypes;
  const int reseCSToptKept = reseCSTopt;
  CatName(whichRndData, sizeof whichRndData, sessionName, "RDa.txt");

  // 2, 3.
  const bool scaleAdjust = ScaleAdjustFlag(n, weight_OTUs, keepAdditivity != 0);
  InitRndNumberGenerator(rseed);

  // The results file, opened before anything is allocated so that a file
  // that cannot be opened leaves nothing behind.
  FILE* fp = fopenck(whichPrinda, volumeName, prindaMode);
  if (fp == nullptr) RaiseFailure(kFailOpen);
  PrintScalingUpHeader(fp);

  // 4. Environment.
  int q = 0;
  for (int v = 0; v < nenv; v++)
    if (eVarSelect[v] == 1) q++;
  const int qa = q > 0 ? q : 1;
  double** E = dim2Double(m, qa);
  int* eTypes = dim1Dint(qa);
  for (int v = 0, j = 0; v < nenv; v++) {
    if (eVarSelect[v] != 1) continue;
    eTypes[j] = envVarType[v];
    for (int c = 0; c < m; c++) E[c][j] = env[c][v];
    j++;
  }
  double** DE = dim2Double(m, m);
  EnvironmentalDistance(m, q, E, eTypes, DE);
  // With every variable left out the analysis runs as without E.
  const bool hasEnv = q > 0;

  // 5. Working copies of W (communities x OTUs) and of the trait description.
  double** Wraw = dim2Double(m, n);
  TransposeMatrix(n, m, cadat, Wraw);
  double** Wtcap = CopyOf(m, n, Wraw);
  double** Wtdap = CopyOf(m, n, Wraw);
  const int pa = p > 0 ? p : 1;
  RangeStates(p, n, csm_Float, chtype, chrange);
  int* states = dim1Dint(pa);
  int* types = dim1Dint(pa);
  double* ranges = dim1Double(pa);
  double* weights = dim1Double(pa);
  for (int k = 0; k < p; k++) {
    states[k] = onsta[k];
    types[k] = chtype[k];
    ranges[k] = chrange[k];
    weights[k] = weight[k];
  }

  // 7. Unit totals.
  if (optUnitTotalAdjust1) UnitSumRowsAdjMV(m, n, Wtcap, Wtcap);
  if (optUnitTotalAdjust2) UnitSumRowsAdjMV(m, n, Wtdap, Wtdap);

  // 8, 9. Beals smoothing and its resemblance between communities.
  double** Y1 = dim2Double(m, n);
  double** Y2 = dim2Double(m, n);
  BealsSmoothing(m, n, Wtdap, Wtdap, Y1, BealsIncludeOpt != 0, 1, false);
  BealsSmoothing(m, n, Wtdap, Wtdap, Y2, BealsIncludeOpt != 0, 1, true);
  double** DY1 = dim2Double(m, m);
  double** DY2 = dim2Double(m, m);
  if (opt_ro == 1) {
    NominalReseNonHier(m, n, Y1, DY1, rese_opt);
    NominalReseNonHier(m, n, Y2, DY2, rese_opt);
    UpperToLowerMatrix(m, DY1);
    UpperToLowerMatrix(m, DY2);
  }

  // 10. Gini-Simpson index: Rao entropy with crisp (identity) similarities.
  double** I = dim2Double(n, n);
  for (int i = 0; i < n; i++) I[i][i] = 1.0;
  double* D = dim1Double(m);
  for (int c = 0; c < m; c++)
    D[c] = RaoIndex_Weight(n, Wtdap[c], I, false, false, weight_OTUs, restrictRaoWithinOpt != 0,
                           scaleAdjust);

  // 12. Phylogeny.  F derived from phylogenetic variables is a Gower
  // similarity and is read as one; only a stored dissimilarity matrix
  // (type 3) is read as dissimilarities.
  const bool phyl = includePhylogeny != 0 && phylogenyMatrixType >= 1 &&
                    phylogenyMatrixType <= 3 && partition_OTUs_Phyl != nullptr;
  const bool phylIsDissim = phylogenyMatrixType == 3;
  const int taxa = phyl && nTaxa > 0 ? nTaxa : 1;
  double** F = dim2Double(n, n);
  double** phylScores = nullptr;
  int nPhylAxes = 0;
  double** Q = dim2Double(n, taxa);
  double** P = dim2Double(m, taxa);
  double** DP = dim2Double(m, m);
  double* Rp = dim1Double(m);
  if (phyl) {
    if (phylogenyMatrixType == 2) {
      double** work = CopyOf(n, nClados, phylogenyData);
      GowerMVOpt(n, nClados, phylogenyVarType, work, F, nullptr, nullptr, 0);
      free2D(work, n);
    } else {
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++) F[i][j] = phylogenyRese[i][j];
    }
    // Principal coordinates of F (scores come axis by row).
    double** rese = CopyOf(n, n, F);
    double** vectors = dim2Double(n, n);
    double** scores = dim2Double(n, n);
    double* values = dim1Double(n);
    bool eigenOk = true;
    OrdinationLib_D(n, n, F, rese, vectors, scores, &nPhylAxes, values, &eigenOk, 1,
                    phylIsDissim ? 3 : 5, 1);
    if (nPhylAxes < 0) nPhylAxes = 0;
    if (nPhylAxes > n) nPhylAxes = n;
    phylScores = dim2Double(n, nPhylAxes > 0 ? nPhylAxes : 1);
    for (int a = 0; a < nPhylAxes; a++)
      for (int i = 0; i < n; i++) phylScores[i][a] = scores[a][i];
    free2D(rese, n);
    free2D(vectors, n);
    free2D(scores, n);
    free1D(values);

    if (fuzzyPhyl == 1) {
      double** work = CopyOf(n, n, F);
      FuzzyBelonging(n, nTaxa, work, partition_OTUs_Phyl, Q, phylIsDissim);
      free2D(work, n);
    } else {
      CrispBelonging(n, nTaxa, partition_OTUs_Phyl, Q);
    }
    MatrixProdMV_Weight(m, n, n, nTaxa, Wtdap, Q, P, weight_OTUs, scaleAdjust);
    for (int c = 0; c < m; c++)
      Rp[c] = RaoIndex_Weight(n, Wtdap[c], F, phylIsDissim, sqrtDissimOpt_RaoPhyl != 0,
                              weight_OTUs, restrictRaoWithinOpt != 0, scaleAdjust);
    NominalReseNonHier(m, nTaxa, P, DP, rese_opt);
    UpperToLowerMatrix(m, DP);
  } else {
    phylScores = dim2Double(n, 1);
  }

  // 13, 14. Traits.
  int nSelTraits = 0;
  int* traitSelect = dim1Dint(pa);
  for (int k = 0; k < p; k++) {
    traitSelect[k] = weight[k] > 0.0 ? 1 : 0;
    nSelTraits += traitSelect[k];
  }
  nMinTraitsChRank = nMaxTraitsChRank = nSelTraits;
  double** B = CopyOf(n, p, csm_Float);
  double** Bmasked = CopyOf(n, p, csm_Float);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++)
      if (!(weight[k] > 0.0)) Bmasked[i][k] = 0.0;
  double*** partial = nullptr;
  if (reseCSTopt == 1) {
    partial = dim3Double(n, n, pa);
    double** work = CopyOf(n, p, csm_Float);
    gower_similarityPartial(p, work, n, partial, types, ranges, weights);
    free2D(work, n);
  }

  // 15. T, then its columns to unit length.
  double** T = dim2Double(m, pa);
  double** Tnorm = dim2Double(m, pa);
  MatrixProdSelectMV_Adjust_Weight(m, n, n, p, Wtcap, Bmasked, T, traitSelect, weight_OTUs,
                                   scaleAdjust);
  NormalizeCols(m, p, T, Tnorm);

  // 16. DT and the observed r(TE), r(TY).
  double** DT = dim2Double(m, m);
  double rTE = 0.0, rTY = 0.0;
  if (opt_ro == 1 || opt_ro == 5) {
    EucliDistMV(m, p, Tnorm, DT);
    UpperToLowerMatrix(m, DT);
  }
  if (opt_ro == 1) {
    if (hasEnv) rTE = CommunityMatrixCorr(m, DE, DT);
    rTY = CommunityMatrixCorr(m, DT, DY1);
  } else if (opt_ro == 2) {
    if (hasEnv) rTE = ProcrustesCoeff(m, q, p, E, Tnorm);
    rTY = ProcrustesCoeff(m, n, p, Y1, Tnorm);
  } else if (opt_ro == 3) {
    if (hasEnv) rTE = RVcoeff(m, q, p, E, Tnorm);
    rTY = RVcoeff(m, n, p, Y1, Tnorm);
  }

  // 17. Trait similarity between OTUs.
  double** S = dim2Double(n, n);
  if (reseCSTopt == 1) {
    gower_similarityAverage(n, p, partial, S, weights);
  } else {
    double** work = CopyOf(n, p, Bmasked);
    RangeColsAdjMV(n, p, work, work);
    EucliDistMVSelect(n, p, work, S, traitSelect);
    UpperToLowerMatrix(n, S);
    free2D(work, n);
  }

  // 18, 19. Types: the user's partition; C, U, X, crisp pooled matrix, Rf.
  const int g = nTypes > 0 ? nTypes : 1;
  int* typeLabels = dim1Dint(g);
  int* typeSizes = dim1Dint(g);
  int nDistinct = 0;
  CountGroupsNew(n, partition_OTUs, &nDistinct, typeLabels);
  for (int t = 0; t < nTypes; t++)
    for (int i = 0; i < n; i++)
      if (partition_OTUs[i] == typeLabels[t]) typeSizes[t]++;
  double** C = dim2Double(n, g);
  double** U = dim2Double(n, g);
  double** X = dim2Double(m, g);
  double** crispPooled = dim2Double(m, g);
  CrispBelonging(n, nTypes, partition_OTUs, C);
  {
    double** work = CopyOf(n, n, S);
    FuzzyBelonging(n, nTypes, work, partition_OTUs, U, reseCSTopt != 1);
    free2D(work, n);
  }
  MatrixProdMV_Weight(m, n, n, nTypes, Wtdap, U, X, weight_OTUs, scaleAdjust);
  MatrixProdMV_Weight(m, n, n, nTypes, Wtdap, C, crispPooled, weight_OTUs, scaleAdjust);
  double* Rf = dim1Double(m);
  for (int c = 0; c < m; c++)
    Rf[c] = RaoIndex_Weight(n, Wtdap[c], S, false, sqrtDissimOpt_RaoTraits != 0, weight_OTUs,
                            restrictRaoWithinOpt != 0, scaleAdjust);

  // 20. Average trait of each type: the mean over its OTUs with a value
  // (missing values are left out of both the sum and the count).
  double** avgTraits = dim2Double(g, pa);
  for (int t = 0; t < nTypes; t++)
    for (int k = 0; k < p; k++) {
      double sum = 0.0;
      int count = 0;
      for (int i = 0; i < n; i++)
        if (C[i][t] == 1.0 && !IsMissing(B[i][k])) {
          sum += B[i][k];
          count++;
        }
      avgTraits[t][k] = count > 0 ? sum / count : kMissing;
    }

  // 21. The statistics of the other structures, observed and, with tests,
  // against the null model.  Without tests the same routine runs on the
  // observed data only.  The routine gets its own copies of the matrices a
  // taxa shuffle permutes, so that the printout shows the observed ones.
  PermTest_FunctionalPhyl_Correl_Input* rec = new PermTest_FunctionalPhyl_Correl_Input();
  const int nResp = p + 2;
  int* eSel = dim1Dint(qa);
  for (int j = 0; j < q; j++) eSel[j] = 1;  // E already holds the selected variables only
  rec->niter = optRndTests ? niter : 1;
  rec->nch = p;
  rec->traitSelect = traitSelect;
  rec->ncsm = m;
  rec->nTypes = nTypes;
  rec->nTaxa = phyl ? nTaxa : 0;
  rec->nEnv = q;
  rec->eVarSelect = eSel;
  rec->nOTUs = n;
  rec->relSelect = relSelect;
  rec->nPhylAxes = nPhylAxes;
  rec->B = CopyOf(n, p, Bmasked);
  rec->S = CopyOf(n, n, S);
  rec->phylScores = CopyOf(n, nPhylAxes, phylScores);
  rec->F = CopyOf(n, n, F);
  rec->E = E;
  rec->U = CopyOf(n, g, fuzzy == 3 ? U : C);
  rec->Q = CopyOf(n, taxa, Q);
  rec->W = Wtdap;
  rec->DE = DE;
  rec->DY1 = DY1;
  rec->DY2 = DY2;
  rec->Y1 = Y1;
  rec->Y2 = Y2;
  rec->regrR2 = dim1Double(nResp);
  rec->regrR2Prob = dim1Double(nResp);
  rec->regrCoeff = dim2Double(nResp, qa);
  rec->regrCoeffProb = dim2Double(nResp, qa);
  rec->regrIntercept = dim1Double(nResp);
  rec->anovaT = dim1Double(qa);
  rec->anovaTProb = dim1Double(qa);
  rec->anovaTrait = dim2Double(pa, qa);
  rec->anovaTraitProb = dim2Double(pa, qa);
  rec->anovaX = dim1Double(qa);
  rec->anovaXProb = dim1Double(qa);
  rec->anovaP = dim1Double(qa);
  rec->anovaPProb = dim1Double(qa);
  rec->anovaR = dim1Double(qa);
  rec->anovaRProb = dim1Double(qa);
  rec->anovaRp = dim1Double(qa);
  rec->anovaRpProb = dim1Double(qa);
  rec->rese_opt = rese_opt;
  rec->opt_ro = opt_ro;
  rec->overfitFactorPCARegr = overfitFactorPCARegr;
  rec->saveRndData = optRndTests && saveRndData == 'y';
  rec->optWeightedNullModel = optWeightedNullModel != 0;
  rec->scaleAdjust = scaleAdjust;
  rec->includePhylogeny = phyl;
  rec->phylIsDissimilarity = phylIsDissim;
  rec->sqrtDissimOpt_RaoTraits = sqrtDissimOpt_RaoTraits != 0;
  rec->sqrtDissimOpt_RaoPhyl = sqrtDissimOpt_RaoPhyl != 0;
  rec->optRestrictPermutNullModel = optRestrictPermutNullModel;
  rec->nestingMembershipOTUs = nestingMembershipOTUs;
  rec->optTaxaSiteShuffle = optTaxaSiteShuffle;
  rec->alwaysOne = true;
  rec->twoTailedTestMantel = twoTailedTestMantel != 0;
  rec->T = dim2Double(m, pa);
  rec->X = dim2Double(m, g);
  rec->P = dim2Double(m, taxa);
  rec->R = dim2Double(m, 1);
  rec->Rp = dim1Double(m);
  rec->weight_OTUs = weight_OTUs;
  rec->restrictRaoWithinOpt = restrictRaoWithinOpt != 0;
  rec->rndDataFile = nullptr;

  if (optRndTests) {
    rec->rndDataFile = fopenck(whichRndData, volumeName, "w");
    // The random-data file is part of a tested run: without it the program
    // ends, through the failure catcher (it has printed why).
    if (rec->rndDataFile == nullptr) {
      fclose(fp);
      RaiseFailure(kFailOpen);
    }
    time0 = time(nullptr);
  }
  PermTest_FunctionalPhyl_Correl(rec);
  if (rec->rndDataFile != nullptr) fclose(rec->rndDataFile);
  rec->rndDataFile = nullptr;
  if (!optRndTests) {
    rec->statistics[kStatTE] = rTE;
    rec->statistics[kStatTY] = rTY;
  }

  // 22, 23. Results.
  ScalingUpReport report{};
  report.nComm = m;
  report.nOTUs = n;
  report.nTraits = p;
  report.nSelTraits = nSelTraits;
  report.nEnvSel = q;
  report.nTypes = nTypes;
  report.nTaxa = phyl ? nTaxa : 0;
  report.nPhylAxes = nPhylAxes;
  report.detailed = printDetail == 1;
  report.tested = optRndTests != 0;
  report.hasEnv = hasEnv;
  report.phylogeny = phyl;
  report.W = Wraw;
  report.Wtdap = Wtdap;
  report.Y1 = Y1;
  report.DY1 = DY1;
  report.F = F;
  report.phylScores = phylScores;
  report.Q = Q;
  report.P = P;
  report.DP = DP;
  report.B = B;
  report.E = E;
  report.DE = DE;
  report.T = T;
  report.Tnorm = Tnorm;
  report.DT = DT;
  report.S = S;
  report.U = U;
  report.C = C;
  report.avgTraits = avgTraits;
  report.crispPooled = crispPooled;
  report.X = X;
  report.traitSelect = traitSelect;
  report.typeLabels = typeLabels;
  report.typeSizes = typeSizes;
  report.D = D;
  report.Rf = Rf;
  report.Rp = Rp;
  report.test = rec;
  PrintScalingUpResults(fp, report);
  const bool writeFailed = ferror(fp) != 0;
  if (fclose(fp) != 0 || writeFailed) {
    fprintf(stderr, "\nfile %s ", whichPrinda);
    RaiseFailure(kFailPrint);
  }

  // Release.
  free2D(rec->B, n);
  free2D(rec->S, n);
  free2D(rec->phylScores, n);
  free2D(rec->F, n);
  free2D(rec->U, n);
  free2D(rec->Q, n);
  free1D(rec->regrR2);
  free1D(rec->regrR2Prob);
  free2D(rec->regrCoeff, nResp);
  free2D(rec->regrCoeffProb, nResp);
  free1D(rec->regrIntercept);
  free1D(rec->anovaT);
  free1D(rec->anovaTProb);
  free2D(rec->anovaTrait, pa);
  free2D(rec->anovaTraitProb, pa);
  for (double* v : {rec->anovaX, rec->anovaXProb, rec->anovaP, rec->anovaPProb, rec->anovaR,
                    rec->anovaRProb, rec->anovaRp, rec->anovaRpProb})
    free1D(v);
  free2D(rec->T, m);
  free2D(rec->X, m);
  free2D(rec->P, m);
  free2D(rec->R, m);
  free1D(rec->Rp);
  delete rec;
  free1D(eSel);
  free2D(avgTraits, g);
  free1D(Rf);
  free2D(crispPooled, m);
  free2D(X, m);
  free2D(U, n);
  free2D(C, n);
  free1D(typeSizes);
  free1D(typeLabels);
  free2D(S, n);
  free2D(DT, m);
  free2D(Tnorm, m);
  free2D(T, m);
  if (partial != nullptr) free3D(partial, n, n);
  free2D(Bmasked, n);
  free2D(B, n);
  free1D(traitSelect);
  free1D(Rp);
  free2D(DP, m);
  free2D(P, m);
  free2D(Q, n);
  free2D(phylScores, n);
  free2D(F, n);
  free1D(D);
  free2D(I, n);
  free2D(DY2, m);
  free2D(DY1, m);
  free2D(Y2, m);
  free2D(Y1, m);
  free1D(weights);
  free1D(ranges);
  free1D(types);
  free1D(states);
  free2D(Wtdap, m);
  free2D(Wtcap, m);
  free2D(Wraw, m);
  free2D(DE, m);
  free1D(eTypes);
  free2D(E, m);
  reseCSTopt = reseCSToptKept;
}
