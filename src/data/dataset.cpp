#include "data/dataset.h"

#include <cstdio>

int tcst = 0, nch = 0, ncsm = 0, nenv = 0, nSpp = 0, nClados = 0;

double** csm_Float = nullptr;
double** cadat = nullptr;
double** env = nullptr;
double** phylogenyRese = nullptr;
double** phylogenyData = nullptr;

char** chLabel = nullptr;
int* chtype = nullptr;
int* onsta = nullptr;
double* chrange = nullptr;
int* traitGroups = nullptr;
int hasTraitGroups = 0;

char** reLabel = nullptr;
int* ncst = nullptr;
int emptyReleves = 0;

char** envLabel = nullptr;
int* envVarType = nullptr;
int optEnvVarType = 0;
int temEnvBin = 0, temEnvQual = 0, temEnvQuant = 0;
char envName[320] = "";

int hasPhylogeny = 0;
int phylogenyMatrixType = 0;
int* phylogenyVarType = nullptr;

char** spp = nullptr;
char whichSpp[64] = "NULL";
char** sppRelMap = nullptr;
char** cstSppMap = nullptr;

char dataName[320] = "";
char whichFormda[64] = "NULL";
double ca_code[7] = {0, 0, 0, 0, 0, 0, 0};
int SMWSize = 1;

int nPart = 0;
char** partLabel = nullptr;
int* nGroupsP = nullptr;
int** groupRelP = nullptr;
char*** grLabelP = nullptr;
int whichPart = 0;
int nGroups = 0;
char** grLabel = nullptr;
int* groupRel = nullptr;
int nPartCst = 0;
char** partCstLabel = nullptr;
int* nGroupsCstP = nullptr;
int** groupCstP = nullptr;
char*** grCstLabelP = nullptr;
int* whichLevelGrCstP = nullptr;
int whichCstPart = 0;
int nCstGroups = 0;
char** grCstLabel = nullptr;
int* groupCst = nullptr;
int whichLevelGrCST = 1;
int* partition_OTUs = nullptr;

int* nchor = nullptr;
double* weight = nullptr;
int* weight_OTUs = nullptr;
int* rcst = nullptr;
int* nGrPoly = nullptr;
int** cstTrack = nullptr;
int* relSelect = nullptr;
int* eVarSelect = nullptr;

#include "QELib/qelibDim.h"

// Besides the arrays of the data set proper, the phylogeny arrays and the
// type-membership table are released here too, so that reloading a data set
// never leaks them whatever the last analysis did.
void FreeGlobals2() {
  free2D(chLabel, nch);
  chLabel = nullptr;
  free2D(reLabel, ncsm);
  reLabel = nullptr;
  free3D(grLabelP, kMaxPartitions, ncsm);
  grLabelP = nullptr;
  free3D(grCstLabelP, kMaxPartitions, tcst);
  grCstLabelP = nullptr;
  free1D(nchor);
  nchor = nullptr;
  free1D(weight);
  weight = nullptr;
  free1D(weight_OTUs);
  weight_OTUs = nullptr;
  free1D(chtype);
  chtype = nullptr;
  free1D(traitGroups);
  traitGroups = nullptr;
  free1D(chrange);
  chrange = nullptr;
  free1D(onsta);
  onsta = nullptr;
  free1D(ncst);
  ncst = nullptr;
  free1D(rcst);
  rcst = nullptr;
  free1D(nGrPoly);
  nGrPoly = nullptr;
  free2D(cadat, tcst);
  cadat = nullptr;
  free2D(csm_Float, tcst);
  csm_Float = nullptr;
  if (nenv > 0) {
    free2D(env, ncsm);
    free2D(envLabel, nenv);
    free1D(envVarType);
  }
  env = nullptr;
  envLabel = nullptr;
  envVarType = nullptr;
  free1D(relSelect);
  relSelect = nullptr;
  free1D(eVarSelect);
  eVarSelect = nullptr;
  free1D(nGroupsP);
  nGroupsP = nullptr;
  free2D(groupRelP, kMaxPartitions);
  groupRelP = nullptr;
  free2D(partLabel, kMaxPartitions);
  partLabel = nullptr;
  free1D(nGroupsCstP);
  nGroupsCstP = nullptr;
  free1D(whichLevelGrCstP);
  whichLevelGrCstP = nullptr;
  free2D(groupCstP, kMaxPartitions);
  groupCstP = nullptr;
  free2D(partCstLabel, kMaxPartitions);
  partCstLabel = nullptr;
  free1D(partition_OTUs);
  partition_OTUs = nullptr;
  if (nSpp > 0) {
    free2D(spp, nSpp);
    free2D(sppRelMap, nSpp);
    free2D(cstSppMap, tcst);
  }
  spp = nullptr;
  sppRelMap = nullptr;
  cstSppMap = nullptr;
  free2D(cstTrack, nch);
  cstTrack = nullptr;
  free2D(phylogenyRese, tcst);
  phylogenyRese = nullptr;
  free2D(phylogenyData, tcst);
  phylogenyData = nullptr;
  free1D(phylogenyVarType);
  phylogenyVarType = nullptr;
  grLabel = nullptr;
  groupRel = nullptr;
  grCstLabel = nullptr;
  groupCst = nullptr;
}

void AllocWorkingArrays() {
  nchor = dim1Dint(nch);
  weight = dim1Double(nch);
  weight_OTUs = dim1Dint(tcst);
  rcst = dim1Dint(nch);
  nGrPoly = dim1Dint(nch);
  partLabel = dim2Dchar(kMaxPartitions, kPartLabelSize);
  nGroupsP = dim1Dint(kMaxPartitions);
  groupRelP = dim2Dint(kMaxPartitions, ncsm);
  grLabelP = reinterpret_cast<char***>(dim3D(sizeof(char), kMaxPartitions, ncsm, kGroupLabelSize));
  relSelect = dim1Dint(ncsm);
  partCstLabel = dim2Dchar(kMaxPartitions, kPartLabelSize);
  nGroupsCstP = dim1Dint(kMaxPartitions);
  groupCstP = dim2Dint(kMaxPartitions, tcst);
  grCstLabelP =
      reinterpret_cast<char***>(dim3D(sizeof(char), kMaxPartitions, tcst, kGroupLabelSize));
  partition_OTUs = dim1Dint(tcst);
  whichLevelGrCstP = dim1Dint(kMaxPartitions);
  cstTrack = dim2Dint(nch, tcst);
  groupCst = groupCstP[0];
  grCstLabel = grCstLabelP[0];
  // The community partition in use points at the first slot as well until a
  // track file names another one, so that no analysis meets a null table.
  groupRel = groupRelP[0];
  grLabel = grLabelP[0];
}

static void NumberLabels(int n, char** labels) {
  for (int i = 0; i < n; i++) snprintf(labels[i], kLabelSize, "%d", (i + 1) % 1000000000);
}

void NewDataSet(int otus, int traits, int communities, int variables) {
  tcst = otus;
  nch = traits;
  ncsm = communities;
  nenv = variables;
  nSpp = nClados = 0;
  hasTraitGroups = hasPhylogeny = 0;
  phylogenyMatrixType = 0;
  emptyReleves = 0;
  SMWSize = 1;
  csm_Float = dim2Double(tcst, nch);
  cadat = dim2Double(tcst, ncsm);
  chLabel = dim2Dchar(nch, kLabelSize);
  NumberLabels(nch, chLabel);
  chtype = dim1Dint(nch);
  onsta = dim1Dint(nch);
  chrange = dim1Double(nch);
  traitGroups = dim1Dint(nch);
  reLabel = dim2Dchar(ncsm, kLabelSize);
  NumberLabels(ncsm, reLabel);
  ncst = dim1Dint(ncsm);
  optEnvVarType = nenv > 0 ? 2 : 0;
  temEnvQuant = nenv > 0 ? 1 : 0;
  temEnvQual = temEnvBin = 0;
  if (nenv > 0) {
    env = dim2Double(ncsm, nenv);
    envLabel = dim2Dchar(nenv, kLabelSize);
    NumberLabels(nenv, envLabel);
    envVarType = dim1Dint(nenv);
    for (int v = 0; v < nenv; v++) envVarType[v] = 3;
  }
  eVarSelect = dim1Dint(nenv);
  for (int v = 0; v < nenv; v++) eVarSelect[v] = 1;
  AllocWorkingArrays();
  for (int k = 0; k < nch; k++) {
    chtype[k] = 3;
    weight[k] = 1.0;
    nchor[k] = k + 1;
  }
  for (int c = 0; c < ncsm; c++) relSelect[c] = 1;
  for (int i = 0; i < tcst; i++) {
    weight_OTUs[i] = 1;
    partition_OTUs[i] = i + 1;
  }
}
