#include "data/checks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "data/dataset.h"
#include "data/import.h"
#include "data_test_util.h"

namespace {

// 4 OTUs, 3 communities.  OTU 1 occurs nowhere; community 3 holds no OTU.
// Traits: T1 interval (-999, 100, -5, -2), "sp", T3 nominal (1, 1, 2, -999).
// Species: Abies alba (OTU 0), Picea abies (OTUs 1, 2), Abies alba again
// (OTU 3), Larix decidua (no OTU).
const char kData[] =
    "t\n3\nT1 sp T3\n3 2 2\n0 0 0\n3 3 2\n3\nR1 R2 R3\n4\n0 0 0\n0 0 0 0 0 0 0\n"
    "25Jun2016\n"
    "-999 0 1\n100 0 1\n-5 0 2\n-2 0 -999\n"
    "1 0 0\n0 0 0\n0 2 0\n3 0 0\n"
    "0\n"
    "4\nspp.txt\nAbies alba\nPicea abies\nAbies alba\nLarix decidua\n"
    "100\n010\n100\n001\n"
    "1000\n0100\n0100\n0010\n"
    "SMW 1\n0\n0\n";

TEST(DataChecks, AbsentOtusGoAndDerivedCountsFollow) {
  TempDir dir;
  LoadFormdaText(dir, kData);
  CheckData(1);
  // OTU 1 is gone; the others keep their order.
  ASSERT_EQ(tcst, 3);
  EXPECT_EQ(Row(cadat, 0, 3), (V{1, 0, 0}));
  EXPECT_EQ(Row(cadat, 1, 3), (V{0, 2, 0}));
  EXPECT_EQ(Row(cadat, 2, 3), (V{3, 0, 0}));
  EXPECT_EQ(csm_Float[1][0], -5.0);
  // Occurrences: R1 holds OTUs 0 and 2, R2 OTU 1, R3 none.
  EXPECT_EQ(std::vector<int>(ncst, ncst + 3), (std::vector<int>{2, 1, 0}));
  EXPECT_EQ(emptyReleves, 1);
  // States among the remaining OTUs: T1 {-5, -2}, T3 {1, 2} (-999 ignored).
  EXPECT_EQ(onsta[0], 2);
  EXPECT_EQ(onsta[2], 2);
  // Range of T1 over -5 and -2 (the removed OTU's 100 and -999 left out).
  EXPECT_EQ(chrange[0], 3.0);
  // The two Abies alba entries are one species; Larix decidua has no OTU.
  ASSERT_EQ(nSpp, 2);
  EXPECT_STREQ(spp[0], "Abies alba");
  EXPECT_STREQ(spp[1], "Picea abies");
  EXPECT_EQ(std::string(cstSppMap[0], 2), "10");
  EXPECT_EQ(std::string(cstSppMap[1], 2), "01");
  EXPECT_EQ(std::string(cstSppMap[2], 2), "10");
  EXPECT_EQ(std::string(sppRelMap[0], 3), "100");
  EXPECT_EQ(std::string(sppRelMap[1], 3), "010");
  // The "sp" trait: OTUs 0 and 2 share a species, so 0, 1, 0.
  EXPECT_EQ((V{csm_Float[0][1], csm_Float[1][1], csm_Float[2][1]}), (V{0, 1, 0}));
  FreeGlobals2();
}

TEST(DataChecks, SpeciesWithoutSupportAreTrimmed) {
  TempDir dir;
  LoadFormdaText(dir, kData);
  // Picea abies is marked in R2 only; OTU 1 occurs nowhere, so its
  // membership has no support, while OTU 2 (in R2) keeps its own.
  TrimSpecies(tcst);
  ASSERT_EQ(nSpp, 3);  // Larix decidua has no OTU
  EXPECT_STREQ(spp[2], "Abies alba");
  EXPECT_EQ(std::string(cstSppMap[1], 3), "000");
  EXPECT_EQ(std::string(cstSppMap[2], 3), "010");
  EXPECT_EQ(std::string(cstSppMap[3], 3), "001");
  // Without any occurrence left, the data set has no species.
  for (int s = 0; s < nSpp; s++) memset(sppRelMap[s], '0', static_cast<size_t>(ncsm));
  TrimSpecies(tcst);
  EXPECT_EQ(nSpp, 0);
  EXPECT_EQ(spp, nullptr);
  EXPECT_EQ(cstSppMap, nullptr);
  FreeGlobals2();
}

}  // namespace
