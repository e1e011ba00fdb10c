// The subset search.
//
// The main thread enumerates the combinations in lexicographic order in
// blocks; the team evaluates a block, each thread a contiguous run of it
// (consecutive combinations share their first traits, so the running sums of
// a thread change only at their tail); then the main thread takes the
// block's results in enumeration order: progress line, intermediate lines,
// per-size best and best-subsets list, exactly as a run on one thread does.
// The team and each thread's work live for the whole search.
//
// Under an MPI launcher the other processes run the same criterion routine
// and evaluate ranges of the enumeration (contiguous subsets of one size,
// unranked to their first combination) handed out by process 0, which
// evaluates blocks of its own in between; the records come back by range
// and process 0 takes them in enumeration order, as above.
#include "ranking/search.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <ctime>
#include <deque>
#include <map>
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
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/figures.h"
#include "shell/pack.h"

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
  std::vector<int> positions;  // scratch: the subset's trait positions from 0
  // The block: combinations (n entries each, the subset first), skipped flag.
  int capacity = 0;
  double blockStart = -1.0;  // wall clock at the start of the last block
  double blockShort = 0.05, blockLong = 0.4;  // block times that double or halve it
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
    if (took < s.blockShort && s.count == s.capacity && s.capacity < (1 << 16))
      s.capacity *= 2;
    else if (took > s.blockLong && s.capacity > 16)
      s.capacity /= 2;
  }
  s.blockStart = now;
}

// ---- the lexicographic enumeration ------------------------------------------

// The k-subset of 0..n-1 at the 0-based index `index` of the lexicographic
// order (0 1 ... k-1 first), its positions ascending.
void UnrankSubset(int n, int k, long long index, int* pos) {
  int x = 0;
  for (int t = 0; t < k; t++) {
    for (;; x++) {
      const long long c = Combinations(n - x - 1, k - t - 1);
      if (index < c) break;
      index -= c;
    }
    pos[t] = x++;
  }
}

// The subset that follows in the lexicographic order.
void NextSubset(int n, int k, int* pos) {
  int t = k - 1;
  while (t >= 0 && pos[t] >= n - k + t) t--;
  if (t < 0) return;
  pos[t]++;
  for (int u = t + 1; u < k; u++) pos[u] = pos[u - 1] + 1;
}

// The combination array of a subset: its trait numbers (from 1) ascending,
// then the other traits ascending.
void ComboOf(int n, int k, const int* pos, int* combo) {
  int rest = k, t = 0;
  for (int i = 0; i < n; i++) {
    if (t < k && pos[t] == i)
      combo[t++] = i + 1;
    else
      combo[rest++] = i + 1;
  }
}

}  // namespace

void SubsetAt(int n, int k, long long index, int* combo) {
  std::vector<int> pos(std::max(k, 1));
  UnrankSubset(n, k, index, pos.data());
  ComboOf(n, k, pos.data(), combo);
}

namespace {

// count subsets of size k from the one at index `start` into the block, with
// their skip flags: a subset holding a trait of weight 0 is counted but not
// evaluated.
void FillBlock(SearchState& s, int k, long long start, int count) {
  const int n = s.n;
  const size_t need = static_cast<size_t>(count > 0 ? count : 1);
  if (s.records.size() < need) {
    s.combos.resize(need * std::max(n, 1), 0);
    s.skip.resize(need, 0);
    s.records.resize(need);
  }
  s.positions.resize(std::max(k, 1));
  if (count > 0) UnrankSubset(n, k, start, s.positions.data());
  for (int b = 0; b < count; b++) {
    if (b > 0) NextSubset(n, k, s.positions.data());
    int* combo = &s.combos[static_cast<size_t>(b) * n];
    ComboOf(n, k, s.positions.data(), combo);
    bool skip = false;
    for (int t = 0; t < k; t++)
      if (!(weight[combo[t] - 1] > 0.0)) skip = true;
    s.skip[b] = skip;
  }
  s.count = count;
}

void NextBlock(SearchState& s) {
  SizeBlocks(s);
  s.count = 0;
  s.endsSize = false;
  if (s.done) return;
  const int count = static_cast<int>(std::min<long long>(s.capacity, s.cK - s.pos));
  FillBlock(s, s.k, s.pos, count);
  s.pos += count;
  s.endsSize = s.pos >= s.cK;
}

// ---- taking the records in enumeration order ---------------------------------

void CountSubset(SearchState& s, int k) {
  s.counter++;
  if (ProgressDue()) {
    char text[96];
    snprintf(text, sizeof text, "Iteration: %lld of %lld, Traits: %d", s.counter, s.total, k);
    HandleEventInfoWhere2(text);
  }
  if (s.plan->progress) s.plan->progress(s.counter, s.total, k);
}

// An evaluated subset: its intermediate line, the per-size best, the lists.
void TakeRecord(SearchState& s, int k, const int* traits, const SubsetRecord& r) {
  const SearchPlan& plan = *s.plan;
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

void ReduceBlock(SearchState& s) {
  const int n = s.n, k = s.k;
  for (int b = 0; b < s.count; b++) {
    CountSubset(s, k);
    const SubsetRecord& r = s.records[b];
    if (s.skip[b] || !r.evaluated) continue;
    TakeRecord(s, k, &s.combos[static_cast<size_t>(b) * n], r);
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

// Inside the team: evaluates the block's subsets, in groups of consecutive
// subsets, each thread a contiguous run of groups.  traits is the thread's
// scratch (kSubsetBatch x n).
void EvaluateBlock(SearchState& s, RankWork& work, std::vector<int>& traits, int threads,
                   std::atomic<int>& failure) {
  const SearchPlan& plan = *s.plan;
  const int n = s.n;
  const int groups = (s.count + kSubsetBatch - 1) / kSubsetBatch;
  // Runs of a quarter of a thread's share at a time: a thread slowed down
  // by other work on the machine takes fewer of them (the results are taken
  // in enumeration order anyway).
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
    if (omp_get_thread_num() == 0) ClusterProgress();
    if (nb == 0) continue;
    Guarded(failure, [&] {
      if (plan.evaluateBatch)
        plan.evaluateBatch(work, list, s.k, nb, recs);
      else
        for (int j = 0; j < nb; j++) plan.evaluate(work, list[j], s.k, *recs[j]);
    });
  }
}

// ---- spread over the processes of an MPI launcher -------------------------------

// The records of a range of one size, in enumeration order.
struct DoneRange {
  int k = 0;
  long long start = 0, count = 0;
  std::vector<long long> pos;
  std::vector<SubsetRecord> recs;
};

// What process 0 keeps while ranges are out.
struct Spread {
  int processes = 1;
  std::vector<std::deque<int>> inFlight;  // sequence numbers held by each worker
  std::vector<int> workerThreads;
  std::map<int, DoneRange> out;   // ranges handed out, by sequence number
  std::map<int, DoneRange> done;  // their records, back
  int nextSeq = 0, reduceSeq = 0;
  // The hand-out: the next subset not handed out yet.
  int k = 0;
  long long pos = 0, cK = 0, remaining = 0;
  bool exhausted = false;
  double perSubset = 0.0;  // seconds per subset on one thread (0: not known yet)
};

// The next range of at most `most` subsets, within one size.
bool HandOut(Spread& sp, int n, long long most, DoneRange& r) {
  while (!sp.exhausted && sp.pos >= sp.cK) {
    if (++sp.k > nMaxTraitsChRank) {
      sp.exhausted = true;
      break;
    }
    sp.cK = Combinations(n, sp.k);
    sp.pos = 0;
  }
  if (sp.exhausted) return false;
  r.k = sp.k;
  r.start = sp.pos;
  r.count = std::min(std::max<long long>(most, 1), sp.cK - sp.pos);
  sp.pos += r.count;
  sp.remaining -= r.count;
  return true;
}

// Subsets for a quarter of a second of a worker's threads, fewer towards
// the end so that the processes finish together.
long long WorkerRangeSize(const Spread& sp, int threads) {
  double want = sp.perSubset > 0.0 ? 0.25 * threads / sp.perSubset : 64.0;
  const double guided = static_cast<double>(sp.remaining) / (2.0 * sp.processes);
  if (want > guided) want = guided;
  if (want > 65536.0) want = 65536.0;
  return want < 16.0 ? 16 : static_cast<long long>(want);
}

// The records of a subset that process 0 needs: every evaluated one when
// the intermediate results are printed; otherwise those that could change
// the per-size best or the best-subsets list.  A record that a copy of the
// per-size best and of the list, started afresh for the range, would reject
// is rejected by the full ones too: these have seen every subset the copies
// saw and more, and their weakest kept values can only be stronger.
struct RangeFilter {
  CompareMode mode;
  bool all;
  SizeBest best;
  BestList list;
  RangeFilter(const SearchPlan& plan, int n)
      : mode(plan.mode), all(printRankIntermedResults == 'y'), list(nKeepTrack + 1, n, plan.listAbsolute) {
    best.value = plan.mode == kAbsoluteMode ? 0.0 : kSignedStart;
  }
  bool Keep(const SubsetRecord& r, int k, const int* traits) {
    if (all) return true;
    bool keep = false;
    if (Better(mode, r.value, best.value)) {
      best.value = r.value;
      keep = true;
    }
    if (Better(mode, r.value, list.a[0].value)) keep = true;
    list.Offer(mode, r.value, r.groups, k, traits);
    return keep;
  }
};

void PutRecords(Pack& p, const DoneRange& r, bool stats) {
  Put<long long>(p, static_cast<long long>(r.pos.size()));
  for (size_t i = 0; i < r.pos.size(); i++) {
    Put<long long>(p, r.pos[i]);
    Put<double>(p, r.recs[i].value);
    Put<int>(p, r.recs[i].groups);
    if (stats) PutBytes(p, r.recs[i].stats, sizeof r.recs[i].stats);
  }
}

void GetRecords(Pack& p, DoneRange& r, bool stats) {
  const long long count = Get<long long>(p);
  r.pos.resize(static_cast<size_t>(count));
  r.recs.assign(static_cast<size_t>(count), SubsetRecord());
  for (long long i = 0; i < count; i++) {
    r.pos[i] = Get<long long>(p);
    SubsetRecord& rec = r.recs[i];
    rec.evaluated = true;
    rec.value = Get<double>(p);
    rec.groups = Get<int>(p);
    if (stats) GetBytes(p, rec.stats, sizeof rec.stats);
  }
}

// Takes the ranges back in their order.
void ReduceReady(Spread& sp, SearchState& s) {
  const int n = s.n;
  std::vector<int> pos(std::max(n, 1)), combo(std::max(n, 1));
  for (auto it = sp.done.find(sp.reduceSeq); it != sp.done.end();
       it = sp.done.find(sp.reduceSeq)) {
    const DoneRange& r = it->second;
    long long at = r.start;
    for (size_t i = 0; i < r.pos.size(); i++) {
      for (; at <= r.pos[i]; at++) CountSubset(s, r.k);
      UnrankSubset(n, r.k, r.pos[i], pos.data());
      ComboOf(n, r.k, pos.data(), combo.data());
      TakeRecord(s, r.k, combo.data(), r.recs[i]);
    }
    for (; at < r.start + r.count; at++) CountSubset(s, r.k);
    if (r.start + r.count >= Combinations(n, r.k)) {
      PrintSizeLine(s, r.k);
      StartSize(s, r.k + 1);
    }
    sp.done.erase(it);
    sp.reduceSeq++;
  }
}

void TakeMessage(Spread& sp, int from, int tag, std::vector<char>& data) {
  if (tag == kTagFailure) ClusterRaiseFailure(from, data);
  if (tag != kTagResult) return;
  Pack p;
  p.bytes.swap(data);
  const int seq = Get<int>(p);
  sp.workerThreads[from] = Get<int>(p);
  auto it = sp.out.find(seq);
  if (it == sp.out.end()) return;
  DoneRange r = std::move(it->second);
  sp.out.erase(it);
  GetRecords(p, r, printRankIntermedResults == 'y');
  sp.done[seq] = std::move(r);
  std::deque<int>& q = sp.inFlight[from];
  const auto held = std::find(q.begin(), q.end(), seq);
  if (held != q.end()) q.erase(held);
}

// Process 0 between its blocks: what came back, the workers' next ranges
// (two held by each), and the records that can be taken now.
void Service(Spread& sp, SearchState& s) {
  std::vector<char> data;
  int from = 0, tag = 0;
  while (ClusterTryReceive(-1, &from, &tag, data)) TakeMessage(sp, from, tag, data);
  Pack p;
  for (int w = 1; w < sp.processes; w++)
    while (sp.inFlight[w].size() < 2) {
      DoneRange r;
      if (!HandOut(sp, s.n, WorkerRangeSize(sp, sp.workerThreads[w]), r)) break;
      const int seq = sp.nextSeq++;
      p.bytes.clear();
      Put<int>(p, seq);
      Put<int>(p, r.k);
      Put<long long>(p, r.start);
      Put<long long>(p, r.count);
      ClusterSend(w, kTagWork, p.bytes);
      sp.inFlight[w].push_back(seq);
      sp.out[seq] = std::move(r);
    }
  ReduceReady(sp, s);
}

// Process 0: the next block of its own, or (nothing left to hand out) the
// wait for the last ranges; s.count is 0 at the end.
void NextSpreadBlock(Spread& sp, SearchState& s, int threads) {
  if (s.blockStart >= 0.0 && s.count > 0) {
    const double perSubset = (omp_get_wtime() - s.blockStart) * threads / s.count;
    sp.perSubset = sp.perSubset > 0.0 ? 0.5 * (sp.perSubset + perSubset) : perSubset;
  }
  SizeBlocks(s);
  Service(sp, s);
  DoneRange r;
  if (HandOut(sp, s.n, s.capacity, r)) {
    s.k = r.k;
    FillBlock(s, r.k, r.start, static_cast<int>(r.count));
    sp.out[sp.nextSeq++] = std::move(r);
    return;
  }
  s.count = 0;
  std::vector<char> data;
  while (sp.reduceSeq < sp.nextSeq) {
    int from = 0, tag = 0;
    ClusterReceive(-1, &from, &tag, data);
    TakeMessage(sp, from, tag, data);
    ReduceReady(sp, s);
  }
}

// The records of process 0's own block, as a range.
void StoreSpreadBlock(Spread& sp, SearchState& s) {
  const int seq = sp.nextSeq - 1;
  DoneRange r = std::move(sp.out[seq]);
  sp.out.erase(seq);
  for (int b = 0; b < s.count; b++) {
    if (s.skip[b] || !s.records[b].evaluated) continue;
    r.pos.push_back(r.start + b);
    r.recs.push_back(s.records[b]);
  }
  sp.done[seq] = std::move(r);
}

// The team of a search: each thread prepares its work once; then, block
// after block, the main thread fetches the next block (none: the search is
// over), the team evaluates it and the main thread takes its records.  A
// failure on any thread ends the search through the failure catcher.
template <class Fetch, class Store>
void TeamSearch(const RankData& d, SearchState& s, int threads, Fetch fetch, Store store) {
  std::atomic<int> failure{0};
#pragma omp parallel num_threads(threads)
  {
    RankWork work;
    std::vector<int> traits(static_cast<size_t>(kSubsetBatch) * std::max(s.n, 1));
    Guarded(failure, [&] { InitRankWork(d, work); });
    for (;;) {
#pragma omp master
      Guarded(failure, fetch);
#pragma omp barrier
      if (failure.load() != 0 || s.count == 0) break;
      EvaluateBlock(s, work, traits, threads, failure);
#pragma omp master
      Guarded(failure, store);
    }
  }
  if (failure.load() != 0) RaiseFailure(failure.load());
}

// A worker: ranges from process 0 until it ends the search.
void WorkerSearch(const RankData& d, const SearchPlan& plan) {
  const int n = nch;
  nKeepTrack = 100;
  const int threads = std::max(1, omp_get_max_threads());
  SearchState s;
  s.plan = &plan;
  s.n = n;
  int seq = 0;
  long long rangeStart = 0;
  auto fetch = [&] {
    s.count = 0;
    std::vector<char> data;
    int from = 0, tag = 0;
    for (;;) {
      ClusterReceive(0, &from, &tag, data);
      if (tag == kTagDone) return;
      if (tag == kTagWork) break;
    }
    Pack p;
    p.bytes.swap(data);
    seq = Get<int>(p);
    s.k = Get<int>(p);
    const long long start = Get<long long>(p), count = Get<long long>(p);
    FillBlock(s, s.k, start, static_cast<int>(count));
    rangeStart = start;
  };
  auto store = [&] {
    RangeFilter filter(plan, n);
    DoneRange r;
    for (int b = 0; b < s.count; b++) {
      if (s.skip[b] || !s.records[b].evaluated) continue;
      if (!filter.Keep(s.records[b], s.k, &s.combos[static_cast<size_t>(b) * n])) continue;
      r.pos.push_back(rangeStart + b);
      r.recs.push_back(s.records[b]);
    }
    Pack p;
    Put<int>(p, seq);
    Put<int>(p, threads);
    PutRecords(p, r, printRankIntermedResults == 'y');
    ClusterSend(0, kTagResult, p.bytes);
  };
  TeamSearch(d, s, threads, fetch, store);
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

bool rankSearchSpread = false;
bool rankSearchWorker = false;

void RunSubsetSearch(const RankData& d, const SearchPlan& plan, FILE* fp) {
  if (rankSearchWorker) {
    WorkerSearch(d, plan);
    return;
  }
  bool spread = rankSearchSpread;
  rankSearchSpread = false;
  if (spread && plan.sequential) {
    // The structures file is written as subsets are evaluated, here: such a
    // search is not spread (and the ranking job is never opened for it).
    ClusterCloseJob();
    spread = false;
  }
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
  // Blocks long enough that the barriers cost little, short enough that the
  // progress line moves (and, spread, that the workers are served often).
  s.capacity = plan.sequential ? 16 : 128 * threads;
  if (spread) {
    s.capacity = 16 * threads;
    s.blockShort = 0.02;
    s.blockLong = 0.1;
  }
  FillBlock(s, 1, 0, 0);
  StartSize(s, std::max(1, nMinTraitsChRank));

  Spread sp;
  if (spread) {
    sp.processes = clusterSize;
    sp.inFlight.resize(clusterSize);
    sp.workerThreads.assign(clusterSize, 1);
    sp.k = s.k;
    sp.cK = s.cK;
    sp.exhausted = s.done;
    sp.remaining = s.total;
  }

  auto fetch = [&] {
    if (spread)
      NextSpreadBlock(sp, s, threads);
    else
      NextBlock(s);
  };
  auto store = [&] {
    if (spread)
      StoreSpreadBlock(sp, s);
    else
      ReduceBlock(s);
  };
  TeamSearch(d, s, threads, fetch, store);
  if (spread) ClusterCloseJob();

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
