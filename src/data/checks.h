// Consistency checks of the community data set after it has been cut down or
// merged: absent OTUs removed, species merged and trimmed, derived counts
// (ncst, emptyReleves, onsta, chrange) recomputed.
#pragma once

// The whole check.  OTUs absent from every community are removed (their
// rows move to the end and are released, tcst decreases); with countStates
// = 1 the numbers of trait states are recounted.
void CheckData(int countStates);
// Species listed twice under the same name become one species holding the
// OTUs and occurrences of both.
void CheckSpeciesMerge();
// Fills the trait labelled "sp" (if any) so that all OTUs of a species carry
// the position number of the species' first OTU.
void CheckCSTsSameSpecies();
// Drops species without OTUs among the first n or without occurrences, and
// OTU memberships that no community supports.  When no species is left the
// species tables are released and nSpp is 0.
void TrimSpecies(int n);
// chrange of each interval trait (type 3): largest minus smallest
// non-missing value of its column of B.  Other traits are left as they are.
void RangeStates(int nch, int tcst, double** B, const int* chtype, double* chrange);
