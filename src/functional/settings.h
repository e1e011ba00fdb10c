// Settings of the functional analysis asked by SettingsHierarchy, and the
// option label tables printed with them.  Settings that the track file keeps
// are declared in data/track.h.
#pragma once

#include <cstdio>
#include <ctime>

extern int OTUsTypesAreSpecies;
extern int reseCSTopt;            // resemblance between OTUs: 1 Gower, 2 Euclidean
extern int optRndTests;           // permutation tests of the final statistics
extern int niter;                 // permutation iterations (observed one included)
extern int optWeightedNullModel;  // always 0
extern int optTaxaSiteShuffle;    // 't' taxa shuffle, 's' site shuffle
extern int optRestrictPermutNullModel;  // 1 = permutations within nesting groups
extern int* nestingMembershipOTUs;      // nesting group of each OTU
extern int seedOpt;                     // 1 clock, 2 given by the user
extern unsigned long rseed;             // seed of the random number generator
extern int opt_ro;   // 1 Mantel, 2 Procrustes, 3 RV, 4 regression, 5 analysis of variance
extern int whichObj;  // 'r' while the resemblance between communities is set
extern int restrictRaoWithinOpt;
extern int keepAdditivity;
extern int optUnitTotalAdjust1;  // W to unit totals before T (TCAP)
extern int optUnitTotalAdjust2;  // W to unit totals before X, P and diversity (TDAP)
extern int includePhylogeny;
extern int* partition_OTUs_Phyl;
extern int nTaxa;
extern int fuzzyPhyl;
extern int optCoVariable;
extern int printDetail;
extern char prindaMode[3];  // "w" or "a"
extern int printNRese, printReseFree, printPRese;
extern int opt_struct;
extern int nMinTraitsChRank, nMaxTraitsChRank, nMinCSTGroupsChRank, nMaxCSTGroupsChRank;
extern time_t time0;

extern const char* const traitBasedOptInfo[];
extern const char* const poolCSToptInfo[];
extern const char* const reseCSToptInfo[];
extern const char* const YesNotInfo[];
extern const char* const fuzzyInfo[];
extern const char* const opt_roInfo[];
extern const char* const rese_optInfo[];

// The settings dialog of the functional analysis (and of the ranking and the
// assembly simulation, told apart by optmain).
void SettingsHierarchy();
void SettingsRese();
void SettingReseFunction(int* option);
void GetPrindaMode(const char* fileName);

// The membership files named in the dialog, one value per OTU into groups
// (n values): group memberships as integers ("%d"), nesting groups as
// numbers truncated to int.  Unreadable text is passed over; reading stops at
// the end of the file, leaving the later OTUs as they were.  fp is closed.
void ReadGroupMembershipFile(FILE* fp, const char* name, int n, int* groups);
void ReadNestingFile(FILE* fp, const char* name, int n, int* groups);
