// The processes of one run: start-up from the launcher's environment,
// messages, jobs and the end of the run.  Only this file sees MPI (and only
// standard MPI-3 calls, so that it builds with any MPI library); without it
// (QUILTA_HAVE_MPI not defined) every process is alone.
#include "shell/cluster.h"

#include <omp.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <memory>
#include <string>

#ifdef __linux__
#include <sched.h>
#endif

#ifdef QUILTA_HAVE_MPI
// The C interface alone (no C++ bindings of the library).
#define OMPI_SKIP_MPICXX 1
#define MPICH_SKIP_MPICXX 1
#include <mpi.h>
#endif

#include "shell/failure.h"
#include "shell/preferences.h"
#include "shell/safefile.h"

int clusterRank = 0;
int clusterSize = 1;

namespace {

// ---- the launcher's environment -------------------------------------------

long EnvNumber(const char* name) {
  const char* v = getenv(name);
  if (v == nullptr || *v == '\0') return -1;
  char* end = nullptr;
  const long n = strtol(v, &end, 10);
  return end != nullptr && *end == '\0' && n >= 0 ? n : -1;
}

// The number of processes the launcher started: OpenMPI's mpirun, MPICH's
// Hydra (and other PMI launchers), Slurm's srun.  0 when a PMIx launcher
// started this process without saying how many (MPI must be asked), -1 when
// no launcher started it.
long LauncherSize() {
  for (const char* name : {"OMPI_COMM_WORLD_SIZE", "PMI_SIZE", "SLURM_STEP_NUM_TASKS"}) {
    const long n = EnvNumber(name);
    if (n >= 0) return n;
  }
  if (getenv("PMIX_RANK") != nullptr) return 0;
  return -1;
}

long LauncherRank() {
  for (const char* name : {"OMPI_COMM_WORLD_RANK", "PMI_RANK", "PMIX_RANK", "SLURM_PROCID"}) {
    const long n = EnvNumber(name);
    if (n >= 0) return n;
  }
  return 0;
}

int processorShare = 0;  // 0: not set (alone: every processor)

// ---- time spent communicating ---------------------------------------------

double jobWall = 0.0, jobComm = 0.0;  // totals over the jobs of this process
long long resultsSent = 0;            // answers of a worker (kTagResult)
double jobStart = -1.0;               // start of the job under way
struct CommTimer {
  double start = omp_get_wtime();
  ~CommTimer() {
    if (jobStart >= 0.0) jobComm += omp_get_wtime() - start;
  }
};

// Sleeps a little longer each round, from 20 microseconds up to a
// millisecond: a process that waits leaves its processor to the others.
void Pause(int& round) {
  const long ns = round < 6 ? 20000L << round : 1000000L;
  round++;
  timespec t{0, ns};
  nanosleep(&t, nullptr);
}

bool jobOpen = false;
bool mpiOn = false;

}  // namespace

#ifdef QUILTA_HAVE_MPI

namespace {

// Point-to-point messages are at most this long (ranges of work and their
// results are much shorter); the broadcast goes in pieces of this size.
constexpr size_t kMaxMessage = size_t{1} << 30;

struct Outgoing {
  std::vector<char> bytes;
  MPI_Request request = MPI_REQUEST_NULL;
};
struct Incoming {
  int source = 0, tag = 0;
  std::vector<char> bytes;
  MPI_Request request = MPI_REQUEST_NULL;
  bool complete = false;
};
std::deque<std::unique_ptr<Outgoing>> outgoing;
std::deque<std::unique_ptr<Incoming>> incoming;  // in the order they arrived

// A failed call (the library returns its errors): most often another
// process has ended.  The run cannot go on; the temporary files of this
// process are removed and every process is stopped.
void Check(int rc, const char* what) {
  if (rc == MPI_SUCCESS) return;
  char text[MPI_MAX_ERROR_STRING];
  int len = 0;
  MPI_Error_string(rc, text, &len);
  fflush(stdout);
  fprintf(stderr,
          "\nquilta: process %d of %d: %s failed (%s): another process of this run has "
          "probably ended. The run stops; the session files are as they were before the "
          "analysis under way.\n",
          clusterRank, clusterSize, what, text);
  fflush(stderr);
  RemoveTemporariesNow();
  MPI_Abort(MPI_COMM_WORLD, 1);
}

// Completed sends are released; completed receives marked; messages that
// have arrived are matched and their receives started (in arrival order).
void Advance() {
  while (!outgoing.empty()) {
    int done = 0;
    Check(MPI_Test(&outgoing.front()->request, &done, MPI_STATUS_IGNORE), "MPI_Test");
    if (!done) break;
    outgoing.pop_front();
  }
  for (auto& in : incoming) {
    if (in->complete) continue;
    int done = 0;
    Check(MPI_Test(&in->request, &done, MPI_STATUS_IGNORE), "MPI_Test");
    in->complete = done != 0;
  }
  for (;;) {
    int flag = 0;
    MPI_Message message;
    MPI_Status status;
    Check(MPI_Improbe(MPI_ANY_SOURCE, MPI_ANY_TAG, MPI_COMM_WORLD, &flag, &message, &status),
          "MPI_Improbe");
    if (!flag) break;
    int count = 0;
    MPI_Get_count(&status, MPI_BYTE, &count);
    auto in = std::make_unique<Incoming>();
    in->source = status.MPI_SOURCE;
    in->tag = status.MPI_TAG;
    in->bytes.resize(static_cast<size_t>(count));
    Check(MPI_Imrecv(in->bytes.data(), count, MPI_BYTE, &message, &in->request), "MPI_Imrecv");
    int done = 0;
    Check(MPI_Test(&in->request, &done, MPI_STATUS_IGNORE), "MPI_Test");
    in->complete = done != 0;
    incoming.push_back(std::move(in));
  }
}

void FlushSends() {
  while (!outgoing.empty()) {
    Check(MPI_Wait(&outgoing.front()->request, MPI_STATUS_IGNORE), "MPI_Wait");
    outgoing.pop_front();
  }
}

// Process 0 at its exit: the workers are stopped and every process ends
// MPI; with a job under way the run is aborted instead (the workers are
// computing and would not hear the stop).  Registered before any file is
// written, so it runs after the handlers that remove temporary files.
void AtExit() {
  if (!mpiOn) return;
  fflush(stdout);
  fflush(stderr);
  if (jobOpen) MPI_Abort(MPI_COMM_WORLD, 1);
  const char* timesFile = getenv("QUILTA_CLUSTER_TIMES");
  const char wantTimes = timesFile != nullptr && *timesFile != '\0';
  for (int w = 1; w < clusterSize; w++) ClusterSend(w, kTagStop, &wantTimes, 1);
  if (wantTimes) {
    // Benchmarks and tests: each process's time in jobs, its time in
    // communication during them, and the answers it gave (one per range or
    // data set), one line per process.
    FILE* fp = fopen(timesFile, "w");
    if (fp != nullptr) fprintf(fp, "0\t%.6f\t%.6f\t0\n", jobWall, jobComm);
    std::vector<char> data;
    for (int w = 1; w < clusterSize; w++) {
      int source = 0, tag = 0;
      ClusterReceive(w, &source, &tag, data);
      double t[3] = {0.0, 0.0, 0.0};
      if (data.size() == sizeof t) memcpy(t, data.data(), sizeof t);
      if (fp != nullptr) fprintf(fp, "%d\t%.6f\t%.6f\t%.0f\n", source, t[0], t[1], t[2]);
    }
    if (fp != nullptr) fclose(fp);
  }
  FlushSends();
  mpiOn = false;
  MPI_Finalize();
}

// Processors this process is bound to, and how many processes of its node
// are bound to the same set.
void ShareNode() {
  MPI_Comm node;
  Check(MPI_Comm_split_type(MPI_COMM_WORLD, MPI_COMM_TYPE_SHARED, clusterRank, MPI_INFO_NULL,
                            &node),
        "MPI_Comm_split_type");
  int nodeSize = 1;
  MPI_Comm_size(node, &nodeSize);
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online < 1) online = 1;
  long mine = online;
  uint64_t hash = 0;
#ifdef __linux__
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) == 0) {
    mine = CPU_COUNT(&set);
    hash = 1469598103934665603ULL;
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&set);
    for (size_t k = 0; k < sizeof set; k++) hash = (hash ^ b[k]) * 1099511628211ULL;
  }
#endif
  std::vector<uint64_t> all(static_cast<size_t>(nodeSize));
  Check(MPI_Allgather(&hash, 1, MPI_UINT64_T, all.data(), 1, MPI_UINT64_T, node),
        "MPI_Allgather");
  long same = 0;
  for (uint64_t h : all) same += h == hash ? 1 : 0;
  if (same < 1) same = 1;
  processorShare = static_cast<int>(mine / same > 0 ? mine / same : 1);
  MPI_Comm_free(&node);
}

}  // namespace

void ClusterStart(int argc, char** argv) {
  const long launched = LauncherSize();
  if (launched < 0 || launched == 1) return;  // alone: MPI is never started
  int provided = 0;
  if (MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided) != MPI_SUCCESS) {
    fprintf(stderr, "quilta: MPI could not be started.\n");
    exit(1);
  }
  MPI_Comm_rank(MPI_COMM_WORLD, &clusterRank);
  MPI_Comm_size(MPI_COMM_WORLD, &clusterSize);
  if (clusterSize == 1) {
    MPI_Finalize();
    if (launched > 1) {
      // Each of the launcher's processes sees itself alone: this launcher
      // does not speak to this MPI library (srun without the right --mpi
      // plugin, the mpirun of another MPI).  As for a build without MPI
      // (below): were they all run, the copies would all write the same
      // session files; process 0 runs the session alone and says so.
      clusterRank = 0;
      if (LauncherRank() > 0) exit(0);
      fprintf(stderr,
              "quilta: the launcher started %ld processes but MPI sees this one alone (the "
              "launcher of another MPI library, or srun without its --mpi option?): the session "
              "runs in this one process; the others have ended.\n",
              launched);
    }
    return;
  }
  mpiOn = true;
  // Errors come back to the caller (Check), which says what happened.
  MPI_Comm_set_errhandler(MPI_COMM_WORLD, MPI_ERRORS_RETURN);
  ShareNode();
  if (clusterRank == 0) {
    atexit(AtExit);
    // Killed by the launcher because another process ended: say so before
    // the temporary files are removed and the process ends.
    SetInterruptNote(
        "\nquilta: stopped by the MPI launcher: another process of this run has ended (see "
        "the launcher's message). The analysis under way was abandoned; the session files "
        "are as they were before it.\n");
  } else {
    // The dialogue belongs to process 0: nothing of a worker reaches the
    // standard output.
    if (freopen("/dev/null", "w", stdout) == nullptr) fclose(stdout);
  }
}

bool ClusterCanSpread() { return mpiOn && clusterSize > 1 && clusterRank == 0 && !jobOpen; }

void ClusterOpenJob(int kind, std::vector<char>& payload) {
  jobOpen = true;
  jobStart = omp_get_wtime();
  const int header[2] = {kind, nProcessors};
  for (int w = 1; w < clusterSize; w++) ClusterSend(w, kTagJob, header, sizeof header);
  ClusterBroadcast(payload);
}

void ClusterReleaseJob() {
  if (jobStart >= 0.0) jobWall += omp_get_wtime() - jobStart;
  jobStart = -1.0;
  jobOpen = false;
}

void ClusterCloseJob() {
  for (int w = 1; w < clusterSize; w++) ClusterSend(w, kTagDone, nullptr, 0);
  ClusterReleaseJob();
}

void ClusterSend(int to, int tag, const void* data, size_t size) {
  if (!mpiOn) return;
  CommTimer timer;
  if (size > kMaxMessage) RaiseFailure(kFailMemory);
  if (tag == kTagResult) resultsSent++;
  auto out = std::make_unique<Outgoing>();
  out->bytes.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
  Check(MPI_Isend(out->bytes.data(), static_cast<int>(size), MPI_BYTE, to, tag, MPI_COMM_WORLD,
                  &out->request),
        "MPI_Isend");
  outgoing.push_back(std::move(out));
  Advance();
}

bool ClusterTryReceive(int from, int* source, int* tag, std::vector<char>& data) {
  if (!mpiOn) return false;
  CommTimer timer;
  Advance();
  for (auto it = incoming.begin(); it != incoming.end(); ++it) {
    Incoming& in = **it;
    if (from >= 0 && in.source != from) continue;
    // Messages of one source are taken in their order of arrival.
    if (!in.complete) return false;
    *source = in.source;
    *tag = in.tag;
    data.swap(in.bytes);
    incoming.erase(it);
    return true;
  }
  return false;
}

void ClusterReceive(int from, int* source, int* tag, std::vector<char>& data) {
  int round = 0;
  while (!ClusterTryReceive(from, source, tag, data)) {
    CommTimer timer;
    Pause(round);
  }
}

void ClusterProgress() {
  if (!mpiOn) return;
  // At most every millisecond or so: the callers compute in between.
  static double last = 0.0;
  const double now = omp_get_wtime();
  if (now - last < 0.001) return;
  last = now;
  CommTimer timer;
  Advance();
}

void ClusterBroadcast(std::vector<char>& data) {
  if (!mpiOn) return;
  CommTimer timer;
  uint64_t size = data.size();
  Check(MPI_Bcast(&size, 1, MPI_UINT64_T, 0, MPI_COMM_WORLD), "MPI_Bcast");
  data.resize(size);
  for (uint64_t at = 0; at < size; at += kMaxMessage) {
    const uint64_t piece = size - at < kMaxMessage ? size - at : kMaxMessage;
    Check(MPI_Bcast(data.data() + at, static_cast<int>(piece), MPI_BYTE, 0, MPI_COMM_WORLD),
          "MPI_Bcast");
  }
}

// A worker told to stop: with a benchmark's request, its times first.
[[noreturn]] static void WorkerStops(const std::vector<char>& data) {
  if (!data.empty() && data[0]) {
    const double t[3] = {jobWall, jobComm, static_cast<double>(resultsSent)};
    ClusterSend(0, kTagResult, t, sizeof t);
  }
  FlushSends();
  mpiOn = false;
  MPI_Finalize();
  exit(0);
}

#else  // no MPI in this build

void ClusterStart(int, char**) {
  const long launched = LauncherSize();
  if (launched < 0 || launched == 1) return;
  // Started by a launcher with others, but this build cannot speak to them.
  // Running the session in every process would have them all write the same
  // files; running it in none would leave the user with nothing.  Process 0
  // runs it alone and says so once; the others end at once, quietly.
  if (LauncherRank() > 0) exit(0);
  fprintf(stderr,
          "quilta: this build has no MPI: the session runs in this one process; the other "
          "processes started by the launcher have ended.\n");
}

bool ClusterCanSpread() { return false; }
void ClusterOpenJob(int, std::vector<char>&) {}
void ClusterCloseJob() {}
void ClusterReleaseJob() {}
void ClusterSend(int, int, const void*, size_t) {}
bool ClusterTryReceive(int, int*, int*, std::vector<char>&) { return false; }
void ClusterReceive(int, int*, int*, std::vector<char>&) { RaiseFailure(kFailEndOfFile); }
void ClusterProgress() {}
void ClusterBroadcast(std::vector<char>&) {}
[[noreturn]] static void WorkerStops(const std::vector<char>&) { exit(0); }

#endif

void ClusterReportFailure(int code) { ClusterSend(0, kTagFailure, &code, sizeof code); }

void ClusterRaiseFailure(int source, const std::vector<char>& data) {
  int code = kFailMemory;
  if (data.size() == sizeof code) memcpy(&code, data.data(), sizeof code);
  fflush(stdout);
  fprintf(stderr, "\nProcess %d of %d could not complete its part of the work.\n", source,
          clusterSize);
  RaiseFailure(code);
}

int ClusterProcessorShare() {
  if (processorShare > 0) return processorShare;
  return omp_get_num_procs() > 0 ? omp_get_num_procs() : 1;
}

void ClusterJobTimes(double* wall, double* comm) {
  *wall = jobWall;
  *comm = jobComm;
}

void ClusterWorkerJobStarts() { jobStart = omp_get_wtime(); }
void ClusterWorkerJobEnds() { ClusterReleaseJob(); }

// Used by the worker loop (shell/worker.cpp) when told to stop.
[[noreturn]] void ClusterWorkerStops(const std::vector<char>& data) { WorkerStops(data); }
