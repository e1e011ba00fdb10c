// The session track file and the program-wide state it saves: the names of
// the session's result files, the flags saying which results exist, and the
// analysis settings kept between runs.  Names are 64-character buffers
// holding "NULL" when no such file exists.
#pragma once

extern const char versionTrack[];  // "07Jul17"

// ---- result-file names ----
extern char whichEnvRese[64], whichEnvScores[64], whichEnvRank[64], whichHier[64],
    whichCstRese[64], whichNRese[64], whichPRese[64], whichRo[64], whichProbRo[64],
    whichScores[64], whichProbN[64], whichReClus[64], whichCstClus[64], whichAOCScor[64],
    whichComplexity[64], whichVelocity[64], whichRoVelComplex[64];
extern char whichPrinda[64];     // results of the functional analysis
extern char whichEnvPrinda[64];  // environmental printout
extern char whichRndData[64];    // intermediate permutation results

// ---- result flags and settings saved in the track file ----
extern int isHierarchical, traitBasedOpt, hasEnvRese, hasEnvScores, hasEnvRank, hasHier,
    hasCstRese, hasNRese, hasPRese, hasRo, hasProbRo, hasScores, hasProbN, hasReClus,
    hasCstClus, hasAOCScor, hasVegOrdiCorrel, hasEnvOrdiCorrel, hasComplexity, hasVelocity,
    hasRoVelComplex, hasRoVelComplexPROB, optEnvStruct, rese_opt, part;
extern int reseCstOpt[1];  // resemblance between OTUs of the hierarchy (first entry)
extern int fuzzy;          // 0 crisp, 3 fuzzy belonging of OTUs to types
extern double fuzziness;
extern int reseTypeOrd, reseTypeClus, reseTypeEv, reseTypeRnd, reseTypeERank, cohe,
    groupDissMeth, empir_opt, keepRichness;
extern int whichPartAOC, whichPartCstAOC;
extern int doDistrib, adjacentRelOpt, whichLevelCst, poolCSTopt, clusMethPoolCSTs;

// Writes the track file whichTrack: the data file name and version tag, and
// with full != 0 every saved setting, flag and partition.
void WriteTrack(int full);
// Reads whichTrack back (after OpenFormda); returns 1.
int ReadTrack();

// Before a new session overwrites the track file of a session of the same
// name: a track file that is not empty is copied to session + "Trk.bak" and
// the console says so.  False when the copy could not be written.
bool BackUpTrack(const char* track, const char* session);
