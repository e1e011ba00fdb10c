// The intermediate matrices of each evaluated subset, written to the
// structures file when the preference saveStruct is 'y'.  The search then
// runs on the main thread alone, which writes these blocks as it evaluates.
#pragma once

#include <cstdio>

#include "ranking/subsetdata.h"

// Matrices the structures blocks fill before printing.
struct StructScratch {
  MatrixPool pool;
  double** T = nullptr;    // communities x traits
  double** D1 = nullptr;   // communities x communities
  double** D2 = nullptr;
  double** Res = nullptr;
  double** avg = nullptr;  // types x traits: average trait of each type
};
void InitStructScratch(const RankData& d, StructScratch& s);

// Before the search: DE under its heading (m, q) and B under its heading
// (n, p).
void StructPreamble(FILE* fp, const RankData& d, const char* envHeading,
                    const char* traitHeading);
// "Traits:" with the labels, T (averages) and T normalised, DT under dtHeading.
void StructTraitMeans(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                      const int* traits, int k, const char* dtHeading);
// S under its heading (n, k), "Traits:" with the labels.
void StructSimilarity(FILE* fp, const RankData& d, const RankWork& w, const int* traits, int k,
                      const char* heading);
// The T matrices with DT, then S, as the divergence criteria write them.
void StructSubset(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                  const int* traits, int k);
// The per-level matrices of the TDAP criteria: partition, U, C, type sizes,
// average traits, X and, for the matrix correlation, DX; with dr non-null
// also DR after X.
void StructLevel(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                 const double* dr);
// "Group sizes:" and the size of each type, then a newline.
void StructGroupSizes(FILE* fp, const RankData& d);
// The residuals of B regressed on A (both as pairs), made symmetric, as a
// full matrix under heading.
void StructResiduals(FILE* fp, const RankData& d, StructScratch& s, const double* a,
                     const double* b, const char* heading);
