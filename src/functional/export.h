// Tab-separated companion files of the results, for R (read.delim) and
// Python (csv): UTF-8, a header row, numbers with 17 significant digits, NA
// for a value that is not formed.  They are written next to the results
// files, never instead of them, unless the preference writeTSV is 'n'.
#pragma once

#include <cstdio>
#include <string>

struct ScalingUpReport;

// 'y' (default) or 'n'.
extern int writeTSV;

// A number as the companion files write it: 17 significant digits, Inf and
// -Inf for infinite values, NA for a value that is not a number.
std::string TsvNumber(double x);
// Opens a companion file for writing; null (after a message on the standard
// error stream) when it cannot be created: the results files are what
// counts, so a companion file that cannot be written does not end the run.
FILE* OpenTsv(const std::string& name);
// Closes a companion file; a write error is reported on the standard error
// stream.
void CloseTsv(FILE* fp, const std::string& name);

// The functional analysis: session name + "Results.tsv" (one row per
// statistic), + "CWM.tsv" (T), "Composition.tsv" (X), "PhylComposition.tsv"
// (P), "Diversity.tsv" (per community), "Regression.tsv", "Anova.tsv".
void WriteFunctionalTsv(const ScalingUpReport& r);
