#include "shell/preferences.h"

const char QUILTAPrefsName[] = "QUILTA.prf";
const char versionPref[] = "18Nov2016";

float biplotCorrThreshold = 0.6f;
int isHierarchicalPref = 0;
float scatterHSize = 0, scatterVSize = 0, profileHSize = 0, profileVSize = 0, treeHSize = 0,
      treeVSize = 0;
int scatterPointSize = 0, profilePointSize = 0, profileType = 1;
int drawProfPtsOpt = 'n';
int saveStruct = 'n';
int saveRndData = 'n';
int showMemory = 'n';
int countDoubleAbsence = 1;
int sqrtDissimOpt_RaoTraits = 1;
int sqrtDissimOpt_RaoPhyl = 0;
int maxComponents = 6;
int BealsIncludeOpt = 1;
int twoTailedTestMantel = 1;
int nProcessors = 0;
int rndTestOpt = 0;
