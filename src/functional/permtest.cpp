// Permutation tests of the functional and phylogenetic correlations.
//
// The observed community structures (T, X, R, P, Rp) and their statistics
// are computed once by the functional core.  The permutations are drawn on
// the calling thread from the program-wide generator, a block at a time, in
// the order a single thread would draw them; the iterations of a block are
// evaluated in parallel, each thread with its own workspace allocated once,
// and the random statistics are counted on the calling thread in iteration
// order.  The probabilities therefore do not depend on the number of
// threads.
#include "functional/permtest.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <new>
#include <vector>

#include "QELib/qelibDim.h"
#include "functional/fcore.h"
#include "shell/preferences.h"
#include "numeric/regression.h"
#include "functional/settings.h"
#include "data/track.h"
#include "data/dataset.h"
#include "multivariate/random.h"
#include "numeric/stats.h"
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/pack.h"

namespace {

const char* const kStatName[kStatCount] = {
    "ro(XE)",   "ro(TE)",   "ro(XE.T)", "ro(RE)",  "ro(XE.TR)", "ro(TY)",   "ro(TY2)", "ro(XY)",
    "ro(XY2)",  "ro(XY_T)", "ro(XY_T2)", "ro(BF)", "ro(FE)",    "ro(PE)",   "ro(PT)",  "ro(PX)",
    "ro(PX.T)", "ro(TE.P)", "ro(XE.P)", "ro(XE.TP)", "ro(PE.T)", "ro(PE.X)", "spare"};

// ---- the random-data file ---------------------------------------------------

void PrintList(FILE* fp, int n, const int* list) {
  for (int i = 0; i < n; i++) fprintf(fp, "%d\t", list[i]);
  fputc('\n', fp);
}

const char* ValueName(const FcoreContext& ctx, int idx, char* buf, size_t size) {
  if (idx < kStatCount) return kStatName[idx];
  const int q = ctx.in.q, p = ctx.in.p;
  if (idx < ctx.anovaBase || ctx.in.optRo == 4) {
    const int per = 1 + q, r = (idx - ctx.regBase) / per, f = (idx - ctx.regBase) % per;
    if (f == 0)
      snprintf(buf, size, "r-square of response %d", r + 1);
    else
      snprintf(buf, size, "coefficient %d of response %d", f, r + 1);
    return buf;
  }
  const int qq = q > 0 ? q : 1;
  int k = idx - ctx.anovaBase;
  if (k < qq) {
    snprintf(buf, size, "pseudo-F of T, factor %d", k + 1);
  } else if ((k -= qq) < p * qq) {
    snprintf(buf, size, "pseudo-F of trait %d, factor %d", k / qq + 1, k % qq + 1);
  } else {
    k -= p * qq;
    static const char* const kResponse[] = {"X", "P", "R", "Rp"};
    snprintf(buf, size, "pseudo-F of %s, factor %d", kResponse[k / qq], k % qq + 1);
  }
  return buf;
}

void WriteObserved(const FcoreContext& ctx, const PermTest_FunctionalPhyl_Correl_Input* in,
                   const FcoreWorkspace& o, const double* vals, const int* tested) {
  FILE* fp = in->rndDataFile;
  const int m = ctx.in.m, n = ctx.in.n, p = ctx.in.p;
  fprintf(fp,
          "\nPERMUTATION TEST FOR CORRELATIONS ro(XE), ro(TE) AND ro(RE), AND PARTIAL "
          "CORRELATIONS ro(XE.T), ro(XE.TR)\n");
  fprintf(fp, "INTERMEDIATE RESULTS\n");
  fprintf(fp, "\nObserved trait matrix (B):\n");
  PrintMatrixTab(fp, n, p, in->B, sDigits);
  fprintf(fp, "\nMatrix W (%d communities by %d OTUs):\n", m, n);
  PrintMatrixTab(fp, m, n, in->W, sDigits);
  fprintf(fp,
          "\n\nMatrix T (comunity weighted means traits in %d communities by %d traits) "
          "computed after B (T = W x B):\n",
          m, p);
  PrintMatrixTab(fp, m, p, o.T, sDigits);
  if (ctx.distances) {
    fprintf(fp, "\nDistance matrix DT between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, o.DT, sDigits);
  }
  if (ctx.env && in->DE != nullptr) {
    fprintf(fp, "\nDistance matrix DE between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, in->DE, sDigits);
  }
  char buf[80];
  fprintf(fp, "\nObserved statistics:\n");
  for (int k = 0; k < ctx.total; k++)
    if (tested[k]) fprintf(fp, "Observed %s=\t%g\n", ValueName(ctx, k, buf, sizeof buf), vals[k]);
  fprintf(fp, "\nObserved belonging matrix (U):\n");
  PrintMatrixTab(fp, n, ctx.in.g, in->U, sDigits);
  fprintf(fp, "\nObserved ro(XT)=\t%g\n", o.rXT);
  fprintf(fp, "Observed ro(XE)=\t%g\n", vals[kStatXE]);
  fprintf(fp, "Observed ro(XE.T)=\t%g\n", vals[kStatXE_T]);
  fprintf(fp, "\nSimilarity matrix (S) between OTUs:\n");
  PrintLowerHalfMatrixTab(fp, n, ctx.S, sDigits);
  fprintf(fp, "\nRao entropy (R) of each community:\n");
  PrintMatrixTab(fp, m, 1, o.R, sDigits);
  if (ctx.distances) {
    fprintf(fp, "\nDistance matrix DR between communities:\n");
    PrintLowerHalfMatrixTab(fp, m, o.DR, sDigits);
  }
  if (ctx.phyl) {
    fprintf(fp, "\nPhylogenetic resemblance matrix (F) between OTUs:\n");
    PrintLowerHalfMatrixTab(fp, n, ctx.F, sDigits);
    fprintf(fp, "\nPhylogenetic Rao entropy (Rp) of each community:\n");
    PrintMatrixTab(fp, m, 1, o.Rp, sDigits);
  }
}

void WriteIteration(const FcoreContext& ctx, const PermTest_FunctionalPhyl_Correl_Input* in,
                    int iter, bool taxa, const int* list, const FcoreWorkspace& q,
                    const double* vals, const double* count, const int* tested) {
  FILE* fp = in->rndDataFile;
  const int m = ctx.in.m, n = ctx.in.n, p = ctx.in.p;
  fprintf(fp, "\n\nITERATION\t%d\n", iter);
  if (taxa) {
    fprintf(fp, "\nPermuted trait matrix (Brnd):\n");
    for (int i = 0; i < n; i++) {
      for (int k = 0; k < p; k++) fprintf(fp, "%.*g\t", sDigits, in->B[list[i] - 1][k]);
      fputc('\n', fp);
    }
    fprintf(fp, "\nOrder of original OTUs in permuted traits matrix Brnd:\t");
    PrintList(fp, n, list);
  } else {
    fprintf(fp, "\nOrder of original communities in permuted matrices:\t");
    PrintList(fp, m, list);
  }
  fprintf(fp, "\nRandom matrix T:\n");
  PrintMatrixTab(fp, m, p, q.T, sDigits);
  fprintf(fp, "\nRandom matrix X:\n");
  PrintMatrixTab(fp, m, ctx.in.g, q.X, sDigits);
  fprintf(fp, "\nRandom Rao entropy R:\n");
  PrintMatrixTab(fp, m, 1, q.R, sDigits);
  if (ctx.phyl) {
    fprintf(fp, "\nRandom matrix P:\n");
    PrintMatrixTab(fp, m, ctx.in.h, q.P, sDigits);
    fprintf(fp, "\nRandom phylogenetic Rao entropy Rp:\n");
    PrintMatrixTab(fp, m, 1, q.Rp, sDigits);
  }
  char buf[80];
  for (int k = 0; k < ctx.total; k++) {
    if (!tested[k]) continue;
    const char* name = ValueName(ctx, k, buf, sizeof buf);
    fprintf(fp, "\nIteration %d\tRandom %s =\t%g\tCummulative frequency for %s=%g\n", iter, name,
            vals[k], name, count[k]);
  }
}

// Permutation lists of the null model, drawn from the program-wide
// generator.
struct ListSource {
  bool taxa = true;
  bool nested = false;
  bool weighted = false;
  int len = 0;
  const int* nesting = nullptr;
  // Weighted taxa shuffle: the list of occurrences (each OTU once for every
  // community where it performs) is shuffled, and each OTU takes the vector
  // of the OTU now found in the slot of its own first occurrence, so that
  // OTUs frequent in the communities are drawn more often.  OTUs that occur
  // nowhere keep their own vector.
  std::vector<int> occurrences, shuffled, firstSlot;

  void Draw(int* list) {
    if (taxa && weighted) {
      const int nOcc = static_cast<int>(occurrences.size());
      for (int k = 0; k < nOcc; k++) shuffled[k] = occurrences[k];
      RndListSpecified(nOcc, shuffled.data());
      for (int i = 0; i < len; i++) list[i] = firstSlot[i] >= 0 ? shuffled[firstSlot[i]] : i + 1;
    } else if (taxa && nested) {
      RndListNestedNew(len, nesting, 1, list);
    } else {
      for (int i = 0; i < len; i++) list[i] = i + 1;
      RndListSpecified(len, list);
    }
  }
};

// The null model's lists for the test of the record.
void MakeListSource(const PermTest_FunctionalPhyl_Correl_Input* in, ListSource& source) {
  const int m = in->ncsm, n = in->nOTUs;
  source.taxa = in->optTaxaSiteShuffle != 's';
  source.len = source.taxa ? n : m;
  source.nested = in->optRestrictPermutNullModel == 1 && in->nestingMembershipOTUs != nullptr;
  source.nesting = in->nestingMembershipOTUs;
  source.weighted = in->optWeightedNullModel;
  if (source.taxa && source.weighted) {
    source.firstSlot.assign(n, -1);
    for (int c = 0; c < m; c++)
      for (int i = 0; i < n; i++)
        if (in->W[c][i] > 0.0) {
          if (source.firstSlot[i] < 0) source.firstSlot[i] = static_cast<int>(source.occurrences.size());
          source.occurrences.push_back(i + 1);
        }
    source.shuffled.resize(source.occurrences.size());
  }
}

// The context and the workspaces of one test, released also when a failure
// abandons it.
struct Resources {
  FcoreContext ctx;
  std::vector<FcoreWorkspace*> spaces;
  Resources() = default;
  Resources(const Resources&) = delete;
  Resources& operator=(const Resources&) = delete;
  ~Resources() {
    for (FcoreWorkspace* ws : spaces) FcoreFreeWorkspace(ctx, ws);
    FcoreRelease(ctx);
  }
};

// The observed iteration: structures, statistics, and what the permutations
// reuse of them.  Every process that evaluates permutations of a test runs
// it on the same input, so that each holds the same observed state.
void ObservedStep(FcoreContext& ctx, FcoreWorkspace& obs, const int* tested, double* vals,
                  double* intercept, const std::function<void()>& beforeSet) {
  FcoreStructures(ctx, nullptr, obs);
  FcoreStatistics(ctx, obs, obs, tested, vals, intercept);
  if (beforeSet) beforeSet();
  FcoreSetObserved(ctx, obs);
}

// Evaluates nb permutations (their lists one after the other, len entries
// each) into values (ctx.total per permutation) on up to `threads`
// threads, each with its own workspace (spaces[1 + thread]).  Which thread
// evaluates a permutation never changes a digit.  onMaster is called on the
// calling thread after each permutation it evaluates, with the number
// finished so far.  Returns the code of a failure (0: none).
int EvaluateBlock(const FcoreContext& ctx, const FcoreWorkspace& obs,
                  const std::vector<FcoreWorkspace*>& spaces, bool taxa, const int* lists,
                  size_t len, int nb, const int* tested, double* values, int threads,
                  const std::function<void(int)>& onMaster) {
  const int total = ctx.total;
  int failure = 0;
  std::atomic<int> done{0};
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) if (threads > 1)
  for (int b = 0; b < nb; b++) {
    try {
      FcoreWorkspace& ws = *spaces[1 + omp_get_thread_num()];
      const int* list = &lists[static_cast<size_t>(b) * len];
      if (taxa)
        FcoreStructures(ctx, list, ws);
      else
        FcoreSiteShuffle(ctx, obs, list, ws);
      FcoreStatistics(ctx, obs, ws, tested, &values[static_cast<size_t>(b) * total], nullptr);
    } catch (const QuiltaFailure& f) {
#pragma omp critical(fcoreFailure)
      if (failure == 0) failure = f.code;
    } catch (const std::bad_alloc&) {
#pragma omp critical(fcoreFailure)
      if (failure == 0) failure = kFailMemory;
    }
    const int finished = done.fetch_add(1) + 1;
    if (omp_get_thread_num() == 0 && onMaster) onMaster(finished);
  }
  return failure;
}

// ---- the input of a test, for the other processes ---------------------------

// Matrices of the input on another process, owned there.
struct OwnedInput {
  FcoreInput fi;
  std::vector<std::pair<double**, int>> matrices;
  std::vector<int*> vectors;
  OwnedInput() = default;
  OwnedInput(const OwnedInput&) = delete;
  OwnedInput& operator=(const OwnedInput&) = delete;
  ~OwnedInput() {
    for (auto& [M, rows] : matrices) free2D(M, rows > 0 ? rows : 1);
    for (int* v : vectors) free1D(v);
  }
  double** Matrix(Pack& p, int rows, int cols) {
    double** M = GetMatrix(p, rows, cols);
    if (M != nullptr) matrices.emplace_back(M, rows);
    return M;
  }
  int* Ints(Pack& p, int n) {
    int* v = GetInts(p, n);
    if (v != nullptr) vectors.push_back(v);
    return v;
  }
};

void PackInput(Pack& p, const FcoreInput& fi) {
  for (int v : {fi.m, fi.n, fi.p, fi.g, fi.h, fi.q, fi.nPhylAxes, fi.optRo, fi.reseOpt,
                static_cast<int>(fi.path), static_cast<int>(fi.entropyPath)})
    Put<int>(p, v);
  Put<double>(p, fi.overfitFactor);
  for (bool b : {fi.scaleAdjust, fi.restrictRaoWithin, fi.sqrtRaoTraits, fi.sqrtRaoPhyl,
                 fi.phylogeny, fi.phylIsDissimilarity, fi.twoTailed})
    Put<char>(p, b);
  const int m = fi.m, n = fi.n;
  PutVector(p, fi.traitSelect, fi.p);
  PutVector(p, fi.weightOTUs, n);
  PutVector(p, fi.relSelect, m);
  PutMatrix(p, m, n, fi.W);
  PutMatrix(p, n, fi.p, fi.B);
  PutMatrix(p, n, fi.g, fi.U);
  PutMatrix(p, n, fi.h, fi.Q);
  PutMatrix(p, n, n, fi.S);
  PutMatrix(p, n, n, fi.F);
  PutMatrix(p, n, fi.nPhylAxes, fi.phylScores);
  PutMatrix(p, m, fi.q, fi.E);
  PutMatrix(p, m, m, fi.DE);
  PutMatrix(p, m, n, fi.Y1);
  PutMatrix(p, m, n, fi.Y2);
  PutMatrix(p, m, m, fi.DY1);
  PutMatrix(p, m, m, fi.DY2);
}

void UnpackInput(Pack& p, OwnedInput& o) {
  FcoreInput& fi = o.fi;
  fi.m = Get<int>(p);
  fi.n = Get<int>(p);
  fi.p = Get<int>(p);
  fi.g = Get<int>(p);
  fi.h = Get<int>(p);
  fi.q = Get<int>(p);
  fi.nPhylAxes = Get<int>(p);
  fi.optRo = Get<int>(p);
  fi.reseOpt = Get<int>(p);
  fi.path = static_cast<FcorePath>(Get<int>(p));
  fi.entropyPath = static_cast<FcorePath>(Get<int>(p));
  // The worker's copy of S is its own: the entropies may take its memory.
  fi.mayOverwriteS = true;
  fi.overfitFactor = Get<double>(p);
  for (bool* b : {&fi.scaleAdjust, &fi.restrictRaoWithin, &fi.sqrtRaoTraits, &fi.sqrtRaoPhyl,
                  &fi.phylogeny, &fi.phylIsDissimilarity, &fi.twoTailed})
    *b = Get<char>(p) != 0;
  const int m = fi.m, n = fi.n;
  fi.traitSelect = o.Ints(p, fi.p);
  fi.weightOTUs = o.Ints(p, n);
  fi.relSelect = o.Ints(p, m);
  fi.W = o.Matrix(p, m, n);
  fi.B = o.Matrix(p, n, fi.p);
  fi.U = o.Matrix(p, n, fi.g);
  fi.Q = o.Matrix(p, n, fi.h);
  fi.S = o.Matrix(p, n, n);
  fi.F = o.Matrix(p, n, n);
  fi.phylScores = o.Matrix(p, n, fi.nPhylAxes);
  fi.E = o.Matrix(p, m, fi.q);
  fi.DE = o.Matrix(p, m, m);
  fi.Y1 = o.Matrix(p, m, n);
  fi.Y2 = o.Matrix(p, m, n);
  fi.DY1 = o.Matrix(p, m, m);
  fi.DY2 = o.Matrix(p, m, m);
}

// Per-permutation cost (seconds on one thread) from the timed first
// permutations; the sizes of the ranges follow from it.
struct Pace {
  double perIteration = 1e-3;
  int part = 64;  // most permutations held at once (memory)
  int Range(double seconds, int threads, int remaining, int processes) const {
    double want = seconds * (threads > 0 ? threads : 1) / (perIteration > 1e-9 ? perIteration : 1e-9);
    // Near the end smaller ranges, so that every process finishes at about
    // the same time.
    const double guided = static_cast<double>(remaining) / (2.0 * processes);
    if (want > guided) want = guided;
    if (want > part) want = part;
    int count = want < 1.0 ? 1 : static_cast<int>(want);
    return count < remaining ? count : remaining;
  }
};

// Process 0 of a run under an MPI launcher, the job opened with the test's
// input: the iterations from `counted` to niter are handed out in contiguous ranges, each worker holding two at
// a time so that it never waits for the next one, while this process
// evaluates ranges of its own between its rounds of hand-out.  The lists of
// a range are drawn when the range is handed out, and ranges are handed out
// in iteration order: the generator draws exactly what one process draws.
// The values come back by range and are counted in iteration order.
void SpreadIterations(const FcoreContext& ctx, const FcoreWorkspace& obs,
                      const std::vector<FcoreWorkspace*>& spaces, ListSource& source,
                      const std::vector<int>& tested, const Pace& pace, int threads,
                      int& counted, int niter,
                      const std::function<void(const double*, const int*, int)>& tally,
                      const std::function<void(int)>& showProgress) {
  const int total = ctx.total;
  const size_t len = source.len > 0 ? static_cast<size_t>(source.len) : 1;
  const int processes = clusterSize;
  std::vector<std::deque<int>> inFlight(processes);  // first iteration of each range out
  std::vector<int> workerThreads(processes, 1);
  std::map<int, std::pair<int, std::vector<double>>> ready;  // first -> count, values
  int next = counted;  // first iteration not handed out yet
  std::vector<int> lists;
  std::vector<char> data;

  auto take = [&](int from, int tag) {
    if (tag == kTagFailure) ClusterRaiseFailure(from, data);
    if (tag != kTagResult) return;
    Pack r;
    r.bytes.swap(data);
    const int first = Get<int>(r), nb = Get<int>(r);
    workerThreads[from] = Get<int>(r);
    std::vector<double> v(static_cast<size_t>(nb) * total);
    GetBytes(r, v.data(), v.size() * sizeof(double));
    ready[first] = {nb, std::move(v)};
    std::deque<int>& q = inFlight[from];
    const auto held = std::find(q.begin(), q.end(), first);
    if (held != q.end()) q.erase(held);
  };
  auto service = [&] {
    int from = 0, tag = 0;
    while (ClusterTryReceive(-1, &from, &tag, data)) take(from, tag);
    Pack out;
    for (int w = 1; w < processes; w++)
      while (inFlight[w].size() < 2 && next <= niter) {
        const int nb = pace.Range(0.25, workerThreads[w], niter - next + 1, processes);
        lists.resize(static_cast<size_t>(nb) * len);
        for (int b = 0; b < nb; b++) source.Draw(&lists[static_cast<size_t>(b) * len]);
        out.bytes.clear();
        Put<int>(out, next);
        Put<int>(out, nb);
        PutBytes(out, lists.data(), lists.size() * sizeof(int));
        ClusterSend(w, kTagWork, out.bytes);
        inFlight[w].push_back(next);
        next += nb;
      }
    for (auto it = ready.find(counted); it != ready.end(); it = ready.find(counted)) {
      tally(it->second.second.data(), nullptr, it->second.first);
      ready.erase(it);
    }
    showProgress(counted - 1);
  };
  while (counted <= niter) {
    service();
    if (next <= niter) {
      const int nb = pace.Range(0.05, threads, niter - next + 1, processes);
      lists.resize(static_cast<size_t>(nb) * len);
      for (int b = 0; b < nb; b++) source.Draw(&lists[static_cast<size_t>(b) * len]);
      std::vector<double> v(static_cast<size_t>(nb) * total);
      const int failure = EvaluateBlock(ctx, obs, spaces, source.taxa, lists.data(), len, nb,
                                        tested.data(), v.data(), threads,
                                        [](int) { ClusterProgress(); });
      if (failure != 0) RaiseFailure(failure);
      ready[next] = {nb, std::move(v)};
      next += nb;
    } else if (counted <= niter) {
      int from = 0, tag = 0;
      ClusterReceive(-1, &from, &tag, data);
      take(from, tag);
    }
  }
  ClusterCloseJob();
}

}  // namespace

void PermTestWorker(Pack& payload) {
  OwnedInput o;
  UnpackInput(payload, o);
  Resources res;
  FcoreBuild(o.fi, res.ctx);
  const FcoreContext& ctx = res.ctx;
  const int total = ctx.total;
  // The statistics formed, as process 0 finds them from the same input.
  std::vector<int> tested(total), absolute(total);
  const FcoreInput& fi = o.fi;
  const bool mantel = fi.optRo == 1;
  FcoreStatisticKinds(ctx, mantel ? fi.DY1 != nullptr : fi.Y1 != nullptr,
                      mantel ? fi.DY2 != nullptr : fi.Y2 != nullptr, tested.data(),
                      absolute.data());
  const bool taxa = Get<char>(payload) != 0;
  const size_t len = static_cast<size_t>(std::max(Get<int>(payload), 1));
  res.spaces.push_back(FcoreNewWorkspace(ctx));
  FcoreWorkspace& obs = *res.spaces[0];
  std::vector<double> obsVal(total);
  ObservedStep(res.ctx, obs, tested.data(), obsVal.data(), nullptr, nullptr);
  const int threads = omp_get_max_threads() > 0 ? omp_get_max_threads() : 1;
  for (int t = 0; t < threads; t++) res.spaces.push_back(FcoreNewWorkspace(ctx));

  std::vector<char> data;
  std::vector<int> lists;
  std::vector<double> values;
  Pack out;
  for (;;) {
    int from = 0, tag = 0;
    ClusterReceive(0, &from, &tag, data);
    if (tag == kTagDone) return;
    if (tag != kTagWork) continue;
    Pack w;
    w.bytes.swap(data);
    const int first = Get<int>(w), nb = Get<int>(w);
    lists.resize(static_cast<size_t>(nb) * len);
    GetBytes(w, lists.data(), lists.size() * sizeof(int));
    values.resize(static_cast<size_t>(nb) * total);
    const int failure =
        EvaluateBlock(ctx, obs, res.spaces, taxa, lists.data(), len, nb, tested.data(),
                      values.data(), nb > 1 ? threads : 1, [](int) { ClusterProgress(); });
    if (failure != 0) RaiseFailure(failure);
    out.bytes.clear();
    Put<int>(out, first);
    Put<int>(out, nb);
    Put<int>(out, threads);
    PutBytes(out, values.data(), values.size() * sizeof(double));
    ClusterSend(0, kTagResult, out.bytes);
  }
}

void PermTest_FunctionalPhyl_Correl(PermTest_FunctionalPhyl_Correl_Input* in) {
  for (int k = 0; k < kStatCount; k++) {
    in->statistics[k] = 0.0;
    in->probabilities[k] = 1.0;
  }
  const int m = in->ncsm, n = in->nOTUs;
  if (m <= 0 || n <= 0) return;
  // Fewer than 2 iterations (0 included) mean the observed data alone.
  const int niter = in->niter > 1 ? in->niter : 1;

  FcoreInput fi;
  fi.m = m;
  fi.n = n;
  fi.p = in->nch;
  fi.g = in->nTypes;
  fi.h = in->nTaxa;
  fi.q = in->nEnv > 0 ? in->nEnv : 0;
  fi.nPhylAxes = in->nPhylAxes;
  fi.traitSelect = in->traitSelect;
  fi.weightOTUs = in->weight_OTUs;
  fi.relSelect = in->relSelect;
  fi.W = in->W;
  fi.B = in->B;
  fi.U = in->U;
  fi.Q = in->Q;
  fi.S = in->S;
  fi.F = in->F;
  fi.phylScores = in->phylScores;
  fi.E = in->E;
  fi.DE = in->DE;
  fi.Y1 = in->Y1;
  fi.Y2 = in->Y2;
  fi.DY1 = in->DY1;
  fi.DY2 = in->DY2;
  fi.optRo = in->opt_ro;
  fi.reseOpt = in->rese_opt;
  fi.overfitFactor = in->overfitFactorPCARegr;
  fi.scaleAdjust = in->scaleAdjust;
  fi.restrictRaoWithin = in->restrictRaoWithinOpt;
  fi.sqrtRaoTraits = in->sqrtDissimOpt_RaoTraits;
  fi.sqrtRaoPhyl = in->sqrtDissimOpt_RaoPhyl;
  fi.phylogeny = in->includePhylogeny;
  fi.phylIsDissimilarity = in->phylIsDissimilarity;
  fi.twoTailed = in->twoTailedTestMantel;
  // The random-data file prints S.
  fi.mayOverwriteS = in->overwriteS && !(in->saveRndData && in->rndDataFile != nullptr);
  fi.path = in->corePath;

  // Under an MPI launcher the other processes get the input before anything
  // is derived from it (the core may reuse the memory of its input), and
  // build their own context while this process does.  The random-data file
  // shows each iteration's matrices as they are formed: that diagnostic
  // runs here alone.
  const bool dump = in->saveRndData && in->rndDataFile != nullptr;
  const bool taxaShuffle = in->optTaxaSiteShuffle != 's';
  const bool spread = !dump && niter > 1 && ClusterCanSpread();
  if (spread) {
    Pack job;
    PackInput(job, fi);
    Put<char>(job, taxaShuffle);
    Put<int>(job, taxaShuffle ? n : m);
    ClusterOpenJob(kJobPermutations, job.bytes);
  }

  Resources res;
  FcoreBuild(fi, res.ctx);
  const FcoreContext& ctx = res.ctx;
  const int total = ctx.total, p = fi.p;
  const bool mantel = fi.optRo == 1;
  std::vector<int> tested(total), absolute(total);
  FcoreStatisticKinds(ctx, mantel ? in->DY1 != nullptr : in->Y1 != nullptr,
                      mantel ? in->DY2 != nullptr : in->Y2 != nullptr, tested.data(),
                      absolute.data());

  // ---- observed statistics --------------------------------------------
  res.spaces.push_back(FcoreNewWorkspace(ctx));
  FcoreWorkspace& obs = *res.spaces[0];
  std::vector<double> obsVal(total), count(total, 1.0);
  ObservedStep(res.ctx, obs, tested.data(), obsVal.data(), in->regrIntercept, [&] {
    if (in->T) CopyMatrix(m, p, obs.T, in->T);
    if (in->X) CopyMatrix(m, fi.g, obs.X, in->X);
    if (in->R) CopyMatrix(m, 1, obs.R, in->R);
    if (ctx.phyl) {
      if (in->P) CopyMatrix(m, fi.h, obs.P, in->P);
      if (in->Rp)
        for (int c = 0; c < m; c++) in->Rp[c] = obs.Rp[c][0];
    }
  });
  if (in->keepNullValues) {
    in->nullStride = total;
    in->nullRegBase = ctx.regBase;
    in->nullAnovaBase = ctx.anovaBase;
    in->nullAbsolute = absolute;
    in->nullValues.assign(static_cast<size_t>(niter) * total, 0.0);
    std::copy(obsVal.begin(), obsVal.end(), in->nullValues.begin());
  }
  if (dump) WriteObserved(ctx, in, obs, obsVal.data(), tested.data());

  // ---- permutations -----------------------------------------------------
  ListSource source;
  MakeListSource(in, source);

  // The random-data file is written iteration by iteration: one thread then.
  // A few iterations run first on this thread, timed: when the rest would
  // take less than a few hundredths of a second, the team is not started at
  // all (on a small data set starting it costs more than it saves).  The
  // rest are drawn at once (in parts of a few tens of megabytes at most) and
  // evaluated in one parallel loop: with no barrier between iterations, a
  // thread slowed down by other work on the machine only takes fewer of
  // them.  Which thread evaluates an iteration never changes a digit.
  const int maxThreads = dump ? 1 : (omp_get_max_threads() > 0 ? omp_get_max_threads() : 1);
  const int perms = niter - 1;
  const int probe = perms < 4 ? perms : 4;
  const size_t len = source.len > 0 ? static_cast<size_t>(source.len) : 1;
  const size_t part = std::max<size_t>(
      64, std::min<size_t>((size_t{4} << 20) / len, (size_t{2} << 20) / static_cast<size_t>(total)));
  const int blockSize = perms < 1 ? 1 : static_cast<int>(std::min<size_t>(perms, part));
  if (perms > 0)
    for (int t = 0; t < maxThreads; t++) res.spaces.push_back(FcoreNewWorkspace(ctx));
  std::vector<int> lists(static_cast<size_t>(blockSize) * len);
  std::vector<double> values(static_cast<size_t>(blockSize) * total);

  // Iterations are counted in their order, whoever evaluated them.
  int counted = 2;
  auto tally = [&](const double* vals, const int* blockLists, int nb) {
    for (int b = 0; b < nb; b++) {
      const double* v = &vals[static_cast<size_t>(b) * total];
      for (int k = 0; k < total; k++)
        if (tested[k] && IsLargerThanOrEqual(v[k], obsVal[k], 1, absolute[k] != 0))
          count[k] += 1.0;
      if (in->keepNullValues)
        std::copy(v, v + total,
                  in->nullValues.begin() + static_cast<ptrdiff_t>(counted - 1) * total);
      if (dump)
        WriteIteration(ctx, in, counted, source.taxa, &blockLists[static_cast<size_t>(b) * len],
                       *res.spaces[1], v, count.data(), tested.data());
      counted++;
    }
  };
  char progress[64];
  auto showProgress = [&](int done) {
    if (!ProgressDue()) return;
    snprintf(progress, sizeof progress, "Permutation test: %d of %d", done, niter);
    HandleEventInfoWhere2(progress);
  };

  // nb iterations from `counted` on, drawn, evaluated and counted here.  The
  // random-data file shows the matrices of each iteration from the
  // workspace that formed them: one iteration at a time then.
  int threads = 1;
  auto runHere = [&](int nb) {
    for (int done = 0; done < nb;) {
      const int first = counted, part = dump ? 1 : nb - done;
      for (int b = 0; b < part; b++) source.Draw(&lists[static_cast<size_t>(b) * len]);
      const int failure = EvaluateBlock(ctx, obs, res.spaces, source.taxa, lists.data(), len, part,
                                        tested.data(), values.data(), threads,
                                        [&](int finished) { showProgress(first - 1 + finished); });
      if (failure != 0) RaiseFailure(failure);
      tally(values.data(), lists.data(), part);
      done += part;
    }
  };
  const double start = omp_get_wtime();
  // The first iterations, timed on this thread.
  runHere(probe);
  Pace pace;
  pace.perIteration = (omp_get_wtime() - start) / (probe > 0 ? probe : 1);
  pace.part = static_cast<int>(part);
  if (maxThreads > 1 && pace.perIteration * (niter - 1 - probe) > 0.03) threads = maxThreads;

  // The rest; spread, ranges of iterations go to the other processes too.
  if (spread) {
    SpreadIterations(ctx, obs, res.spaces, source, tested, pace, threads, counted, niter, tally,
                     showProgress);
  } else {
    while (counted <= niter) runHere(std::min(blockSize, niter - counted + 1));
  }

  // ---- results ----------------------------------------------------------
  // A value that is not formed keeps probability 1, as without a test.
  std::vector<double> prob(total);
  for (int k = 0; k < total; k++) prob[k] = tested[k] ? count[k] / niter : 1.0;
  for (int k = 0; k < kStatCount; k++) {
    in->statistics[k] = obsVal[k];
    in->probabilities[k] = prob[k];
  }
  const int q = fi.q;
  if (fi.optRo == 4 && ctx.env) {
    for (int r = 0; r < p + 2; r++) {
      const int at = ctx.regBase + r * (1 + q);
      if (in->regrR2) in->regrR2[r] = obsVal[at];
      if (in->regrR2Prob) in->regrR2Prob[r] = prob[at];
      for (int f = 0; f < q; f++) {
        if (in->regrCoeff) in->regrCoeff[r][f] = obsVal[at + 1 + f];
        if (in->regrCoeffProb) in->regrCoeffProb[r][f] = prob[at + 1 + f];
      }
    }
  }
  if (fi.optRo == 5 && ctx.env) {
    int at = ctx.anovaBase;
    auto take = [&](double* value, double* probability) {
      for (int f = 0; f < q; f++) {
        if (value) value[f] = obsVal[at + f];
        if (probability) probability[f] = prob[at + f];
      }
      at += q;
    };
    take(in->anovaT, in->anovaTProb);
    for (int k = 0; k < p; k++)
      take(in->anovaTrait ? in->anovaTrait[k] : nullptr,
           in->anovaTraitProb ? in->anovaTraitProb[k] : nullptr);
    take(in->anovaX, in->anovaXProb);
    take(ctx.phyl ? in->anovaP : nullptr, ctx.phyl ? in->anovaPProb : nullptr);
    take(in->anovaR, in->anovaRProb);
    take(ctx.phyl ? in->anovaRp : nullptr, ctx.phyl ? in->anovaRpProb : nullptr);
  }
}

PermTest_FunctionalPhyl_Correl_Input* PermTestNewRecord(int m, int p, int q, int g, int h) {
  auto* rec = new PermTest_FunctionalPhyl_Correl_Input();
  const int nResp = p + 2, qa = q > 0 ? q : 1, pa = p > 0 ? p : 1;
  rec->regrR2 = dim1Double(nResp);
  rec->regrR2Prob = dim1Double(nResp);
  rec->regrCoeff = dim2Double(nResp, qa);
  rec->regrCoeffProb = dim2Double(nResp, qa);
  rec->regrIntercept = dim1Double(nResp);
  rec->anovaT = dim1Double(qa);
  rec->anovaTProb = dim1Double(qa);
  rec->anovaTrait = dim2Double(pa, qa);
  rec->anovaTraitProb = dim2Double(pa, qa);
  for (double** v : {&rec->anovaX, &rec->anovaXProb, &rec->anovaP, &rec->anovaPProb,
                     &rec->anovaR, &rec->anovaRProb, &rec->anovaRp, &rec->anovaRpProb})
    *v = dim1Double(qa);
  rec->T = dim2Double(m, pa);
  rec->X = dim2Double(m, g > 0 ? g : 1);
  rec->P = dim2Double(m, h > 0 ? h : 1);
  rec->R = dim2Double(m, 1);
  rec->Rp = dim1Double(m);
  return rec;
}

void PermTestFreeRecord(PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p) {
  if (rec == nullptr) return;
  const int nResp = p + 2, pa = p > 0 ? p : 1;
  free2D(rec->regrCoeff, nResp);
  free2D(rec->regrCoeffProb, nResp);
  free2D(rec->anovaTrait, pa);
  free2D(rec->anovaTraitProb, pa);
  for (double* v : {rec->regrR2, rec->regrR2Prob, rec->regrIntercept, rec->anovaT,
                    rec->anovaTProb, rec->anovaX, rec->anovaXProb, rec->anovaP, rec->anovaPProb,
                    rec->anovaR, rec->anovaRProb, rec->anovaRp, rec->anovaRpProb, rec->Rp})
    free1D(v);
  for (double** M : {rec->T, rec->X, rec->P, rec->R}) free2D(M, m);
  delete rec;
}

void PermTestSettingsFromGlobals(PermTest_FunctionalPhyl_Correl_Input* rec) {
  rec->niter = optRndTests ? niter : 1;
  rec->relSelect = relSelect;
  rec->weight_OTUs = weight_OTUs;
  rec->rese_opt = rese_opt;
  rec->opt_ro = opt_ro;
  rec->overfitFactorPCARegr = overfitFactorPCARegr;
  rec->saveRndData = false;
  rec->optWeightedNullModel = optWeightedNullModel != 0;
  rec->sqrtDissimOpt_RaoTraits = sqrtDissimOpt_RaoTraits != 0;
  rec->sqrtDissimOpt_RaoPhyl = sqrtDissimOpt_RaoPhyl != 0;
  rec->optRestrictPermutNullModel = optRestrictPermutNullModel;
  rec->nestingMembershipOTUs = nestingMembershipOTUs;
  rec->optTaxaSiteShuffle = optTaxaSiteShuffle;
  rec->alwaysOne = true;
  rec->twoTailedTestMantel = twoTailedTestMantel != 0;
  rec->restrictRaoWithinOpt = restrictRaoWithinOpt != 0;
  rec->rndDataFile = nullptr;
  rec->overwriteS = false;
  rec->corePath = FcorePath::kAutomatic;
}

void PermTestSkipDraws(const PermTest_FunctionalPhyl_Correl_Input* in) {
  const int m = in->ncsm, n = in->nOTUs;
  if (m <= 0 || n <= 0) return;
  const int niter = in->niter > 1 ? in->niter : 1;
  ListSource source;
  MakeListSource(in, source);
  std::vector<int> list(source.len > 0 ? source.len : 1);
  for (int i = 2; i <= niter; i++) source.Draw(list.data());
}

namespace {

// Every result of a record of PermTestNewRecord(m, p, q, g, h), in one
// order, to be packed or unpacked.
template <class Vector, class Matrix>
void EachResult(PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p, int q, int g, int h,
                Vector vector, Matrix matrix) {
  const int nResp = p + 2, qa = q > 0 ? q : 1, pa = p > 0 ? p : 1;
  vector(rec->statistics, kStatCount);
  vector(rec->probabilities, kStatCount);
  for (double* v : {rec->regrR2, rec->regrR2Prob, rec->regrIntercept}) vector(v, nResp);
  matrix(rec->regrCoeff, nResp, qa);
  matrix(rec->regrCoeffProb, nResp, qa);
  for (double* v : {rec->anovaT, rec->anovaTProb, rec->anovaX, rec->anovaXProb, rec->anovaP,
                    rec->anovaPProb, rec->anovaR, rec->anovaRProb, rec->anovaRp, rec->anovaRpProb})
    vector(v, qa);
  matrix(rec->anovaTrait, pa, qa);
  matrix(rec->anovaTraitProb, pa, qa);
  matrix(rec->T, m, pa);
  matrix(rec->X, m, g > 0 ? g : 1);
  matrix(rec->P, m, h > 0 ? h : 1);
  matrix(rec->R, m, 1);
  vector(rec->Rp, m);
}

}  // namespace

void PermTestPackResults(Pack& pack, PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p,
                         int q, int g, int h) {
  EachResult(
      rec, m, p, q, g, h, [&](double* v, int n) { PutVector(pack, v, n); },
      [&](double** M, int rows, int cols) { PutMatrix(pack, rows, cols, M); });
}

void PermTestUnpackResults(Pack& pack, PermTest_FunctionalPhyl_Correl_Input* rec, int m, int p,
                           int q, int g, int h) {
  EachResult(
      rec, m, p, q, g, h, [&](double* v, int n) { GetVectorInto(pack, v, n); },
      [&](double** M, int rows, int cols) { GetMatrixInto(pack, rows, cols, M); });
}
