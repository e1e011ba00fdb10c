// Trait-subset ranking (analysis-menu option K): which subset of the traits
// best explains how communities are assembled.  Every combination of traits
// within a range of sizes is evaluated by a trait ranking criterion (TRC);
// the best subset of each size and the 100 best subsets overall are written
// to the ranking printout, session name + the criterion's suffix.
#pragma once

// ---- settings of one ranking run (not kept in the track file) ----
extern int rankingAlgorithm;          // always 2 (all trait combinations)
extern int printRankIntermedResults;  // 'y': every evaluated subset is printed
extern int nKeepTrack;                // 100, best subsets listed
extern char whichChorder[64];         // name of the ranking printout

// Labels printed in the printout header.  opt_structInfo holds 22 slots: the
// criteria 1 to 21 in order and an empty last one.
extern const char* const rankingAlgorithmInfo[];
extern const char* const opt_structInfo[];
// The criterion label printed for criterion c (1 to 24); never reads beyond
// opt_structInfo.
const char* CriterionLabel(int c);

// The whole ranking: dialog, search, printout, final message.
void IFChOrderSearch();
// The ranking dialog: criterion, functional settings in ranking mode, sizes,
// intermediate results.
void SettingsChRank();

// True when one of the first n trait types is 2 (nominal).
bool HasQualitTrait(int n, const int* types);
// order holds n trait numbers from 1; each vector becomes new[i] =
// old[order[i] - 1].
void ReorderVectors(int n, const int* order, int* a, int* b, double* c, double* d);

// The criterion routines: each prepares its data, runs the subset search and
// writes the printout whichChorder.
void ChRankTDAP_TCAP();                     // 1: r(XE)
void ChRankTDAP();                          // 9: r(XE.T)
void ChRankTCAP();                          // 10: r(TE)
void ChRankPhylogenyAssembly();             // 11 to 13: r(PX), r(PX.T), r(PT)
void ChRank_Phylogeny_x_Trait_Assembly();   // 14, 15: niche conservation
void ChRankAlphaBetaDivergence(int mode);   // 16 to 24 (modes 1 to 9)

struct Pack;
// A worker's part of a ranking spread over the processes of an MPI
// launcher: the session's data set and settings (the payload), the same
// criterion routine with its files going nowhere, and ranges of subsets
// from process 0, each answered with the records process 0 needs.
void RankingWorker(Pack& payload);
