// The parts of the ranking printout and of the structures file that the
// criteria share.
#pragma once

#include <cstdio>
#include <string>

// table[index], or "" when index is outside the table's size entries: a
// setting read from a track file never reads beyond a label table.
const char* TableLabel(const char* const* table, int size, int index);

// The printout and, when the preference saveStruct is 'y', the structures
// file; both closed when the object goes (also when a failure abandons the
// run).
struct RankFiles {
  FILE* fp = nullptr;
  FILE* stru = nullptr;
  RankFiles() = default;
  RankFiles(const RankFiles&) = delete;
  RankFiles& operator=(const RankFiles&) = delete;
  ~RankFiles();
};
// Opens the printout whichChorder ("w") and the structures file (the
// session's, or the file named structuresName); a file that cannot be opened
// ends the session with failure code 4.
void OpenRankFiles(RankFiles& files, const char* structuresName);
// Closes both; a write that failed ends the session with failure code 3.
void CloseRankFiles(RankFiles& files);

// Banner, ruler, title, time stamp, session and data file.
void PrintRankHeader(FILE* fp);
// "Traits that were considered:" with the traits of positive weight, or
// "All traits were considered.".
void PrintTraitsConsidered(FILE* fp);
// "Pooling of OTUs" and, for polythetic pooling, the user's partition or the
// clustering method.
void PrintPoolingLines(FILE* fp, bool partitionListed);
// The pooling lines, then for polythetic pooling the resemblance between
// OTUs and, for the Gower index, "Gower <gower> modified to count matching
// absences in binary traits?".
void PrintPoolingAndOTULines(FILE* fp, bool partitionListed, const char* gower);
// "Trait-based approach" and the two unit-total lines.
void PrintApproachLines(FILE* fp);
// The column header of the intermediate results.
void PrintIntermediateColumns(FILE* fp, const char* what);
// "Resemblance option between communities" (Mantel) or the PCA-regression
// factor line (Procrustes, RV).
void PrintReseOrFactorLine(FILE* fp);

// The labels of the traits given by index from 0, each with format fmt.
void PrintLabels0(FILE* fp, const int* traits, int k, const char* fmt);

// printf into a string.
std::string Formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
