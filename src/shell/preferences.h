// Program-wide preferences: the file "QUILTA.prf" and the PREFERENCES dialog.
// sDigits and maxColsPrint live with the printers (QELib/qelibDim.h),
// overfitFactorPCARegr with the regression (numeric/regression.h).
#pragma once

extern const char QUILTAPrefsName[];  // "QUILTA.prf"
extern const char versionPref[];      // "18Nov2016"

extern float biplotCorrThreshold;
extern int isHierarchicalPref;
extern float scatterHSize, scatterVSize, profileHSize, profileVSize, treeHSize, treeVSize;
extern int scatterPointSize, profilePointSize, profileType;
extern int drawProfPtsOpt;  // 'y' / 'n'
extern int saveStruct;      // 'y' = keep a structures file
extern int saveRndData;     // 'y' = keep randomized data sets
extern int showMemory;      // 'y' / 'n'
extern int countDoubleAbsence;       // 1 = matching absences of binary traits count
extern int sqrtDissimOpt_RaoTraits;  // Rao entropy on square-rooted trait dissimilarities
extern int sqrtDissimOpt_RaoPhyl;    // same for phylogenetic dissimilarities
extern int maxComponents;            // ordination axes kept
extern int BealsIncludeOpt;          // 1 = target OTU counts in its own estimate
extern int twoTailedTestMantel;      // 1 = two-tailed probabilities for correlations
extern int nProcessors;              // worker threads; 0 = all processors
extern int rndTestOpt;

// Reads the preferences file when it exists and carries the current tag.
void ReadPreferences();
// Writes every preference to the file (mode "w").
void WritePreferences();
// The PREFERENCES dialog; writes the file when left with C.
void SetPreferences();
