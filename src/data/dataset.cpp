#include "data/dataset.h"

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
