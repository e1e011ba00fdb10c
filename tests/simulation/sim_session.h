// The scripted simulation of the end-to-end tests: its answers and its
// input files.
#pragma once

#include <string>

#include "test_support.h"

namespace sim_session {

// The answers of one simulation, in dialogue order; the defaults give 12
// sites, 10 OTUs and 2 traits drawn from correlations, one generated factor,
// no response and no effect (the null model), Mantel correlations under the
// site shuffle with 99 permutations, evaluated over 100 data sets.
struct SimRun {
  std::string processors = "1";
  std::string sizes = "12\n10\n2\n";
  std::string traits = "c\ntraitcorr.txt\nn\n";
  std::string dispersal = "r\n0.2 0.6\n-5 -1\n";
  std::string coords = "r\n";
  std::string environment = "1\nc\nenvcorr.txt\nn\nn\n";
  std::string parameters = "resp.txt\neff.txt\n";
  std::string survival = "r\n0.6 0.9\n-5 -1\n";
  std::string density = "r\n0.7 0.9\n-5 -1\n";
  std::string lifespan = "r\n5 10\n";
  std::string age = "r\n0.7 0.9\n-5 -1\n";
  std::string run = "20\n10\n5\n0.5\n";  // individuals, years, cycles, threshold
  std::string fuzzy = "0\n";
  std::string tests = "y\n99\ns\n2\n4242\n";
  std::string measure = "1\n6\n";
  std::string analysis = "1\n1\ny\nn\n";  // traits, OTUs, unit totals, detail
  std::string predictors = "1\n";
  std::string evaluation = "y\n100\n0.05\n";

  std::string Text() const {
    return "S\nM\n" + processors + "\nC\nA\n" + sizes + traits + dispersal + coords + environment +
           parameters + survival + density + lifespan + age + run + fuzzy + tests + measure +
           analysis + predictors + evaluation + "X\n";
  }
};

// The input files of the default run: uncorrelated traits, no response, no
// effect.
inline void WriteInputs(const TempDir& dir) {
  WriteFile(dir.file("traitcorr.txt"), "1 0.3\n0.3 1\n");
  WriteFile(dir.file("envcorr.txt"), "1\n");
  WriteFile(dir.file("resp.txt"), "0\n0\n");
  WriteFile(dir.file("eff.txt"), "0 0\n");
}

}  // namespace sim_session
