#include "data/formda.h"
#include "data/warnings.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "QELib/qelibDim.h"
#include "data/datafile.h"
#include "data/dataset.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/numtext.h"
#include "shell/safefile.h"

static const char kDataTag[] = "25Jun2016";      // current layout
static const char kDataTag2008[] = "18Jan2008";  // numeric B and W, no trait groups
static const char kEnvTag[] = "97Sep08";         // environmental types present

// A one-line name or title as written: blanks instead of tabs and line ends
// (which would end the field on reading), "NULL" for an empty one (an empty
// line would be skipped on reading and shift every later item).
static std::string OneLine(const char* text) {
  std::string s(text != nullptr ? text : "");
  for (char& c : s)
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  if (s.find_first_not_of(' ') == std::string::npos) s = "NULL";
  return s;
}

static void PutLabels(SafeWriter& w, int n, char** labels) {
  for (int i = 0; i < n; i++) w.Put("%s\t", labels[i]);
  w.Put("\n");
}

// One row of numbers at a time as "%.*g\t", written in one piece.
static void PutMatrix(SafeWriter& w, int rows, int columns, double** M, int precision) {
  std::string line;
  for (int i = 0; i < rows; i++) {
    line.clear();
    for (int j = 0; j < columns; j++) {
      AppendG(line, M[i][j], precision);
      line += '\t';
    }
    line += '\n';
    w.Write(line.data(), line.size());
  }
}

// A map of '0' and '1' (anything but '1' written as '0'), one line a row.
static void PutMap(SafeWriter& w, int rows, int columns, char** map) {
  std::string line;
  for (int i = 0; i < rows; i++) {
    line.assign(static_cast<size_t>(columns), '0');
    for (int j = 0; j < columns; j++)
      if (map[i][j] == '1') line[static_cast<size_t>(j)] = '1';
    line += '\n';
    w.Write(line.data(), line.size());
  }
}

void WriteFormda(int nOTUs, const char* fileName, const char* title, double** B, double** W) {
  SafeWriter w(fileName);
  w.Put("%s \n", OneLine(title).c_str());
  w.Put("%d \n", nch);
  PutLabels(w, nch, chLabel);
  for (int j = 0; j < nch; j++) w.Put("%2d\t", chtype[j]);
  w.Put("\n");
  for (int j = 0; j < nch; j++) w.Put("0\t");
  w.Put("\n");
  for (int j = 0; j < nch; j++) w.Put("%2d\t", onsta[j]);
  w.Put("\n");
  w.Put("%d \n", ncsm);
  PutLabels(w, ncsm, reLabel);
  w.Put("%d \n", nOTUs);
  for (int j = 0; j < ncsm; j++) w.Put("0\t");
  w.Put("\n");
  for (int j = 0; j < 7; j++) w.Put("0\t");
  w.Put("\n\n");
  w.Put("%s \n", kDataTag);
  // B and W with 6 significant digits whatever the printing preference.
  PutMatrix(w, nOTUs, nch, B, 6);
  w.Put("\n");
  PutMatrix(w, nOTUs, ncsm, W, 6);
  w.Put("\n");

  w.Put("%d \n", nenv);
  if (nenv > 0) {
    w.Put("%s \n", kEnvTag);
    w.Put("%d \n", optEnvVarType);
    for (int j = 0; j < nenv; j++) w.Put("%d\t", envVarType[j]);
    w.Put("\n");
    PutLabels(w, nenv, envLabel);
    w.Put("%s \n", OneLine(envName).c_str());
    for (int j = 0; j < nenv; j++) {  // E transposed: one line per variable ("%6g\t")
      std::string line;
      for (int i = 0; i < ncsm; i++) {
        AppendGWidth(line, env[i][j], 6, 6);
        line += '\t';
      }
      line += '\n';
      w.Write(line.data(), line.size());
    }
  }

  w.Put("%d \n", nSpp);
  if (nSpp > 0) {
    w.Put("%s \n", OneLine(whichSpp).c_str());
    for (int s = 0; s < nSpp; s++) w.Put("%s\n", OneLine(spp[s]).c_str());
    PutMap(w, nSpp, ncsm, sppRelMap);
    PutMap(w, nOTUs, nSpp, cstSppMap);
  }

  w.Put("SMW %d\n", SMWSize);
  w.Put("%d\n", hasPhylogeny ? 1 : 0);
  if (hasPhylogeny) {
    w.Put("%d\n", phylogenyMatrixType);
    if (phylogenyMatrixType == 2) {
      w.Put("%d\n", nClados);
      for (int j = 0; j < nClados; j++) w.Put("%d\t", phylogenyVarType[j]);
      w.Put("\n");
      PutMatrix(w, nOTUs, nClados, phylogenyData, 6);
    } else {
      PutMatrix(w, nOTUs, nOTUs, phylogenyRese, 6);
    }
  }
  w.Put("%d\n", hasTraitGroups ? 1 : 0);
  if (hasTraitGroups) {
    for (int j = 0; j < nch; j++) w.Put("%d\t", traitGroups[j]);
    w.Put("\n");
  }
  TimeStamp(w.fp);
  w.Close();
}

// ---- reading --------------------------------------------------------------

// The oldest layout keeps each OTU's trait codes as one word of two
// characters per trait; each pair is a number (read in single precision).
static void ReadTraitCodes(DataReader& r, const std::string& word, int nTraits, double* row) {
  if (word.size() != 2 * static_cast<size_t>(nTraits)) r.Malformed();
  for (int j = 0; j < nTraits; j++) {
    char pair[3] = {word[2 * j], word[2 * j + 1], '\0'};
    char* end = nullptr;
    float v = strtof(pair, &end);
    if (end == pair || *end != '\0') r.Malformed();
    row[j] = static_cast<double>(v);
  }
}

static void ReadRow(DataReader& r, int n, double* row) {
  for (int j = 0; j < n; j++) row[j] = r.Double();
}

bool ReadFormdaMatrices(DataReader& r, const std::string& tag, int nOTUs, int nTraits,
                        int nCommunities, double** B, double** W) {
  const bool current = tag == kDataTag;
  if (current || tag == kDataTag2008) {
    for (int i = 0; i < nOTUs; i++) ReadRow(r, nTraits, B[i]);
    for (int i = 0; i < nOTUs; i++) ReadRow(r, nCommunities, W[i]);
  } else {  // oldest layout: the word read is the first OTU's trait codes
    for (int i = 0; i < nOTUs; i++) {
      ReadTraitCodes(r, i == 0 ? tag : r.Token(), nTraits, B[i]);
      ReadRow(r, nCommunities, W[i]);
    }
  }
  return current;
}

bool ReadFormdaEnvironment(DataReader& r, int nVars, int nCommunities, double** E,
                           char** labels, int* types, int* kind, char* name) {
  std::string word = r.Token();
  const bool tagged = word == kEnvTag;
  int first = 0;
  if (tagged) {
    *kind = r.Int(1, 5);
    for (int j = 0; j < nVars; j++) types[j] = r.Int(1, 4);
  } else {  // no type items: the word is the first label
    *kind = 2;
    for (int j = 0; j < nVars; j++) types[j] = 3;
    snprintf(labels[0], kLabelSize, "%s", word.c_str());
    first = 1;
  }
  for (int j = first; j < nVars; j++) r.Label(labels[j], kLabelSize - 1);
  r.Line(name, 319, true);
  for (int j = 0; j < nVars; j++)
    for (int i = 0; i < nCommunities; i++) E[i][j] = r.Double();
  return tagged;
}

void ReadFormdaSpecies(DataReader& r, int nSpecies, int nCommunities, int nOTUs, char* file,
                       char** names, char** relMap, char** otuMap) {
  r.Line(file, 51, true);
  for (int s = 0; s < nSpecies; s++) r.Line(names[s], kSpeciesSize - 1, false);
  for (int s = 0; s < nSpecies; s++) r.MapChars(relMap[s], nCommunities);
  for (int o = 0; o < nOTUs; o++) r.MapChars(otuMap[o], nSpecies);
}

// Every count read is checked before anything is allocated from it: counts
// of traits, communities and OTUs must be at least 1, the others at least 0,
// and every table they announce must fit in the file, each value taking at
// least one character and a separator (the species maps one character per
// cell).  A garbage count thus ends in failure code 2, never in a huge
// allocation.
static void ReadFormdaFile() {
  DataReader r(whichFormda);

  r.Line(dataName, 319, true);  // trailing blanks dropped: rewrites stay equal

  nch = r.Count(1);
  chLabel = dim2Dchar(nch, kLabelSize);
  for (int j = 0; j < nch; j++) r.Label(chLabel[j], kLabelSize - 1);
  chtype = dim1Dint(nch);
  for (int j = 0; j < nch; j++) chtype[j] = r.Int(1, 4);
  chrange = dim1Double(nch);
  for (int j = 0; j < nch; j++) chrange[j] = r.Double();
  onsta = dim1Dint(nch);
  for (int j = 0; j < nch; j++) onsta[j] = r.Int(0, 2147483647);

  ncsm = r.Count(1);
  reLabel = dim2Dchar(ncsm, kLabelSize);
  for (int j = 0; j < ncsm; j++) r.Label(reLabel[j], kLabelSize - 1);
  int nOTUs = r.Count(1);
  r.Fits(nOTUs, nch);
  r.Fits(nOTUs, ncsm);
  tcst = nOTUs;

  AllocWorkingArrays();

  ncst = dim1Dint(ncsm);
  for (int j = 0; j < ncsm; j++) ncst[j] = r.Int();
  for (double& code : ca_code) code = r.Double();

  csm_Float = dim2Double(tcst, nch);
  cadat = dim2Double(tcst, ncsm);
  const bool current = ReadFormdaMatrices(r, r.Token(), tcst, nch, ncsm, csm_Float, cadat);

  int nVars = r.Count(0);
  r.Fits(ncsm, nVars);
  nenv = nVars;
  eVarSelect = dim1Dint(nenv);
  temEnvBin = temEnvQual = temEnvQuant = 0;
  if (nenv > 0) {
    env = dim2Double(ncsm, nenv);
    envLabel = dim2Dchar(nenv, kLabelSize);
    envVarType = dim1Dint(nenv);
    ReadFormdaEnvironment(r, nenv, ncsm, env, envLabel, envVarType, &optEnvVarType, envName);
    for (int j = 0; j < nenv; j++) {
      if (envVarType[j] == 1) temEnvBin = 1;
      if (envVarType[j] == 2) temEnvQual = 1;
      if (envVarType[j] == 3) temEnvQuant = 1;
    }
  }

  int nSpecies = r.Count(0);
  r.FitsChars(nSpecies, ncsm);
  r.FitsChars(tcst, nSpecies);
  nSpp = nSpecies;
  if (nSpp > 0) {
    spp = dim2Dchar(nSpp, kSpeciesSize);
    sppRelMap = dim2Dchar(nSpp, ncsm + 1);
    cstSppMap = dim2Dchar(tcst, nSpp + 1);
    ReadFormdaSpecies(r, nSpp, ncsm, tcst, whichSpp, spp, sppRelMap, cstSppMap);
  }

  // Files from before pooling by moving windows have another word here.
  SMWSize = 1;
  if (r.Token() == "SMW") SMWSize = r.Int(1, 2147483647);

  // The phylogeny items may be absent at the end of older files.
  hasPhylogeny = 0;
  int flag = 0;
  if (r.TryInt(flag)) {
    if (flag != 0 && flag != 1) r.Malformed();
    if (flag == 1) {
      int type = r.Int(1, 3);
      if (type == 2) {
        int columns = r.Count(1);
        r.Fits(tcst, columns);
        nClados = columns;
        phylogenyVarType = dim1Dint(nClados);
        for (int j = 0; j < nClados; j++) phylogenyVarType[j] = r.Int(1, 4);
        phylogenyData = dim2Double(tcst, nClados);
        for (int i = 0; i < tcst; i++) ReadRow(r, nClados, phylogenyData[i]);
      } else {
        r.Fits(tcst, tcst);
        phylogenyRese = dim2Double(tcst, tcst);
        for (int i = 0; i < tcst; i++) ReadRow(r, tcst, phylogenyRese[i]);
      }
      phylogenyMatrixType = type;
      hasPhylogeny = 1;
    }
  }

  traitGroups = dim1Dint(nch);
  hasTraitGroups = 0;
  if (current) {
    hasTraitGroups = r.Int(0, 1);
    if (hasTraitGroups)
      for (int j = 0; j < nch; j++) traitGroups[j] = r.Int();
  }
  r.Close();
}

int OpenFormda(int option) {
  (void)option;  // always 1
  // Loading replaces a data set still in memory.
  if (chLabel != nullptr) FreeGlobals2();
  tcst = nch = ncsm = nenv = nSpp = nClados = 0;
  try {
    ReadFormdaFile();
  } catch (...) {
    // Leave no half-loaded data set behind: every count is set just before
    // the arrays it sizes are allocated, so FreeGlobals2 releases exactly
    // what was allocated.
    FreeGlobals2();
    tcst = nch = ncsm = nenv = nSpp = nClados = 0;
    hasPhylogeny = hasTraitGroups = 0;
    throw;
  }
  dirtyOrig = 0;
  WarnAboutDataSet(false);
  return 1;
}
