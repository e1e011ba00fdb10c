// The figures of the permutation tests of the functional analysis: one
// histogram of the null distribution of each tested statistic, session name
// + "Null_" + the statistic's name made file-safe + ".svg".
#pragma once

#include <string>
#include <vector>

struct PermTest_FunctionalPhyl_Correl_Input;

struct NullFigureItem {
  std::string name;  // as the results show it, r(TE), coeff(SLA,Moisture), ...
  double value;
  double p;
  int index;         // its place among the values the test kept
};

// Draws the figure of each item from the values rec kept (keepNullValues).
void WriteNullFigures(const std::string& session, const std::vector<NullFigureItem>& items,
                      const PermTest_FunctionalPhyl_Correl_Input& rec,
                      const std::string& nullModel);
