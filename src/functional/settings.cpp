#include "functional/settings.h"

int OTUsTypesAreSpecies = 0;
int reseCSTopt = 1;
int optRndTests = 0;
int niter = 0;
int optWeightedNullModel = 0;
int optTaxaSiteShuffle = 't';
int optRestrictPermutNullModel = 0;
int* nestingMembershipOTUs = nullptr;
int seedOpt = 1;
unsigned long rseed = 0;
int opt_ro = 1;
int whichObj = 'r';
int restrictRaoWithinOpt = 0;
int keepAdditivity = 1;
int optUnitTotalAdjust1 = 1;
int optUnitTotalAdjust2 = 0;
int includePhylogeny = 0;
int* partition_OTUs_Phyl = nullptr;
int nTaxa = 0;
int fuzzyPhyl = 0;
int optCoVariable = 0;
int printDetail = 0;
char prindaMode[3] = "w";
int printNRese = 'n', printReseFree = 'n', printPRese = 'n';
int opt_struct = 0;
int nMinTraitsChRank = 0, nMaxTraitsChRank = 0, nMinCSTGroupsChRank = 0,
    nMaxCSTGroupsChRank = 0;
time_t time0 = 0;

const char* const traitBasedOptInfo[] = {"1 (composition of types)",
                                         "2 (trait averages at community level)"};
const char* const poolCSToptInfo[] = {"1 (monothetic)", "2 (polythetic)"};
const char* const reseCSToptInfo[] = {"1 (Gower index)", "2 (Euclidean distance)"};
const char* const YesNotInfo[] = {"not", "yes"};
const char* const fuzzyInfo[] = {"none (crisp)", "fuzzy global", "fuzzy pairwise",
                                 "fuzzy (fuzzy belonging of OTUs to types)"};
const char* const opt_roInfo[] = {"matrix correlation (Mantel)", "Procrustes (traceW)",
                                  "RV coefficient (Escoufier 1973)"};
const char* const rese_optInfo[] = {"1 (information divergence within rows)",
                                    "2 (information divergence mutual)",
                                    "3 (cross product uncentered data)",
                                    "4 (cross product centered data)",
                                    "5 (correlation coefficient)",
                                    "6 (Euclidean distance)",
                                    "7 (relative Euclidean distance)",
                                    "8 (absolute value function)",
                                    "9 (relative absolute value function)",
                                    "10 (chord distance)"};
