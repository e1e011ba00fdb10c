// Files that hold the user's work are never left truncated.
//
// A file rewritten whole (mode "w") is written under a temporary name in its
// own directory, then flushed, synced to the disk and checked, and only then
// renamed over the old file.  A failure at any point (a full disk, a write
// error, an exception that abandons the work, an interrupt) leaves the old
// file as it was, or no file when there was none, and removes the temporary
// file.  Only a process killed outright can leave a temporary file behind:
// it is hidden (".name.XXXXXX") and the old file is still whole.
//
// A file appended to (mode "a") is cut back to its old length when the append
// fails, so that what it held before is kept.
#pragma once

#include <cstdio>
#include <string>

struct SafeFile {
  FILE* fp = nullptr;
  std::string name;        // as given, for messages
  std::string path;        // the file itself (directory + name, links resolved)
  std::string temp;        // the temporary file of mode "w" (empty otherwise)
  long long oldSize = -1;  // length before an append (mode "a")

  SafeFile() = default;
  ~SafeFile();  // a file still open is discarded
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;
};

// Opens directory + name (name alone when directory is null) for writing
// with mode "w" or "a" and returns the stream, or null after "\ncan't open
// %s \n" and the bell when the file (or its temporary file) cannot be
// created.
FILE* SafeOpen(SafeFile& f, const char* name, const char* directory, const char* mode);
// Completes the file: true when the new contents are in place.  False when a
// write failed at any point; the old contents are then kept.
bool SafeClose(SafeFile& f);
// Abandons the file: the old contents are kept.
void SafeDiscard(SafeFile& f);

// The writer of the session files (formatted data, track, preferences):
// every write is checked.  A file that cannot be created raises failure
// code 4; a failed write prints "\nfile %s " with the name and the bell and
// raises code 3.  A writer that goes away unclosed (an exception) discards
// its file.
struct SafeWriter {
  SafeFile file;
  FILE* fp = nullptr;  // the stream written (also for TimeStamp and the like)

  // volumeName + fileName, rewritten whole.
  explicit SafeWriter(const char* fileName);
  SafeWriter(const SafeWriter&) = delete;
  SafeWriter& operator=(const SafeWriter&) = delete;

  void Put(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // n bytes as they are.
  void Write(const char* data, size_t n);
  // Puts the file in place.
  void Close();
  [[noreturn]] void Failed();
};
