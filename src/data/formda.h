// The formatted data file: one plain-text file per session holding the
// community data set.
#pragma once

// Writes the current layout to fileName from the data-set globals, with the
// given OTU count, title, B (nOTUs x nch) and W (nOTUs x ncsm).
void WriteFormda(int nOTUs, const char* fileName, const char* title, double** B, double** W);
// Reads whichFormda into the data set (current and older layouts) and clears
// dirtyOrig.  The argument is always 1.
int OpenFormda(int option);
