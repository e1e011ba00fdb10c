#include "data/datafile.h"

#include <sys/stat.h>

#include <cctype>
#include <charconv>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "shell/console.h"
#include "shell/failure.h"
#include "shell/readers.h"

static void Bell() {
  fputc(7, stdout);
  fflush(stdout);
}

int64_t FileSizeOf(FILE* fp) {
  struct stat st;
  if (fp == nullptr || fstat(fileno(fp), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<int64_t>(st.st_size);
}

bool ParseInt(const std::string& word, int& value) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = strtol(word.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < INT_MIN || v > INT_MAX) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseDouble(const std::string& word, double& value) {
  if (word.empty()) return false;
  // The common decimal word through the fast reader (correctly rounded, as
  // strtod is); anything it does not take whole (a sign +, hexadecimal, an
  // underflow) goes to strtod as before.
  double fast = 0.0;
  const char* first = word.data();
  const char* last = first + word.size();
  const auto [at, ec] = std::from_chars(first, last, fast);
  if (ec == std::errc() && at == last && std::isfinite(fast)) {
    value = fast;
    return true;
  }
  char* end = nullptr;
  double v = strtod(word.c_str(), &end);
  if (*end != '\0' || !std::isfinite(v)) return false;
  value = v;
  return true;
}

void TrimRight(char* s) {
  size_t n = strlen(s);
  while (n > 0 && (s[n - 1] == ' ' || s[n - 1] == '\r' || s[n - 1] == '\t')) s[--n] = '\0';
}

// ---- reading --------------------------------------------------------------

// True when the rest of the stream holds a NUL byte; the stream is put back
// where it was.
static bool HoldsNul(FILE* fp) {
  const long start = ftell(fp);
  if (start < 0) return false;
  char buffer[8192];
  bool found = false;
  size_t n;
  while (!found && (n = fread(buffer, 1, sizeof buffer, fp)) > 0)
    found = memchr(buffer, '\0', n) != nullptr;
  clearerr(fp);
  fseek(fp, start, SEEK_SET);
  return found;
}

// A NUL byte has no place in a text file; it would also cut a label or a
// name short in memory and shift what is written after it.  Such a file is
// refused as malformed before anything is read.
void DataReader::RefuseBinary() {
  if (HoldsNul(fp)) Malformed();
}

DataReader::DataReader(const char* fileName) : name(fileName) {
  fp = fopenck(fileName, volumeName, "r");
  if (fp == nullptr) RaiseFailure(kFailOpen);
  size = FileSizeOf(fp);
  RefuseBinary();
}

DataReader::DataReader(FILE* open, const char* fileName)
    : fp(open), name(fileName), size(FileSizeOf(open)) {
  RefuseBinary();
}

DataReader::~DataReader() { Close(); }

void DataReader::Close() {
  if (fp != nullptr) fclose(fp);
  fp = nullptr;
}

void DataReader::Malformed() {
  Close();
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nfile %s ", name.c_str());
  Bell();
  RaiseFailure(kFailEndOfFile);
}

bool DataReader::SkipSpace() {
  int c;
  do {
    c = getc_unlocked(fp);
  } while (c != EOF && IsBlankChar(c));
  if (c == EOF) return false;
  ungetc(c, fp);
  return true;
}

bool DataReader::NextToken(std::string& token) {
  token.clear();
  int c;
  do {
    c = getc_unlocked(fp);
  } while (c != EOF && IsBlankChar(c));
  if (c == EOF) return false;
  do token += static_cast<char>(c);
  while ((c = getc_unlocked(fp)) != EOF && !IsBlankChar(c));
  // Every reading starts by passing over white space, so the blank that
  // ends the word stays read, but for a line end (a raw file's lines are
  // counted).
  if (c == '\n') ungetc(c, fp);
  return true;
}

std::string DataReader::Token() {
  std::string t;
  if (!NextToken(t)) Malformed();
  return t;
}

// The numbers of the matrices are read through one word buffer kept by the
// reader (no string made per value).
bool DataReader::NextWord() {
  word.clear();
  return NextToken(word);
}

int DataReader::Int(int lo, int hi) {
  int v = 0;
  if (!NextWord() || !ParseInt(word, v) || v < lo || v > hi) Malformed();
  return v;
}

int DataReader::Int() { return Int(INT_MIN, INT_MAX); }

double DataReader::Double() {
  double v = 0.0;
  if (!NextWord() || !ParseDouble(word, v)) Malformed();
  return v;
}

void DataReader::Label(char* dest, int width) {
  std::string t = Token();
  snprintf(dest, static_cast<size_t>(width) + 1, "%s", t.c_str());
}

void DataReader::Line(char* dest, int n, bool tabEnds) {
  // At least one character other than white space is there, so the line
  // readers below cannot meet the end of the file before copying one.
  if (!SkipSpace()) Malformed();
  int ender =
      tabEnds ? freadlineck(fp, n, dest, name.c_str()) : freadlineckTEMP(fp, n, dest, name.c_str());
  if (ender == 0) {  // n characters copied: the rest of the field is dropped
    int c;
    while ((c = fgetc(fp)) != EOF && c != '\n' && c != '\r' && !(tabEnds && c == '\t')) {
    }
  }
  TrimRight(dest);
}

char DataReader::MapChar() {
  for (;;) {
    int c = getc_unlocked(fp);
    if (c == EOF) Malformed();
    if (c == '0' || c == '1') return static_cast<char>(c);
    if (c == ' ' || iscntrl(c)) continue;
    Bell();
    fprintf(stderr, "\nIncorrect input = %c. Reenter.\n", c);
    fprintf(stderr, "Accepted input: %s\n", "0 1");
  }
}

void DataReader::MapChars(char* dest, int count) {
  for (int k = 0; k < count; k++) {
    const int c = getc_unlocked(fp);
    if (c == '0' || c == '1')
      dest[k] = static_cast<char>(c);
    else if (c == EOF)
      Malformed();
    else {
      // Blanks, line ends and anything to refuse: the one-character reader.
      ungetc(c, fp);
      dest[k] = MapChar();
    }
  }
}

bool DataReader::TryInt(int& value) {
  long pos = ftell(fp);
  std::string t;
  if (NextToken(t) && ParseInt(t, value)) return true;
  if (pos >= 0) fseek(fp, pos, SEEK_SET);
  return false;
}

int DataReader::Count(int lo) {
  int v = Int(lo, INT_MAX);
  if (v > MaxValues()) Malformed();
  return v;
}

void DataReader::Fits(int64_t rows, int64_t columns) {
  if (rows < 0 || columns < 0 || rows * columns > MaxValues()) Malformed();
}

void DataReader::FitsChars(int64_t rows, int64_t columns) {
  if (rows < 0 || columns < 0 || rows * columns > size) Malformed();
}
