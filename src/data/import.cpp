#include "data/import.h"
#include "data/warnings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/datafile.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "data/subset.h"
#include "data/track.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/input.h"
#include "shell/readers.h"
#include "shell/shell.h"

char tempSession[62] = "";

static void Bell() {
  fputc(7, stdout);
  fflush(stdout);
}

// ---- the "DATA FOR SESSION" dialog ----------------------------------------

// Reads a session name (at most 61 characters kept, in tempSession) and
// sets file (size characters) to that name + "Formda.txt".  True when that
// file opens.
static bool AskSessionFile(char* file, size_t size) {
  ReadStringIn("%s\n", tempName, sizeof tempName);
  snprintf(tempSession, sizeof tempSession, "%.61s", tempName);
  // A name too long for the file-name buffer belongs to no session (session
  // names have at most 51 characters): it is not cut to some other name.
  std::string name = std::string(tempSession) + "Formda.txt";
  if (name.size() >= size) {
    fprintf(stderr, "\ncan't open %s \n", name.c_str());
    Bell();
    return false;
  }
  snprintf(file, size, "%s", name.c_str());
  FILE* fp = fopenck(file, volumeName, "r");
  if (fp == nullptr) return false;
  fclose(fp);
  return true;
}

// Option 2: the formatted data file of another session, as it is or
// modified.  Returns true when the session has its data.
static bool UseOtherSession() {
  fprintf(out, "\nEnter name of the session from which data is to be extracted: ");
  if (!AskSessionFile(whichFormda, sizeof whichFormda)) return false;
  fprintf(out, "\nUse file %s:\n", whichFormda);
  fprintf(out, "   1  as it is \n   2  modified \n   3  return to main menu \nType option no.: ");
  int use = ToInt(ReadNumberIn("%d\n", "1 2 3"));
  fprintf(out, "\n\n");
  if (use == 3) return false;
  if (use == 1) {
    // Loading checks that the file is whole; the session shares it.
    OpenFormda(1);
    ClearLine();
  } else {
    PickSomeFormda();  // writes this session's own file
  }
  // The session loads its file itself.
  FreeGlobals2();
  WriteTrack(0);
  FreeGlobals1();
  return true;
}

// Option 3: the formatted data of two sessions joined into this session's
// file.  Returns true when the session has its data; after a refused merge
// the data set is released and the menu is shown again.
static bool MergeSessions() {
  fprintf(out, "\nEnter names of the sessions from which data is to be merged:");
  fprintf(out, "\nFirst session name: ");
  char first[64], second[64];
  if (!AskSessionFile(first, sizeof first)) return false;
  snprintf(whichFormda, sizeof whichFormda, "%s", first);
  OpenFormda(1);
  ClearLine();
  fprintf(out, "Second session name: ");
  bool merged = false;
  if (AskSessionFile(second, sizeof second)) {
    snprintf(dataName, sizeof dataName, "%s", first);
    merged = MergeFormda(second) == 1;
  }
  if (merged) {
    WriteTrack(0);
    FreeGlobals1();
  }
  FreeGlobals2();
  return merged;
}

int SetFormda() {
  for (;;) {
    Menu("DATA FOR SESSION");
    fprintf(out,
            "Options:\n   1  format raw data \n   2  use formatted data from another session\n"
            "   3  merge formatted data from two sessions\n   4  return to main menu \n"
            "Type option no.: ");
    int option = ToInt(ReadNumberIn("%d\n", "1 2 3 4"));
    if (option == 1) {
      CatName(whichFormda, sizeof whichFormda, sessionName, "Formda.txt");
      IFFormat();
      WriteTrack(0);
      return 0;
    }
    if (option == 2 && UseOtherSession()) return 0;
    if (option == 3 && MergeSessions()) return 0;
    if (option == 4) return 1;
  }
}

FILE* ReadDataFileName(char* name) {
  for (;;) {
    fprintf(out, "Enter data file name: ");
    ReadLineIn(name, 51);
    TrimRight(name);
    FILE* fp = fopenck(name, nullptr, "r");
    if (fp == nullptr) continue;
    // Raw files are plain files: their sizes bound the counts typed for them.
    struct stat st;
    if (fstat(fileno(fp), &st) == 0 && S_ISREG(st.st_mode)) return fp;
    fclose(fp);
    fprintf(stderr, "\ncan't open %s \n", name);
    Bell();
  }
}

// ---- trait states and species ---------------------------------------------

void CountStates(int nch, int tcst, int* onsta, double** B) {
  const double sentinel = 99999999.0;  // fills unused entries of the table
  std::vector<double> values;
  for (int j = 0; j < nch; j++) {
    values.clear();
    for (int i = 0; i < tcst; i++) {
      double x = B[i][j];
      if (!IsMissing(x) && x != sentinel) values.push_back(x);
    }
    std::sort(values.begin(), values.end());
    onsta[j] = static_cast<int>(std::unique(values.begin(), values.end()) - values.begin());
  }
}

// The next character code, within the printable characters other than the
// blank (so that a code never ends early or holds a control character).
static char Advance(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= '!' && u < '~' ? static_cast<char>(u + 1) : '!';
}

// Code of a name: its first two characters and the two that follow the first
// blank (from the third character on) that is followed by a non-blank.
static std::string SpeciesCode(const char* name) {
  std::string code(name, strnlen(name, 2));
  for (size_t i = 2; name[i] != '\0'; i++)
    if (name[i] == ' ' && name[i + 1] != ' ' && name[i + 1] != '\0') {
      code += std::string(name + i + 1, strnlen(name + i + 1, 2));
      break;
    }
  return code;
}

// Gives species s a code that no earlier species' name begins with: the
// characters of the code are turned to upper case one at a time, then
// advanced by one character code one at a time, checking after each change.
// A code still taken after these eight changes has its last character
// advanced further, at most once through the printable characters; should it
// still be taken, it stays (the full name after it tells the species apart).
static std::string UniqueCode(int s, std::string code) {
  auto taken = [&] {
    for (int e = 0; e < s; e++)
      if (strncmp(code.c_str(), spp[e], 4) == 0) return true;
    return false;
  };
  if (code.empty() || !taken()) return code;
  const size_t n = code.size();
  for (size_t k = 0; k < 4; k++) {
    if (k < n) code[k] = static_cast<char>(toupper(static_cast<unsigned char>(code[k])));
    if (!taken()) return code;
  }
  for (size_t k = 0; k < 4; k++) {
    if (k < n) code[k] = Advance(code[k]);
    if (!taken()) return code;
  }
  for (int t = 0; t < 94; t++) {
    code[n - 1] = Advance(code[n - 1]);
    if (!taken()) return code;
  }
  return code;
}

void CheckSpecies(int option) {
  nSpp = tcst;
  for (int i = 0; i < tcst; i++)
    for (int j = 0; j < tcst; j++) cstSppMap[i][j] = i == j ? '1' : '0';
  CheckSpeciesMerge();
  if (option != 2) return;  // the first 4 characters of each name are its code
  for (int s = 0; s < nSpp; s++) {
    std::string name(spp[s]);
    std::string code = UniqueCode(s, SpeciesCode(name.c_str()));
    std::string coded = code + " " + name.substr(0, 65);
    snprintf(spp[s], kSpeciesSize, "%s", coded.c_str());
  }
}

void SpeciesReleveMap() {
  for (int s = 0; s < nSpp; s++) {
    for (int c = 0; c < ncsm; c++) sppRelMap[s][c] = '0';
    for (int o = 0; o < tcst; o++) {
      if (cstSppMap[o][s] != '1') continue;
      for (int c = 0; c < ncsm; c++)
        if (cadat[o][c] != 0.0) sppRelMap[s][c] = '1';
    }
  }
}

// ---- the import dialog ----------------------------------------------------

// The species maps hold one character per OTU and species; beyond this many
// cells (1 GiB) a data set is refused as too large for memory.
static const int64_t kMaxSpeciesMapCells = int64_t{1} << 30;

// Releases everything the import allocated (counts as allocated).
static void ReleaseImport() {
  free2D(chLabel, nch + 1);
  free1D(onsta);
  free1D(chtype);
  free1D(chrange);
  free1D(traitGroups);
  free2D(csm_Float, tcst);
  free2D(phylogenyRese, tcst);
  free1D(ncst);
  free2D(reLabel, ncsm);
  free2D(cadat, tcst);
  free2D(spp, nSpp);
  free2D(sppRelMap, nSpp);
  free2D(cstSppMap, tcst);
  free2D(env, ncsm);
  free2D(envLabel, nenv);
  free1D(envVarType);
  chLabel = reLabel = envLabel = spp = sppRelMap = cstSppMap = nullptr;
  onsta = chtype = traitGroups = ncst = envVarType = nullptr;
  chrange = nullptr;
  csm_Float = phylogenyRese = cadat = env = nullptr;
  tcst = nch = ncsm = nenv = nSpp = 0;
}

// The end of a raw matrix file before the matrix is complete ends the import
// with failure code 2 (the values still missing cannot be read).
[[noreturn]] static void EndOfRawFile(DataReader& f) {
  f.Close();
  fprintf(stderr, "\nEnd of file %s\n", f.name.c_str());
  Bell();
  RaiseFailure(kFailEndOfFile);
}

// The next number of a raw matrix file; text that does not read as a number
// is passed over.
static double RawNumber(DataReader& f) {
  double x = 0.0;
  if (freadck1(f.fp, "%lf", &x, f.name.c_str()) != 1) {
    f.fp = nullptr;  // closed by the reader, which reported the end of the file
    RaiseFailure(kFailEndOfFile);
  }
  return x;
}

// ---- checks of the counts entered --------------------------------------------
// A raw file holding more values than the counts entered (a count typed one
// too small, say) is read as the counts say: the values left over end up as
// labels or are ignored.  Nothing of that changes; a warning on the standard
// error stream names the file, the counts entered and what the file seems to
// hold.

// Numbers among the words left in the file (the file is read to its end).
static int64_t RemainingNumbers(DataReader& f) {
  int64_t count = 0;
  std::string word;
  double value = 0.0;
  while (f.NextToken(word))
    if (ParseDouble(word, value)) count++;
  return count;
}

static int NumericLabels(int n, char** labels) {
  int count = 0;
  double value = 0.0;
  for (int i = 0; i < n; i++) count += ParseDouble(labels[i], value) ? 1 : 0;
  return count;
}

// declared: the values read as the counts say; perUnit values make one
// unit (an OTU of the trait file, a community of the performance file).
static void CheckCounts(DataReader& f, const std::string& entered, int64_t declared,
                        int numericLabels, int64_t perUnit, const char* unit) {
  const int64_t extra = RemainingNumbers(f) + numericLabels;
  if (extra == 0) return;
  const int64_t total = declared + extra;
  ClearLine();
  fflush(stdout);
  if (perUnit > 0 && total % perUnit == 0)
    fprintf(stderr,
            "\nWarning: file %s holds %lld numbers, not the %lld of the %s entered: it seems to "
            "hold %lld %s.  The file was read as the counts entered say.\n",
            f.name.c_str(), static_cast<long long>(total), static_cast<long long>(declared),
            entered.c_str(), static_cast<long long>(total / perUnit), unit);
  else
    fprintf(stderr,
            "\nWarning: file %s holds %lld numbers, not the %lld of the %s entered.  The file "
            "was read as the counts entered say.\n",
            f.name.c_str(), static_cast<long long>(total), static_cast<long long>(declared),
            entered.c_str());
}

static void RefuseCount(const char* text) {
  Bell();
  fprintf(stderr, "%s", text);
}

static int ReadCount() { return ToInt(ReadNumberIn("%d\n", "-", 1.0, 2147483647.0)); }
static int ReadOption(const char* accepted) { return ToInt(ReadNumberIn("%d\n", accepted)); }

static void DefaultLabels(int n, char** labels) {
  for (int i = 0; i < n; i++) snprintf(labels[i], kLabelSize, "%d", i + 1);
}

static void PrintTraitHeader() {
  fprintf(out, "Traits:     \t");
  for (int j = 0; j < nch; j++) fprintf(out, "%*.*s\t", 10, 10, chLabel[j]);
  fprintf(out, "\n");
}

static void ReadTraits(DataReader& traits) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  // Every value of B takes a character and a separator in the trait file.
  // A file without room for a single value ends the import at once (no
  // count could be accepted).
  if (traits.MaxValues() < 1) EndOfRawFile(traits);
  for (;;) {
    fprintf(out, "Number of OTUs: ");
    int n = ReadCount();
    fprintf(out, "Enter number of traits (characters): ");
    int m = ReadCount();
    if (static_cast<int64_t>(n) * m <= traits.MaxValues()) {
      tcst = n;
      nch = m;
      break;
    }
    snprintf(text, sizeof text, "\nFile %.51s cannot hold %d OTUs by %d traits. Enter again.\n",
             traits.name.c_str(), n, m);
    RefuseCount(text);
  }
  onsta = dim1Dint(nch);
  chtype = dim1Dint(nch);
  chrange = dim1Double(nch);
  chLabel = dim2Dchar(nch + 1, kLabelSize);
  csm_Float = dim2Double(tcst, nch);
  traitGroups = dim1Dint(nch);

  fprintf(out, "Labels for traits: \n   1  given by default \n");
  fprintf(out, "   2  read labels at the end of file %s\n", traits.name.c_str());
  fprintf(out, "Type option no.: ");
  int labels = ReadOption("1 2");
  fprintf(out,
          "Trait matrix (B) format (OTUs = Operational Taxonomic Units): \n"
          "   1  OTUs as columns / traits as rows \n   2  OTUs as rows / traits as columns \n"
          "Type option no.: ");
  int format = ReadOption("1 2");
  if (format == 1) {
    for (int j = 0; j < nch; j++)
      for (int i = 0; i < tcst; i++) csm_Float[i][j] = RawNumber(traits);
  } else {
    for (int i = 0; i < tcst; i++)
      for (int j = 0; j < nch; j++) csm_Float[i][j] = RawNumber(traits);
  }
  if (labels == 1)
    DefaultLabels(nch, chLabel);
  else
    for (int j = 0; j < nch; j++) traits.Label(chLabel[j], kLabelSize - 1);
  CheckCounts(traits, std::to_string(tcst) + " OTUs x " + std::to_string(nch) + " traits",
              static_cast<int64_t>(tcst) * nch, labels == 2 ? NumericLabels(nch, chLabel) : 0,
              nch, "OTUs");
  traits.Close();

  do {
    fprintf(out,
            "Trait type (1 for dichotomous, 2 for nominal, 3 for interval or ratio scale, 4 for "
            "ordinal): \n");
    PrintTraitHeader();
  } while (ReadLongInput(nch, chtype, "trait types", "1 2 3 4") != 1);

  fprintf(out, "Wish to specify groups of traits? 0/1 ");
  hasTraitGroups = ReadOption("0 1");
  if (hasTraitGroups == 1) {
    do {
      PrintTraitHeader();
    } while (ReadLongInput(nch, traitGroups, "trait groups", nullptr) != 1);
  }
}

static void ReadPhylogeny(DataReader& phyl) {
  hasPhylogeny = 1;
  fprintf(out, "%s\n", lineL);
  fprintf(out, "Format of phylogenetic resemblance matrix:\n");
  fprintf(out,
          "   1  a full matrix of phylogenetic distances of %d OTUs by %d OTUs (e.g. as given by "
          "PHYLOCOM)\n",
          tcst, tcst);
  fprintf(out,
          "   2  a full matrix of phylogenetic similarities of %d OTUs by %d OTUs in the 0-1 "
          "range\n",
          tcst, tcst);
  fprintf(out,
          "   3  a half, lower-diagonal matrix of phylogenetic similarities of %d OTUs by %d OTUs "
          "in the 0-1 range\n",
          tcst, tcst);
  fprintf(out, "Type option no.: ");
  int format = ReadOption("1 2 3");
  const int64_t n = tcst;
  if ((format == 3 ? n * (n + 1) / 2 : n * n) > phyl.MaxValues()) EndOfRawFile(phyl);
  phylogenyRese = dim2Double(tcst, tcst);
  if (format == 3) {
    phylogenyMatrixType = 1;
    for (int i = 0; i < tcst; i++)
      for (int j = 0; j <= i; j++) phylogenyRese[i][j] = RawNumber(phyl);
    for (int i = 0; i < tcst; i++)
      for (int j = 0; j < i; j++) phylogenyRese[j][i] = phylogenyRese[i][j];
  } else {
    phylogenyMatrixType = format == 1 ? 3 : 1;
    for (int i = 0; i < tcst; i++)
      for (int j = 0; j < tcst; j++) phylogenyRese[i][j] = RawNumber(phyl);
  }
  CheckCounts(phyl, std::to_string(tcst) + " OTUs",
              format == 3 ? n * (n + 1) / 2 : n * n, 0, 0, "");
  if (format == 1) {
    double dmax = 0.0;
    bool above = false;
    for (int i = 0; i < tcst; i++)
      for (int j = i; j < tcst; j++) {
        dmax = std::max(dmax, phylogenyRese[i][j]);
        if (phylogenyRese[i][j] > 1.0) above = true;
      }
    if (above) {
      for (int i = 0; i < tcst; i++)
        for (int j = 0; j < tcst; j++) phylogenyRese[i][j] /= dmax;
      fprintf(out,
              "\nPhylogenetic distances were normalized to values in the range [0,1] by Dnorm = "
              "D/Dmax\n");
    }
  }
  phyl.Close();
}

// One vector per community: the counts of OTUs of each community, which
// belong to the next OTUs in order, so they cannot add up to more than tcst.
static void ReadCommunityCounts() {
  char text[160];
  for (;;) {
    fprintf(out, "Number of OTUs in each community:\n");
    fprintf(out, "Communities:       \t");
    for (int c = 0; c < ncsm; c++) fprintf(out, "%d\t", c + 1);
    fprintf(out, "\n");
    if (ReadLongInput(ncsm, ncst, "number of OTUs", nullptr) != 1) continue;
    int64_t sum = 0;
    bool negative = false;
    for (int c = 0; c < ncsm; c++) {
      if (ncst[c] < 0) negative = true;
      sum += ncst[c];
    }
    if (!negative && sum <= tcst) return;
    snprintf(text, sizeof text,
             "\nThe numbers of OTUs must be 0 or more and add up to at most %d. Enter again.\n",
             tcst);
    RefuseCount(text);
  }
}

static void ReadPerformances(DataReader& perf) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  // Every community holds at least one value of the performance file.
  if (perf.MaxValues() < 1) EndOfRawFile(perf);
  for (;;) {
    fprintf(out, "Enter number of communities:    ");
    int n = ReadCount();
    if (n <= perf.MaxValues()) {
      ncsm = n;
      break;
    }
    snprintf(text, sizeof text, "\nFile %.51s cannot hold %d communities. Enter again.\n",
             perf.name.c_str(), n);
    RefuseCount(text);
  }
  ncst = dim1Dint(ncsm);
  reLabel = dim2Dchar(ncsm, kLabelSize);
  fprintf(out, "Labels for communities: \n   1  given by default \n");
  fprintf(out, "   2  read labels at the end of file %s\n", perf.name.c_str());
  fprintf(out, "Type option no.: ");
  int labels = ReadOption("1 2");
  int format = 0;
  for (;;) {
    fprintf(out,
            "Format of matrix (W) with OTUs performances: \n   1  Communities as rows \n"
            "   2  Communities as columns\n"
            "   3  Community data is a vector of OTUs performances in each community\n"
            "Type option no.: ");
    format = ReadOption("1 2 3");
    // A full matrix the file cannot hold would end in the middle of it.
    if (format != 3 && static_cast<int64_t>(tcst) * ncsm > perf.MaxValues()) EndOfRawFile(perf);
    // Each OTU occurs in one community only: more communities than OTUs
    // would be empty by construction.
    if (format != 3 || ncsm <= tcst) break;
    snprintf(text, sizeof text,
             "\nWith one vector per community there can be at most %d communities for %d OTUs.\n",
             tcst, tcst);
    RefuseCount(text);
  }
  cadat = dim2Double(tcst, ncsm);
  if (format == 1) {
    for (int c = 0; c < ncsm; c++)
      for (int o = 0; o < tcst; o++) cadat[o][c] = RawNumber(perf);
  } else if (format == 2) {
    for (int o = 0; o < tcst; o++)
      for (int c = 0; c < ncsm; c++) cadat[o][c] = RawNumber(perf);
  } else {
    ReadCommunityCounts();
    int o = 0;
    for (int c = 0; c < ncsm; c++)
      for (int k = 0; k < ncst[c]; k++) cadat[o++][c] = RawNumber(perf);
  }
  if (labels == 1)
    DefaultLabels(ncsm, reLabel);
  else
    for (int c = 0; c < ncsm; c++) perf.Label(reLabel[c], kLabelSize - 1);
  int64_t values = 0;
  for (int c = 0; c < ncsm; c++) values += format == 3 ? ncst[c] : tcst;
  CheckCounts(perf, std::to_string(ncsm) + " communities of " + std::to_string(tcst) + " OTUs",
              values, labels == 2 ? NumericLabels(ncsm, reLabel) : 0, format == 3 ? 0 : tcst,
              "communities");
  perf.Close();

  for (int c = 0; c < ncsm; c++) {
    bool empty = true;
    for (int o = 0; o < tcst && empty; o++) empty = cadat[o][c] == 0.0 || IsMissing(cadat[o][c]);
    if (empty)
      fprintf(out,
              "\nPlease check matrix W. Sampling unit %s has all values zero or missing (-999), "
              "which will generate unreliable results.",
              reLabel[c]);
  }
}

static void ReadSpecies(DataReader& species) {
  nSpp = tcst;
  snprintf(whichSpp, sizeof whichSpp, "%s", species.name.c_str());
  fprintf(out, "%s\n", lineL);
  fprintf(out,
          "Species labels are: \n   1  the first 4 characters preceding each species name\n"
          "   2  to be created by the program\nType option no.: ");
  int option = ReadOption("1 2");
  // One name per line: each takes a character and a line end at least.
  if (tcst > species.MaxValues()) EndOfRawFile(species);
  if (static_cast<int64_t>(tcst) * tcst > kMaxSpeciesMapCells) {
    fprintf(stderr, "\nspecies maps for %d OTUs are too large\n", tcst);
    Bell();
    RaiseFailure(kFailMemory);
  }
  spp = dim2Dchar(tcst, kSpeciesSize);
  // Trailing blanks are dropped, so that names differing only by them are
  // one species; the rest of a line longer than 70 characters is ignored.
  for (int i = 0; i < tcst; i++) species.Line(spp[i], kSpeciesSize - 1, false);
  species.Close();
  sppRelMap = dim2Dchar(tcst, ncsm + 1);
  cstSppMap = dim2Dchar(tcst, tcst + 1);
  CheckSpecies(option);
  SpeciesReleveMap();
}

static void ReadEnvironment(DataReader& envFile) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  // Every value of E takes a character and a separator in the file.
  if (envFile.MaxValues() < ncsm) EndOfRawFile(envFile);
  int n = 0;
  for (;;) {
    fprintf(out, "Number of environmental variables: ");
    n = ReadCount();
    if (static_cast<int64_t>(n) * ncsm <= envFile.MaxValues()) break;
    snprintf(text, sizeof text,
             "\nFile %.51s cannot hold %d variables in %d communities. Enter again.\n",
             envFile.name.c_str(), n, ncsm);
    RefuseCount(text);
  }
  nenv = n;
  snprintf(envName, sizeof envName, "%s", envFile.name.c_str());
  env = dim2Double(ncsm, nenv);
  envLabel = dim2Dchar(nenv, kLabelSize);
  envVarType = dim1Dint(nenv);
  fprintf(out, "Labels for environmental variables: \n   1  given by default\n");
  fprintf(out, "   2  read labels at the end of file %s\n", envFile.name.c_str());
  fprintf(out, "Type option no.: ");
  int labels = ReadOption("1 2");
  fprintf(out,
          "Types of variables: \n   1 only quantitative variables, same units \n"
          "   2 only quantitative variables, different units \n"
          "   3 only qualitative, non binary variables\n   4 only binary variables\n"
          "   5 several types \n");
  fprintf(out, "Type option no.: ");
  optEnvVarType = ReadOption("1 2 3 4 5");
  temEnvBin = temEnvQual = temEnvQuant = 0;
  if (optEnvVarType <= 4) {
    static const int kType[] = {0, 3, 3, 2, 1};
    for (int j = 0; j < nenv; j++) envVarType[j] = kType[optEnvVarType];
    if (optEnvVarType <= 2) temEnvQuant = 1;
    if (optEnvVarType == 3) temEnvQual = 1;
    if (optEnvVarType == 4) temEnvBin = 1;
  } else {
    for (;;) {
      do {
        fprintf(out,
                "Enter variable type (1:binary, 2:nominal, 3:quantitative interval or ratio "
                "scale, 4:ordinal): \n");
        fprintf(out, "Variable:    \t");
        for (int j = 0; j < nenv; j++) fprintf(out, "%*.*s ", 10, 10, envLabel[j]);
      } while (ReadLongInput(nenv, envVarType, "variable type", "1 2 3 4") != 1);
      temEnvBin = temEnvQual = temEnvQuant = 0;
      for (int j = 0; j < nenv; j++) {
        if (envVarType[j] == 1) temEnvBin = 1;
        if (envVarType[j] == 2) temEnvQual = 1;
        if (envVarType[j] == 3 || envVarType[j] == 4) temEnvQuant = 1;
      }
      if (temEnvBin + temEnvQual + temEnvQuant >= 2) break;
      fprintf(out, "Data not mixed as indicated!!!\n");
      fprintf(out, "Wish to correct manually? y/n ");
      if (ReadCharIn("y n") == 'y') continue;
      optEnvVarType = temEnvQual ? 3 : (temEnvQuant ? 2 : 4);
      break;
    }
  }

  bool byVariables = true;
  if (nenv > 1) {
    fprintf(out, "Data entered by communities(N) or by variables(T)?: ");
    byVariables = ReadCharIn("n t") == 't';
  }
  if (byVariables) {
    for (int j = 0; j < nenv; j++)
      for (int c = 0; c < ncsm; c++) env[c][j] = envFile.Double();
  } else {
    for (int c = 0; c < ncsm; c++)
      for (int j = 0; j < nenv; j++) env[c][j] = envFile.Double();
  }
  if (labels == 1)
    DefaultLabels(nenv, envLabel);
  else
    for (int j = 0; j < nenv; j++) envFile.Label(envLabel[j], kLabelSize - 1);
  CheckCounts(envFile,
              std::to_string(nenv) + " variables in " + std::to_string(ncsm) + " communities",
              static_cast<int64_t>(nenv) * ncsm, labels == 2 ? NumericLabels(nenv, envLabel) : 0,
              byVariables ? ncsm : nenv, byVariables ? "variables" : "communities");
  envFile.Close();

  for (int c = 0; c < ncsm; c++) {
    bool missing = true;
    for (int j = 0; j < nenv && missing; j++) missing = IsMissing(env[c][j]);
    if (missing)
      fprintf(out,
              "\nPlease check matrix E. Sampling unit %s has all values missing (-999), which "
              "will generate unreliable results.",
              reLabel[c]);
  }
}

// One line on what was imported, so that a count entered wrongly shows.
static void PrintImportSummary() {
  int64_t missing = 0;
  for (int i = 0; i < tcst; i++) {
    for (int j = 0; j < nch; j++) missing += IsMissing(csm_Float[i][j]) ? 1 : 0;
    for (int c = 0; c < ncsm; c++) missing += IsMissing(cadat[i][c]) ? 1 : 0;
  }
  for (int c = 0; c < ncsm; c++)
    for (int j = 0; j < nenv; j++) missing += IsMissing(env[c][j]) ? 1 : 0;
  auto plural = [](int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
  };
  fprintf(out, "\n%s \u00d7 %s, %s, %s, %s\n", plural(tcst, "OTU", "OTUs").c_str(),
          plural(nch, "trait", "traits").c_str(),
          plural(ncsm, "community", "communities").c_str(),
          plural(nenv, "variable", "variables").c_str(),
          plural(missing, "missing value", "missing values").c_str());
}

// Asks whether an optional file exists and, if so, its name.
static std::unique_ptr<DataReader> OptionalFile(const char* question) {
  fprintf(out, "%s", question);
  if (ReadOption("0 1") != 1) return nullptr;
  char name[52];
  FILE* fp = ReadDataFileName(name);
  return std::make_unique<DataReader>(fp, name);
}

static void Import() {
  Menu("SPECIFYING THE AVAILABLE INPUT DATA:\n");
  fprintf(out, "For each data specified below indicate by 0/1 which are available\n\n");
  fprintf(out,
          "OTUs = Operational Taxonomic Units, refer to species, populations, individuals or "
          "other taxonomic rank\n");
  fprintf(out, "A matrix (B) with trait description of OTUs should be always specified.\n");
  char name[52];
  FILE* fp = ReadDataFileName(name);
  DataReader traits(fp, name);
  auto phyl = OptionalFile("A matrix (F) with phylogenetic resemblances of the OTUs 0/1\t");
  fprintf(out, "A matrix (W) with records of OTUS in commmunities should be always specified.\n");
  fp = ReadDataFileName(name);
  DataReader perf(fp, name);
  auto species = OptionalFile("Species names of OTUs 0/1\t");
  auto envFile = OptionalFile("A matrix (E) with ecosystem variables of the community sites 0/1\t");

  ReadTraits(traits);
  if (phyl) ReadPhylogeny(*phyl);
  ReadPerformances(perf);
  if (species) ReadSpecies(*species);
  if (envFile) ReadEnvironment(*envFile);

  CountStates(nch, tcst, onsta, csm_Float);
  snprintf(dataName, sizeof dataName, "%s", traits.name.c_str());
  WriteFormda(tcst, whichFormda, dataName, csm_Float, cadat);
  PrintImportSummary();
  WarnAboutDataSet(true);
}

void IFFormat() {
  tcst = nch = nSpp = ncsm = nenv = nClados = 0;
  hasPhylogeny = hasTraitGroups = 0;
  optEnvVarType = temEnvBin = temEnvQual = temEnvQuant = 0;
  SMWSize = 1;
  for (double& code : ca_code) code = 0.0;
  try {
    Import();
  } catch (...) {
    ReleaseImport();
    throw;
  }
  ReleaseImport();
}
