// Sessions whose data come from other sessions: a subset of another session's
// formatted data file, optionally with its communities pooled by groups,
// replaced by the change within pairs, or pooled by a split moving window
// (PickSomeFormda), and the join of two sessions' data (MergeFormda).  Both
// write this session's formatted data file and never touch the sources.
//
// Missing values (-999) in the transformations: an average is taken over the
// members that are not missing (missing when all are); a change with a
// missing member is missing.
#pragma once

// The subsetting dialog.  whichFormda names the source file when it is
// called (tempSession names the source session) and this session's file
// when it returns; the data set written is left in memory.  Returns 1.
int PickSomeFormda();

// Pairs of communities for the change: nUnits = n / 2 units, unit[i] the
// unit (from 1) of community i, labels[u] (5 characters) the unit labels.
void SettingNewReleves(int n, int* nUnits, int* unit, char** labels);

// Y[g][h] (nRowGroups x nColGroups) pools X (nRows x nCols) by row groups
// rowGroup[r] and column groups colGroup[c], numbered from 1.  Mode 2: the
// average of the cells of each block; mode 1: the averages rescaled so that
// the grand total of X is kept.  A block without cells is 0.
void ConcentrateGroups(int nRows, int nCols, double** X, double** Y, int nRowGroups,
                       const int* rowGroup, int nColGroups, const int* colGroup, int mode);

// Y (nRows x nUnits): for each unit the value of its later community minus
// that of its earlier one (X is nRows x nCommunities, unit[i] from 1).
void ReleveChange(int nCommunities, double** X, double** Y, int nRows, int nUnits,
                  const int* unit);

// Moving-window averages of `size` consecutive communities: *count = number
// of communities - size + 1 outputs.  Communities are the columns of X
// (nRows x nCols) when byRows is false, the rows when it is true; Y has the
// outputs in the same place.
void SplitMovingWinPool(int nRows, int nCols, double** X, double** Y, int size, int* count,
                        bool byRows);

// Joins the data set in memory (the first session's, its file's name in
// dataName) and the formatted data file secondFile into this session's
// formatted data file.  A refusal prints its message, leaves the first data
// set in memory as it was and returns 0; success returns 1 with the joined
// data set in memory.
int MergeFormda(const char* secondFile);
