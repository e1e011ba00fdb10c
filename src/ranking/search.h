// The subset search shared by every ranking criterion: enumeration of the
// trait combinations, their evaluation on a team of threads, the per-size
// bests, the best-subsets list and the result lines of the printout.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "ranking/rankprint.h"
#include "ranking/structures.h"
#include "ranking/subsetdata.h"

// How a candidate value v is compared with a kept value b: signed (v > b)
// or absolute (|v| > |b|); strict in both, so the subset met first wins ties.
enum CompareMode { kSignedMode, kAbsoluteMode };

// The per-size line of the printout.
enum SizeLineStyle {
  kSizeLinePlain,       // "Ranking criterion value and optimal subset ..."
  kSizeLineGroups,      // "Ranking criterion value, groups and optimal subset ..."
  kSizeLineNiche        // "Ranking criterion values, groups and optimal subset ..."
};

constexpr int kMaxSubsetStats = 16;

// What the evaluation of one subset gives back.  A subset that is not
// evaluated (no partition level) is neither printed nor compared.
struct SubsetRecord {
  bool evaluated = false;
  double value = 0.0;
  int groups = 0;
  double stats[kMaxSubsetStats] = {};
};

struct SearchPlan {
  CompareMode mode = kSignedMode;
  bool listAbsolute = false;  // list sorted by absolute value (RankVectorAbs)
  SizeLineStyle sizeLine = kSizeLinePlain;
  // Criteria 14 and 15: two lists written with the number of types, and the
  // summary block instead of the list of maximum rank per number of traits.
  bool nicheLists = false;
  std::string listHeading;
  std::string secondListHeading;
  // The structures file is written while subsets are evaluated: the search
  // then runs on the calling thread alone.
  bool sequential = false;
  // Evaluates one subset (trait indices from 0, ascending) on the thread's
  // own work.  Runs on several threads at once: it must write only to w, r
  // and (with sequential) the structures file.
  std::function<void(RankWork& w, const int* traits, int k, SubsetRecord& r)> evaluate;
  // Optional: evaluates up to kSubsetBatch consecutive subsets of one size
  // at once (their records in the same order).
  std::function<void(RankWork& w, const int* const* traits, int k, int count, SubsetRecord** r)>
      evaluateBatch;
  // The intermediate-results line of an evaluated subset, before its labels;
  // afterLabels (optional) writes what follows the labels.  Main thread.
  std::function<void(FILE* fp, const SubsetRecord& r)> line;
  std::function<void(FILE* fp, const SubsetRecord& r)> afterLabels;
  // Optional: told of every iteration (its number, the total, the size) as
  // the progress line is (which shows it at most every so often).
  std::function<void(long long i, long long total, int k)> progress;
};

// C(n, k) counted exactly, capped at the largest int (the count the
// enumerator delivers).
long long Combinations(int n, int k);
// The combination array (n entries: the k trait numbers from 1 ascending,
// then the others ascending) of the subset at the 0-based index `index` of
// the lexicographic enumeration of the k-subsets of n traits: where a range
// of the enumeration handed to another process starts.
void SubsetAt(int n, int k, long long index, int* combo);

// Under an MPI launcher.  On process 0, rankSearchSpread says that the
// workers run the same criterion routine (the ranking job is open): the next
// search hands ranges of subsets out to them and ends the job.  On a worker,
// rankSearchWorker makes the search take its subsets from process 0 and
// send back their records, and the ranking's files go nowhere.
extern bool rankSearchSpread;
extern bool rankSearchWorker;

// Runs the search over the sizes nMinTraitsChRank to nMaxTraitsChRank of the
// nch traits and writes the per-size lines, the lists, the elapsed time (and
// for criteria 14 and 15 the summary block) to fp.
void RunSubsetSearch(const RankData& d, const SearchPlan& plan, FILE* fp);

// The labels of the subset's traits (numbers from 1), "%-2s\t" each.
void PrintSubsetLabels(FILE* fp, const int* traits, int k);

// What a criterion routine holds during its run.
struct RankRun {
  RankData d;
  RankFiles files;
  StructScratch scratch;
  FILE* fp = nullptr;    // the printout
  FILE* stru = nullptr;  // the structures file, when kept
};
// Reads the start time, prepares the data, opens the printout and, when the
// preference saveStruct is 'y', the structures file (the session's, or the
// file named structuresName), and writes the common header lines.
void StartRankRun(RankRun& run, const RankNeeds& needs, const char* structuresName = nullptr);
// Runs the search and closes the files.
void FinishRankRun(RankRun& run, const SearchPlan& plan);
