#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "data_test_util.h"
#include "shell/console.h"

namespace {

void SetLabels(char** labels, std::initializer_list<const char*> texts) {
  int i = 0;
  for (const char* t : texts) snprintf(labels[i++], kLabelSize, "%s", t);
}

// A data set of 3 OTUs, 4 traits of every type, 2 communities, 2 variables,
// 2 species and a similarity phylogeny, set directly in the globals.
void BuildDataSet() {
  tcst = 3;
  nch = 4;
  ncsm = 2;
  nenv = 2;
  nSpp = 2;
  chLabel = dim2Dchar(nch, kLabelSize);
  SetLabels(chLabel, {"Height", "Form", "Legume", "Clonality"});
  chtype = dim1Dint(nch);
  onsta = dim1Dint(nch);
  traitGroups = dim1Dint(nch);
  const int types[] = {3, 2, 1, 4}, states[] = {3, 2, 2, 3}, groups[] = {1, 2, 2, 3};
  for (int j = 0; j < nch; j++) {
    chtype[j] = types[j];
    onsta[j] = states[j];
    traitGroups[j] = groups[j];
  }
  hasTraitGroups = 1;
  reLabel = dim2Dchar(ncsm, kLabelSize);
  SetLabels(reLabel, {"Plot1", "Plot2"});
  csm_Float = dim2Double(tcst, nch);
  const double b[3][4] = {{3.14159265, 1, 0, 2}, {-0.000123456789, 2, 1, 3}, {123456789, 1, 1, 1}};
  cadat = dim2Double(tcst, ncsm);
  const double w[3][2] = {{12.3456789, 0}, {0, -999}, {1e-7, 98765.4321}};
  for (int i = 0; i < tcst; i++) {
    for (int j = 0; j < nch; j++) csm_Float[i][j] = b[i][j];
    for (int j = 0; j < ncsm; j++) cadat[i][j] = w[i][j];
  }
  env = dim2Double(ncsm, nenv);
  env[0][0] = 10.5;
  env[0][1] = 1;
  env[1][0] = -999;
  env[1][1] = 2;
  envLabel = dim2Dchar(nenv, kLabelSize);
  SetLabels(envLabel, {"Moist", "Use"});
  envVarType = dim1Dint(nenv);
  envVarType[0] = 3;
  envVarType[1] = 2;
  optEnvVarType = 5;
  snprintf(envName, sizeof envName, "env file.txt");
  spp = dim2Dchar(nSpp, kSpeciesSize);
  snprintf(spp[0], kSpeciesSize, "Abal Abies alba");
  snprintf(spp[1], kSpeciesSize, "Pisy Pinus sylvestris");
  snprintf(whichSpp, sizeof whichSpp, "spp.txt");
  sppRelMap = dim2Dchar(nSpp, ncsm + 1);
  strcpy(sppRelMap[0], "10");
  strcpy(sppRelMap[1], "01");
  cstSppMap = dim2Dchar(tcst, nSpp + 1);
  strcpy(cstSppMap[0], "10");
  strcpy(cstSppMap[1], "01");
  strcpy(cstSppMap[2], "10");
  SMWSize = 2;
  hasPhylogeny = 1;
  phylogenyMatrixType = 1;
  phylogenyRese = dim2Double(tcst, tcst);
  const double f[3][3] = {{1, 0.25, 0.5}, {0.25, 1, 0.125}, {0.5, 0.125, 1}};
  for (int i = 0; i < 3; i++)
    for (int j = 0; j < 3; j++) phylogenyRese[i][j] = f[i][j];
}

void ResetScalars() {
  hasTraitGroups = hasPhylogeny = phylogenyMatrixType = optEnvVarType = 0;
  SMWSize = 1;
  envName[0] = whichSpp[0] = dataName[0] = '\0';
}

TEST(FormattedDataFile, WritingThenReadingRestoresTheDataSet) {
  TempDir dir;
  const std::string path = dir.file("rt.txt");
  BuildDataSet();
  WriteFormda(tcst, path.c_str(), "Round trip data", csm_Float, cadat);
  FreeGlobals2();
  ResetScalars();

  snprintf(whichFormda, sizeof whichFormda, "%s", path.c_str());
  dirtyOrig = 1;
  OpenFormda(1);
  EXPECT_EQ(dirtyOrig, 0);
  EXPECT_STREQ(dataName, "Round trip data");  // the writer's trailing blank is not kept
  ASSERT_EQ(nch, 4);
  ASSERT_EQ(tcst, 3);
  ASSERT_EQ(ncsm, 2);
  EXPECT_STREQ(chLabel[3], "Clonality");
  EXPECT_STREQ(reLabel[1], "Plot2");
  const int types[] = {3, 2, 1, 4}, states[] = {3, 2, 2, 3}, groups[] = {1, 2, 2, 3};
  for (int j = 0; j < 4; j++) {
    EXPECT_EQ(chtype[j], types[j]);
    EXPECT_EQ(onsta[j], states[j]);
    EXPECT_EQ(traitGroups[j], groups[j]);
  }
  EXPECT_EQ(hasTraitGroups, 1);
  // B and W keep 6 significant digits: 3.14159265 -> 3.14159,
  // -0.000123456789 -> -0.000123457, 123456789 -> 1.23457e+08,
  // 12.3456789 -> 12.3457, 98765.4321 -> 98765.4.
  EXPECT_EQ(csm_Float[0][0], 3.14159);
  EXPECT_EQ(csm_Float[1][0], -0.000123457);
  EXPECT_EQ(csm_Float[2][0], 123457000.0);
  EXPECT_EQ(csm_Float[1][1], 2.0);
  EXPECT_EQ(cadat[0][0], 12.3457);
  EXPECT_EQ(cadat[1][1], -999.0);
  EXPECT_EQ(cadat[2][0], 1e-7);
  EXPECT_EQ(cadat[2][1], 98765.4);
  ASSERT_EQ(nenv, 2);
  EXPECT_EQ(env[0][0], 10.5);
  EXPECT_EQ(env[1][0], -999.0);
  EXPECT_EQ(env[1][1], 2.0);
  EXPECT_EQ(envVarType[1], 2);
  EXPECT_EQ(optEnvVarType, 5);
  EXPECT_EQ(temEnvQuant, 1);
  EXPECT_EQ(temEnvQual, 1);
  EXPECT_EQ(temEnvBin, 0);
  EXPECT_STREQ(envLabel[0], "Moist");
  EXPECT_STREQ(envName, "env file.txt");
  ASSERT_EQ(nSpp, 2);
  EXPECT_STREQ(whichSpp, "spp.txt");
  EXPECT_STREQ(spp[1], "Pisy Pinus sylvestris");
  EXPECT_EQ(std::string(sppRelMap[0], 2), "10");
  EXPECT_EQ(std::string(sppRelMap[1], 2), "01");
  EXPECT_EQ(std::string(cstSppMap[2], 2), "10");
  EXPECT_EQ(SMWSize, 2);
  ASSERT_EQ(hasPhylogeny, 1);
  EXPECT_EQ(phylogenyMatrixType, 1);
  EXPECT_EQ(phylogenyRese[0][1], 0.25);
  EXPECT_EQ(phylogenyRese[2][1], 0.125);
  EXPECT_EQ(phylogenyRese[2][2], 1.0);
  FreeGlobals2();
}

TEST(FormattedDataFile, CladeMatrixAndNoOptionalBlocks) {
  TempDir dir;
  const std::string path = dir.file("clades.txt");
  BuildDataSet();
  free2D(env, ncsm);
  free2D(envLabel, nenv);
  free1D(envVarType);
  free2D(spp, nSpp);
  free2D(sppRelMap, nSpp);
  free2D(cstSppMap, tcst);
  env = nullptr;
  envLabel = spp = sppRelMap = cstSppMap = nullptr;
  envVarType = nullptr;
  nenv = nSpp = 0;
  free2D(phylogenyRese, tcst);
  phylogenyRese = nullptr;
  phylogenyMatrixType = 2;
  nClados = 2;
  phylogenyVarType = dim1Dint(2);
  phylogenyVarType[0] = 1;
  phylogenyVarType[1] = 3;
  phylogenyData = dim2Double(tcst, 2);
  phylogenyData[1][0] = 1;
  phylogenyData[2][1] = 0.75;
  hasTraitGroups = 0;
  WriteFormda(tcst, path.c_str(), "clades", csm_Float, cadat);
  FreeGlobals2();
  ResetScalars();

  const std::string text = ReadFile(path);
  EXPECT_NE(text.find("\n\n0 \n0 \nSMW 2\n1\n2\n2\n1\t3\t\n"), std::string::npos) << text;
  snprintf(whichFormda, sizeof whichFormda, "%s", path.c_str());
  OpenFormda(1);
  EXPECT_EQ(nenv, 0);
  EXPECT_EQ(env, nullptr);
  EXPECT_EQ(nSpp, 0);
  EXPECT_EQ(spp, nullptr);
  EXPECT_EQ(hasTraitGroups, 0);
  ASSERT_EQ(phylogenyMatrixType, 2);
  ASSERT_EQ(nClados, 2);
  EXPECT_EQ(phylogenyVarType[1], 3);
  EXPECT_EQ(phylogenyData[1][0], 1.0);
  EXPECT_EQ(phylogenyData[2][1], 0.75);
  EXPECT_EQ(phylogenyData[0][0], 0.0);
  FreeGlobals2();
}

// The common head of the hand-written files: 2 traits, 2 communities, 2 OTUs.
const std::string kHead =
    "old data\n2\nT1 T2\n3 2\n0 0\n2 2\n2\nR1 R2\n2\n0 0\n0 0 0 0 0 0 0\n";

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
  EXPECT_EQ(csm_Float[0][0], 12.0);
  EXPECT_EQ(csm_Float[0][1], 2.0);
  EXPECT_EQ(csm_Float[1][0], 7.0);
  EXPECT_EQ(csm_Float[1][1], -1.0);
  EXPECT_EQ(cadat[0][0], 5.0);
  EXPECT_EQ(cadat[1][1], 9.0);
  ASSERT_EQ(nenv, 1);
  EXPECT_EQ(optEnvVarType, 2);
  EXPECT_EQ(envVarType[0], 3);
  EXPECT_EQ(temEnvQuant, 1);
  EXPECT_STREQ(envLabel[0], "Moist");
  EXPECT_EQ(env[1][0], -999.0);
  EXPECT_EQ(SMWSize, 1);
  EXPECT_EQ(hasPhylogeny, 0);
  EXPECT_EQ(hasTraitGroups, 0);
  FreeGlobals2();
}

TEST(FormattedDataFile, OldestLayoutCodesNeedTheRightWidth) {
  TempDir dir;
  // Each OTU's codes are one word: "07 -1" splits the second OTU's codes.
  EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, kHead + "1202 5 0\n07 -1 0 9\n0\n0\nSMW 1\n"); }),
            kFailEndOfFile);
  EXPECT_EQ(chLabel, nullptr);  // nothing half-loaded is left behind
}

TEST(FormattedDataFile, DamagedFilesEndInFailureCodeTwo) {
  TempDir dir;
  const std::string good =
      kHead + "25Jun2016\n1.5 2\n2.5 1\n1 0\n0 3\n0\n1\nsp.txt\nAaaa x\n11\n1\n1\nSMW 1\n0\n1\n1 2\n";
  LoadFormdaText(dir, good);
  FreeGlobals2();
  // Cut before the end of the trait groups, at every line, the file is incomplete.
  const size_t end = good.rfind("1 2\n");
  for (size_t cut = good.find('\n'); cut < end; cut = good.find('\n', cut + 1))
    EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, good.substr(0, cut + 1)); }), kFailEndOfFile)
        << "cut after: " << good.substr(0, cut + 1);

  // Garbage and counts that no file of this size can hold: refused before
  // anything is allocated from them.
  const std::string bad[] = {
      "t\n-3\n",
      "t\nabc\n",
      "t\n2\nT1 T2\n3 2\n0 0\n2 2\n2000000000\n",
      "t\n2\nT1 T2\n3 2\n0 0\n2 2\n2\nR1 R2\n1000000\n",
      kHead + "25Jun2016\n1 2\n3 4\n1 0\n0 1\n2147483647\n",
      kHead + "25Jun2016\n1 2\n3 4\n1 0\n0 1\n0\n99999999\n",
      "t\n2\nT1 T2\n3 9\n0 0\n2 2\n",   // trait type 9
      kHead + "25Jun2016\n1 nan\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n0\n0\n",
      kHead + "25Jun2016\n1 2\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n1\n2\n1000000\n",
      kHead + "25Jun2016\n1 2\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n7\n0\n",  // phylogeny flag 7
  };
  for (const std::string& text : bad) {
    EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, text); }), kFailEndOfFile) << text;
    EXPECT_EQ(chLabel, nullptr);
    EXPECT_EQ(csm_Float, nullptr);
  }
}

TEST(FormattedDataFile, FilesThatCannotBeOpenedOrWritten) {
  snprintf(whichFormda, sizeof whichFormda, "/nonexistent/dir/f.txt");
  EXPECT_EQ(FailureOf([] { OpenFormda(1); }), kFailOpen);
  BuildDataSet();
  EXPECT_EQ(FailureOf([] { WriteFormda(tcst, "/nonexistent/dir/f.txt", "t", csm_Float, cadat); }),
            kFailOpen);
  EXPECT_EQ(FailureOf([] { WriteFormda(tcst, "/dev/full", "t", csm_Float, cadat); }), kFailPrint);
  FreeGlobals2();
  ResetScalars();
}

}  // namespace
