// The data set and settings a worker receives: packed, released, unpacked,
// every matrix, label, selection and setting as it was.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/sessionpack.h"
#include "data/track.h"
#include "functional/settings.h"
#include "numeric/regression.h"
#include "shell/pack.h"
#include "shell/preferences.h"

TEST(SessionPack, WorkerHoldsTheSameDataSetAndSettings) {
  NewDataSet(5, 3, 4, 2);
  for (int i = 0; i < 5; i++) {
    for (int k = 0; k < 3; k++) csm_Float[i][k] = i * 10 + k + 0.25;
    for (int c = 0; c < 4; c++) cadat[i][c] = (i + c) % 3 == 0 ? -999 : i * c;
  }
  for (int c = 0; c < 4; c++)
    for (int v = 0; v < 2; v++) env[c][v] = c - v * 0.5;
  phylogenyRese = dim2Double(5, 5);
  for (int i = 0; i < 5; i++) phylogenyRese[i][(i + 1) % 5] = 0.5 + i;
  hasPhylogeny = 1;
  phylogenyMatrixType = 3;
  chtype[1] = 2;
  weight[2] = 0.0;
  weight_OTUs[3] = 0;
  relSelect[1] = 0;
  partition_OTUs[4] = 2;
  snprintf(chLabel[0], kLabelSize, "SLA");
  nestingMembershipOTUs = dim1Dint(5);
  nestingMembershipOTUs[2] = 7;
  partition_OTUs_Phyl = nullptr;
  opt_ro = 4;
  niter = 999;
  rseed = 4242;
  fuzzy = 3;
  BealsIncludeOpt = 0;
  overfitFactorPCARegr = 3.5;

  Pack p;
  PackSessionState(p);
  // The worker's own state before: something else entirely.
  FreeGlobals2();
  free1D(nestingMembershipOTUs);
  nestingMembershipOTUs = nullptr;
  NewDataSet(2, 1, 2, 0);
  opt_ro = 1;
  niter = 0;
  rseed = 0;
  fuzzy = 0;
  BealsIncludeOpt = 1;
  overfitFactorPCARegr = 2.0;

  UnpackSessionState(p);
  EXPECT_EQ(p.at, p.bytes.size());
  ASSERT_EQ(tcst, 5);
  ASSERT_EQ(nch, 3);
  ASSERT_EQ(ncsm, 4);
  ASSERT_EQ(nenv, 2);
  for (int i = 0; i < 5; i++) {
    for (int k = 0; k < 3; k++) EXPECT_EQ(csm_Float[i][k], i * 10 + k + 0.25);
    for (int c = 0; c < 4; c++) EXPECT_EQ(cadat[i][c], (i + c) % 3 == 0 ? -999 : i * c);
  }
  for (int c = 0; c < 4; c++)
    for (int v = 0; v < 2; v++) EXPECT_EQ(env[c][v], c - v * 0.5);
  ASSERT_NE(phylogenyRese, nullptr);
  EXPECT_EQ(phylogenyRese[4][0], 4.5);
  EXPECT_EQ(hasPhylogeny, 1);
  EXPECT_EQ(phylogenyMatrixType, 3);
  EXPECT_EQ(chtype[1], 2);
  EXPECT_EQ(weight[2], 0.0);
  EXPECT_EQ(weight[1], 1.0);
  EXPECT_EQ(weight_OTUs[3], 0);
  EXPECT_EQ(relSelect[1], 0);
  EXPECT_EQ(partition_OTUs[4], 2);
  EXPECT_STREQ(chLabel[0], "SLA");
  EXPECT_STREQ(reLabel[3], "4");
  ASSERT_NE(nestingMembershipOTUs, nullptr);
  EXPECT_EQ(nestingMembershipOTUs[2], 7);
  EXPECT_EQ(partition_OTUs_Phyl, nullptr);
  EXPECT_EQ(groupCst, groupCstP[0]);
  EXPECT_EQ(opt_ro, 4);
  EXPECT_EQ(niter, 999);
  EXPECT_EQ(rseed, 4242u);
  EXPECT_EQ(fuzzy, 3);
  EXPECT_EQ(BealsIncludeOpt, 0);
  EXPECT_EQ(overfitFactorPCARegr, 3.5);
  FreeGlobals2();
  free1D(nestingMembershipOTUs);
  nestingMembershipOTUs = nullptr;
  overfitFactorPCARegr = 2.0;
  opt_ro = 1;
  niter = 0;
  fuzzy = 0;
  BealsIncludeOpt = 1;
}
