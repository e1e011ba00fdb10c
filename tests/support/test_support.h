// Helpers shared by the test runners.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "shell/failure.h"

// A finished run of the quilta binary.
struct RunResult {
  int status;          // exit status (or 128 + signal)
  std::string out;     // standard output
  std::string err;     // standard error
};

// A fresh temporary directory, removed when the object goes away.
struct TempDir {
  std::string path;
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  std::string file(const std::string& name) const { return path + "/" + name; }
};

// Runs quilta in dir with the given text on standard input; a run longer
// than the time limit is killed (status 124).
RunResult RunQuilta(const std::string& dir, const std::string& input, int timeoutSeconds = 300);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Every name in dir, hidden ones included.
std::set<std::string> Listing(const std::string& dir);
// The text without the lines that look like ctime time stamps.
std::string WithoutTimeStamps(const std::string& text);
// Number of non-overlapping occurrences of needle in text.
int CountOf(const std::string& text, const std::string& needle);
// Whether text holds needle; the text is shown when the expectation fails.
testing::AssertionResult Holds(const std::string& text, const std::string& needle);

// The failure code a piece of work ends with (0 when it ends normally).
template <class F>
int FailureOf(F work) {
  try {
    work();
  } catch (const QuiltaFailure& f) {
    return f.code;
  }
  return 0;
}

// End of input at every prompt of a scripted dialog.  The answers (one per
// line) take the program from its start through the dialog and out again.
// The script is cut after each of its lines from the firstCut-th on and run
// in a fresh directory prepared by setup: every cut must end the program
// with "END OF FILE !!!" and status 1, the whole script with status 0 and
// the text `reached` on standard output, and no run may report a sanitizer
// error.  Failures are reported with the answers of the run; returns the
// number of runs.
int WalkEndOfInput(const std::function<void(const TempDir&)>& setup,
                   const std::vector<std::string>& answers, const std::string& reached,
                   size_t firstCut = 1);

#include <cstdio>

// Captures what is written to a standard stream (stdout or stderr), at the
// file-descriptor level, from construction until Text() is called.
class CapturedStream {
 public:
  explicit CapturedStream(FILE* stream);
  ~CapturedStream();
  CapturedStream(const CapturedStream&) = delete;
  CapturedStream& operator=(const CapturedStream&) = delete;
  // Restores the stream and returns the text written meanwhile.
  std::string Text();

 private:
  FILE* stream_;
  int savedFd_ = -1;
  std::string path_;
};

// Points the dialogue streams at temporary files: in_ reads the given text,
// out collects the dialogue.  Restores both on destruction.
class ConsoleScript {
 public:
  explicit ConsoleScript(const std::string& input);
  ~ConsoleScript();
  ConsoleScript(const ConsoleScript&) = delete;
  ConsoleScript& operator=(const ConsoleScript&) = delete;
  // The dialogue written to out so far.
  std::string Dialogue();

 private:
  FILE* savedIn_;
  FILE* savedOut_;
  FILE* in_file_;
  FILE* out_file_;
};

// Replaces standard input by the given text (the routines that read the
// keyboard directly, such as the file-or-keyboard question, use it).
void SetStandardInput(const std::string& text);
// A stream reading the given text; the caller closes it (or a reader does).
FILE* TextStream(const std::string& text);
