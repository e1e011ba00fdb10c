// Files that hold the user's work are never left truncated.
//
// A file rewritten whole (mode "w") is written under a temporary name in its
// own directory, then flushed, synced to the disk and checked, and only then
// renamed over the old file.  A failure at any point (a full disk, a write
// error, an exception that abandons the work, an interrupt) leaves the old
// file as it was, or no file when there was none, and removes the temporary
// file.  After the rename the directory is synced too, so that the new name
// survives a power loss.  Only a process killed outright can leave a
// temporary file behind: it is hidden (".name.<pid>@<host>.XXXXXX") and the
// old file is still whole; the next run removes it (RemoveStaleTemporaries).
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

// Removes the temporary files being written, for a process about to be
// ended from outside its failure path (an MPI abort).
void RemoveTemporariesNow();

// A text (static storage) written to the error stream when an interrupt
// ends the process, before its temporary files are removed.
void SetInterruptNote(const char* text);

// Removes a temporary file of SafeTempPath that is not to be installed.
void SafeDiscardTemp(const std::string& temp);

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

// The same for writers that keep only the stream: SafeCreate opens
// directory + name for rewriting whole (null after "can't open"), SafeFinish
// puts it in place (true) or keeps the old contents (false, a write failed),
// SafeAbandon keeps the old contents.  Both close the stream.  A stream
// still open when the process exits is discarded.
FILE* SafeCreate(const char* name, const char* directory);
bool SafeFinish(FILE* fp);
void SafeAbandon(FILE* fp);

// For writers that open the file themselves (figures): a new, empty
// temporary file in the directory of path, removed on an interrupt; empty
// when it cannot be created.  SafeInstallTemp syncs it, renames it over path
// and syncs the directory; false when that fails, the temporary file then
// removed.
std::string SafeTempPath(const char* path);
bool SafeInstallTemp(const std::string& temp, const char* path);

// Removes from directory (the current one when null or empty) the temporary
// files made on this host by runs of this program that are no longer
// running; returns how many.  ReportStaleTemporaries also says so on stream
// when there were any.
int RemoveStaleTemporaries(const char* directory);
void ReportStaleTemporaries(FILE* stream, const char* directory);
