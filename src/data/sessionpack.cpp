#include "data/sessionpack.h"

#include <initializer_list>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/export.h"
#include "functional/settings.h"
#include "numeric/regression.h"
#include "ranking/ranking.h"
#include "shell/pack.h"
#include "shell/preferences.h"

namespace {

// The int settings: analysis settings, track-file settings, preferences.
int* const kIntSettings[] = {
    &OTUsTypesAreSpecies, &reseCSTopt, &optRndTests, &niter, &optWeightedNullModel,
    &optTaxaSiteShuffle, &optRestrictPermutNullModel, &seedOpt, &opt_ro, &whichObj,
    &restrictRaoWithinOpt, &keepAdditivity, &optUnitTotalAdjust1, &optUnitTotalAdjust2,
    &includePhylogeny, &nTaxa, &fuzzyPhyl, &optCoVariable, &printDetail, &printNRese,
    &printReseFree, &printPRese, &opt_struct, &nMinTraitsChRank, &nMaxTraitsChRank,
    &nMinCSTGroupsChRank, &nMaxCSTGroupsChRank,
    // track file
    &isHierarchical, &traitBasedOpt, &hasEnvRese, &hasEnvScores, &hasEnvRank, &hasHier,
    &hasCstRese, &hasNRese, &hasPRese, &hasRo, &hasProbRo, &hasScores, &hasProbN, &hasReClus,
    &hasCstClus, &hasAOCScor, &hasVegOrdiCorrel, &hasEnvOrdiCorrel, &hasComplexity,
    &hasVelocity, &hasRoVelComplex, &hasRoVelComplexPROB, &optEnvStruct, &rese_opt, &part,
    &reseCstOpt[0], &fuzzy, &reseTypeOrd, &reseTypeClus, &reseTypeEv, &reseTypeRnd,
    &reseTypeERank, &cohe, &groupDissMeth, &empir_opt, &keepRichness, &whichPartAOC,
    &whichPartCstAOC, &doDistrib, &adjacentRelOpt, &whichLevelCst, &poolCSTopt,
    &clusMethPoolCSTs,
    // preferences
    &isHierarchicalPref, &scatterPointSize, &profilePointSize, &profileType, &drawProfPtsOpt,
    &saveStruct, &saveRndData, &showMemory, &countDoubleAbsence, &sqrtDissimOpt_RaoTraits,
    &sqrtDissimOpt_RaoPhyl, &maxComponents, &BealsIncludeOpt, &twoTailedTestMantel,
    &nProcessors, &rndTestOpt, &sDigits, &maxColsPrint, &writeTSV,
    // ranking
    &rankingAlgorithm, &printRankIntermedResults, &nKeepTrack,
    // the data set's counts and kinds
    &tcst, &nch, &ncsm, &nenv, &nClados, &hasTraitGroups, &emptyReleves, &optEnvVarType,
    &temEnvBin, &temEnvQual, &temEnvQuant, &hasPhylogeny, &phylogenyMatrixType, &SMWSize,
    &nPart, &whichPart, &nGroups, &nPartCst, &whichCstPart, &nCstGroups, &whichLevelGrCST};

float* const kFloatSettings[] = {&biplotCorrThreshold, &scatterHSize, &scatterVSize,
                                 &profileHSize, &profileVSize, &treeHSize, &treeVSize};
double* const kDoubleSettings[] = {&fuzziness, &overfitFactorPCARegr};

// Which slot of a partition table a pointer of the data set points at (-1:
// none).
template <class T>
int SlotOf(T* const* slots, const T* at) {
  if (slots == nullptr || at == nullptr) return -1;
  for (int k = 0; k < kMaxPartitions; k++)
    if (slots[k] == at) return k;
  return -1;
}

void PutLabels(Pack& p, int rows, int size, char** labels) { PutMatrix(p, rows, size, labels); }

void PutCube(Pack& p, int rows, int size, char*** cube) {
  Put<char>(p, cube != nullptr);
  if (cube == nullptr) return;
  for (int k = 0; k < kMaxPartitions; k++) PutMatrix(p, rows, size, cube[k]);
}

void GetCube(Pack& p, int rows, int size, char*** cube) {
  if (!Get<char>(p)) return;
  for (int k = 0; k < kMaxPartitions; k++) GetMatrixInto(p, rows, size, cube[k]);
}

}  // namespace

void PackSessionState(Pack& p) {
  for (int* v : kIntSettings) Put<int>(p, *v);
  for (float* v : kFloatSettings) Put<float>(p, *v);
  for (double* v : kDoubleSettings) Put<double>(p, *v);
  Put<unsigned long>(p, rseed);
  PutBytes(p, whichChorder, sizeof whichChorder);
  const int n = tcst, k = nch, m = ncsm, q = nenv;
  PutVector(p, nestingMembershipOTUs, n);
  PutVector(p, partition_OTUs_Phyl, n);
  // The data set.
  PutMatrix(p, n, k, csm_Float);
  PutMatrix(p, n, m, cadat);
  PutMatrix(p, m, q, env);
  PutMatrix(p, n, n, phylogenyRese);
  PutMatrix(p, n, nClados, phylogenyData);
  PutVector(p, phylogenyVarType, nClados);
  PutLabels(p, k, kLabelSize, chLabel);
  PutVector(p, chtype, k);
  PutVector(p, onsta, k);
  PutVector(p, chrange, k);
  PutVector(p, traitGroups, k);
  PutLabels(p, m, kLabelSize, reLabel);
  PutVector(p, ncst, m);
  PutLabels(p, q, kLabelSize, envLabel);
  PutVector(p, envVarType, q);
  PutVector(p, eVarSelect, q);
  PutVector(p, nchor, k);
  PutVector(p, weight, k);
  PutVector(p, weight_OTUs, n);
  PutVector(p, rcst, k);
  PutVector(p, nGrPoly, k);
  PutVector(p, relSelect, m);
  PutVector(p, partition_OTUs, n);
  PutMatrix(p, k, n, cstTrack);
  // The partitions of the communities and of the OTUs.
  PutLabels(p, kMaxPartitions, kPartLabelSize, partLabel);
  PutVector(p, nGroupsP, kMaxPartitions);
  PutMatrix(p, kMaxPartitions, m, groupRelP);
  PutCube(p, m, kGroupLabelSize, grLabelP);
  PutLabels(p, kMaxPartitions, kPartLabelSize, partCstLabel);
  PutVector(p, nGroupsCstP, kMaxPartitions);
  PutMatrix(p, kMaxPartitions, n, groupCstP);
  PutCube(p, n, kGroupLabelSize, grCstLabelP);
  PutVector(p, whichLevelGrCstP, kMaxPartitions);
  for (int slot : {SlotOf(groupRelP, groupRel), SlotOf(grLabelP, grLabel),
                   SlotOf(groupCstP, groupCst), SlotOf(grCstLabelP, grCstLabel)})
    Put<int>(p, slot);
}

void UnpackSessionState(Pack& p) {
  FreeGlobals2();
  free1D(nestingMembershipOTUs);
  nestingMembershipOTUs = nullptr;
  free1D(partition_OTUs_Phyl);
  partition_OTUs_Phyl = nullptr;
  for (int* v : kIntSettings) *v = Get<int>(p);
  for (float* v : kFloatSettings) *v = Get<float>(p);
  for (double* v : kDoubleSettings) *v = Get<double>(p);
  rseed = Get<unsigned long>(p);
  GetBytes(p, whichChorder, sizeof whichChorder);
  const int n = tcst, k = nch, m = ncsm, q = nenv;
  nestingMembershipOTUs = GetInts(p, n);
  partition_OTUs_Phyl = GetInts(p, n);
  // The arrays of a data set of these sizes (NewDataSet keeps the counts
  // and kinds only where it sets them: they are set again below).
  const int kept[] = {hasTraitGroups, emptyReleves, optEnvVarType, temEnvBin, temEnvQual,
                      temEnvQuant, hasPhylogeny, phylogenyMatrixType, SMWSize, nClados};
  NewDataSet(n, k, m, q);
  hasTraitGroups = kept[0];
  emptyReleves = kept[1];
  optEnvVarType = kept[2];
  temEnvBin = kept[3];
  temEnvQual = kept[4];
  temEnvQuant = kept[5];
  hasPhylogeny = kept[6];
  phylogenyMatrixType = kept[7];
  SMWSize = kept[8];
  nClados = kept[9];
  GetMatrixInto(p, n, k, csm_Float);
  GetMatrixInto(p, n, m, cadat);
  if (q > 0) {
    GetMatrixInto(p, m, q, env);
  } else {
    double** none = GetMatrix(p, m, q);
    free2D(none, m > 0 ? m : 1);
  }
  phylogenyRese = GetMatrix(p, n, n);
  phylogenyData = GetMatrix(p, n, nClados);
  phylogenyVarType = GetInts(p, nClados);
  GetMatrixInto(p, k, kLabelSize, chLabel);
  GetVectorInto(p, chtype, k);
  GetVectorInto(p, onsta, k);
  GetVectorInto(p, chrange, k);
  GetVectorInto(p, traitGroups, k);
  GetMatrixInto(p, m, kLabelSize, reLabel);
  GetVectorInto(p, ncst, m);
  if (q > 0) {
    GetMatrixInto(p, q, kLabelSize, envLabel);
    GetVectorInto(p, envVarType, q);
  } else {
    Get<char>(p);
    Get<char>(p);
  }
  GetVectorInto(p, eVarSelect, q);
  GetVectorInto(p, nchor, k);
  GetVectorInto(p, weight, k);
  GetVectorInto(p, weight_OTUs, n);
  GetVectorInto(p, rcst, k);
  GetVectorInto(p, nGrPoly, k);
  GetVectorInto(p, relSelect, m);
  GetVectorInto(p, partition_OTUs, n);
  GetMatrixInto(p, k, n, cstTrack);
  GetMatrixInto(p, kMaxPartitions, kPartLabelSize, partLabel);
  GetVectorInto(p, nGroupsP, kMaxPartitions);
  GetMatrixInto(p, kMaxPartitions, m, groupRelP);
  GetCube(p, m, kGroupLabelSize, grLabelP);
  GetMatrixInto(p, kMaxPartitions, kPartLabelSize, partCstLabel);
  GetVectorInto(p, nGroupsCstP, kMaxPartitions);
  GetMatrixInto(p, kMaxPartitions, n, groupCstP);
  GetCube(p, n, kGroupLabelSize, grCstLabelP);
  GetVectorInto(p, whichLevelGrCstP, kMaxPartitions);
  const int slots[4] = {Get<int>(p), Get<int>(p), Get<int>(p), Get<int>(p)};
  groupRel = slots[0] >= 0 ? groupRelP[slots[0]] : nullptr;
  grLabel = slots[1] >= 0 ? grLabelP[slots[1]] : nullptr;
  groupCst = slots[2] >= 0 ? groupCstP[slots[2]] : nullptr;
  grCstLabel = slots[3] >= 0 ? grCstLabelP[slots[3]] : nullptr;
}
