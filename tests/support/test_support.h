// Helpers shared by the test runners.
#pragma once

#include <string>

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

// Runs quilta in dir with the given text on standard input.
RunResult RunQuilta(const std::string& dir, const std::string& input);
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// The text without the lines that look like ctime time stamps.
std::string WithoutTimeStamps(const std::string& text);
// Number of non-overlapping occurrences of needle in text.
int CountOf(const std::string& text, const std::string& needle);

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
