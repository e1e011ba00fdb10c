#include "shell/cluster.h"
#include "shell/shell.h"
#include "shell/worker.h"

int main(int argc, char** argv) {
  // Under an MPI launcher every process but 0 serves jobs; alone (or as
  // process 0) the program runs the dialogue.
  ClusterStart(argc, argv);
  if (clusterRank > 0) WorkerLoop();
  mainInit();
}
