#include "shell/readers.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "shell/console.h"
#include "shell/failure.h"

bool IsKeyboardStream(FILE* fp) { return fp == stdin || fp == in_; }

static void Bell() {
  fputc(7, stdout);
  fflush(stdout);
}

// Closes a file stream; the console streams stay open.
static void CloseStream(FILE* fp) {
  if (fp != nullptr && !IsKeyboardStream(fp)) fclose(fp);
}

// Ends the reading of a stream with failure code 2.  fp is closed unless it
// is a console stream or was already closed (by freadck1).
[[noreturn]] static void EndOfStream(FILE* fp, const char* role, bool bell,
                                     bool alreadyClosed = false) {
  if (!alreadyClosed) CloseStream(fp);
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nfile %s ", role);
  if (bell) Bell();
  RaiseFailure(kFailEndOfFile);
}

FILE* fopenck(const char* name, const char* directory, const char* mode) {
  std::string path = directory ? std::string(directory) + name : std::string(name);
  FILE* fp = fopen(path.c_str(), mode);
  if (fp == nullptr) {
    fprintf(stderr, "\ncan't open %s \n", path.c_str());
    Bell();
  }
  return fp;
}

int freadck(FILE* fp, const char* format, void* dest, const char* role) {
  int n = fscanf(fp, format, dest);
  if (n == EOF || n < 1) EndOfStream(fp, role, true);
  return n;
}

int freadck1(FILE* fp, const char* format, void* dest, const char* role) {
  const bool isReal = strcmp(format, "%lf") == 0;
  for (;;) {
    int n = fscanf(fp, format, dest);
    if (n == 1) {
      if (isReal && !std::isfinite(*static_cast<double*>(dest))) continue;
      return 1;
    }
    if (n == EOF) {
      CloseStream(fp);
      fprintf(stderr, "\nEnd of file %s\n", role);
      Bell();
      return 0;
    }
    if (fgetc(fp) == EOF) {
      CloseStream(fp);
      fprintf(stderr, "\nEnd of file %s\n", role);
      Bell();
      return 0;
    }
  }
}

int ScanChar(FILE* fp, const char* accepted, const char* role) {
  const bool hasList = accepted != nullptr && accepted[0] != '\0';
  for (;;) {
    int c = fgetc(fp);
    if (c == EOF) EndOfStream(fp, role, false);
    c = tolower(c);
    if (!hasList) {
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
      return c;
    }
    if (c == ' ' || iscntrl(c)) continue;
    for (const char* a = accepted; *a; a++)
      if (*a != ' ' && tolower(static_cast<unsigned char>(*a)) == c) return c;
    Bell();
    fprintf(stderr, "\nIncorrect input = %c. Reenter.\n", c);
    fprintf(stderr, "Accepted input: %s\n", accepted);
  }
}

static bool InValueList(double x, const char* list) {
  const char* p = list;
  for (;;) {
    char* end;
    double v = strtod(p, &end);
    if (end == p) return false;
    if (v == x) return true;
    p = end;
  }
}

double ScanNumberRange(FILE* fp, const char* role, const char* accepted, double min,
                       double max) {
  double x = 0.0;
  if (accepted == nullptr) {
    if (freadck1(fp, "%lf", &x, role) == 1) return x;
    if (IsKeyboardStream(fp)) EndOfStream(fp, role, false, true);
    return -1.0;  // the file is closed; the callers take -1 as the failure
  }
  const bool isRange = accepted[0] == '-';
  for (;;) {
    // With a list or a range a closed stream can never give an accepted
    // answer: its end is a failure like the end of any other stream.
    if (freadck1(fp, "%lf", &x, role) != 1) EndOfStream(fp, role, false, true);
    if (accepted[0] == '\0') return x;
    if (isRange ? (min <= x && x <= max) : InValueList(x, accepted)) return x;
    Bell();
    fprintf(stderr, "\nIncorrect input = %g. Reenter.\n", x);
    if (isRange)
      fprintf(stderr, "Accepted input: %g to %g\n", min, max);
    else
      fprintf(stderr, "Accepted input: %s\n", accepted);
  }
}

double ScanNumber(FILE* fp, const char* role, const char* accepted) {
  return ScanNumberRange(fp, role, accepted, 0.0, 0.0);
}

double ScanNumber(FILE* fp, const char* role, const char* accepted, double min, double max) {
  return ScanNumberRange(fp, role, accepted, min, max);
}

char* ScanString(FILE* fp, int width, char* dest, const char* accepted, int caseSensitive,
                 const char* role) {
  char word[256];
  if (freadck1(fp, "%255s", word, role) != 1) {
    if (IsKeyboardStream(fp)) EndOfStream(fp, role, false, true);
    return nullptr;
  }
  if (width < 0) width = 0;
  strncpy(dest, word, static_cast<size_t>(width));
  dest[width] = '\0';
  if (accepted == nullptr || accepted[0] == '\0') return dest;
  std::string list(accepted);
  size_t start = 0;
  for (;;) {
    size_t slash = list.find('/', start);
    std::string alt = list.substr(start, slash == std::string::npos ? std::string::npos
                                                                   : slash - start);
    if (caseSensitive ? alt == dest : StrCmp(alt.c_str(), dest) == 0) return dest;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  Bell();
  fprintf(stderr, "\nIncorrect input = %s. Reenter.\n", word);
  fprintf(stderr, "Accepted input: %s\n", accepted);
  dest[0] = '\0';
  return nullptr;
}

static int ReadField(FILE* fp, int n, char* dest, const char* role, bool tabEnds) {
  int c;
  do {
    c = fgetc(fp);
  } while (c == ' ' || c == '\t' || c == '\n' || c == '\r');
  if (c == EOF) {
    if (n <= 0) {
      if (dest) dest[0] = '\0';
      return EOF;
    }
    EndOfStream(fp, role, true);
  }
  ungetc(c, fp);
  if (n <= 0) {
    dest[0] = '\0';
    return 0;
  }
  int copied = 0;
  int ender = 0;
  while (copied < n) {
    c = fgetc(fp);
    if (c == EOF) {
      if (copied == 0) EndOfStream(fp, role, true);
      ender = EOF;
      break;
    }
    if (c == '\n' || c == '\r' || (tabEnds && c == '\t')) {
      ender = c;
      break;
    }
    dest[copied++] = (c == '\t') ? ' ' : static_cast<char>(c);
  }
  dest[copied] = '\0';
  return ender;
}

int freadlineck(FILE* fp, int n, char* dest, const char* role) {
  return ReadField(fp, n, dest, role, true);
}

int freadlineckTEMP(FILE* fp, int n, char* dest, const char* role) {
  return ReadField(fp, n, dest, role, false);
}

int StrCmp(const char* a, const char* b) {
  for (;; a++, b++) {
    int x = toupper(static_cast<unsigned char>(*a));
    int y = toupper(static_cast<unsigned char>(*b));
    if (x != y) return x - y;
    if (x == 0) return 0;
  }
}

void StrToUpper(char* s) {
  for (; *s; s++) *s = static_cast<char>(toupper(static_cast<unsigned char>(*s)));
}
