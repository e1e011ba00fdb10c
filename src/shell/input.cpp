#include "shell/input.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "shell/console.h"
#include "shell/readers.h"

int ReadCharIn(const char* accepted) { return ScanChar(in_, accepted, "input"); }

double ReadNumberIn(const char* format, const char* accepted, ...) {
  (void)format;
  double min = 0.0, max = 0.0;
  if (accepted != nullptr && accepted[0] == '-') {
    va_list ap;
    va_start(ap, accepted);
    min = va_arg(ap, double);
    max = va_arg(ap, double);
    va_end(ap);
  }
  return ScanNumberRange(in_, "input", accepted, min, max);
}

void ReadStringIn(const char* format, char* word, size_t size) {
  // The first conversion of format, e.g. "%s" of "%s\n" or "%4s" of "%4s ".
  std::string token;
  const char* p = strchr(format, '%');
  if (p != nullptr) {
    token += *p++;
    while (*p && *p != ' ' && *p != '\n' && *p != '\t' && *p != '%') token += *p++;
  }
  if (token == "%s" || token.empty()) token = "%" + std::to_string(size > 1 ? size - 1 : 1) + "s";
  freadck(in_, token.c_str(), word, "input");
}

void ReadLineIn(char* line, int n) { freadlineck(in_, n, line, "input"); }

// Asks where the values come from; true for a file.
static bool AskFileOrKeyboard() {
  fprintf(out, "Read input from file (f) or from the keyboard (k)? f/k ");
  int c = ScanChar(stdin, "f k", "keyboard");
  fprintf(out, "\n");
  return c == 'f';
}

static bool Confirmed() {
  fprintf(out, "Are these correct? y/n ");
  return ScanChar(stdin, "y n", "keyboard") == 'y';
}

int ReadLongInput(int n, int width, char** labels, const char* what) {
  for (;;) {
    bool failed = false;
    if (AskFileOrKeyboard()) {
      char name[52];
      fprintf(out, "Enter name of file containing the labels: ");
      freadlineck(stdin, 51, name, "keyboard");
      FILE* fp = fopenck(name, nullptr, "r");
      if (fp == nullptr) {
        fprintf(out, "\n");
        continue;
      }
      for (int i = 0; i < n; i++) {
        char word[256];
        if (freadck1(fp, "%255s", word, name) != 1) {  // closes fp at its end
          fp = nullptr;
          failed = true;
          break;
        }
        strncpy(labels[i], word, static_cast<size_t>(width));
        labels[i][width] = '\0';
      }
      if (fp != nullptr) fclose(fp);
      if (!failed) {
        fprintf(out, "%s:\t", what);
        for (int i = 0; i < n; i++) fprintf(out, "%s\t", labels[i]);
        fprintf(out, "\n");
      }
    } else {
      fprintf(out, "Enter %s:\t", what);
      for (int i = 0; i < n; i++) {
        if (ScanString(in_, width, labels[i], nullptr, 0, "input") == nullptr) {
          failed = true;
          break;
        }
      }
    }
    if (!Confirmed()) continue;
    if (failed) {
      fprintf(out, "\n");
      continue;
    }
    return 1;
  }
}

int ReadLongInput(int n, int* values, const char* what, const char* accepted) {
  for (;;) {
    bool failed = false;
    if (AskFileOrKeyboard()) {
      char name[52];
      fprintf(out, "Enter name of file containing %s: ", what);
      freadlineck(stdin, 51, name, "keyboard");
      FILE* fp = fopenck(name, nullptr, "r");
      if (fp == nullptr) {
        fprintf(out, "\n");
        continue;
      }
      for (int i = 0; i < n; i++) {
        double v = 0.0;
        if (accepted == nullptr) {
          if (freadck1(fp, "%lf", &v, name) != 1) {  // closes fp at its end
            fp = nullptr;
            failed = true;
            break;
          }
        } else {
          v = ScanNumber(fp, name, accepted);  // code 2 at the end of the file
        }
        if (v == -1.0) {
          failed = true;
          break;
        }
        values[i] = ToInt(v);
      }
      if (fp != nullptr) fclose(fp);
      if (!failed) {
        fprintf(out, "%s:\t", what);
        for (int i = 0; i < n; i++) fprintf(out, "%d\t", values[i]);
        fprintf(out, "\n");
      }
    } else {
      fprintf(out, "Enter %s: \t", what);
      for (int i = 0; i < n; i++) {
        double v = ScanNumber(in_, "keyboard", accepted);
        if (v == -1.0) {
          failed = true;
          break;
        }
        values[i] = ToInt(v);
      }
    }
    if (!Confirmed()) continue;
    if (failed) {
      fprintf(out, "\n");
      continue;
    }
    return 1;
  }
}
