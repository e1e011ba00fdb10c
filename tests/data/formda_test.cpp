#include "data/formda.h"
#include "data/datafile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data_test_util.h"
#include "shell/console.h"

namespace {

void Fill(double** m, int columns, std::initializer_list<double> values) {
  int k = 0;
  for (double v : values) m[k / columns][k % columns] = v, k++;
}
void Fill(char** m, std::initializer_list<const char*> texts) {
  int i = 0;
  for (const char* t : texts) strcpy(m[i++], t);
}

// 3 OTUs, 4 traits of every type, 2 communities, 2 variables, 2 species,
// trait groups and a similarity phylogeny, set in the globals.
void BuildDataSet() {
  tcst = 3, nch = 4, ncsm = 2, nenv = nSpp = hasTraitGroups = 0;
  chLabel = dim2Dchar(nch, kLabelSize);
  Fill(chLabel, {"Height", "Form", "Legume", "Clonality"});
  chtype = dim1Dint(nch), onsta = dim1Dint(nch), traitGroups = dim1Dint(nch);
  for (int j = 0; j < nch; j++) onsta[j] = j + 1;
  chtype[0] = 3, chtype[1] = 2, chtype[2] = 1, chtype[3] = 4;
  reLabel = dim2Dchar(ncsm, kLabelSize);
  Fill(reLabel, {"Plot1", "Plot2"});
  csm_Float = dim2Double(tcst, nch);
  Fill(csm_Float, nch, {3.14159265, 1, 0, 2, -0.000123456789, 2, 1, 3, 123456789, 1, 1, 1});
  cadat = dim2Double(tcst, ncsm);
  Fill(cadat, ncsm, {12.3456789, 0, 0, -999, 1e-7, 98765.4321});
  SMWSize = 2;
  hasPhylogeny = 1;
  for (int j = 0; j < nch; j++) traitGroups[j] = j < 2 ? 1 : 2;
  hasTraitGroups = 1;
  nenv = 2, optEnvVarType = 5;
  env = dim2Double(ncsm, nenv);
  Fill(env, nenv, {10.5, 1, -999, 2});
  envLabel = dim2Dchar(nenv, kLabelSize);
  Fill(envLabel, {"Moist", "Use"});
  envVarType = dim1Dint(nenv);
  envVarType[0] = 3, envVarType[1] = 2;
  strcpy(envName, "env file.txt");
  nSpp = 2;
  spp = dim2Dchar(nSpp, kSpeciesSize);
  Fill(spp, {"Abal Abies alba", "Pisy Pinus sylvestris"});
  strcpy(whichSpp, "spp.txt");
  sppRelMap = dim2Dchar(nSpp, ncsm + 1);
  Fill(sppRelMap, {"10", "01"});
  cstSppMap = dim2Dchar(tcst, nSpp + 1);
  Fill(cstSppMap, {"10", "01", "10"});
  phylogenyMatrixType = 1;
  phylogenyRese = dim2Double(tcst, tcst);
  Fill(phylogenyRese, tcst, {1, 0.25, 0.5, 0.25, 1, 0.125, 0.5, 0.125, 1});
}

// Writes the data set, forgets it and reads it back.
std::string WriteAndReload(const TempDir& dir) {
  const std::string path = dir.file("rt.txt");
  WriteFormda(tcst, path.c_str(), "Round trip data", csm_Float, cadat);
  FreeGlobals2();
  nenv = nSpp = hasTraitGroups = hasPhylogeny = phylogenyMatrixType = optEnvVarType = 0;
  SMWSize = 1;
  envName[0] = whichSpp[0] = dataName[0] = '\0';
  snprintf(whichFormda, sizeof whichFormda, "%s", path.c_str());
  dirtyOrig = 1;
  OpenFormda(1);
  EXPECT_EQ(dirtyOrig, 0);
  return ReadFile(path);
}

TEST(FormattedDataFile, WritingThenReadingRestoresTheDataSet) {
  TempDir dir;
  BuildDataSet();
  WriteAndReload(dir);
  EXPECT_STREQ(dataName, "Round trip data");  // the writer's trailing blank is not kept
  ASSERT_TRUE(nch == 4 && tcst == 3 && ncsm == 2);
  EXPECT_STREQ(chLabel[3], "Clonality");
  EXPECT_STREQ(reLabel[1], "Plot2");
  const int types[] = {3, 2, 1, 4};
  for (int j = 0; j < 4; j++) {
    EXPECT_EQ(chtype[j], types[j]);
    EXPECT_EQ(onsta[j], j + 1);
    EXPECT_EQ(traitGroups[j], j < 2 ? 1 : 2);
  }
  EXPECT_EQ(hasTraitGroups, 1);
  // B and W keep 6 significant digits: 3.14159265 -> 3.14159,
  // -0.000123456789 -> -0.000123457, 123456789 -> 1.23457e+08,
  // 12.3456789 -> 12.3457, 98765.4321 -> 98765.4.
  EXPECT_EQ(Row(csm_Float, 0, 4), (V{3.14159, 1, 0, 2}));
  EXPECT_EQ(Row(csm_Float, 1, 4), (V{-0.000123457, 2, 1, 3}));
  EXPECT_EQ(Row(csm_Float, 2, 4), (V{123457000, 1, 1, 1}));
  EXPECT_EQ(Row(cadat, 0, 2), (V{12.3457, 0}));
  EXPECT_EQ(Row(cadat, 1, 2), (V{0, -999}));
  EXPECT_EQ(Row(cadat, 2, 2), (V{1e-7, 98765.4}));
  ASSERT_EQ(nenv, 2);
  EXPECT_EQ(Row(env, 0, 2), (V{10.5, 1}));
  EXPECT_EQ(Row(env, 1, 2), (V{-999, 2}));
  EXPECT_EQ(envVarType[1], 2);
  EXPECT_EQ(optEnvVarType, 5);
  EXPECT_TRUE(temEnvQuant && temEnvQual && !temEnvBin);
  EXPECT_STREQ(envLabel[0], "Moist");
  EXPECT_STREQ(envName, "env file.txt");
  ASSERT_EQ(nSpp, 2);
  EXPECT_STREQ(whichSpp, "spp.txt");
  EXPECT_STREQ(spp[1], "Pisy Pinus sylvestris");
  EXPECT_EQ(std::string(sppRelMap[1], 2), "01");
  EXPECT_EQ(std::string(cstSppMap[2], 2), "10");
  EXPECT_EQ(SMWSize, 2);
  ASSERT_EQ(hasPhylogeny, 1);
  EXPECT_EQ(phylogenyMatrixType, 1);
  EXPECT_EQ(Row(phylogenyRese, 2, 3), (V{0.5, 0.125, 1}));
  FreeGlobals2();
}

// The tables are written in printf's layouts: "%.6g\t" for B, W and the
// phylogeny, "%6g\t" for E (one line per variable), the maps as lines of
// characters.  Worked out by hand from the values of BuildDataSet.
TEST(FormattedDataFile, TablesAreWrittenInTheirLayouts) {
  TempDir dir;
  BuildDataSet();
  const std::string text = WriteAndReload(dir);
  const char* const lines[] = {
      "25Jun2016 \n3.14159\t1\t0\t2\t\n-0.000123457\t2\t1\t3\t\n1.23457e+08\t1\t1\t1\t\n\n"
      "12.3457\t0\t\n0\t-999\t\n1e-07\t98765.4\t\n\n2 \n",
      "\nenv file.txt \n  10.5\t  -999\t\n     1\t     2\t\n2 \nspp.txt \n",
      "\nPisy Pinus sylvestris\n10\n01\n10\n01\n10\nSMW 2\n1\n1\n"
      "1\t0.25\t0.5\t\n0.25\t1\t0.125\t\n0.5\t0.125\t1\t\n1\n1\t1\t2\t2\t\n"};
  for (const char* piece : lines) EXPECT_NE(text.find(piece), std::string::npos) << piece;
  // Written again from what was read, the file is the same but for its time stamp.
  const std::string again = WriteAndReload(dir);
  auto body = [](const std::string& t) { return t.substr(0, t.rfind("\n", t.size() - 2)); };
  EXPECT_EQ(body(again), body(text));
  FreeGlobals2();
}

// The common head of the hand-written files: 2 traits, 2 communities, 2 OTUs.
const std::string kHead = "old data\n2\nT1 T2\n3 2\n0 0\n2 2\n2\nR1 R2\n2\n0 0\n0 0 0 0 0 0 0\n";

TEST(FormattedDataFile, OlderLayoutsLoadWithTheirDefaults) {
  TempDir dir;
  // 2008 layout: no trait groups, and nothing is read after the phylogeny
  // flag (the "1 5 5" that follows would be malformed trait groups).
  LoadFormdaText(dir, kHead + "18Jan2008\n1.5 2\n2.5 1\n1 0\n0 3\n0\n0\nSMW 1\n0\n1 5 5\n");
  EXPECT_EQ(hasTraitGroups, 0);
  EXPECT_EQ(hasPhylogeny, 0);
  EXPECT_EQ(csm_Float[1][0], 2.5);
  EXPECT_EQ(cadat[1][1], 3.0);
  FreeGlobals2();

  // Oldest layout: two characters per trait code, each OTU's codes followed
  // by its performances; no environmental tag; no "SMW" item (the word there
  // is discarded); the file ends after it.
  LoadFormdaText(dir, kHead +
                          "1202 5 0\n07-1 0 9\n"
                          "1\nMoist\nenv.txt\n0.5 -999\n0\nWed Jan  2 10:00:00 2008\n");
  EXPECT_EQ(Row(csm_Float, 0, 2), (V{12, 2}));
  EXPECT_EQ(Row(csm_Float, 1, 2), (V{7, -1}));
  EXPECT_EQ(Row(cadat, 0, 2), (V{5, 0}));
  EXPECT_EQ(Row(cadat, 1, 2), (V{0, 9}));
  ASSERT_EQ(nenv, 1);
  EXPECT_EQ(optEnvVarType, 2);
  EXPECT_EQ(envVarType[0], 3);
  EXPECT_STREQ(envLabel[0], "Moist");
  EXPECT_EQ(env[1][0], -999.0);
  EXPECT_TRUE(SMWSize == 1 && hasPhylogeny == 0 && hasTraitGroups == 0);
  FreeGlobals2();
}

TEST(FormattedDataFile, DamagedFilesEndInFailureCodeTwo) {
  TempDir dir;
  const std::string good =
      kHead +
      "25Jun2016\n1.5 2\n2.5 1\n1 0\n0 3\n0\n1\nsp.txt\nAaaa x\n11\n1\n1\nSMW 1\n0\n1\n1 2\n";
  LoadFormdaText(dir, good);
  FreeGlobals2();
  // Cut before the end of the trait groups, at every line, the file is incomplete.
  const size_t end = good.rfind("1 2\n");
  for (size_t cut = good.find('\n'); cut < end; cut = good.find('\n', cut + 1))
    EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, good.substr(0, cut + 1)); }), kFailEndOfFile)
        << "cut after: " << good.substr(0, cut + 1);

  // Garbage, and counts that no file of this size can hold: refused before
  // anything is allocated from them, and nothing half-loaded is left.
  const std::string tail = "25Jun2016\n1 2\n3 4\n1 0\n0 1\n";
  const std::string bad[] = {
      "t\n-3\n",
      "t\n2\nT1 T2\n3 9\n0 0\n2 2\n",  // trait type 9
      "t\n2\nT1 T2\n3 2\n0 0\n2 2\n2000000000\n",
      kHead + "1202 5 0\n07 -1 0 9\n0\n0\nSMW 1\n",  // old codes split in two words
      kHead + "25Jun2016\n1 nan\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n0\n0\n",
      kHead + tail + "0\n0\nSMW 1\n1\n2\n1000000\n",
      kHead + tail + "0\n0\nSMW 1\n7\n0\n",  // phylogeny flag 7
  };
  for (const std::string& text : bad) {
    EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, text); }), kFailEndOfFile) << text;
    EXPECT_TRUE(chLabel == nullptr && csm_Float == nullptr);
  }
}

}  // namespace

// Numbers of the data files are read to the double strtod reads (the fast
// reader takes the plain decimal words, strtod the rest); words that are not
// a whole finite number are refused.
TEST(FormattedDataFile, NumbersReadAsStrtodReadsThem) {
  for (const char* w : {"0", "-0", "3.25", ".5", "5.", "-1e-300", "1e-320", "2.2250738585072011e-308",
                        "+7", "0x1p3", "1E5", "123456789012345678901234567890",
                        "0.1000000000000000055511151231257827021181583404541015625"}) {
    double got = -1.0;
    ASSERT_TRUE(ParseDouble(w, got)) << w;
    const double want = strtod(w, nullptr);
    EXPECT_EQ(memcmp(&got, &want, sizeof got), 0) << w;
  }
  double v = 0.0;
  for (const char* w : {"", "1e", "1.5x", "inf", "nan", "1e400", "--1", "1,5"})
    EXPECT_FALSE(ParseDouble(w, v)) << w;
}
