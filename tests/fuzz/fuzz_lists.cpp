// The files of one value per object named in the dialogs: labels and
// integers read by ReadLongInput (trait types, trait groups, counts of OTUs,
// group labels), the cluster-analysis record read by GetPartition, and the
// group-membership and nesting files of the functional analysis, each
// followed by what the program does with the values read.
//
// The input is a line "<kind> <n> <k>", a line "%%", then the file.  Kinds:
// L labels of width k, I integers (accepted "1 2 3 4" when k is odd), P a
// partition into k groups from a cluster record, G group memberships, N
// nesting groups.
#include <cstdio>
#include <cstring>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/track.h"
#include "functional/settings.h"
#include "functional/traits.h"
#include "fuzz_support.h"
#include "multivariate/cluster.h"
#include "multivariate/random.h"
#include "shell/input.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

// The list must be a permutation of 1..n.
static void CheckPermutation(int n, const int* list) {
  std::vector<bool> seen(static_cast<size_t>(n) + 1, false);
  for (int i = 0; i < n; i++) {
    FUZZ_CHECK(list[i] >= 1 && list[i] <= n && !seen[static_cast<size_t>(list[i])]);
    seen[static_cast<size_t>(list[i])] = true;
  }
}

// What the functional analysis does with group labels: types counted,
// crisp and fuzzy belonging, and permutations within the groups.
static void UseGroups(int n, int option, const int* groups) {
  int g = 0;
  CountGroupsNew(n, groups, &g, nullptr);
  FUZZ_CHECK(g >= 1 && g <= n);
  double** C = dim2Double(n, g);
  double** U = dim2Double(n, g);
  double** S = dim2Double(n, n);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++) S[i][j] = i == j ? 1.0 : ((i + j) % 3) / 3.0;
  CrispBelonging(n, g, groups, C);
  FuzzyBelonging(n, g, S, groups, U, false);
  for (int i = 0; i < n; i++) {
    double sum = 0.0;
    for (int t = 0; t < g; t++) sum += C[i][t];
    FUZZ_CHECK(sum == 1.0);
  }
  std::vector<int> list(static_cast<size_t>(n));
  RndListNestedNew(n, groups, option, list.data());
  CheckPermutation(n, list.data());
  free2D(S, n);
  free2D(U, n);
  free2D(C, n);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  std::string head, file;
  SplitAtMarker(std::string(reinterpret_cast<const char*>(data), size), head, file);
  char kind = 0;
  int n = 0, k = 0;
  if (sscanf(head.c_str(), " %c %d %d", &kind, &n, &k) != 3) return 0;
  if (n < 1 || n > 64 || k < 1 || k > 64) return 0;
  WriteInput("list.txt", file);
  InitRndNumberGenerator(12345);
  std::vector<int> values(static_cast<size_t>(n), 0);
  switch (kind) {
    case 'L': {
      char** labels = dim2Dchar(n, k + 1);
      SetAnswers("f\nlist.txt\ny\n");
      if (Orderly([&] { ReadLongInput(n, k, labels, "labels"); }))
        for (int i = 0; i < n; i++) FUZZ_CHECK(strlen(labels[i]) <= static_cast<size_t>(k));
      free2D(labels, n);
      break;
    }
    case 'I': {
      const char* accepted = k % 2 == 1 ? "1 2 3 4" : nullptr;
      SetAnswers("f\nlist.txt\ny\n");
      if (Orderly([&] { ReadLongInput(n, values.data(), "values", accepted); }) && accepted)
        for (int v : values) FUZZ_CHECK(v >= 1 && v <= 4);
      break;
    }
    case 'P': {
      strcpy(whichReClus, "list.txt");
      if (k > n) k = n;
      if (Orderly([&] { GetPartition(n, k, values.data(), 'r'); })) {
        // Groups numbered 1, 2, ... in the order of their first object.
        int top = 0;
        for (int v : values) {
          FUZZ_CHECK(v >= 1 && v <= top + 1);
          if (v > top) top = v;
        }
      }
      break;
    }
    case 'G':
    case 'N': {
      FILE* fp = fopen("list.txt", "r");
      if (fp == nullptr) return 0;
      if (kind == 'G')
        ReadGroupMembershipFile(fp, "list.txt", n, values.data());
      else
        ReadNestingFile(fp, "list.txt", n, values.data());
      UseGroups(n, 1 + k % 3, values.data());
      break;
    }
    default:
      break;
  }
  return 0;
}
