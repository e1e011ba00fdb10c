// The processes of one run started by an MPI launcher (mpirun, mpiexec,
// srun): process 0 holds the dialogue, the console, the generator and every
// file; the others wait for jobs from it (WorkerLoop) and only compute.
//
// This module is the only one that sees MPI.  Its interface moves bytes:
// the analyses pack what a job needs (shell/pack.h) and hand ranges of work
// out themselves.  Started alone (no launcher in the environment) the
// program never initialises MPI; built without MPI everything here is a
// single process.
#pragma once

#include <cstddef>
#include <vector>

extern int clusterRank;  // this process, 0 .. clusterSize - 1
extern int clusterSize;  // processes of the run (1 alone)

// Message tags.  A job starts with kTagJob (its kind and settings) and a
// broadcast of what it needs; the work of the job goes out as kTagWork and
// comes back as kTagResult; kTagDone ends the job, kTagStop the worker.  A
// worker whose work fails sends kTagFailure with the failure code.
enum ClusterTag {
  kTagJob = 1,
  kTagWork = 2,
  kTagResult = 3,
  kTagFailure = 4,
  kTagDone = 5,
  kTagStop = 6,
};

// Kinds of job.
enum ClusterJob {
  kJobPermutations = 1,  // iterations of a permutation test
  kJobRanking = 2,       // trait subsets of a ranking
  kJobDataSets = 3,      // simulated data sets
};

// Called first in main.  Reads the launcher's variables; with more than one
// process starts MPI, learns this process's rank and its share of the node,
// and sends the standard output of every process but 0 to nowhere.  Ends
// the process when it cannot run as asked (see cluster.cpp).
void ClusterStart(int argc, char** argv);

// True on process 0 of a run of several processes while no job holds the
// other processes: work may then be spread over them.
bool ClusterCanSpread();
// Process 0: starts a job on every other process (header: kind and the
// program's thread preference; then the payload, broadcast, which the
// caller gives up).  Until ClusterCloseJob, an exit of process 0 aborts the
// whole run.
void ClusterOpenJob(int kind, std::vector<char>& payload);
// Process 0: ends the job on every worker (kTagDone) and gives back the
// processes.
void ClusterCloseJob();
// Process 0: the job ended on the workers by itself (each worker left it
// without a kTagDone): the processes are free again.
void ClusterReleaseJob();

// Point-to-point messages.  Sends never wait for the receiver (the bytes
// are copied and go out while the program goes on), and waits never spin:
// they poll and sleep, so that a waiting process leaves its processor to
// the computing ones.  Messages from one process arrive in the order sent.
void ClusterSend(int to, int tag, const void* data, size_t size);
inline void ClusterSend(int to, int tag, const std::vector<char>& data) {
  ClusterSend(to, tag, data.data(), data.size());
}
// The next message from `from` (-1: any process) when one has arrived
// whole: its source, tag and bytes.
bool ClusterTryReceive(int from, int* source, int* tag, std::vector<char>& data);
// The same, waiting for it.
void ClusterReceive(int from, int* source, int* tag, std::vector<char>& data);
// Moves the messages under way along (at most about every millisecond;
// cheaper than that otherwise).  Computing loops call it from the thread
// that started them, so that a large message travels while the process
// computes.
void ClusterProgress();
// The payload of the job just started (process 0 gives it, the workers
// receive it).
void ClusterBroadcast(std::vector<char>& data);

// A worker's report of a failure of its part of the job to process 0.
void ClusterReportFailure(int code);
// Process 0, receiving a kTagFailure from process `source`: names the
// process on the error stream and raises the failure.
[[noreturn]] void ClusterRaiseFailure(int source, const std::vector<char>& data);

// Processors this process may use when the thread preference is 0: those
// it is bound to, shared with the processes of the node bound to the same
// set (the whole node divided by its processes when none is bound); at
// least 1.  Alone: every processor.
int ClusterProcessorShare();

// Time spent in the calls of this module (sending, waiting, receiving)
// during jobs, and the wall time of those jobs, on this process (seconds).
void ClusterJobTimes(double* wall, double* comm);
// Marks the start and the end of a job on a worker (for ClusterJobTimes).
void ClusterWorkerJobStarts();
void ClusterWorkerJobEnds();
// A worker told to stop (the bytes of kTagStop): ends MPI and the process.
[[noreturn]] void ClusterWorkerStops(const std::vector<char>& data);
