// Helpers shared by the data tests.
#pragma once

#include <string>
#include <vector>

#include "data/dataset.h"
#include "data/formda.h"
#include "shell/failure.h"
#include "test_support.h"

// Writes text as a formatted data file in dir and loads it.
inline void LoadFormdaText(const TempDir& dir, const std::string& text,
                           const std::string& name = "f.txt") {
  WriteFile(dir.file(name), text);
  snprintf(whichFormda, sizeof whichFormda, "%s", dir.file(name).c_str());
  OpenFormda(1);
}

// The failure code a piece of work ends with (0 when it ends normally).
template <class F>
int FailureOf(F work) {
  try {
    work();
  } catch (const QuiltaFailure& f) {
    return f.code;
  }
  return 0;
}

// Row r of a matrix as a vector of its n values.
using V = std::vector<double>;
inline V Row(double** m, int r, int n) { return V(m[r], m[r] + n); }
