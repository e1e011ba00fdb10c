// The "DATA FOR SESSION" dialog and the raw data import.
#pragma once

#include <cstdio>

// Name of the session whose formatted data file is taken over (at most 61
// characters).
extern char tempSession[62];

// Returns 1 when the user leaves with "return to main menu", 0 when the
// session has data.
int SetFormda();
// The import dialog; writes the formatted data file named whichFormda.
void IFFormat();
// Asks for a raw file name until the file opens; name holds 52 characters.
FILE* ReadDataFileName(char* name);
// Number of distinct values of each trait column of B, ignoring -999.
void CountStates(int nch, int tcst, int* onsta, double** B);
// Species tables of the import: every OTU its own species, identical names
// merged; option 2 puts a 4-character code before each name.  Needs spp
// (tcst names), cstSppMap (tcst x tcst) and, when allocated, sppRelMap.
void CheckSpecies(int option);
// sppRelMap from cstSppMap and W: '1' where an OTU of the species has a
// nonzero performance.
void SpeciesReleveMap();
