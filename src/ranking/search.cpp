// The subset search.
//
// The main thread enumerates the combinations in lexicographic order in
// blocks; the team evaluates a block, each thread a contiguous run of it
// (consecutive combinations share their first traits, so the running sums of
// a thread change only at their tail); then the main thread takes the
// block's results in enumeration order: progress line, intermediate lines,
// per-size best and best-subsets list, exactly as a run on one thread does.
// The team and each thread's work live for the whole search.
#include "ranking/search.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <ctime>
#include <new>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "functional/export.h"
#include "functional/settings.h"
#include "multivariate/random.h"
#include "numeric/stats.h"
#include "ranking/ranking.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/figures.h"

namespace {

// The start of the per-size best in the signed mode: the most negative
// finite double.
constexpr double kSignedStart = -1.7976931348623157e308;

bool Better(CompareMode mode, double v, double b) {
  return mode == kAbsoluteMode ? std::fabs(v) > std::fabs(b) : v > b;
}

struct Slot {
  double value = 0.0;
  int groups = 0;
  int k = 0;  // 0: empty slot
  std::vector<int> traits;
};

// The best-subsets list: nKeepTrack + 1 slots in ascending order of the key,
// slot 0 the weakest.  It is held twice; each re-sort copies from one copy
// into the other in sorted order and swaps the two.
struct BestList {
  std::vector<Slot> a, b;
  std::vector<double> values;
  std::vector<int> order;
  bool absolute = false;
  BestList(int slots, int n, bool absoluteKey) : a(slots), b(slots), values(slots), order(slots) {
    absolute = absoluteKey;
    for (Slot& s : a) s.traits.assign(n, 0);
    for (Slot& s : b) s.traits.assign(n, 0);
  }
  void Offer(CompareMode mode, double v, int groups, int k, const int* traits) {
    if (!Better(mode, v, a[0].value)) return;
    a[0].value = v;
    a[0].groups = groups;
    a[0].k = k;
    std::copy(traits, traits + k, a[0].traits.begin());
    const int slots = static_cast<int>(a.size());
    for (int j = 0; j < slots; j++) values[j] = a[j].value;
    if (absolute)
      RankVectorAbs(slots, values.data(), order.data());
    else
      RankVector(slots, values.data(), order.data());
    for (int j = 0; j < slots; j++) b[j] = a[order[j] - 1];
    a.swap(b);
  }
};

struct SizeBest {
  double value = 0.0;
  int groups = 0;
  bool found = false;
  std::vector<int> traits;
};

// The state of the enumeration and of the reduction, used by the main
// thread only (between the team's barriers).
struct SearchState {
  const SearchPlan* plan = nullptr;
  FILE* fp = nullptr;
  int n = 0;
  long long total = 0;    // combinations over all sizes
  long long counter = 0;  // iterations done
  int k = 0;              // current size
  long long cK = 0, pos = 0;
  std::vector<SizeBest> best;
  BestList* list = nullptr;
  BestList* list2 = nullptr;
  // Working copies of the trait attributes, reordered for each subset.
  std::vector<int> wOnsta, wType;
  std::vector<double> wRange, wWeight;
  // The block: combinations (n entries each, the subset first), skipped flag.
  int capacity = 0;
  double blockStart = -1.0;  // wall clock at the start of the last block
  int count = 0;
  bool endsSize = false;
  bool done = false;
  std::vector<int> combos;
  std::vector<char> skip;
  std::vector<SubsetRecord> records;
};

void PrintSizeLine(SearchState& s, int k) {
  const SearchPlan& plan = *s.plan;
  const SizeBest& b = s.best[k];
  const int w = sDigits + 6;
  switch (plan.sizeLine) {
    case kSizeLinePlain:
      fprintf(s.fp, "Ranking criterion value and optimal subset with %d traits: \t%-*.*g\t", k, w,
              sDigits, b.value);
      break;
    case kSizeLineGroups:
      fprintf(s.fp,
              "Ranking criterion value, groups and optimal subset with %d traits: \t%-*.*g\t%d "
              "groups\t",
              k, w, sDigits, b.value, b.groups);
      break;
    case kSizeLineNiche:
      fprintf(s.fp,
              "Ranking criterion values, groups and optimal subset with %d traits: \t%-*.*g\t%d "
              "groups\t",
              k, w, sDigits, b.value, b.groups);
      break;
  }
  // "none" where no subset beat the starting value (in the absolute mode a
  // best of exactly 0; in the signed mode a size whose every value was not a
  // number or whose every subset was skipped).
  if (!b.found) {
    fprintf(s.fp, "none\n");
  } else {
    PrintSubsetLabels(s.fp, b.traits.data(), k);
    fprintf(s.fp, "\n");
  }
  fflush(s.fp);
}

// Sets up size k (and writes the lines of the sizes that have no
// combination) until a size with combinations or the end.
void StartSize(SearchState& s, int k) {
  for (; k <= nMaxTraitsChRank; k++) {
    s.best[k].value = s.plan->mode == kAbsoluteMode ? 0.0 : kSignedStart;
    s.best[k].groups = 0;
    s.best[k].found = false;
    s.cK = Combinations(s.n, k);
    s.pos = 0;
    s.k = k;
    if (s.cK > 0) return;
    PrintSizeLine(s, k);
  }
  s.k = k;
  s.done = true;
}

// Blocks take a tenth of a second or so: long enough that the team's
// barriers cost little (on a machine busy with other work, threads waiting
// at a barrier take processor time from the others), short enough that the
// progress line moves.  The block size never changes a result.
void SizeBlocks(SearchState& s) {
  const double now = omp_get_wtime();
  if (s.blockStart >= 0.0) {
    const double took = now - s.blockStart;
    if (took < 0.05 && s.count == s.capacity && s.capacity < (1 << 16))
      s.capacity *= 2;
    else if (took > 0.4 && s.capacity > 16)
      s.capacity /= 2;
    const size_t need = static_cast<size_t>(s.capacity);
    if (s.records.size() < need) {
      s.combos.resize(need * std::max(s.n, 1), 0);
      s.skip.resize(need, 0);
      s.records.resize(need);
    }
  }
  s.blockStart = now;
}

void NextBlock(SearchState& s) {
  SizeBlocks(s);
  s.count = 0;
  s.endsSize = false;
  if (s.done) return;
  const int n = s.n, k = s.k;
  while (s.count < s.capacity && s.pos < s.cK) {
    int* combo = &s.combos[static_cast<size_t>(s.count) * n];
    PermuteArray(n, k, combo, s.pos == 0);
    s.pos++;
    for (int t = 0; t < n; t++) {
      s.wOnsta[t] = onsta[t];
      s.wType[t] = chtype[t];
      s.wRange[t] = chrange[t];
      s.wWeight[t] = weight[t];
    }
    ReorderVectors(n, combo, s.wOnsta.data(), s.wType.data(), s.wRange.data(), s.wWeight.data());
    // A subset holding a trait of weight 0 is counted but not evaluated.
    bool skip = false;
    for (int t = 0; t < k; t++)
      if (!(s.wWeight[t] > 0.0)) skip = true;
    s.skip[s.count] = skip;
    s.count++;
  }
  s.endsSize = s.pos >= s.cK;
}

void ReduceBlock(SearchState& s) {
  const SearchPlan& plan = *s.plan;
  const int n = s.n, k = s.k;
  char text[96];
  for (int b = 0; b < s.count; b++) {
    s.counter++;
    if (ProgressDue()) {
      snprintf(text, sizeof text, "Iteration: %lld of %lld, Traits: %d", s.counter, s.total, k);
      HandleEventInfoWhere2(text);
    }
    if (plan.progress) plan.progress(s.counter, s.total, k);
    const SubsetRecord& r = s.records[b];
    if (s.skip[b] || !r.evaluated) continue;
    const int* traits = &s.combos[static_cast<size_t>(b) * n];
    if (printRankIntermedResults == 'y') {
      plan.line(s.fp, r);
      PrintSubsetLabels(s.fp, traits, k);
      if (plan.afterLabels) plan.afterLabels(s.fp, r);
      fprintf(s.fp, "\n");
    }
    SizeBest& best = s.best[k];
    if (Better(plan.mode, r.value, best.value)) {
      best.value = r.value;
      best.groups = r.groups;
      best.found = true;
      std::copy(traits, traits + k, best.traits.begin());
    }
    s.list->Offer(plan.mode, r.value, r.groups, k, traits);
    // With one partition level per subset the second list of criteria 14
    // and 15 (each subset at its best level) receives the same entries.
    if (s.list2 != nullptr) s.list2->Offer(plan.mode, r.value, r.groups, k, traits);
  }
  if (s.endsSize) {
    PrintSizeLine(s, k);
    StartSize(s, k + 1);
  }
}

void PrintList(FILE* fp, const BestList& list, bool groups) {
  for (int j = static_cast<int>(list.a.size()) - 1; j >= 1; j--) {
    const Slot& slot = list.a[j];
    if (slot.k <= 0) continue;
    fprintf(fp, "%-*.*g\t", sDigits + 6, sDigits, slot.value);
    if (groups) fprintf(fp, "%d groups\t", slot.groups);
    PrintSubsetLabels(fp, slot.traits.data(), slot.k);
    fprintf(fp, "\n");
  }
}

// The summary of criteria 14 and 15: the labels of each size's best, their
// numbers of types and their values.  It follows the rest of the printout.
void PrintNicheSummary(FILE* fp, const SearchState& s) {
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++) {
    if (s.best[k].found) PrintSubsetLabels(fp, s.best[k].traits.data(), k);
    fprintf(fp, "\n");
  }
  fprintf(fp, "\n");
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++)
    fprintf(fp, "%-5d\t", s.best[k].groups);
  fprintf(fp, "\n");
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++)
    fprintf(fp, "%-13.*g\t", sDigits, s.best[k].value);
  fprintf(fp, "\n");
}

// The per-size bests and the best-subsets lists as a companion file for R
// and Python: the printout's name with ".tsv" for ".txt", one row per entry.
void WriteRankingTsv(const SearchState& s, const BestList& list, const BestList* list2) {
  if (writeTSV == 'n') return;
  std::string name = whichChorder;
  if (name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) name.resize(name.size() - 4);
  name += ".tsv";
  FILE* fp = OpenTsv(name);
  if (fp == nullptr) return;
  fprintf(fp, "list\trank\ttraits\tvalue\tgroups\tsubset\n");
  auto row = [fp](const char* which, int rank, int k, bool found, double value, int groups,
                  const int* traits) {
    std::string subset = "NA";
    if (found) {
      subset.clear();
      for (int t = 0; t < k; t++) subset += std::string(t > 0 ? "+" : "") + chLabel[traits[t] - 1];
    }
    fprintf(fp, "%s\t%d\t%d\t%s\t%s\t%s\n", which, rank, k,
            found ? TsvNumber(value).c_str() : "NA",
            found && groups > 0 ? std::to_string(groups).c_str() : "NA", subset.c_str());
  };
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++)
    row("best_per_size", k, k, s.best[k].found, s.best[k].value, s.best[k].groups,
        s.best[k].traits.data());
  auto slots = [&](const BestList& l, const char* which) {
    int rank = 0;
    for (int j = static_cast<int>(l.a.size()) - 1; j >= 1; j--) {
      const Slot& slot = l.a[j];
      if (slot.k > 0) row(which, ++rank, slot.k, true, slot.value, slot.groups, slot.traits.data());
    }
  };
  slots(list, "best_subsets");
  if (list2 != nullptr) slots(*list2, "best_subsets_optimal_types");
  CloseTsv(fp, name);

  // The figure beside it: the best value of each size, with its subset.
  if (!FiguresAvailable()) return;
  std::vector<int> sizes;
  std::vector<double> values;
  std::vector<std::string> labels;
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++) {
    if (!s.best[k].found) continue;
    std::string subset;
    for (int t = 0; t < k; t++)
      subset += std::string(t > 0 ? "+" : "") + chLabel[s.best[k].traits[t] - 1];
    sizes.push_back(k);
    values.push_back(s.best[k].value);
    labels.push_back(subset);
  }
  if (sizes.empty()) return;
  const std::string svg = std::string(volumeName) + name.substr(0, name.size() - 4) + ".svg";
  FigureRankingCurve(svg.c_str(), sizes, values, labels,
                     "Best trait subset of each size", std::string("criterion ") +
                     CriterionLabel(opt_struct), "Criterion value of the best subset");
}

// Runs work unless a failure is already recorded; a failure it raises is
// recorded (the first one wins) instead of leaving the team's region.
template <class Work>
void Guarded(std::atomic<int>& failure, Work work) {
  if (failure.load() != 0) return;
  int code = 0;
  try {
    work();
  } catch (const QuiltaFailure& f) {
    code = f.code;
  } catch (const std::bad_alloc&) {
    code = kFailMemory;
  }
  int expected = 0;
  if (code != 0) failure.compare_exchange_strong(expected, code);
}

}  // namespace

long long Combinations(int n, int k) {
  if (n < 0 || k < 0 || k > n) return 0;
  long long total = 1;
  for (int t = 1; t <= k; t++) {
    total = total * (n - k + t) / t;
    if (total > INT_MAX) total = INT_MAX;
  }
  return total;
}

void PrintSubsetLabels(FILE* fp, const int* traits, int k) {
  for (int t = 0; t < k; t++) fprintf(fp, "%-2s\t", chLabel[traits[t] - 1]);
}

void RunSubsetSearch(const RankData& d, const SearchPlan& plan, FILE* fp) {
  const int n = nch;
  nKeepTrack = 100;
  const int threads = plan.sequential ? 1 : std::max(1, omp_get_max_threads());

  SearchState s;
  s.plan = &plan;
  s.fp = fp;
  s.n = n;
  for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++)
    s.total += Combinations(n, k);
  s.best.resize(n + 1);
  for (SizeBest& b : s.best) b.traits.assign(n, 0);
  BestList list(nKeepTrack + 1, n, plan.listAbsolute);
  BestList list2(plan.nicheLists ? nKeepTrack + 1 : 1, n, true);
  s.list = &list;
  s.list2 = plan.nicheLists ? &list2 : nullptr;
  s.wOnsta.assign(n, 0);
  s.wType.assign(n, 0);
  s.wRange.assign(n, 0.0);
  s.wWeight.assign(n, 0.0);
  // Blocks long enough that the barriers cost little, short enough that the
  // progress line moves.
  s.capacity = plan.sequential ? 16 : 128 * threads;
  s.combos.assign(static_cast<size_t>(s.capacity) * std::max(n, 1), 0);
  s.skip.assign(s.capacity, 0);
  s.records.assign(s.capacity, SubsetRecord());
  StartSize(s, std::max(1, nMinTraitsChRank));

  std::atomic<int> failure{0};
#pragma omp parallel num_threads(threads)
  {
    RankWork work;
    std::vector<int> traits(static_cast<size_t>(kSubsetBatch) * std::max(n, 1));
    Guarded(failure, [&] { InitRankWork(d, work); });
    for (;;) {
#pragma omp master
      Guarded(failure, [&] { NextBlock(s); });
#pragma omp barrier
      if (failure.load() != 0 || s.count == 0) break;
      // Groups of consecutive subsets; each thread takes a contiguous run
      // of groups.
      const int groups = (s.count + kSubsetBatch - 1) / kSubsetBatch;
      // Runs of a quarter of a thread's share at a time: a thread slowed down
      // by other work on the machine takes fewer of them (the results are
      // taken in enumeration order anyway).
      const int chunk = std::max(1, std::min(4, groups / (4 * threads)));
#pragma omp for schedule(dynamic, chunk)
      for (int gi = 0; gi < groups; gi++) {
        const int* list[kSubsetBatch];
        SubsetRecord* recs[kSubsetBatch];
        int nb = 0;
        for (int b = gi * kSubsetBatch; b < std::min(s.count, (gi + 1) * kSubsetBatch); b++) {
          s.records[b] = SubsetRecord();
          if (s.skip[b]) continue;
          const int* combo = &s.combos[static_cast<size_t>(b) * n];
          int* t0 = &traits[static_cast<size_t>(nb) * n];
          for (int t = 0; t < s.k; t++) t0[t] = combo[t] - 1;
          list[nb] = t0;
          recs[nb] = &s.records[b];
          nb++;
        }
        if (nb == 0) continue;
        Guarded(failure, [&] {
          if (plan.evaluateBatch)
            plan.evaluateBatch(work, list, s.k, nb, recs);
          else
            for (int j = 0; j < nb; j++) plan.evaluate(work, list[j], s.k, *recs[j]);
        });
      }
#pragma omp master
      Guarded(failure, [&] { ReduceBlock(s); });
    }
  }
  if (failure.load() != 0) RaiseFailure(failure.load());

  fprintf(fp, "%s", plan.listHeading.c_str());
  PrintList(fp, list, plan.nicheLists);
  if (plan.nicheLists) {
    fprintf(fp, "%s", plan.secondListHeading.c_str());
    PrintList(fp, list2, true);
  } else {
    fprintf(fp, "\n\nTrait subsets with maximum rank for each number of traits:\n%-*s\tSubset of traits\n",
            sDigits + 6, "TRC");
    for (int k = std::max(1, nMinTraitsChRank); k <= nMaxTraitsChRank; k++) {
      fprintf(fp, "%-13.*g\t", sDigits, s.best[k].value);
      if (s.best[k].found) {
        PrintSubsetLabels(fp, s.best[k].traits.data(), k);
        fprintf(fp, "\n");
      } else {
        fprintf(fp, "none\n");
      }
    }
  }
  fprintf(fp, "\nElapsed time: %g seconds\n", difftime(time(nullptr), time0));
  if (plan.nicheLists) PrintNicheSummary(fp, s);
  WriteRankingTsv(s, list, plan.nicheLists ? &list2 : nullptr);
}

void StartRankRun(RankRun& run, const RankNeeds& needs, const char* structuresName) {
  time0 = time(nullptr);
  PrepareRankData(run.d, needs);
  OpenRankFiles(run.files, structuresName);
  run.fp = run.files.fp;
  run.stru = run.files.stru;
  PrintRankHeader(run.fp);
  if (run.stru != nullptr) InitStructScratch(run.d, run.scratch);
}

void FinishRankRun(RankRun& run, const SearchPlan& plan) {
  RunSubsetSearch(run.d, plan, run.fp);
  CloseRankFiles(run.files);
  run.fp = run.stru = nullptr;
}
