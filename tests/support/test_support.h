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
