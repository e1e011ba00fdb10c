// The processes other than process 0 of a run under an MPI launcher: they
// wait for jobs from process 0 and run them until told to stop.
#pragma once

// Sets the program's defaults and serves jobs; never returns.
[[noreturn]] void WorkerLoop();
