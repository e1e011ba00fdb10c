// End of input at every prompt of every dialog ends the program with
// "END OF FILE !!!" and status 1.  Each scripted dialog below takes the
// program from the main menu through the dialog and out again; it is cut
// after each of its answers (WalkEndOfInput).  The dialogs that take data
// from other sessions (subsetting, pooling, merging) are walked with the
// data tests.
//
// A new dialog is one more entry of kDialogs: its name, the files it needs
// and its answers, one per line.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// Session s: 3 OTUs of 2 species, 2 traits in 2 groups, 3 communities, one
// quantitative variable and a phylogeny; its data chosen, no settings saved.
const char kFormda[] =
    "test data \n2 \nt1\tt2\t\n3\t3\t\n0\t0\t\n3\t2\t\n3 \nc1\tc2\tc3\t\n3 \n0\t0\t0\t\n"
    "0\t0\t0\t0\t0\t0\t0\t\n\n25Jun2016 \n1\t0\t\n3\t1\t\n5\t1\t\n\n1\t0\t1\t\n1\t1\t0\t\n"
    "0\t1\t3\t\n\n1 \n97Sep08 \n1 \n3\t\ne1\t\nenv.txt \n0\t1\t3\t\n2 \nspecies.txt \n"
    "Abies alba\nPicea abies\n111\n011\n10\n10\n01\nSMW 1\n1\n1\n1\t0.5\t0.2\t\n"
    "0.5\t1\t0.3\t\n0.2\t0.3\t1\t\n1\n1\t2\t\nMon Jan  1 00:00:00 2024\n";

void Session(const TempDir& dir) {
  WriteFile(dir.file("sFormda.txt"), kFormda);
  WriteFile(dir.file("sTrk.txt"), "sFormda.txt\n07Jul17\n");
  WriteFile(dir.file("groups.txt"), "1 2 2\n");
}

// Raw files of the import.
void RawFiles(const TempDir& dir) {
  WriteFile(dir.file("b.txt"), "1.5 1\n2.5 2\n3 1\nHeight Form\n");
  WriteFile(dir.file("f.txt"), "1\n0.5 1\n0.2 0.3 1\n");
  WriteFile(dir.file("w.txt"), "1 0\n2 3\n0 4\nc1 c2\n");
  WriteFile(dir.file("s.txt"), "Abies alba\nAbies alpina\nPicea abies\n");
  WriteFile(dir.file("e.txt"), "0.1 0.2\n1 2\nMoist Use\n");
  WriteFile(dir.file("types.txt"), "3 2\n");
  WriteFile(dir.file("b1.txt"), "1 2 3\n");
  WriteFile(dir.file("d1.txt"), "0 2 4\n2 0 4\n4 4 0\n");
  WriteFile(dir.file("w1.txt"), "5 6\n7\n");
  WriteFile(dir.file("s1.txt"), "Abies alba\nAbies alba\nPinus mugo\n");
  WriteFile(dir.file("e1.txt"), "0.5 1\n-999 2\n");
}

// Input files of the assembly simulation.
void SimulationFiles(const TempDir& dir) {
  WriteFile(dir.file("traits.txt"), "1 2\n3 1\n5 4\n");
  WriteFile(dir.file("disp.txt"), "0.5 -2\n0.2 -0.5\n0.9 -3\n");
  WriteFile(dir.file("coords.txt"), "0 10 20\n5 5 50\n");
  WriteFile(dir.file("env.txt"), "1 2 3\n0.5 0.1 0.9\n");
  WriteFile(dir.file("resp.txt"), "0.5 0 1\n0 -0.5 0.2\n");
  WriteFile(dir.file("eff.txt"), "0.1 0\n0 -0.2\n");
  WriteFile(dir.file("dens.txt"), "0.5 -2\n0.3 -1\n0.6 -4\n");
  WriteFile(dir.file("life.txt"), "3 5 8\n");
  WriteFile(dir.file("tc.txt"), "1 0.3\n0.3 1\n");
  WriteFile(dir.file("otu.txt"), "1 0.2 0.1\n0.2 1 0.3\n0.1 0.3 1\n");
  WriteFile(dir.file("ec.txt"), "1\n");
  WriteFile(dir.file("resp1.txt"), "0.4\n0\n");
  WriteFile(dir.file("eff1.txt"), "0.1 0.1\n");
  WriteFile(dir.file("surv.txt"), "0.6 -2\n0.5 -1\n0.7 -3\n");
  WriteFile(dir.file("age.txt"), "0.8 -2\n0.7 -1\n0.9 -3\n");
}

void Nothing(const TempDir&) {}

struct ScriptedDialog {
  const char* name;
  void (*setup)(const TempDir&);
  std::vector<std::string> answers;  // from the start of the program to its end
  const char* reached;               // shown by the whole script
};

const std::vector<ScriptedDialog> kDialogs = {
    // Main menu: a refused letter, a session that does not exist, a new
    // session left at its data dialog.
    {"MainMenu", Nothing, {"M", "O", "nosuch", "N", "x", "4", "X"}, "DATA FOR SESSION"},
    // Preferences from the main menu, every option, a refused letter and a
    // refused factor.
    {"Preferences",
     Nothing,
     {"S", "Z", "F", "0", "y", "E", "n", "G", "n", "R", "n", "y", "B", "n", "O", "0.5", "2.5",
      "T", "n", "M", "1", "C", "X"},
     "PREFERENCES"},
    // Session and analysis menus, preferences from the session menu.
    {"SessionMenus",
     Session,
     {"O", "s", "V", "Z", "C", "S", "M", "0", "C", "C", "X"},
     "ANALYSIS OF COMMUNITY STRUCTURES"},
    // The data dialog: a session that does not exist, "return", then
    // another session's data as they are.
    {"DataForSession",
     Session,
     {"N", "t", "2", "nosuch", "2", "s", "3", "2", "s", "1", "C", "X"},
     "SESSION MENU"},
    // Import of every raw file: a file that does not open, counts the file
    // cannot hold, labels at the ends of the files, trait types from a file,
    // trait groups, a lower-half phylogeny, species codes made by the
    // program, variables of several kinds.
    {"ImportAllFiles",
     RawFiles,
     {"N", "s", "1", "nofile.txt", "b.txt", "1", "f.txt", "w.txt", "1", "s.txt", "1", "e.txt",
      "100", "100", "3", "2", "2", "2", "f", "types.txt", "y", "1", "k", "1 2", "y", "3", "2",
      "2", "2", "2", "2", "2", "5", "k", "3 2", "y", "t", "C", "X"},
     "SESSION MENU"},
    // Import with traits as rows, distances normalized, one vector of
    // performances per community, species codes as read, variables not
    // mixed as declared (corrected, then accepted), entered by communities.
    {"ImportVectors",
     RawFiles,
     {"N", "s", "1", "b1.txt", "1", "d1.txt", "w1.txt", "1", "s1.txt", "1", "e1.txt", "3", "1",
      "1", "1", "k", "4", "y", "0", "1", "2", "1", "3", "k", "2 1", "y", "1", "2", "1", "5", "k",
      "3 3", "y", "y", "k", "3 4", "y", "n", "n", "C", "X"},
     "SESSION MENU"},
    // Functional analysis settings: species as types, fuzzy, tests under
    // the taxa shuffle restricted within nesting groups, a given seed, a
    // refused measure, variables, traits (an empty selection refused) and
    // OTUs selected, trait-group weights, details.
    {"FunctionalSettingsTested",
     Session,
     {"O", "s", "V", "H", "y", "1", "y", "9", "t", "1", "k", "1 1 2", "2", "7", "5", "1", "6",
      "2", "1", "2", "0 0", "2", "1 1", "y", "2", "1 0 1", "y", "n", "y", "y", "C", "C", "X"},
     "Results on file sPrinda.txt"},
    // Types from a file, the site shuffle; a second analysis appended to
    // the first one's results, untested, with the RV coefficient.
    {"FunctionalSettingsAppended",
     Session,
     {"O", "s", "V", "H", "n", "f", "groups.txt", "0", "y", "9", "s", "1", "2", "1", "1", "n",
      "1", "n", "n", "H", "n", "k", "1 2 3", "0", "n", "3", "1", "1", "y", "1", "y", "n", "a",
      "C", "C", "X"},
     "Results on file sPrinda.txt"},
    // Two rankings: criterion 10 (a refused criterion first, trait-group
    // weights, intermediate results), then criterion 11 with species as
    // types and the phylogeny.
    {"Ranking",
     Session,
     {"O", "s", "V", "K", "2", "10", "1", "1", "1", "y", "1", "2", "y", "K", "11", "y", "1", "1",
      "6", "1", "1", "n", "y", "1", "2", "n", "C", "C", "X"},
     "Results on file sChRank_PSAP_X.txt"},
    // Simulation from files: traits, dispersal, coordinates, environment
    // with interactions, parameters, density and lifespans; ranges for
    // survival and age; tests evaluated over two data sets on selected
    // predictors.
    {"SimulationFromFiles",
     SimulationFiles,
     {"A", "3", "3", "2", "t", "traits.txt", "d", "disp.txt", "c", "coords.txt", "2", "e",
      "env.txt", "y", "resp.txt", "eff.txt", "r", "0.2", "0.8", "-5", "-1", "d", "dens.txt", "d",
      "life.txt", "r", "0.3", "0.7", "-4", "-1", "5", "2", "2", "0.5", "0", "y", "9", "s", "2",
      "5", "1", "6", "1", "1", "y", "n", "2", "1", "0", "1", "y", "2", "0.05", "X"},
     "Results on file FinalSimulatedData.txt"},
    // Simulation from correlations of traits and OTUs and of the factors,
    // random dispersal, coordinates and lifespans, no tests, intermediate
    // results saved.
    {"SimulationGenerated",
     SimulationFiles,
     {"A", "3", "3", "2", "b", "tc.txt", "otu.txt", "n", "r", "0.2", "0.6", "-5", "-1", "r", "1",
      "c", "ec.txt", "u", "n", "resp1.txt", "eff1.txt", "d", "surv.txt", "r", "0.7", "0.9", "-5",
      "-1", "r", "2", "6", "d", "age.txt", "5", "2", "2", "0", "1", "n", "1", "2", "1", "1", "n",
      "n", "1", "y", "X"},
     "Results on file FinalSimulatedData.txt"},
};

// Shown in the test's name instead of the record's bytes.
void PrintTo(const ScriptedDialog& d, std::ostream* os) { *os << d.name; }

class EndOfInput : public testing::TestWithParam<ScriptedDialog> {};

TEST_P(EndOfInput, AtEveryPromptEndsWithFailureTwo) {
  const ScriptedDialog& d = GetParam();
  EXPECT_EQ(WalkEndOfInput(d.setup, d.answers, d.reached), static_cast<int>(d.answers.size()));
}

INSTANTIATE_TEST_SUITE_P(Dialogs, EndOfInput, testing::ValuesIn(kDialogs),
                         [](const testing::TestParamInfo<ScriptedDialog>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
