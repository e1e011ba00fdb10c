// Checked reading of the session's own data files (the formatted data file
// and the track file) and of the raw files of the import.  They are written
// with SafeWriter (shell/safefile.h).
//
// A DataReader owns its stream: it is closed exactly once, either when a
// missing or malformed item is met (the reader then prints "\nfile %s " with
// the file name, rings the bell and raises failure code 2) or when the reader
// goes away.  Counts read from a file are checked against what the file could
// possibly hold before anything is allocated from them.  A file holding a NUL
// byte is not text and is refused at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

struct DataReader {
  FILE* fp = nullptr;
  std::string name;  // used in messages
  int64_t size = 0;  // bytes in the file (0 when not a regular file)
  std::string word;  // the last number read (Int, Double)

  // Opens volumeName + name for reading; raises code 4 when it cannot.
  explicit DataReader(const char* fileName);
  // Takes over a stream already open for reading.
  DataReader(FILE* open, const char* fileName);
  ~DataReader();
  DataReader(const DataReader&) = delete;
  DataReader& operator=(const DataReader&) = delete;

  // The largest number of whitespace-separated values the file can hold:
  // every value takes one character and a separator (the last one may lack
  // its separator).
  int64_t MaxValues() const { return (size + 1) / 2; }

  [[noreturn]] void Malformed();
  // Malformed when the file holds a NUL byte (done when the reader opens).
  void RefuseBinary();
  // Skips white space; false at the end of the file.
  bool SkipSpace();
  // Next whitespace-delimited word; false at the end of the file.
  bool NextToken(std::string& token);
  // Next word into word; false at the end of the file.
  bool NextWord();
  // Next word; malformed at the end of the file.
  std::string Token();
  // A whole integer word within [lo, hi]; anything else is malformed.
  int Int(int lo, int hi);
  int Int();
  // A finite number.
  double Double();
  // A word cut to width characters into dest (width + 1 characters).
  void Label(char* dest, int width);
  // One tab-separated field (tabEnds) or one line of at most n characters
  // into dest (n + 1 characters), trailing blanks removed; the rest of an
  // overlong line is skipped.  Malformed at the end of the file.
  void Line(char* dest, int n, bool tabEnds);
  // One map character '0' or '1', skipping white space; other characters are
  // refused with the usual "Incorrect input" lines and reading goes on.
  char MapChar();
  // count map characters into dest, as MapChar reads them one by one.
  void MapChars(char* dest, int count);
  // Tries to read an integer; at the end of the file or when the next word is
  // not an integer, consumes nothing and returns false.
  bool TryInt(int& value);

  // A count: an integer from lo to what the file could hold as values.
  int Count(int lo);
  // Malformed unless rows * columns values fit in the file.
  void Fits(int64_t rows, int64_t columns);
  // Same for tables of single characters without separators.
  void FitsChars(int64_t rows, int64_t columns);

  void Close();
};


// White space of the C locale (isspace), without a call per character.
inline bool IsBlankChar(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Bytes in an open file (0 when it is not a regular file).
int64_t FileSizeOf(FILE* fp);
// Parses a whole word as an int / a finite double.
bool ParseInt(const std::string& word, int& value);
bool ParseDouble(const std::string& word, double& value);
// Removes trailing blanks (and carriage returns) in place.
void TrimRight(char* s);
