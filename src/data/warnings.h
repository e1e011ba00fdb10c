// Warnings: things the program computes as asked but that a reader of the
// results should know (trait types that contradict the data, degenerate
// settings).  They never stop anything.
//
// Each text goes once on the error stream, however often it is raised, and
// is kept for the warnings file of the session.  Warnings about the data set
// are kept until the next data set is loaded; warnings about an analysis
// until the next analysis starts.
#pragma once

#include <string>
#include <vector>

// Raises a warning (one line, no newline needed).
void Warn(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Raises a warning about the analysis that is running.
void WarnAnalysis(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Forgets the warnings about the data set (a new data set is loaded).
void ClearDataWarnings();
// Forgets the warnings about the analysis (a new analysis starts).
void ClearAnalysisWarnings();
// The warnings kept: the data set's, then the analysis'.
std::vector<std::string> KeptWarnings();
// Writes the kept warnings, one a line, to volumeName + fileName, rewritten
// whole; removes the file when there are none.
void WriteWarningsFileNamed(const char* fileName);
// The same for <session>Warnings.txt, next to the results files.
void WriteWarningsFile(const char* session);

// The checks of the data set in memory (B, W, E), raised as data warnings;
// imported is true for the raw data of an import, false for a formatted data
// file loaded.
void WarnAboutDataSet(bool imported);
