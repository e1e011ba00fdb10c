// The community data set and the settings of the analysis under way, packed
// for the other processes of a run under an MPI launcher: a worker that
// unpacks them holds the same program-wide state as process 0 at the moment
// it packed them (species names aside, which no computation reads), so that
// it runs the same routines to the same digits.
#pragma once

struct Pack;

void PackSessionState(Pack& p);
// Releases the worker's data set and takes the one packed.
void UnpackSessionState(Pack& p);
