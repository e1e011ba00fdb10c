#include "data/track.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/dataset.h"
#include "data_test_util.h"
#include "shell/console.h"

namespace {

// 2 traits, 2 communities, 2 OTUs.
const char kData[] =
    "t\n2\nT1 T2\n3 2\n0 0\n2 2\n2\nR1 R2\n2\n0 0\n0 0 0 0 0 0 0\n"
    "25Jun2016\n1 2\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n0\n0\n";

void SetTrackFile(const TempDir& dir) {
  snprintf(whichTrack, sizeof whichTrack, "%s", dir.file("sTrk.txt").c_str());
}

void SetSettings() {
  strcpy(whichHier, "sHier.txt"), strcpy(whichRoVelComplex, "sRVC.txt");
  isHierarchical = 1, reseCstOpt[0] = 2, part = 3, fuzzy = 3, fuzziness = 0.35, keepRichness = 1;
  nchor[0] = 2, nchor[1] = 1, rcst[0] = 2, rcst[1] = 1, nGrPoly[1] = 2;
  nPart = 2, whichPart = 1, nGroupsP[0] = 2, nGroupsP[1] = 1;
  strcpy(partLabel[0], "Soil"), strcpy(partLabel[1], "Use");
  strcpy(grLabelP[0][0], "wet"), strcpy(grLabelP[0][1], "dry"), strcpy(grLabelP[1][0], "all");
  groupRelP[0][0] = 1, groupRelP[0][1] = 2, groupRelP[1][0] = groupRelP[1][1] = 1;
  whichPartAOC = 1, whichLevelGrCST = 2;
  nPartCst = 1, whichCstPart = 0, nGroupsCstP[0] = 2, strcpy(partCstLabel[0], "Types");
  strcpy(grCstLabelP[0][0], "Gram"), strcpy(grCstLabelP[0][1], "Forb");
  whichLevelGrCstP[0] = 1;  // rcst[0] = 2 memberships are kept
  groupCstP[0][0] = 2, groupCstP[0][1] = 1;
  relSelect[0] = 1, doDistrib = 1, clusMethPoolCSTs = 5, SMWSize = 3;
}

void ClearSettings() {
  strcpy(whichHier, "NULL"), strcpy(whichRoVelComplex, "NULL");
  isHierarchical = reseCstOpt[0] = part = fuzzy = keepRichness = 0;
  fuzziness = 0;
  nPart = whichPart = nGroups = whichPartAOC = nPartCst = nCstGroups = 0;
  whichLevelGrCST = 1, doDistrib = clusMethPoolCSTs = 0, SMWSize = 1;
}

TEST(TrackFile, FullTrackFileRestoresSettingsAndPartitionsInUse) {
  TempDir dir;
  LoadFormdaText(dir, kData);
  SetTrackFile(dir);
  SetSettings();
  WriteTrack(1);
  const std::string text = ReadFile(whichTrack);
  // Group labels are words separated by blanks.
  EXPECT_TRUE(Holds(text, "\nGram Forb \n"));
  FreeGlobals2();
  ClearSettings();

  OpenFormda(1);
  EXPECT_EQ(ReadTrack(), 1);
  EXPECT_STREQ(whichHier, "sHier.txt");
  EXPECT_STREQ(whichRoVelComplex, "sRVC.txt");
  EXPECT_EQ(isHierarchical, 1);
  EXPECT_EQ(reseCstOpt[0], 2);
  EXPECT_EQ(part, 3);
  EXPECT_EQ(fuzziness, 0.35);
  EXPECT_EQ(keepRichness, 1);
  EXPECT_EQ(nchor[0], 2);
  EXPECT_EQ(nGrPoly[1], 2);
  ASSERT_EQ(nPart, 2);
  EXPECT_STREQ(partLabel[1], "Use");
  EXPECT_STREQ(grLabelP[0][1], "dry");
  EXPECT_EQ(groupRelP[0][1], 2);
  // The community partition in use is the second one.
  EXPECT_EQ(nGroups, 1);
  EXPECT_EQ(grLabel, grLabelP[1]);
  EXPECT_EQ(groupRel, groupRelP[1]);
  EXPECT_EQ(whichPartAOC, 1);
  EXPECT_EQ(whichLevelGrCST, 2);
  ASSERT_EQ(nPartCst, 1);
  EXPECT_STREQ(partCstLabel[0], "Types");
  EXPECT_EQ(nCstGroups, 2);
  EXPECT_EQ(groupCst, groupCstP[0]);
  EXPECT_STREQ(grCstLabel[1], "Forb");
  EXPECT_EQ(groupCst[0], 2);
  EXPECT_EQ(relSelect[0], 1);
  EXPECT_EQ(relSelect[1], 0);
  EXPECT_EQ(doDistrib, 1);
  EXPECT_EQ(clusMethPoolCSTs, 5);
  EXPECT_EQ(SMWSize, 3);

  // Cut anywhere after the version line, the file is incomplete.
  const size_t second = text.find('\n', text.find('\n') + 1);
  for (size_t p = text.find('\n', second + 1); p + 1 < text.size(); p = text.find('\n', p + 1)) {
    WriteFile(whichTrack, text.substr(0, p + 1));
    EXPECT_EQ(FailureOf([] { ReadTrack(); }), kFailEndOfFile) << text.substr(0, p + 1);
  }
  // Partition counts beyond the ten tables, garbage, a group beyond all.
  for (auto [from, to] : {std::pair{"\n2\n1\nSoil", "\n11\n1\nSoil"},
                          {"\n2\n1\nSoil", "\nx\n1\nSoil"},
                          {"\n1 2 \n", "\n1 99 \n"}}) {
    std::string bad = text;
    bad.replace(bad.find(from), strlen(from), to);
    WriteFile(whichTrack, bad);
    EXPECT_EQ(FailureOf([] { ReadTrack(); }), kFailEndOfFile) << to;
  }
  snprintf(whichTrack, sizeof whichTrack, "/nonexistent/sTrk.txt");
  EXPECT_EQ(FailureOf([] { ReadTrack(); }), kFailOpen);
  FreeGlobals2();
  ClearSettings();
}

// A track file of another version: the message, and the settings that
// follow are ignored.
TEST(TrackFile, ForeignTrackFileKeepsTheDefaults) {
  TempDir dir;
  LoadFormdaText(dir, kData);
  SetTrackFile(dir);
  WriteFile(whichTrack, "f.txt\n18Nov2016\nHier.txt\n1\n");
  ConsoleScript console("");
  EXPECT_EQ(ReadTrack(), 1);
  EXPECT_EQ(console.Dialogue(),
            "\nFormda file is compatible, but other files of the session are not compatible with "
            "this program version." +
                std::string(53, ' ') + "\n");
  EXPECT_STREQ(whichFormda, "f.txt");
  EXPECT_STREQ(whichHier, "NULL");
  FreeGlobals2();
}

}  // namespace

// A new session of an existing name first keeps the old track file aside.
TEST(TrackFile, NewSessionOfAnExistingNameBacksUpTheTrackFile) {
  TempDir dir;
  const std::string old = "sFormda.txt\n07Jul17\nsettings\n";
  WriteFile(dir.file("sTrk.txt"), old);
  RunResult r = RunQuilta(dir.path, "N\ns\n4\nX\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Holds(r.out, "The track file sTrk.txt of an earlier session s was copied to "
                           "sTrk.bak."));
  EXPECT_EQ(ReadFile(dir.file("sTrk.bak")), old);
  EXPECT_EQ(ReadFile(dir.file("sTrk.txt")), "");
  // An empty track file has nothing to keep: the backup stays as it was.
  r = RunQuilta(dir.path, "N\ns\n4\nX\n");
  EXPECT_FALSE(Holds(r.out, "was copied"));
  EXPECT_EQ(ReadFile(dir.file("sTrk.bak")), old);
}
