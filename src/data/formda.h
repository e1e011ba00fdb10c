// The formatted data file: one plain-text file per session holding the
// community data set.
#pragma once

#include <string>

struct DataReader;

// Writes the current layout to fileName from the data-set globals, with the
// given OTU count, title, B (nOTUs x nch) and W (nOTUs x ncsm).
void WriteFormda(int nOTUs, const char* fileName, const char* title, double** B, double** W);
// Reads whichFormda into the data set (current and older layouts) and clears
// dirtyOrig.  The argument is always 1.
int OpenFormda(int option);

// Pieces of the reader, shared with the merge of two sessions' files.  Each
// reads into the arrays it is given (allocated by the caller to the counts
// given), not into the data set.
//
// B (nOTUs x nTraits) and W (nOTUs x nCommunities) after the data tag, in the
// layout the tag selects; true for the current layout (trait groups follow).
bool ReadFormdaMatrices(DataReader& r, const std::string& tag, int nOTUs, int nTraits,
                        int nCommunities, double** B, double** W);
// The environmental block after a positive number of variables: kind and
// types (defaults 2 and 3 without the version tag), labels, the raw file's
// name (320 characters) and E (nCommunities x nVars).  True when the file
// had the type items.
bool ReadFormdaEnvironment(DataReader& r, int nVars, int nCommunities, double** E,
                           char** labels, int* types, int* kind, char* name);
// The species block after a positive number of species: the raw file's name
// (64 characters), the names, the species-by-community map and the
// OTU-by-species map.
void ReadFormdaSpecies(DataReader& r, int nSpecies, int nCommunities, int nOTUs, char* file,
                       char** names, char** relMap, char** otuMap);
