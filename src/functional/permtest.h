// Permutation tests of the functional and phylogenetic correlations.
#pragma once

#include <cstdio>
#include <vector>

#include "functional/fcore.h"

// Input and results of PermTest_FunctionalPhyl_Correl (one heap record owned
// by the caller).  Matrices are row-pointer matrices.
struct PermTest_FunctionalPhyl_Correl_Input {
  int niter;  // iterations, the observed one included
  int nch;
  int* traitSelect;
  int ncsm;
  int nTypes;
  int nTaxa;
  int nEnv;  // selected environmental variables
  int* eVarSelect;
  int nOTUs;
  int* relSelect;
  int nPhylAxes;
  double** B;           // OTUs x traits, masked B
  double** S;           // OTUs x OTUs, trait similarity
  double** phylScores;  // OTUs x axes
  double** F;           // OTUs x OTUs
  double** E;           // communities x selected variables, standardised
  double** U;           // OTUs x types (fuzzy U, or crisp C)
  double** Q;           // OTUs x taxa
  double** W;           // communities x OTUs (TDAP copy)
  double** DE;          // communities x communities
  double** DY1;
  double** DY2;
  double** Y1;          // communities x OTUs
  double** Y2;
  double statistics[kStatCount];
  double probabilities[kStatCount];
  // Regression (opt_ro 4): responses are the traits (index k < nch, selected
  // ones filled), then R (index nch), then Rp (index nch + 1).
  double* regrR2;          // nch + 2
  double* regrR2Prob;      // nch + 2
  double** regrCoeff;      // (nch + 2) x nEnv
  double** regrCoeffProb;  // (nch + 2) x nEnv
  double* regrIntercept;   // nch + 2
  // Analysis of variance (opt_ro 5): pseudo-F and probability per factor.
  double* anovaT;
  double* anovaTProb;
  double** anovaTrait;      // nch x nEnv
  double** anovaTraitProb;  // nch x nEnv
  double* anovaX;
  double* anovaXProb;
  double* anovaP;
  double* anovaPProb;
  double* anovaR;
  double* anovaRProb;
  double* anovaRp;
  double* anovaRpProb;
  int rese_opt;
  int opt_ro;
  double overfitFactorPCARegr;
  bool saveRndData;
  bool optWeightedNullModel;
  bool scaleAdjust;
  bool includePhylogeny;
  bool phylIsDissimilarity;
  bool sqrtDissimOpt_RaoTraits;
  bool sqrtDissimOpt_RaoPhyl;
  int optRestrictPermutNullModel;
  int* nestingMembershipOTUs;
  int optTaxaSiteShuffle;  // 't' or 's'
  bool alwaysOne;
  bool twoTailedTestMantel;
  double** T;   // communities x traits (filled: observed, column-normalised)
  double** X;   // communities x types (filled)
  double** P;   // communities x taxa (filled)
  double** R;   // communities x 1 (filled: functional Rao entropy)
  double* Rp;   // communities (filled: phylogenetic Rao entropy)
  int* weight_OTUs;
  bool restrictRaoWithinOpt;
  FILE* rndDataFile;
  // The caller does not read S after the routine: the routine may turn it
  // into the dissimilarities of the entropies (less memory).
  bool overwriteS;
  // How the community structures are formed (automatic: the cheaper way).
  FcorePath corePath;
  // With keepNullValues the routine keeps the value of every statistic in
  // every iteration, the observed one first: nullValues[i * nullStride + k]
  // for iteration i (0 = observed) and statistic k (0 to nullStride - 1:
  // the kStat correlations, then the regression values from nullRegBase,
  // r-square and coefficients of each response, then the pseudo-F values
  // from nullAnovaBase).  nullAbsolute[k] is 1 when statistic k is counted
  // in absolute value (two-tailed).
  bool keepNullValues;
  std::vector<double> nullValues;
  std::vector<int> nullAbsolute;
  int nullStride;
  int nullRegBase;
  int nullAnovaBase;
};

void PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* input);

// Draws from the program-wide generator what the test of the record would
// draw (its permutation lists), evaluating nothing: the generator then
// stands where the test would have left it.  Reads the sizes, iterations and
// null-model settings of the record (and W for the weighted null model).
void PermTestSkipDraws(const PermTest_FunctionalPhyl_Correl_Input* in);

struct Pack;
// The results of a record of PermTestNewRecord(m, p, q, g, h) (statistics,
// probabilities, regression, analysis of variance, observed structures),
// packed for another process and unpacked into a record of the same sizes.
void PermTestPackResults(Pack& pack, PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p,
                         int q, int g, int h);
void PermTestUnpackResults(Pack& pack, PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p,
                           int q, int g, int h);
// A worker's part of a permutation test spread over the processes of an MPI
// launcher: the test's input (the payload), then ranges of permutation
// lists from process 0, each answered with the ranges' statistics.
void PermTestWorker(Pack& payload);

// A record with every result array the routine may fill allocated (zero):
// regression and analysis of variance for p traits and q variables, the
// observed T, X, P, R and Rp of m communities, g types and h taxa.  The
// input fields are left for the caller.  PermTestFreeRecord releases the
// result arrays and the record.
PermTest_FunctionalPhyl_Correl_Input* PermTestNewRecord(int m, int p, int q, int g, int h);
void PermTestFreeRecord(PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p);
// The settings fields of the record from the settings of the dialog: the
// iterations (1 without tests), measure, resemblance, PCA-regression factor,
// null model and its nesting groups, tails, Rao entropy options, OTU weights
// and community selection; no random-data file.  The data fields, the scale
// adjustment and the phylogeny switches are the caller's.
void PermTestSettingsFromGlobals(PermTest_FunctionalPhyl_Correl_Input* rec);
