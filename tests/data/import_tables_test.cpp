// End-to-end runs of the import with tables: each form of table must give
// the formatted data file that the same numbers give as plain matrices, and
// every refused file is asked again in the same run.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "data_test_util.h"

namespace {

// 3 OTUs (O1..O3) x 2 traits, 2 communities (P1, P2), 2 variables, F 3 x 3.
const char* const kPlainTraits = "1 0.5\n2 1.5\n3 2.5\nTa Tb\n";
const char* const kPlainPerf = "1 0\n0 2\n3 4\nP1 P2\n";  // OTUs as rows
const char* const kPlainEnv = "5 10\n6 20\nUse Moist\n";  // by communities
const char* const kPlainPhyl = "1 0.5 0.25\n0.5 1 0.75\n0.25 0.75 1\n";

// Formatted data of the plain files, answered as the dialog asks for them.
std::string PlainImport(const TempDir& dir, const std::string& perf = kPlainPerf) {
  WriteFile(dir.file("t.txt"), kPlainTraits);
  WriteFile(dir.file("w.txt"), perf);
  WriteFile(dir.file("e.txt"), kPlainEnv);
  WriteFile(dir.file("f.txt"), kPlainPhyl);
  RunResult r = RunQuilta(
      dir.path, Lines({"N", "p", "1", "t.txt", "1", "f.txt", "w.txt", "0", "1", "e.txt", "3", "2",
                       "2", "2", "k", "3 3", "y", "0", "2", "2", "2", "2", "2", "2", "2", "n",
                       "C", "X"}));
  EXPECT_EQ(r.status, 0) << r.err;
  return ReadFile(dir.file("pFormda.txt"));
}

// The answers of an import of tables t, f, w, e: types, no groups, F as
// similarities, E of different units; `extra` answers follow the file names.
std::string TableAnswers(const std::vector<std::string>& extra = {}) {
  std::vector<std::string> a = {"N", "q", "1", "t.tab", "1", "f.tab", "w.tab", "0", "1", "e.tab"};
  a.insert(a.end(), extra.begin(), extra.end());
  a.insert(a.end(), {"k", "3 3", "y", "0", "2", "2", "C", "X"});
  return Lines(a);
}

// The formatted data file without the names of the raw files it records.
std::string Numbers(std::string formda, const std::vector<std::string>& names) {
  for (const std::string& n : names)
    for (size_t at; (at = formda.find(n)) != std::string::npos;) formda.replace(at, n.size(), "@");
  return WithoutTimeStamps(formda);
}

struct TableForm {
  const char* name;
  std::string traits, phyl, perf, env;
};

std::string Crlf(const std::string& s) {
  std::string crlf;
  for (char c : s) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return crlf;
}

TEST(ImportTables, EachFormGivesTheDataOfThePlainMatrices) {
  TempDir dir;
  const std::string plain = Numbers(PlainImport(dir), {"t.txt", "e.txt"});
  const std::string csvTraits = "\"\",\"Ta\",\"Tb\"\n\"O1\",1,0.5\n\"O2\",2,1.5\n\"O3\",3,2.5\n";
  const std::string csvPhyl =  // rows and columns in other orders than the OTUs
      "\"\",\"O3\",\"O1\",\"O2\"\n\"O2\",0.75,0.5,1\n\"O3\",1,0.25,0.75\n\"O1\",0.25,1,0.5\n";
  const std::string csvPerf = "\"\",\"O3\",\"O1\",\"O2\"\n\"P1\",3,1,0\n\"P2\",4,0,2\n";
  const std::string csvEnv = "\"\",\"Use\",\"Moist\"\n\"P2\",6,20\n\"P1\",5,10\n";
  const std::vector<TableForm> forms = {
      {"write.csv", csvTraits, csvPhyl, csvPerf, csvEnv},
      {"write.csv2",  // semicolons, decimal commas
       "\"\";\"Ta\";\"Tb\"\n\"O1\";1;0,5\n\"O2\";2;1,5\n\"O3\";3;2,5\n",
       "\"\";\"O1\";\"O2\";\"O3\"\n\"O1\";1;0,5;0,25\n\"O2\";0,5;1;0,75\n\"O3\";0,25;0,75;1\n",
       "\"\";\"O1\";\"O2\";\"O3\"\n\"P1\";1;0;3\n\"P2\";0;2;4\n",
       "\"\";\"Use\";\"Moist\"\n\"P1\";5;10\n\"P2\";6;20\n"},
      {"write.table sep=tab",  // the header names the data columns only
       "Ta\tTb\nO1\t1\t0.5\nO2\t2\t1.5\nO3\t3\t2.5\n",
       "O1\tO2\tO3\nO1\t1\t0.5\t0.25\nO2\t0.5\t1\t0.75\nO3\t0.25\t0.75\t1\n",
       "P1\tP2\nO1\t1\t0\nO2\t0\t2\nO3\t3\t4\n",  // OTUs as rows this time
       "Use\tMoist\nP1\t5\t10\nP2\t6\t20\n"},
      {"CRLF, blank-separated, readr-style first column", Crlf(csvTraits), Crlf(csvPhyl),
       "site O1 O2 O3\nP1 1 0 3\nP2 0 2 4\n", Crlf("site,Use,Moist\nP1,5,10\nP2,6,20\n")},
  };
  for (const TableForm& f : forms) {
    SCOPED_TRACE(f.name);
    WriteFile(dir.file("t.tab"), f.traits);
    WriteFile(dir.file("f.tab"), f.phyl);
    WriteFile(dir.file("w.tab"), f.perf);
    WriteFile(dir.file("e.tab"), f.env);
    RunResult r = RunQuilta(dir.path, TableAnswers());
    ASSERT_EQ(r.status, 0) << r.out << r.err;
    EXPECT_FALSE(Holds(r.out, "Number of OTUs"));
    EXPECT_FALSE(Holds(r.out, "Enter number of communities"));
    EXPECT_FALSE(Holds(r.out, "Data entered by communities"));
    EXPECT_EQ(Numbers(ReadFile(dir.file("qFormda.txt")), {"t.tab", "e.tab"}), plain);
  }
  EXPECT_TRUE(Holds(ReadFile(dir.file("t.tab")), "\r\n"));
}

// NA, NaN and empty cells are the missing value -999, as in plain files.
TEST(ImportTables, MissingCellsAreMissingValues) {
  TempDir dir;
  const std::string plain =
      Numbers(PlainImport(dir, "1 -999\n-999 2\n3 -999\nP1 P2\n"), {"t.txt", "e.txt"});
  WriteFile(dir.file("t.tab"), "\"\",\"Ta\",\"Tb\"\n\"O1\",1,0.5\n\"O2\",2,1.5\n\"O3\",3,2.5\n");
  WriteFile(dir.file("f.tab"),
            "O1\tO2\tO3\nO1\t1\t0.5\t0.25\nO2\t0.5\t1\t0.75\nO3\t0.25\t0.75\t1\n");
  WriteFile(dir.file("w.tab"), ",O1,O2,O3\nP1,1,,3\nP2,NA,2,NaN\n");
  WriteFile(dir.file("e.tab"), ",Use,Moist\nP1,5,10\nP2,6,20\n");
  RunResult r = RunQuilta(dir.path, TableAnswers());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.out, "w.tab: table, 2 rows x 3 columns, header (O1 O2 O3), row names (P1 "
                           "\u2026 P2), comma-separated, 3 missing"));
  EXPECT_EQ(Numbers(ReadFile(dir.file("qFormda.txt")), {"t.tab", "e.tab"}), plain);
}

// Text states are coded 1..k in sorted order, printed and written to the
// session's codes file; a text trait given type 3 is refused and asked again.
TEST(ImportTables, TextStatesAreCoded) {
  TempDir dir;
  WriteFile(dir.file("t.txt"), "1 2\n2 1\n3 2\nTa Form\n");
  WriteFile(dir.file("w.txt"), kPlainPerf);
  RunResult r = RunQuilta(dir.path, Lines({"N", "p", "1", "t.txt", "0", "w.txt", "0", "0", "3",
                                           "2", "2", "2", "k", "3 2", "y", "0", "2", "2", "2",
                                           "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string plain = Numbers(ReadFile(dir.file("pFormda.txt")), {"t.txt"});
  WriteFile(dir.file("t.tab"), "sp,Ta,Form\nO1,1,tree\nO2,2,herb\nO3,3,tree\n");
  WriteFile(dir.file("w.tab"), "P1 P2\nO1 1 0\nO2 0 2\nO3 3 4\n");
  r = RunQuilta(dir.path, Lines({"N", "q", "1", "t.tab", "0", "w.tab", "0", "0", "k", "3 3", "y",
                                 "k", "3 2", "y", "0", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.out, "Form holds text states, coded 1 = herb, 2 = tree"));
  EXPECT_EQ(CountOf(r.err, "Trait Form holds text states and cannot be of type 3"), 1);
  EXPECT_EQ(Numbers(ReadFile(dir.file("qFormda.txt")), {"t.tab"}), plain);
  EXPECT_EQ(ReadFile(dir.file("qTraitCodes.tsv")),
            "matrix\tcolumn\tcode\tstate\nB\tForm\t1\therb\nB\tForm\t2\ttree\n");
}

// Each refused file gives its reason and its name is asked again; the right
// file is then accepted in the same run.
TEST(ImportTables, RefusedFilesAreAskedAgain) {
  TempDir dir;
  WriteFile(dir.file("t.tab"), "\"\",\"Ta\",\"Tb\"\n\"O1\",1,0.5\n\"O2\",2,1.5\n\"O3\",3,2.5\n");
  WriteFile(dir.file("w.tab"), ",O1,O2,O3\nP1,1,0,3\nP2,0,2,4\n");
  WriteFile(dir.file("w4.tab"), ",O1,O2,O4\nP1,1,0,3\nP2,0,2,4\n");
  WriteFile(dir.file("long.tab"), ",LongTraitName1,LongTraitName2\nO1,1,2\nO2,2,1\nO3,3,2\n");
  WriteFile(dir.file("w.txt"), "1 0 3\n0 2\n4 5\n");  // communities as rows, a line short
  WriteFile(dir.file("sp1.txt"), "1 0 3\nSp2 0 2 4\n");
  WriteFile(dir.file("wok.txt"), "1 0 3\n0 2 4\n");

  // A name of W that is not in the trait table, then a label collision.
  RunResult r = RunQuilta(dir.path, Lines({"N", "q", "1", "long.tab", "0", "w4.tab", "0", "0",
                                           "t.tab", "k", "3 3", "y", "0", "w.tab", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.err, "\"LongTraitName1\" and \"LongTraitName2\" are both cut to the label "
                           "\"LongTraitN\""));
  EXPECT_TRUE(Holds(r.err, "names in W and not in the trait table: O4 (1); names in the trait "
                           "table and not in W: O3 (1)"));
  EXPECT_TRUE(Holds(r.out, "SESSION MENU"));
  LoadSession(dir, "q");
  EXPECT_STREQ(chLabel[1], "Tb");
  EXPECT_EQ(Row(cadat, 2, 2), (V{3, 4}));
  FreeGlobals2();

  // Plain files: a line one value short, then "Sp1"-style words.
  r = RunQuilta(dir.path, Lines({"N", "p", "1", "t.tab", "0", "w.txt", "0", "0", "k", "3 3", "y",
                                 "0", "2", "1", "1", "sp1.txt", "2", "1", "1", "wok.txt", "2",
                                 "1", "1", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.err, "File w.txt refused: line 2 holds 2 values; with communities as rows "
                           "each line of the matrix holds 3"));
  EXPECT_TRUE(Holds(r.err, "file sp1.txt, line 2: \"Sp2\" is not a number"));
  EXPECT_TRUE(Holds(r.err, "File sp1.txt refused: line 2 holds \"Sp2\""));
  LoadSession(dir, "p");
  EXPECT_EQ(Row(cadat, 2, 2), (V{3, 4}));
  FreeGlobals2();

  // NA in a plain E, then a file one value short: asked again each time.
  WriteFile(dir.file("eNA.txt"), "5 NA\n6 20\n");
  WriteFile(dir.file("e3.txt"), "5 10\n6\n");
  WriteFile(dir.file("e.txt"), "5 10\n6 20\n");
  const std::vector<std::string> envAnswers = {"2", "1", "2", "n"};
  std::vector<std::string> a = {"N", "r", "1", "t.tab", "0", "w.tab", "0", "1", "eNA.txt",
                                "k", "3 3", "y", "0"};
  for (const char* file : {"e3.txt", "e.txt", ""}) {
    a.insert(a.end(), envAnswers.begin(), envAnswers.end());
    if (*file) a.push_back(file);
  }
  a.insert(a.end(), {"C", "X"});
  r = RunQuilta(dir.path, Lines(a));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.err, "File eNA.txt refused: line 1 holds \"NA\" inside the matrix"));
  EXPECT_TRUE(Holds(r.err, "File e3.txt refused: it ends after 3 numbers; the layout chosen "
                           "takes 4"));
  LoadSession(dir, "r");
  EXPECT_EQ(Row(env, 1, 2), (V{6, 20}));
  FreeGlobals2();
}

// The example tables hold the numbers of the example plain files; text
// states are coded in sorted order instead of the plain files' codes.
TEST(ImportTables, ExampleTablesMatchTheExampleMatrices) {
  TempDir dir;
  for (const char* f : {"traits.txt", "perf.txt", "env.txt", "phylo.txt", "species.txt",
                        "traits.csv", "perf.csv", "env.csv", "phylo.csv", "import.answers",
                        "tables.answers"})
    WriteFile(dir.file(f), ReadFile(std::string(QUILTA_EXAMPLES) + "/" + f));
  ASSERT_EQ(RunQuilta(dir.path, ReadFile(dir.file("import.answers"))).status, 0);
  RunResult r = RunQuilta(dir.path, ReadFile(dir.file("tables.answers")));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  struct Data {
    std::vector<V> B, W, E, F;
    std::vector<std::string> labels;
  };
  auto load = [&](const char* session) {
    LoadSession(dir, session);
    Data d;
    for (int i = 0; i < tcst; i++) {
      d.B.push_back(Row(csm_Float, i, nch));
      d.W.push_back(Row(cadat, i, ncsm));
      d.F.push_back(Row(phylogenyRese, i, tcst));
    }
    for (int c = 0; c < ncsm; c++) d.E.push_back(Row(env, c, nenv));
    for (int c = 0; c < ncsm; c++) d.labels.push_back(reLabel[c]);
    for (int j = 0; j < nch; j++) d.labels.push_back(chLabel[j]);
    FreeGlobals2();
    return d;
  };
  Data plain = load("demo"), table = load("tables");
  // GrowthForm: plain 1 graminoid, 2 erect forb, 3 rosette forb; sorted
  // states 1 erect forb, 2 graminoid, 3 rosette forb.  LandUse: plain 1
  // grazed, 2 mown, 3 abandoned; sorted 1 abandoned, 2 grazed, 3 mown.
  const std::map<double, double> form = {{1, 2}, {2, 1}, {3, 3}}, use = {{1, 2}, {2, 3}, {3, 1}};
  for (V& row : plain.B) row[4] = form.at(row[4]);
  for (V& row : plain.E) row[3] = use.at(row[3]);
  EXPECT_EQ(table.B, plain.B);
  EXPECT_EQ(table.W, plain.W);
  EXPECT_EQ(table.E, plain.E);
  EXPECT_EQ(table.F, plain.F);
  EXPECT_EQ(table.labels, plain.labels);
}

}  // namespace

namespace {

// The trait table may serve as the species file: its row names are the
// species names, in its order.
TEST(ImportTables, TraitTableAsSpeciesFile) {
  TempDir dir;
  WriteFile(dir.file("t.tab"), "sp\tTa\tTb\nAbies alba\t1\t0.5\nAbies alpina\t2\t1.5\n");
  WriteFile(dir.file("w.tab"), ",Abies alpina,Abies alba\nP1,1,0\nP2,3,4\n");
  RunResult r = RunQuilta(dir.path, Lines({"N", "q", "1", "t.tab", "0", "w.tab", "1", "t.tab",
                                           "0", "k", "3 3", "y", "0", "2", "C", "X"}));
  ASSERT_EQ(r.status, 0) << r.err;
  LoadSession(dir, "q");
  ASSERT_EQ(nSpp, 2);
  EXPECT_STREQ(spp[0], "Abal Abies alba");
  EXPECT_STREQ(spp[1], "ABal Abies alpina");
  EXPECT_EQ(Row(cadat, 0, 2), (V{0, 4}));
  FreeGlobals2();
}

}  // namespace
