// The results file of the functional analysis (session name + "Prinda.txt").
#pragma once

#include <cstdio>

struct PermTest_FunctionalPhyl_Correl_Input;

// What the analysis hands to the printout: sizes, switches and the working
// matrices of one run.  Matrices are row-pointer matrices; the ones a run
// does not make (phylogeny, environment) may be null when their switch is off.
struct ScalingUpReport {
  int nComm;       // communities
  int nOTUs;       // OTUs
  int nTraits;     // traits of B (T and B have this many columns)
  int nSelTraits;  // traits with weight > 0
  int nEnvSel;     // environmental variables selected
  int nTypes;      // types of OTUs
  int nTaxa;       // taxa of the phylogenetic partition
  int nPhylAxes;   // principal coordinates of F kept
  bool detailed;   // detailed printout
  bool tested;     // permutation tests were run
  bool hasEnv;     // at least one environmental variable is used
  bool phylogeny;  // phylogeny included
  double** W;      // communities x OTUs, as stored
  double** Wtdap;  // communities x OTUs, TDAP copy
  double** Y1;     // communities x OTUs, Beals smoothing
  double** DY1;    // communities x communities
  double** F;      // OTUs x OTUs
  double** phylScores;  // OTUs x axes
  double** Q;      // OTUs x taxa
  double** P;      // communities x taxa
  double** DP;     // communities x communities
  double** B;      // OTUs x traits
  double** E;      // communities x selected variables
  double** DE;     // communities x communities
  double** T;      // communities x traits, as computed
  double** Tnorm;  // communities x traits, columns of unit length
  double** DT;     // communities x communities
  double** S;      // OTUs x OTUs
  double** U;      // OTUs x types
  double** C;      // OTUs x types
  double** avgTraits;    // types x traits
  double** crispPooled;  // communities x types
  double** X;            // communities x types
  const int* traitSelect;  // per trait, 1 = weight > 0
  const int* typeLabels;   // nTypes labels, ascending
  const int* typeSizes;    // OTUs of each type
  const double* D;         // Gini-Simpson index per community
  const double* Rf;        // functional Rao entropy per community
  const double* Rp;        // phylogenetic Rao entropy per community
  // Statistics, probabilities and the regression and analysis-of-variance
  // results of the run.
  const PermTest_FunctionalPhyl_Correl_Input* test;
};

// Opening sections: banner (new file only), session, traits and settings,
// communities.  Reads only the settings and the data set.
void PrintScalingUpHeader(FILE* fp);
// Every later section, in file order, ending with the final newline.
void PrintScalingUpResults(FILE* fp, const ScalingUpReport& r);
// Label written for a congruence measure (1 to 5); never past the tables.
const char* CongruenceLabel(int measure);
