// The worker's loop: a job header from process 0 (its kind and the thread
// preference), the job's payload by broadcast, then the job's own exchange
// (ranges of work and their results) until process 0 ends it.  A failure of
// the job is reported to process 0, which ends the run through its own
// failure path.
#include "shell/worker.h"

#include <gsl/gsl_errno.h>

#include <cstring>
#include <new>
#include <vector>

#include "functional/permtest.h"
#include "ranking/ranking.h"
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/pack.h"
#include "shell/preferences.h"
#include "shell/shell.h"
#include "simulation/simulation.h"

void WorkerLoop() {
  gsl_set_error_handler_off();
  InitGlobals();
  InitIFLibG();
  std::vector<char> data;
  for (;;) {
    int source = 0, tag = 0;
    ClusterReceive(0, &source, &tag, data);
    if (tag == kTagStop) ClusterWorkerStops(data);
    // Anything else outside a job is the rest of a job this process left
    // after a failure: process 0 is ending the run.
    if (tag != kTagJob || data.size() != 2 * sizeof(int)) continue;
    int header[2];
    memcpy(header, data.data(), sizeof header);
    nProcessors = header[1];
    SetThreadCount();
    Pack payload;
    ClusterBroadcast(payload.bytes);
    ClusterWorkerJobStarts();
    try {
      switch (header[0]) {
        case kJobPermutations: PermTestWorker(payload); break;
        case kJobRanking: RankingWorker(payload); break;
        case kJobDataSets: DataSetsWorker(payload); break;
        default: break;
      }
    } catch (const QuiltaFailure& f) {
      ClusterReportFailure(f.code);
    } catch (const std::bad_alloc&) {
      ClusterReportFailure(kFailMemory);
    }
    ClusterWorkerJobEnds();
  }
}
