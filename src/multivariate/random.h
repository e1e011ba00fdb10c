// Randomization primitives and the program-wide random number generator.
#pragma once

#include <gsl/gsl_rng.h>

#include <vector>

// The program-wide MT19937 generator; every random draw uses it.
extern gsl_rng* r;

// Creates (or re-creates) r, seeds it and the C library generator.
void InitRndNumberGenerator(unsigned long seed);
// The generator's state as bytes, and the generator set to such a state
// (another process of the same program goes on drawing where this one
// stood).
std::vector<char> GeneratorState();
void SetGeneratorState(const std::vector<char>& state);
void RndList(int n, int* list);
void RndListSpecified(int n, int* list);
void RndListSelect(int n, int* list, const bool* select);
// option 1 within groups, 2 whole groups (equal sizes only), 3 both.
void RndListNestedNew(int n, const int* groups, int option, int* list);
// Next k-subset of 1..n in lexicographic order (init starts over); out holds
// n values: the subset, then the remaining items.  Returns the number of
// subsets delivered so far.
int PermuteArray(int n, int k, int* out, bool init);
// n random rows of p variables with correlation structure R (p x p).  Returns
// 1, or 0 when R is not positive definite (nothing generated).
int CorrToData_New(int n, int p, double** R, double** out, int distribution);
int CorrToData_BothRowsColumns(int n, int p, double** Rcols, double** Rrows, double** out,
                               int distribution);
