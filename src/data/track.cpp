#include "data/track.h"

const char versionTrack[] = "07Jul17";

char whichEnvRese[64] = "NULL", whichEnvScores[64] = "NULL", whichEnvRank[64] = "NULL",
     whichHier[64] = "NULL", whichCstRese[64] = "NULL", whichNRese[64] = "NULL",
     whichPRese[64] = "NULL", whichRo[64] = "NULL", whichProbRo[64] = "NULL",
     whichScores[64] = "NULL", whichProbN[64] = "NULL", whichReClus[64] = "NULL",
     whichCstClus[64] = "NULL", whichAOCScor[64] = "NULL", whichComplexity[64] = "NULL",
     whichVelocity[64] = "NULL", whichRoVelComplex[64] = "NULL";
char whichPrinda[64] = "NULL";
char whichEnvPrinda[64] = "NULL";
char whichRndData[64] = "NULL";

int isHierarchical = 0, traitBasedOpt = 0, hasEnvRese = 0, hasEnvScores = 0, hasEnvRank = 0,
    hasHier = 0, hasCstRese = 0, hasNRese = 0, hasPRese = 0, hasRo = 0, hasProbRo = 0,
    hasScores = 0, hasProbN = 0, hasReClus = 0, hasCstClus = 0, hasAOCScor = 0,
    hasVegOrdiCorrel = 0, hasEnvOrdiCorrel = 0, hasComplexity = 0, hasVelocity = 0,
    hasRoVelComplex = 0, hasRoVelComplexPROB = 0, optEnvStruct = 0, rese_opt = 0, part = 0;
int reseCstOpt[1] = {0};
int fuzzy = 0;
double fuzziness = 0.0;
int reseTypeOrd = 0, reseTypeClus = 0, reseTypeEv = 0, reseTypeRnd = 0, reseTypeERank = 0,
    cohe = 0, groupDissMeth = 0, empir_opt = 0, keepRichness = 0;
int whichPartAOC = 0, whichPartCstAOC = 0;
int doDistrib = 0, adjacentRelOpt = 0, whichLevelCst = 0, poolCSTopt = 0, clusMethPoolCSTs = 0;
