#include "shell/input.h"

#include <cctype>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "shell/console.h"
#include "data/dataset.h"
#include "data/track.h"
#include "shell/failure.h"
#include "shell/readers.h"

int ReadCharIn(const char* accepted) { return ScanChar(in_, accepted, "input"); }

double ReadNumberIn(const char*, const char* accepted) {
  return ScanNumberRange(in_, "input", accepted, 0.0, 0.0);
}

double ReadNumberIn(const char*, const char* accepted, double min, double max) {
  return ScanNumberRange(in_, "input", accepted, min, max);
}

void ReadStringIn(const char* format, char* word, size_t size) {
  if (size < 2) {
    if (size == 1) word[0] = '\0';
    return;
  }
  // The width of the first conversion of format ("%4s" of "%4s "), never
  // more than the buffer holds.
  size_t width = size - 1;
  const char* p = format != nullptr ? strchr(format, '%') : nullptr;
  if (p != nullptr) {
    char* end;
    unsigned long w = strtoul(p + 1, &end, 10);
    if (end != p + 1 && w > 0 && w < width) width = w;
  }
  const std::string token = "%" + std::to_string(width) + "s";
  freadck(in_, token.c_str(), word, "input");
  // Pass over the rest of a word longer than the buffer.
  int c;
  while ((c = fgetc(in_)) != EOF && !isspace(c)) {
  }
  if (c != EOF) ungetc(c, in_);
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

void SettingWhichLevel(int* level) {
  if (nch > 1 && poolCSTopt == 1 && isHierarchical == 1) {
    fprintf(out, "Specify hierarchical level: ");
    *level = ToInt(ReadNumberIn("%d\n", "-", 1.0, static_cast<double>(nch)));
  } else {
    *level = 1;
  }
}

// Counts per group of objects listed in group order: the first count's
// objects get group 1, the next count's group 2, and so on.
static void ReadGroupCounts(int n, int nGroups, int* partition, char** labels,
                            const char* what) {
  std::vector<int> counts(static_cast<size_t>(nGroups));
  for (;;) {
    fprintf(out, "\nEnter number of %s per group:", what);
    fprintf(out, "\nGroups:            ");
    for (int g = 0; g < nGroups; g++) fprintf(out, "%-3s ", labels[g]);
    fprintf(out, "\nNumber of %s: ", what);
    long long total = 0;
    for (int g = 0; g < nGroups; g++) {
      counts[static_cast<size_t>(g)] = ToInt(ReadNumberIn("%d\t", "-", 0.0, static_cast<double>(n)));
      total += counts[static_cast<size_t>(g)];
    }
    if (total == n) break;
    fprintf(out, "\nError!! Reenter!!\n");
  }
  int object = 0;
  for (int g = 0; g < nGroups; g++)
    for (int c = 0; c < counts[static_cast<size_t>(g)]; c++) partition[object++] = g + 1;
}

// Group label of every object; the group is the position of the first equal
// group label.
static void ReadGroupMembership(int n, int nGroups, int* partition, char** labels,
                                const char* what, bool communities) {
  char** member = dim2Dchar(n, 5);
  for (;;) {
    fprintf(out, "\nEnter group membership (label) for %s:\n%s:\t", what, what);
    for (int i = 0; i < n; i++) {
      if (communities && reLabel != nullptr)
        fprintf(out, "%s\t", reLabel[i]);
      else
        fprintf(out, "%d\t", i + 1);
    }
    fprintf(out, "\n");
    ReadLongInput(n, 4, member, "Groups");
    bool allFound = true;
    for (int i = 0; i < n && allFound; i++) {
      partition[i] = 0;
      for (int g = 0; g < nGroups; g++)
        if (strcmp(member[i], labels[g]) == 0) {
          partition[i] = g + 1;
          break;
        }
      allFound = partition[i] != 0;
    }
    if (allFound) break;
    fprintf(stderr, "\nError!! Enter again. \n");
  }
  free2D(member, n);
}

void SettingAnyGroups(int n, int* nGroups, int* partition, char** labels, const char* what) {
  const bool communities = strcmp(what, "communities") == 0;
  Menu("SET GROUP PARTITION");
  fprintf(out, "Specify the number of groups of %s: ", what);
  *nGroups = ToInt(ReadNumberIn("%d\n", "-", 0.0, static_cast<double>(n)));
  // No groups: no partition is defined and no object is assigned.
  if (*nGroups == 0) return;

  fprintf(out, "\nLabels for groups: \n   1  given by default \n   2  specify new labels \n"
               "Type option no.: ");
  if (ToInt(ReadNumberIn("%d\n", "1 2")) == 1) {
    for (int g = 0; g < *nGroups; g++) snprintf(labels[g], 5, "%d", (g + 1) % 10000);
  } else {
    fprintf(out, "\nEnter labels (max. 4 alphanumeric characters):\n");
    while (ReadLongInput(*nGroups, 4, labels, "group labels") != 1) {
    }
  }

  if (communities ? hasReClus == 1 : hasCstClus == 1) {
    fprintf(out, "\nGet partition from: \n   1  keyboard or file \n   2  cluster analysis record \n"
                 "Type option no.: ");
    if (ToInt(ReadNumberIn("%d\n", "1 2")) == 2) {
      GetPartition(n, *nGroups, partition, communities ? 'r' : 'c');
      return;
    }
  }

  fprintf(out, "Are the %s ordered by groups? y/n ", what);
  if (ReadCharIn("y n") == 'y')
    ReadGroupCounts(n, *nGroups, partition, labels, what);
  else
    ReadGroupMembership(n, *nGroups, partition, labels, what, communities);
}

// A malformed cluster record: reported like any unreadable value.
[[noreturn]] static void MalformedRecord(FILE* fp, const char* name) {
  fclose(fp);
  fprintf(stderr, "\nfile %s ", name);
  fputc(7, stdout);
  fflush(stdout);
  RaiseFailure(kFailEndOfFile);
}

// An object number of the record: a whole number from 1 to n.
static int ReadObjectNumber(FILE* fp, const char* name, int n) {
  double x;
  freadck(fp, "%lf", &x, name);
  if (!(x >= 1.0 && x <= n) || x != static_cast<double>(ToInt(x))) MalformedRecord(fp, name);
  return ToInt(x);
}

// The record lists, for each fusion, its level, its member count and its
// members.  Each fusion merges the groups of the listed objects into the
// group of the first one (whole groups, so that a record listing only one
// representative per cluster gives the same partition as one listing every
// member).  The groups are then renumbered 1..k in order of their first
// object, so that the partition can be used like a typed one.
void GetPartition(int n, int k, int* partition, char which) {
  if (n < 1) return;
  const char* name = which == 'r' ? whichReClus : whichCstClus;
  for (int i = 0; i < n; i++) partition[i] = i + 1;
  FILE* fp = fopenck(name, volumeName, "r");
  if (fp == nullptr) RaiseFailure(kFailOpen);
  int groups = n;
  for (int step = 0; step < n - 1 && groups > k; step++) {
    double level;
    freadck(fp, "%lf", &level, name);
    double count;
    freadck(fp, "%lf", &count, name);
    if (!(count >= 0.0 && count <= n) || count != static_cast<double>(ToInt(count)))
      MalformedRecord(fp, name);
    const int m = ToInt(count);
    if (m == 0) continue;
    const int first = ReadObjectNumber(fp, name, n);
    for (int j = 1; j < m; j++) {
      const int member = ReadObjectNumber(fp, name, n);
      const int from = partition[member - 1], to = partition[first - 1];
      if (from == to) continue;
      for (int i = 0; i < n; i++)
        if (partition[i] == from) partition[i] = to;
    }
    if (m > 1) groups--;
  }
  fclose(fp);
  std::vector<int> renumber(static_cast<size_t>(n) + 1, 0);
  int next = 0;
  for (int i = 0; i < n; i++) {
    int& g = renumber[static_cast<size_t>(partition[i])];
    if (g == 0) g = ++next;
    partition[i] = g;
  }
}
