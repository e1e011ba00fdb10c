// The "DATA FOR SESSION" dialog and the raw data import.
#pragma once

#include <cstdio>

// Returns 1 when the user leaves with "return to main menu", 0 when the
// session has data.
int SetFormda();
// The import dialog; writes the formatted data file named whichFormda.
void IFFormat();
// Asks for a raw file name until the file opens; name holds 52 characters.
FILE* ReadDataFileName(char* name);
// Number of distinct values of each trait column of B, ignoring -999.
void CountStates(int nch, int tcst, int* onsta, double** B);
void CheckSpecies(int option);
void SpeciesReleveMap();
