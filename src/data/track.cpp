#include "data/track.h"

const char versionTrack[] = "07Jul17";

char whichEnvRese[64] = "NULL", whichEnvScores[64] = "NULL", whichEnvRank[64] = "NULL",
     whichHier[64] = "NULL", whichCstRese[64] = "NULL", whichNRese[64] = "NULL",
     whichPRese[64] = "NULL", whichRo[64] = "NULL", whichProbRo[64] = "NULL",
     whichScores[64] = "NULL", whichProbN[64] = "NULL", whichReClus[64] = "NULL",
     whichCstClus[64] = "NULL", whichAOCScor[64] = "NULL", whichComplexity[64] = "NULL",
     whichVelocity[64] = "NULL", whichRoVelComplex[64] = "NULL";
char whichPrinda[64] = "NULL";
char whichEnvPrinda[64] = "NULL";
char whichRndData[64] = "NULL";

int isHierarchical = 0, traitBasedOpt = 0, hasEnvRese = 0, hasEnvScores = 0, hasEnvRank = 0,
    hasHier = 0, hasCstRese = 0, hasNRese = 0, hasPRese = 0, hasRo = 0, hasProbRo = 0,
    hasScores = 0, hasProbN = 0, hasReClus = 0, hasCstClus = 0, hasAOCScor = 0,
    hasVegOrdiCorrel = 0, hasEnvOrdiCorrel = 0, hasComplexity = 0, hasVelocity = 0,
    hasRoVelComplex = 0, hasRoVelComplexPROB = 0, optEnvStruct = 0, rese_opt = 0, part = 0;
int reseCstOpt[1] = {0};
int fuzzy = 0;
double fuzziness = 0.0;
int reseTypeOrd = 0, reseTypeClus = 0, reseTypeEv = 0, reseTypeRnd = 0, reseTypeERank = 0,
    cohe = 0, groupDissMeth = 0, empir_opt = 0, keepRichness = 0;
int whichPartAOC = 0, whichPartCstAOC = 0;
int doDistrib = 0, adjacentRelOpt = 0, whichLevelCst = 0, poolCSTopt = 0, clusMethPoolCSTs = 0;

#include <cstring>
#include <string>

#include "data/datafile.h"
#include "data/dataset.h"
#include "shell/console.h"
#include "shell/safefile.h"

// The result-file names in the order of the file.
static char* const kResultNames[] = {
    whichEnvRese, whichEnvScores, whichEnvRank, whichHier,     whichCstRese, whichNRese,
    whichPRese,   whichRo,        whichProbRo,  whichScores,   whichProbN,   whichReClus,
    whichCstClus, whichAOCScor,   whichComplexity, whichVelocity, whichRoVelComplex};

// The flags and settings saved one per line, in the order of the file.
static int* const kFlags[] = {
    &isHierarchical, &traitBasedOpt, &hasEnvRese,       &hasEnvScores,     &hasEnvRank,
    &hasHier,        &hasCstRese,    &hasNRese,         &hasPRese,         &hasRo,
    &hasProbRo,      &hasScores,     &hasProbN,         &hasReClus,        &hasCstClus,
    &hasAOCScor,     &hasVegOrdiCorrel, &hasEnvOrdiCorrel, &hasComplexity, &hasVelocity,
    &hasRoVelComplex, &hasRoVelComplexPROB, &optEnvStruct, &rese_opt,       &reseCstOpt[0],
    &part};

static int* const kSettings[] = {&reseTypeOrd, &reseTypeClus,  &reseTypeEv,
                                 &reseTypeRnd, &reseTypeERank, &cohe,
                                 &groupDissMeth, &empir_opt,   &keepRichness};

static int* const kLastSettings[] = {&adjacentRelOpt, &whichLevelCst, &poolCSTopt,
                                     &clusMethPoolCSTs, &SMWSize};

// Number of memberships kept for OTU partition p: the number of OTU types at
// the partition's hierarchical level, never more than there are OTUs (so that
// a stale level or count can never reach beyond the membership table).
static int OtuPartitionSize(int p) {
  int level = whichLevelGrCstP[p];
  if (level < 1 || level > nch) return 0;
  int n = rcst[level - 1];
  return n < 0 ? 0 : (n > tcst ? tcst : n);
}

// A label as a word: an empty one would vanish on reading and shift every
// later item, so it is written as "-".
static const char* Word(const char* label) { return label[0] != '\0' ? label : "-"; }

void WriteTrack(int full) {
  SafeWriter w(whichTrack);
  w.Put("%s\n", whichFormda);
  w.Put("%s\n", versionTrack);
  if (full) {
    for (char* name : kResultNames) w.Put("%s\n", name);
    for (int* v : kFlags) w.Put("%d\n", *v);
    for (int j = 0; j < nch; j++) w.Put("%d ", nchor[j]);
    w.Put("\n");
    for (int j = 0; j < nch; j++) w.Put("%d ", rcst[j]);
    w.Put("\n");
    for (int j = 0; j < nch; j++) w.Put("%d ", nGrPoly[j]);
    w.Put("\n");
    w.Put("%d\n", fuzzy);
    w.Put("%g\n", fuzziness);
    for (int* v : kSettings) w.Put("%d\n", *v);
    w.Put("%d\n", nPart);
    w.Put("%d\n", whichPart);
    for (int p = 0; p < nPart; p++) w.Put("%s ", Word(partLabel[p]));
    w.Put("\n");
    for (int p = 0; p < nPart; p++) w.Put("%d ", nGroupsP[p]);
    w.Put("\n");
    for (int p = 0; p < nPart; p++) {
      for (int g = 0; g < nGroupsP[p]; g++) w.Put("%s ", Word(grLabelP[p][g]));
      w.Put("\n");
    }
    for (int p = 0; p < nPart; p++) {
      for (int c = 0; c < ncsm; c++) w.Put("%d ", groupRelP[p][c]);
      w.Put("\n");
    }
    w.Put("%d %d ", whichPartAOC, whichPartCstAOC);
    w.Put("\n%d\n", whichLevelGrCST);
    w.Put("%d\n", nPartCst);
    w.Put("%d\n", whichCstPart);
    for (int p = 0; p < nPartCst; p++) w.Put("%s ", Word(partCstLabel[p]));
    w.Put("\n");
    for (int p = 0; p < nPartCst; p++) w.Put("%d ", nGroupsCstP[p]);
    w.Put("\n");
    for (int p = 0; p < nPartCst; p++) {
      for (int g = 0; g < nGroupsCstP[p]; g++) w.Put("%s ", Word(grCstLabelP[p][g]));
      w.Put("\n");
    }
    for (int p = 0; p < nPartCst; p++) w.Put("%d ", whichLevelGrCstP[p]);
    w.Put("\n");
    for (int p = 0; p < nPartCst; p++) {
      for (int o = 0, n = OtuPartitionSize(p); o < n; o++) w.Put("%d ", groupCstP[p][o]);
      w.Put("\n");
    }
    for (int c = 0; c < ncsm; c++) w.Put("%d ", relSelect[c]);
    w.Put("\n%d\n", doDistrib);
    for (int* v : kLastSettings) w.Put("%d\n", *v);
  }
  w.Close();
}

// Partition tables are those of the loaded data set: counts of partitions
// and groups, indexes and memberships outside their tables are malformed.
int ReadTrack() {
  DataReader r(whichTrack);
  char word[64];
  r.Label(word, 63);
  snprintf(whichFormda, sizeof whichFormda, "%s", word);
  std::string tag = r.Token();
  if (tag != versionTrack) {
    fprintf(out, "\nFormda file is compatible, but other files of the session ");
    fprintf(out, "are not compatible with this program version.%53s\n", "");
    return 1;
  }
  // A short track file (data chosen, no settings saved) ends here.  The probe
  // consumes nothing.
  if (!r.SkipSpace()) return 1;

  for (char* name : kResultNames) r.Label(name, 63);
  for (int* v : kFlags) *v = r.Int();
  for (int j = 0; j < nch; j++) nchor[j] = r.Int();
  for (int j = 0; j < nch; j++) rcst[j] = r.Int();
  for (int j = 0; j < nch; j++) nGrPoly[j] = r.Int();
  fuzzy = r.Int();
  fuzziness = r.Double();
  for (int* v : kSettings) *v = r.Int();
  nPart = r.Int(0, kMaxPartitions);
  whichPart = r.Int(0, kMaxPartitions - 1);
  for (int p = 0; p < nPart; p++) r.Label(partLabel[p], kPartLabelSize - 1);
  for (int p = 0; p < nPart; p++) nGroupsP[p] = r.Int(0, ncsm);
  for (int p = 0; p < nPart; p++)
    for (int g = 0; g < nGroupsP[p]; g++) r.Label(grLabelP[p][g], kGroupLabelSize - 1);
  for (int p = 0; p < nPart; p++)
    for (int c = 0; c < ncsm; c++) groupRelP[p][c] = r.Int(0, ncsm);
  whichPartAOC = r.Int();
  whichPartCstAOC = r.Int();
  nGroups = nGroupsP[whichPart];
  grLabel = grLabelP[whichPart];
  groupRel = groupRelP[whichPart];

  whichLevelGrCST = r.Int();
  nPartCst = r.Int(0, kMaxPartitions);
  whichCstPart = r.Int(0, kMaxPartitions - 1);
  for (int p = 0; p < nPartCst; p++) r.Label(partCstLabel[p], kPartLabelSize - 1);
  for (int p = 0; p < nPartCst; p++) nGroupsCstP[p] = r.Int(0, tcst);
  for (int p = 0; p < nPartCst; p++)
    for (int g = 0; g < nGroupsCstP[p]; g++) r.Label(grCstLabelP[p][g], kGroupLabelSize - 1);
  for (int p = 0; p < nPartCst; p++) whichLevelGrCstP[p] = r.Int(1, nch);
  for (int p = 0; p < nPartCst; p++) {
    int level = whichLevelGrCstP[p];
    if (rcst[level - 1] < 0 || rcst[level - 1] > tcst) r.Malformed();
    for (int o = 0, n = OtuPartitionSize(p); o < n; o++) groupCstP[p][o] = r.Int(0, tcst);
  }
  nCstGroups = nGroupsCstP[whichCstPart];
  grCstLabel = grCstLabelP[whichCstPart];
  groupCst = groupCstP[whichCstPart];

  for (int c = 0; c < ncsm; c++) relSelect[c] = r.Int();
  doDistrib = r.Int();
  for (int* v : kLastSettings) *v = r.Int();
  if (SMWSize < 1) r.Malformed();
  r.Close();
  return 1;
}

bool BackUpTrack(const char* track, const char* session) {
  FILE* fp = fopen((std::string(volumeName) + track).c_str(), "rb");
  if (fp == nullptr) return true;  // no session of that name yet
  std::string text;
  char buffer[8192];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, fp)) > 0) text.append(buffer, n);
  fclose(fp);
  if (text.empty()) return true;
  char backup[80];
  CatName(backup, sizeof backup, session, "Trk.bak");
  SafeFile f;
  FILE* bp = SafeOpen(f, backup, volumeName, "w");
  if (bp == nullptr) return false;
  const bool written = fwrite(text.data(), 1, text.size(), bp) == text.size();
  if (!written) SafeDiscard(f);
  if (!written || !SafeClose(f)) {
    fprintf(stderr, "\nfile %s could not be written: the track file %s is left as it is\n",
            backup, track);
    return false;
  }
  fprintf(out, "The track file %s of an earlier session %s was copied to %s.\n", track, session,
          backup);
  return true;
}
