// Failure exits of the program.
//
// Work that cannot go on is abandoned by throwing a QuiltaFailure carrying a
// numbered code; the session catcher (or the catcher around the main-menu
// paths that run outside a session) prints the code's message and ends the
// process.  Codes:
//   1 out of memory, 2 end of file or unreadable value,
//   3 failure to write a file, 4 failure to open a file.
// A fifth, kFailReported, ends the process quietly: the raising routine has
// printed its own report (a correlation matrix of the simulation that is not
// positive definite).
#pragma once

enum FailureCode {
  kFailMemory = 1,
  kFailEndOfFile = 2,
  kFailPrint = 3,
  kFailOpen = 4,
  kFailReported = 5,
};

struct QuiltaFailure {
  int code;
};

// Abandons the current work: the C++ rendering of the non-local jump back to
// the failure catcher.
[[noreturn]] void RaiseFailure(int code);

// What a catcher does with a failure: the code's message, "Quit and restart",
// the bell on standard error, the read-until on standard input, exit status 1.
[[noreturn]] void HandleFailure(int code);
