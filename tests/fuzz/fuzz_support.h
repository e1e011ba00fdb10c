// Shared pieces of the fuzz targets of the file readers.
//
// Each target writes the input it is given to a file in a scratch working
// directory and hands that file to a reader of the program, as a session
// would.  A reader may refuse the file: that is a failure exception
// (QuiltaFailure), an orderly end, not a fault.  Faults are what the
// sanitizers and libFuzzer report: crashes, undefined behaviour, leaks,
// hangs, allocations beyond the limit, exits, and the checks a target makes
// on what it read (FUZZ_CHECK).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "shell/failure.h"

// Once per process: a scratch directory, the program's defaults, and the
// console output (dialogue, messages, bells) sent to /dev/null so that only
// the fuzzer's and the sanitizers' reports are left on screen.
void FuzzInit();

// The scratch directory is the working directory while an input runs (the
// fuzzer's own files, corpus and artifacts, stay where they were named).
struct InScratch {
  InScratch();
  ~InScratch();
};

// Writes size bytes of data as file name in the working directory.
void WriteInput(const std::string& name, const uint8_t* data, size_t size);
void WriteInput(const std::string& name, const std::string& text);
std::string ReadText(const std::string& name);

// Points the keyboard (in_ and standard input) at the given answers.
void SetAnswers(const std::string& answers);

// The input split at the first line holding only "%%" (the separator line
// is dropped); the rest is empty when there is none.
void SplitAtMarker(const std::string& input, std::string& first, std::string& rest);

// Runs work; true when it ended normally, false when a failure was raised.
template <class F>
bool Orderly(F work) {
  try {
    work();
    return true;
  } catch (const QuiltaFailure&) {
    return false;
  }
}

// A property of what was read that must hold: a violation aborts, which
// libFuzzer reports as a crash with the input saved.
#define FUZZ_CHECK(cond)                                                               \
  do {                                                                                 \
    if (!(cond)) FuzzCheckFailed(#cond, __FILE__, __LINE__);                           \
  } while (0)
[[noreturn]] void FuzzCheckFailed(const char* what, const char* file, int line);

// Releases the community data set (if any) and clears its counts.
void ReleaseDataSet();
// Loads formatted data file name into the data set; false when refused.
bool LoadFormda(const std::string& name);
// The text without its ctime time-stamp lines.
std::string WithoutStamps(const std::string& text);
