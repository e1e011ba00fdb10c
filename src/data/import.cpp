#include "data/import.h"
#include "data/warnings.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/datafile.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "data/subset.h"
#include "data/table.h"
#include "data/track.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/input.h"
#include "shell/readers.h"
#include "shell/safefile.h"
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
// taken holds the first four characters (fewer for a shorter name) of every
// earlier species' name: a code is taken when strncmp(code, name, 4) would
// find them equal.
static std::string UniqueCode(const std::unordered_set<std::string>& earlier, std::string code) {
  auto taken = [&] { return earlier.count(std::string(code.c_str()).substr(0, 4)) > 0; };
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
  std::unordered_set<std::string> earlier;
  for (int s = 0; s < nSpp; s++) {
    std::string name(spp[s]);
    std::string code = UniqueCode(earlier, SpeciesCode(name.c_str()));
    std::string coded = code + " " + name.substr(0, 65);
    snprintf(spp[s], kSpeciesSize, "%s", coded.c_str());
    earlier.insert(std::string(spp[s]).substr(0, 4));
  }
}

// A species is present in a community when one of its OTUs is: OTU by OTU
// (each map row read once, in order), its communities marked in the rows of
// its species.
void SpeciesReleveMap() {
  for (int s = 0; s < nSpp; s++)
    for (int c = 0; c < ncsm; c++) sppRelMap[s][c] = '0';
  std::vector<int> present;
  for (int o = 0; o < tcst; o++) {
    present.clear();
    for (int c = 0; c < ncsm; c++)
      if (cadat[o][c] != 0.0) present.push_back(c);
    if (present.empty()) continue;
    const char* species = cstSppMap[o];
    for (int s = 0; s < nSpp; s++)
      if (species[s] == '1')
        for (int c : present) sppRelMap[s][c] = '1';
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

// ---- raw files ---------------------------------------------------------------
// Every raw file is recognised when its name is entered (data/table.h): a
// plain matrix is read in the layout the user gives, a table tells its own
// counts, labels and layout.  A file that cannot be read as the layout chosen
// is refused with the reason, and the dialog goes back to that file's name.

namespace {

// Thrown by the readers below; caught by the import, which asks the file's
// name again.
struct RawFileRefused {
  std::string reason;
};

struct RawInput {
  std::unique_ptr<DataReader> reader;
  RawFile info;
  int64_t line = 1;      // line of the next character of a plain file
  int64_t read = 0;      // numbers read so far from a plain file
  int64_t expected = 0;  // numbers the layout chosen takes from it
  bool strict = false;   // every word inside the matrix refuses the file

  const std::string& name() const { return reader->name; }
  bool IsTable() const { return info.kind == RawKind::Table; }
  const RawTable& table() const { return info.table; }
};

[[noreturn]] void Refuse(const std::string& reason) { throw RawFileRefused{reason}; }

std::string Plural(int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Names shown in a message: the first ten and how many there are.
std::string FirstTen(const std::vector<std::string>& names) {
  std::string s;
  for (size_t i = 0; i < names.size() && i < 10; i++) s += (i ? " " : "") + names[i];
  if (names.size() > 10) s += " \u2026";
  return s + " (" + std::to_string(names.size()) + ")";
}

}  // namespace

// Trait and variable columns of tables that held text states, with their
// states in code order; written to the session's TraitCodes.tsv file.
struct StateCoding {
  std::string matrix, column;
  std::vector<std::string> states;
};
static std::vector<StateCoding> stateCodings;
// Full names of the OTUs (row names of the trait table) and of the
// communities (names of W's table), used to match the other tables; empty
// when the file gave none.
static std::vector<std::string> otuNames, communityNames;
// Columns of B and E holding text states (these may not be quantitative).
static std::vector<char> traitIsText, envIsText;
static std::string traitFileName;

// The next word of a plain file, counting lines; false at its end.
static bool PlainToken(RawInput& in, std::string& token) {
  FILE* fp = in.reader->fp;
  token.clear();
  int c;
  while ((c = getc_unlocked(fp)) != EOF && IsBlankChar(c))
    if (c == '\n') in.line++;
  if (c == EOF) return false;
  do token += static_cast<char>(c);
  while ((c = getc_unlocked(fp)) != EOF && !IsBlankChar(c));
  // The blank after the word is passed over by the next reading anyway; a
  // line end goes back to be counted.
  if (c == '\n') ungetc(c, fp);
  return true;
}

// The next number of a plain matrix file.  A word inside the matrix is named
// on the error stream and passed over; a word holding digits ("Sp1", "2a")
// refuses the file, since a number would be pulled out of it.  So does any
// word in a file read strictly, and the end of the file before the matrix is
// complete.
static double RawNumber(RawInput& in) {
  std::string token;
  double x = 0.0;
  for (;;) {
    if (!PlainToken(in, token))
      Refuse("it ends after " + Plural(in.read, "number", "numbers") +
             "; the layout chosen takes " + std::to_string(in.expected));
    if (ParseDouble(token, x)) break;
    ClearLine();
    fflush(stdout);
    fprintf(stderr, "\nfile %s, line %lld: \"%s\" is not a number\n", in.name().c_str(),
            static_cast<long long>(in.line), token.c_str());
    if (in.strict || HoldsDigitInWord(token))
      Refuse("line " + std::to_string(in.line) + " holds \"" + token +
             "\" inside the matrix, which is not a number");
  }
  in.read++;
  return x;
}

static void StartMatrix(RawInput& in, int64_t expected) {
  in.read = 0;
  in.expected = expected;
}

// A label word after the matrix of a plain file.
static void RawLabel(RawInput& in, char* dest, int n, const char* what) {
  std::string token;
  if (!PlainToken(in, token))
    Refuse(std::string("it ends before all ") + std::to_string(n) + " " + what + " labels");
  snprintf(dest, kLabelSize, "%s", token.c_str());
}

// The lines of a plain matrix read as `rows` lines of `perLine(i)` numbers
// each: a file whose lines say otherwise was laid out in another orientation
// or with other counts.  A vector (one row or one column) may be written
// either way.
template <class PerLine>
static void CheckPlainRows(const RawInput& in, int64_t rows, PerLine perLine,
                           const char* layout) {
  const RawPlain& p = in.info.plain;
  bool vector = true;
  for (int64_t i = 0; i < rows && vector; i++) vector = perLine(i) == 1;
  if (rows <= 1 || vector) return;
  for (int64_t i = 0; i < rows; i++) {
    if (i >= static_cast<int64_t>(p.numberLines.size()))
      Refuse(std::string("with ") + layout + " it should hold " + std::to_string(rows) +
             " lines of values; it holds " + std::to_string(p.numberLines.size()));
    if (p.numbersPerLine[i] != perLine(i))
      Refuse("line " + std::to_string(p.numberLines[i]) + " holds " +
             Plural(p.numbersPerLine[i], "value", "values") + "; with " + layout +
             " each line of the matrix holds " + std::to_string(perLine(i)));
  }
}

// Reads the rows x cols matrix M from a plain file whose lines hold the rows
// of M (byRows) or its columns, and checks the lines against that layout.
static void ReadPlainMatrix(RawInput& in, double** M, int rows, int cols, bool byRows,
                            const char* layout) {
  if (byRows) {
    for (int r = 0; r < rows; r++)
      for (int c = 0; c < cols; c++) M[r][c] = RawNumber(in);
    CheckPlainRows(in, rows, [cols](int64_t) { return cols; }, layout);
  } else {
    for (int c = 0; c < cols; c++)
      for (int r = 0; r < rows; r++) M[r][c] = RawNumber(in);
    CheckPlainRows(in, cols, [rows](int64_t) { return rows; }, layout);
  }
}

// Asks the name of a raw file until one opens and can be read, and says what
// it is.  blankTables: see RecogniseRawFile.
static void AskRawFile(RawInput& in, bool blankTables, bool keepValues = true) {
  char name[52];
  for (;;) {
    FILE* fp = ReadDataFileName(name);
    std::string reason;
    if (RecogniseRawFile(name, blankTables, in.info, reason, keepValues)) {
      fprintf(out, "%s\n", RawFileSummary(name, in.info).c_str());
      in.reader = std::make_unique<DataReader>(fp, name);
      in.line = 1;
      return;
    }
    fclose(fp);
    ClearLine();
    fflush(stdout);
    fprintf(stderr, "\nFile %s cannot be read: %s.\n", name, reason.c_str());
    Bell();
  }
}

static void RefuseAndAskAgain(RawInput& in, const RawFileRefused& e, bool blankTables,
                              bool keepValues) {
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nFile %s refused: %s.\n", in.name().c_str(), e.reason.c_str());
  Bell();
  in.reader.reset();
  in.info = RawFile();
  AskRawFile(in, blankTables, keepValues);
}

// Labels from the names of a table: blanks become underscores (labels are
// words in the formatted data file), an empty name gets the column's number,
// and names are cut to the label width.  Two names cut to the same label
// refuse the file.
static void TableLabels(const std::vector<std::string>& names, char** labels, const char* what) {
  std::map<std::string, size_t> seen;
  for (size_t i = 0; i < names.size(); i++) {
    std::string label = names[i].empty() ? std::to_string(i + 1) : names[i];
    for (char& c : label)
      if (isspace(static_cast<unsigned char>(c))) c = '_';
    label = label.substr(0, kLabelSize - 1);
    auto [at, fresh] = seen.emplace(label, i);
    if (!fresh)
      Refuse(std::string("the ") + what + " names \"" + names[at->second] + "\" and \"" +
             names[i] + "\" are both cut to the label \"" + label + "\"");
    snprintf(labels[i], kLabelSize, "%s", label.c_str());
  }
}

// Positions of `wanted` (names of the data set, in its order) among `names`
// (names of a table).  Refuses the file listing the names found on one side
// only.
static std::vector<int> MatchNames(const std::vector<std::string>& wanted,
                                   const std::vector<std::string>& names, const char* here,
                                   const char* there) {
  std::map<std::string, int> at;
  for (size_t i = 0; i < names.size(); i++)
    if (!at.emplace(names[i], static_cast<int>(i)).second)
      Refuse(std::string("the name \"") + names[i] + "\" occurs twice in " + here);
  std::vector<int> position;
  std::vector<std::string> onlyThere, onlyHere;
  std::map<std::string, bool> known;
  for (const std::string& w : wanted) {
    known[w] = true;
    auto it = at.find(w);
    if (it == at.end())
      onlyThere.push_back(w);
    else
      position.push_back(it->second);
  }
  for (const std::string& n : names)
    if (!known.count(n)) onlyHere.push_back(n);
  if (onlyThere.empty() && onlyHere.empty()) return position;
  std::string reason;
  if (!onlyHere.empty())
    reason += std::string("names in ") + here + " and not in " + there + ": " + FirstTen(onlyHere);
  if (!onlyThere.empty())
    reason += std::string(reason.empty() ? "" : "; ") + "names in " + there + " and not in " +
              here + ": " + FirstTen(onlyThere);
  Refuse(reason);
}

static bool InOrder(const std::vector<int>& position) {
  for (size_t i = 0; i < position.size(); i++)
    if (position[i] != static_cast<int>(i)) return false;
  return true;
}

// A cell of a table that must hold a number.
static double NumberCell(const RawTable& t, int r, int c, bool missingAllowed,
                         const std::string& colName, const char* file) {
  auto where = [&] {
    std::string s = "line " + std::to_string(t.lines[r]);
    if (!colName.empty()) s += ", column " + colName;
    return s + " of " + file;
  };
  if (t.IsText(c)) Refuse(where() + " holds text where numbers are expected");
  const double x = t.At(r, c);
  if (!missingAllowed && IsMissing(x)) Refuse(where() + " is missing (NA, NaN or empty)");
  return x;
}

static std::string ColumnName(const RawTable& t, int c) {
  return t.header ? t.colNames[c] : std::to_string(c + 1);
}

static void PrintStates(const char* matrix, const char* kind, const std::string& column,
                        const std::vector<std::string>& states) {
  fprintf(out, "%s %s %s holds text states, coded", matrix, kind, column.c_str());
  for (size_t k = 0; k < states.size(); k++)
    fprintf(out, "%s %zu = %s", k ? "," : "", k + 1, states[k].c_str());
  fprintf(out, "\n");
  stateCodings.push_back({matrix, column, states});
}

// The codes given to text states, one line per state.
static void WriteStateCodes() {
  if (stateCodings.empty()) return;
  char name[128];
  CatName(name, sizeof name, sessionName, "TraitCodes.tsv");
  SafeWriter w(name);
  w.Put("matrix\tcolumn\tcode\tstate\n");
  for (const StateCoding& s : stateCodings)
    for (size_t k = 0; k < s.states.size(); k++)
      w.Put("%s\t%s\t%zu\t%s\n", s.matrix.c_str(), s.column.c_str(), k + 1, s.states[k].c_str());
  w.Close();
  fprintf(out, "Codes of the text states on file %s\n", name);
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

// Text states have an order only by their codes: a trait or variable
// holding them cannot be quantitative (type 3).
static bool TextNotQuantitative(int n, const int* types, const std::vector<char>& isText,
                                char** labels, const char* what) {
  for (int j = 0; j < n; j++)
    if (j < static_cast<int>(isText.size()) && isText[j] && types[j] == 3) {
      Bell();
      fprintf(stderr, "\n%s %s holds text states and cannot be of type 3. Enter again.\n", what,
              labels[j]);
      return false;
    }
  return true;
}

static void AllocateTraits() {
  onsta = dim1Dint(nch);
  chtype = dim1Dint(nch);
  chrange = dim1Double(nch);
  chLabel = dim2Dchar(nch + 1, kLabelSize);
  csm_Float = dim2Double(tcst, nch);
  traitGroups = dim1Dint(nch);
}

// B from a table: OTUs as rows, traits as columns.  A missing cell is kept
// as -999: the trait similarities and the weighted products skip it.
static void ReadTraitTable(RawInput& in) {
  const RawTable& t = in.table();
  tcst = t.rows;
  nch = t.cols;
  AllocateTraits();
  if (t.header)
    TableLabels(t.colNames, chLabel, "trait");
  else
    DefaultLabels(nch, chLabel);
  traitIsText.assign(nch, 0);
  for (int j = 0; j < nch; j++) {
    traitIsText[j] = t.IsText(j) ? 1 : 0;
    if (t.IsText(j)) PrintStates("B", "trait", ColumnName(t, j), t.states[j]);
  }
  for (int i = 0; i < tcst; i++)
    for (int j = 0; j < nch; j++) csm_Float[i][j] = t.At(i, j);
  if (t.hasRowNames) otuNames = t.rowNames;
}

static void ReadTraits(RawInput& traits) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  if (traits.IsTable()) {
    ReadTraitTable(traits);
  } else {
    // Every value of B takes a character and a separator in the trait file.
    if (traits.reader->MaxValues() < 1) Refuse("it holds no values");
    for (;;) {
      fprintf(out, "Number of OTUs: ");
      int n = ReadCount();
      fprintf(out, "Enter number of traits (characters): ");
      int m = ReadCount();
      if (static_cast<int64_t>(n) * m <= traits.reader->MaxValues()) {
        tcst = n;
        nch = m;
        break;
      }
      snprintf(text, sizeof text, "\nFile %.51s cannot hold %d OTUs by %d traits. Enter again.\n",
               traits.name().c_str(), n, m);
      RefuseCount(text);
    }
    AllocateTraits();

    fprintf(out, "Labels for traits: \n   1  given by default \n");
    fprintf(out, "   2  read labels at the end of file %s\n", traits.name().c_str());
    fprintf(out, "Type option no.: ");
    int labels = ReadOption("1 2");
    fprintf(out,
            "Trait matrix (B) format (OTUs = Operational Taxonomic Units): \n"
            "   1  OTUs as columns / traits as rows \n   2  OTUs as rows / traits as columns \n"
            "Type option no.: ");
    int format = ReadOption("1 2");
    StartMatrix(traits, static_cast<int64_t>(tcst) * nch);
    ReadPlainMatrix(traits, csm_Float, tcst, nch, format == 2,
                    format == 2 ? "OTUs as rows" : "traits as rows");
    if (labels == 1)
      DefaultLabels(nch, chLabel);
    else
      for (int j = 0; j < nch; j++) RawLabel(traits, chLabel[j], nch, "trait");
    CheckCounts(*traits.reader,
                std::to_string(tcst) + " OTUs x " + std::to_string(nch) + " traits",
                static_cast<int64_t>(tcst) * nch, labels == 2 ? NumericLabels(nch, chLabel) : 0,
                nch, "OTUs");
  }
  traits.reader->Close();

  do {
    fprintf(out,
            "Trait type (1 for dichotomous, 2 for nominal, 3 for interval or ratio scale, 4 for "
            "ordinal): \n");
    PrintTraitHeader();
  } while (ReadLongInput(nch, chtype, "trait types", "1 2 3 4") != 1 ||
           !TextNotQuantitative(nch, chtype, traitIsText, chLabel, "Trait"));

  fprintf(out, "Wish to specify groups of traits? 0/1 ");
  hasTraitGroups = ReadOption("0 1");
  if (hasTraitGroups == 1) {
    do {
      PrintTraitHeader();
    } while (ReadLongInput(nch, traitGroups, "trait groups", nullptr) != 1);
  }
}

// F from a square table whose header and row names name the OTUs (in any
// order when the trait table named them too).
static void ReadPhylogenyTable(const RawInput& in) {
  const RawTable& t = in.table();
  const char* file = in.name().c_str();
  if (t.rows != t.cols)
    Refuse("a phylogeny table is square; it holds " + std::to_string(t.rows) + " rows x " +
           std::to_string(t.cols) + " columns");
  std::vector<int> rowAt(tcst), colAt(tcst);
  if (!otuNames.empty() && t.header && t.hasRowNames) {
    rowAt = MatchNames(otuNames, t.rowNames, "the row names of F", "the trait table");
    colAt = MatchNames(otuNames, t.colNames, "the header of F", "the trait table");
    if (!InOrder(rowAt) || !InOrder(colAt))
      fprintf(out, "\nF: the OTUs are taken in the order of the trait table\n");
  } else {
    if (t.rows != tcst)
      Refuse("it holds " + std::to_string(t.rows) + " OTUs; B holds " + std::to_string(tcst));
    for (int i = 0; i < tcst; i++) rowAt[i] = colAt[i] = i;
    // Its columns follow its rows when both are named.
    if (t.header && t.hasRowNames)
      colAt = MatchNames(t.rowNames, t.colNames, "the header of F", "the row names of F");
  }
  for (int i = 0; i < tcst; i++)
    for (int j = 0; j < tcst; j++)
      phylogenyRese[i][j] =
          NumberCell(t, rowAt[i], colAt[j], false, ColumnName(t, colAt[j]), file);
}

static void ReadPhylogeny(RawInput& phyl) {
  hasPhylogeny = 1;
  fprintf(out, "%s\n", lineL);
  int format = 0;
  for (;;) {
    fprintf(out, "Format of phylogenetic resemblance matrix:\n");
    fprintf(out,
            "   1  a full matrix of phylogenetic distances of %d OTUs by %d OTUs (e.g. as given "
            "by PHYLOCOM)\n",
            tcst, tcst);
    fprintf(out,
            "   2  a full matrix of phylogenetic similarities of %d OTUs by %d OTUs in the 0-1 "
            "range\n",
            tcst, tcst);
    fprintf(out,
            "   3  a half, lower-diagonal matrix of phylogenetic similarities of %d OTUs by %d "
            "OTUs in the 0-1 range\n",
            tcst, tcst);
    fprintf(out, "Type option no.: ");
    format = ReadOption("1 2 3");
    if (format != 3 || !phyl.IsTable()) break;
    Bell();
    fprintf(stderr, "\nFile %s is a square table, a full matrix: option 3 is for a lower half.\n",
            phyl.name().c_str());
  }
  const int64_t n = tcst;
  const int64_t values = format == 3 ? n * (n + 1) / 2 : n * n;
  if (!phyl.IsTable() && values > phyl.reader->MaxValues())
    Refuse("it cannot hold the " + std::to_string(values) + " values of " +
           std::to_string(tcst) + " OTUs");
  phylogenyRese = dim2Double(tcst, tcst);
  phylogenyMatrixType = format == 1 ? 3 : 1;
  if (phyl.IsTable()) {
    ReadPhylogenyTable(phyl);
  } else {
    StartMatrix(phyl, values);
    if (format == 3) {
      for (int i = 0; i < tcst; i++)
        for (int j = 0; j <= i; j++) phylogenyRese[i][j] = RawNumber(phyl);
      for (int i = 0; i < tcst; i++)
        for (int j = 0; j < i; j++) phylogenyRese[j][i] = phylogenyRese[i][j];
      CheckPlainRows(phyl, tcst, [](int64_t i) { return static_cast<int>(i + 1); },
                     "a lower half");
    } else {
      for (int i = 0; i < tcst; i++)
        for (int j = 0; j < tcst; j++) phylogenyRese[i][j] = RawNumber(phyl);
      CheckPlainRows(phyl, tcst, [](int64_t) { return tcst; }, "a full matrix");
    }
    CheckCounts(*phyl.reader, std::to_string(tcst) + " OTUs", values, 0, 0, "");
  }
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
  phyl.reader->Close();
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

// W from a table.  With OTU names from the trait table the names decide the
// orientation: OTUs in the header (communities as rows, the usual sites x
// species table) or as row names.  Without them the orientation is asked.
static void ReadPerformanceTable(const RawInput& in) {
  const RawTable& t = in.table();
  const char* file = in.name().c_str();
  bool byRows = true;  // communities as rows
  std::vector<int> otuAt(tcst);
  if (!otuNames.empty() && (t.header || t.hasRowNames)) {
    // The side that shares more names with the trait table holds the OTUs.
    std::set<std::string> otus(otuNames.begin(), otuNames.end());
    auto shared = [&](const std::vector<std::string>& v) {
      int64_t k = 0;
      for (const std::string& s : v) k += otus.count(s);
      return k;
    };
    byRows = t.header && (!t.hasRowNames || shared(t.colNames) >= shared(t.rowNames));
    otuAt = byRows ? MatchNames(otuNames, t.colNames, "W", "the trait table")
                   : MatchNames(otuNames, t.rowNames, "W", "the trait table");
    if (!InOrder(otuAt)) fprintf(out, "\nW: the OTUs are taken in the order of the trait table\n");
  } else {
    fprintf(out,
            "Format of matrix (W) with OTUs performances: \n   1  Communities as rows \n"
            "   2  Communities as columns\nType option no.: ");
    byRows = ReadOption("1 2") == 1;
    const int found = byRows ? t.cols : t.rows;
    if (found != tcst)
      Refuse(std::string("with communities as ") + (byRows ? "rows" : "columns") +
             " each community holds the values of the " + std::to_string(tcst) +
             " OTUs of B; it holds " + std::to_string(found));
    for (int o = 0; o < tcst; o++) otuAt[o] = o;
  }
  ncsm = byRows ? t.rows : t.cols;
  ncst = dim1Dint(ncsm);
  reLabel = dim2Dchar(ncsm, kLabelSize);
  const bool named = byRows ? t.hasRowNames : t.header;
  communityNames.clear();
  if (named) {
    communityNames = byRows ? t.rowNames : t.colNames;
    TableLabels(communityNames, reLabel, "community");
  } else {
    DefaultLabels(ncsm, reLabel);
  }
  for (int k = 0; k < t.cols; k++)
    if (t.IsText(k))
      Refuse("column " + ColumnName(t, k) + " of " + file + " holds text where numbers are "
             "expected");
  // The cells go straight from the file into W (a large table is not held
  // twice): OTU position in the table -> OTU of B.
  std::vector<int> otuOf(tcst);
  for (int o = 0; o < tcst; o++) otuOf[otuAt[o]] = o;
  cadat = dim2Double(tcst, ncsm);
  std::string reason;
  auto cell = [&](int r, int k, double v) {
    if (byRows)
      cadat[otuOf[k]][r] = v;
    else
      cadat[otuOf[r]][k] = v;
  };
  if (!ReadTableValues(file, t, cell, reason)) Refuse(reason);
}

static void ReadPerformances(RawInput& perf) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  communityNames.clear();
  if (perf.IsTable()) {
    ReadPerformanceTable(perf);
  } else {
    // Every community holds at least one value of the performance file.
    if (perf.reader->MaxValues() < 1) Refuse("it holds no values");
    for (;;) {
      fprintf(out, "Enter number of communities:    ");
      int n = ReadCount();
      if (n <= perf.reader->MaxValues()) {
        ncsm = n;
        break;
      }
      snprintf(text, sizeof text, "\nFile %.51s cannot hold %d communities. Enter again.\n",
               perf.name().c_str(), n);
      RefuseCount(text);
    }
    ncst = dim1Dint(ncsm);
    reLabel = dim2Dchar(ncsm, kLabelSize);
    fprintf(out, "Labels for communities: \n   1  given by default \n");
    fprintf(out, "   2  read labels at the end of file %s\n", perf.name().c_str());
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
      if (format != 3 && static_cast<int64_t>(tcst) * ncsm > perf.reader->MaxValues())
        Refuse("it cannot hold " + std::to_string(ncsm) + " communities of " +
               std::to_string(tcst) + " OTUs");
      // Each OTU occurs in one community only: more communities than OTUs
      // would be empty by construction.
      if (format != 3 || ncsm <= tcst) break;
      snprintf(text, sizeof text,
               "\nWith one vector per community there can be at most %d communities for %d "
               "OTUs.\n",
               tcst, tcst);
      RefuseCount(text);
    }
    cadat = dim2Double(tcst, ncsm);
    if (format == 1 || format == 2) {
      StartMatrix(perf, static_cast<int64_t>(tcst) * ncsm);
      ReadPlainMatrix(perf, cadat, tcst, ncsm, format == 2,
                      format == 2 ? "communities as columns" : "communities as rows");
    } else {
      ReadCommunityCounts();
      int64_t values = 0;
      for (int c = 0; c < ncsm; c++) values += ncst[c];
      StartMatrix(perf, values);
      int o = 0;
      for (int c = 0; c < ncsm; c++)
        for (int k = 0; k < ncst[c]; k++) cadat[o++][c] = RawNumber(perf);
    }
    if (labels == 1)
      DefaultLabels(ncsm, reLabel);
    else
      for (int c = 0; c < ncsm; c++) RawLabel(perf, reLabel[c], ncsm, "community");
    int64_t values = 0;
    for (int c = 0; c < ncsm; c++) values += format == 3 ? ncst[c] : tcst;
    CheckCounts(*perf.reader,
                std::to_string(ncsm) + " communities of " + std::to_string(tcst) + " OTUs",
                values, labels == 2 ? NumericLabels(ncsm, reLabel) : 0, format == 3 ? 0 : tcst,
                "communities");
  }
  perf.reader->Close();

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

static void ReadSpecies(RawInput& species) {
  // The species file may be the trait table itself: its row names are then
  // the species names.
  const bool fromTable = species.IsTable() && species.table().hasRowNames;
  const bool traitTable = species.name() == traitFileName && !otuNames.empty();
  if (!fromTable && !traitTable) {
    int64_t lines = species.info.plain.lines;
    if (species.IsTable()) lines = species.table().rows + (species.table().header ? 1 : 0);
    if (lines < tcst)
      Refuse("it holds " + std::to_string(lines) + " names for " + std::to_string(tcst) + " OTUs");
  }
  const std::vector<std::string>& names = traitTable ? otuNames : species.table().rowNames;
  if ((fromTable || traitTable) && static_cast<int>(names.size()) != tcst)
    Refuse("it names " + std::to_string(names.size()) + " OTUs; B holds " + std::to_string(tcst));
  nSpp = tcst;
  snprintf(whichSpp, sizeof whichSpp, "%s", species.name().c_str());
  fprintf(out, "%s\n", lineL);
  fprintf(out,
          "Species labels are: \n   1  the first 4 characters preceding each species name\n"
          "   2  to be created by the program\nType option no.: ");
  int option = ReadOption("1 2");
  if (static_cast<int64_t>(tcst) * tcst > kMaxSpeciesMapCells) {
    fprintf(stderr, "\nspecies maps for %d OTUs are too large\n", tcst);
    Bell();
    RaiseFailure(kFailMemory);
  }
  spp = dim2Dchar(tcst, kSpeciesSize);
  // Trailing blanks are dropped, so that names differing only by them are
  // one species; the rest of a line longer than 70 characters is ignored.
  if (fromTable || traitTable) {
    for (int i = 0; i < tcst; i++) {
      snprintf(spp[i], kSpeciesSize, "%.*s", kSpeciesSize - 1, names[i].c_str());
      TrimRight(spp[i]);
    }
  } else {
    for (int i = 0; i < tcst; i++) species.reader->Line(spp[i], kSpeciesSize - 1, false);
  }
  species.reader->Close();
  sppRelMap = dim2Dchar(tcst, ncsm + 1);
  cstSppMap = dim2Dchar(tcst, tcst + 1);
  CheckSpecies(option);
  SpeciesReleveMap();
}

// E from a table: communities as rows (matched to W's communities by name
// when both are named), variables as columns.
static void ReadEnvironmentTable(const RawInput& in) {
  const RawTable& t = in.table();
  const char* file = in.name().c_str();
  std::vector<int> rowAt(ncsm);
  if (!communityNames.empty() && t.hasRowNames) {
    rowAt = MatchNames(communityNames, t.rowNames, "E", "W");
    if (!InOrder(rowAt)) fprintf(out, "\nE: the communities are taken in the order of W\n");
  } else {
    if (t.rows != ncsm)
      Refuse("with communities as rows it should hold " + std::to_string(ncsm) +
             " rows; it holds " + std::to_string(t.rows));
    for (int c = 0; c < ncsm; c++) rowAt[c] = c;
  }
  envIsText.assign(nenv, 0);
  for (int j = 0; j < nenv; j++) {
    envIsText[j] = t.IsText(j) ? 1 : 0;
    if (t.IsText(j)) PrintStates("E", "variable", ColumnName(t, j), t.states[j]);
  }
  for (int c = 0; c < ncsm; c++)
    for (int j = 0; j < nenv; j++)
      env[c][j] = t.IsText(j) ? t.At(rowAt[c], j)
                              : NumberCell(t, rowAt[c], j, true, ColumnName(t, j), file);
}

static void ReadEnvironment(RawInput& envFile) {
  char text[256];
  fprintf(out, "%s\n", lineL);
  const bool table = envFile.IsTable();
  int n = 0;
  if (table) {
    n = envFile.table().cols;
  } else {
    // Every value of E takes a character and a separator in the file.
    if (envFile.reader->MaxValues() < ncsm)
      Refuse("it cannot hold the values of " + std::to_string(ncsm) + " communities");
    for (;;) {
      fprintf(out, "Number of environmental variables: ");
      n = ReadCount();
      if (static_cast<int64_t>(n) * ncsm <= envFile.reader->MaxValues()) break;
      snprintf(text, sizeof text,
               "\nFile %.51s cannot hold %d variables in %d communities. Enter again.\n",
               envFile.name().c_str(), n, ncsm);
      RefuseCount(text);
    }
  }
  nenv = n;
  snprintf(envName, sizeof envName, "%s", envFile.name().c_str());
  env = dim2Double(ncsm, nenv);
  envLabel = dim2Dchar(nenv, kLabelSize);
  envVarType = dim1Dint(nenv);
  int labels = 1;
  envIsText.assign(nenv, 0);
  if (table) {
    ReadEnvironmentTable(envFile);
    if (envFile.table().header) TableLabels(envFile.table().colNames, envLabel, "variable");
    else DefaultLabels(nenv, envLabel);
  } else {
    fprintf(out, "Labels for environmental variables: \n   1  given by default\n");
    fprintf(out, "   2  read labels at the end of file %s\n", envFile.name().c_str());
    fprintf(out, "Type option no.: ");
    labels = ReadOption("1 2");
  }
  for (;;) {
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
          for (int j = 0; j < nenv; j++) fprintf(out, "%*.*s ", 10, 10, table ? envLabel[j] : "");
        } while (ReadLongInput(nenv, envVarType, "variable type", "1 2 3 4") != 1 ||
                 !TextNotQuantitative(nenv, envVarType, envIsText, envLabel, "Variable"));
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
    if (TextNotQuantitative(nenv, envVarType, envIsText, envLabel, "Variable")) break;
  }

  if (!table) {
    bool byVariables = true;
    if (nenv > 1) {
      fprintf(out, "Data entered by communities(N) or by variables(T)?: ");
      byVariables = ReadCharIn("n t") == 't';
    }
    // Every value of E must be a number: a word refuses the file.
    envFile.strict = true;
    StartMatrix(envFile, static_cast<int64_t>(nenv) * ncsm);
    ReadPlainMatrix(envFile, env, ncsm, nenv, !byVariables,
                    byVariables ? "data by variables" : "data by communities");
    if (labels == 1)
      DefaultLabels(nenv, envLabel);
    else
      for (int j = 0; j < nenv; j++) RawLabel(envFile, envLabel[j], nenv, "variable");
    CheckCounts(*envFile.reader,
                std::to_string(nenv) + " variables in " + std::to_string(ncsm) + " communities",
                static_cast<int64_t>(nenv) * ncsm,
                labels == 2 ? NumericLabels(nenv, envLabel) : 0, byVariables ? ncsm : nenv,
                byVariables ? "variables" : "communities");
  }
  envFile.reader->Close();

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
static std::unique_ptr<RawInput> OptionalFile(const char* question, bool blankTables) {
  fprintf(out, "%s", question);
  if (ReadOption("0 1") != 1) return nullptr;
  auto in = std::make_unique<RawInput>();
  AskRawFile(*in, blankTables);
  return in;
}

// Runs one file's part of the dialog until its file is accepted; a refused
// file releases what its part allocated (release) and its name is asked
// again.
template <class Read, class Release>
static void ReadUntilAccepted(RawInput& in, bool blankTables, Read read, Release release,
                              bool keepValues = true) {
  for (;;) {
    try {
      read(in);
      return;
    } catch (const RawFileRefused& e) {
      release();
      RefuseAndAskAgain(in, e, blankTables, keepValues);
    }
  }
}

static void ReleasePhylogeny() {
  free2D(phylogenyRese, tcst);
  phylogenyRese = nullptr;
}

static void ReleasePerformances() {
  free1D(ncst);
  free2D(reLabel, ncsm);
  free2D(cadat, tcst);
  ncst = nullptr;
  reLabel = nullptr;
  cadat = nullptr;
  ncsm = 0;
}

static void ReleaseEnvironment() {
  free2D(env, ncsm);
  free2D(envLabel, nenv);
  free1D(envVarType);
  env = nullptr;
  envLabel = nullptr;
  envVarType = nullptr;
  nenv = 0;
}

static void Import() {
  Menu("SPECIFYING THE AVAILABLE INPUT DATA:\n");
  fprintf(out, "For each data specified below indicate by 0/1 which are available\n\n");
  fprintf(out,
          "OTUs = Operational Taxonomic Units, refer to species, populations, individuals or "
          "other taxonomic rank\n");
  fprintf(out, "A matrix (B) with trait description of OTUs should be always specified.\n");
  RawInput traits;
  AskRawFile(traits, true);
  auto phyl = OptionalFile("A matrix (F) with phylogenetic resemblances of the OTUs 0/1\t", true);
  fprintf(out, "A matrix (W) with records of OTUS in commmunities should be always specified.\n");
  // W can be large: its cells are read into W directly, not kept with its
  // table.
  RawInput perf;
  AskRawFile(perf, true, false);
  // Names one per line would look like row names: a species file is a table
  // only when it is delimited (or is the trait table itself).
  auto species = OptionalFile("Species names of OTUs 0/1\t", false);
  auto envFile =
      OptionalFile("A matrix (E) with ecosystem variables of the community sites 0/1\t", true);

  ReadUntilAccepted(traits, true, ReadTraits, [] {
    ReleaseImport();
    otuNames.clear();
    traitIsText.clear();
    stateCodings.clear();
  });
  traitFileName = traits.name();
  traits.info = RawFile();  // the values are in B now
  if (phyl) ReadUntilAccepted(*phyl, true, ReadPhylogeny, ReleasePhylogeny);
  ReadUntilAccepted(perf, true, ReadPerformances, ReleasePerformances, false);
  perf.info = RawFile();
  if (species) ReadUntilAccepted(*species, false, ReadSpecies, [] {});
  if (envFile) {
    const size_t codings = stateCodings.size();
    ReadUntilAccepted(*envFile, true, ReadEnvironment, [codings] {
      ReleaseEnvironment();
      stateCodings.resize(codings);
    });
  }

  CountStates(nch, tcst, onsta, csm_Float);
  snprintf(dataName, sizeof dataName, "%s", traits.name().c_str());
  WriteFormda(tcst, whichFormda, dataName, csm_Float, cadat);
  WriteStateCodes();
  PrintImportSummary();
  WarnAboutDataSet(true);
}

static void ForgetNames() {
  otuNames.clear();
  communityNames.clear();
  traitIsText.clear();
  envIsText.clear();
  stateCodings.clear();
  traitFileName.clear();
}

void IFFormat() {
  tcst = nch = nSpp = ncsm = nenv = nClados = 0;
  hasPhylogeny = hasTraitGroups = 0;
  optEnvVarType = temEnvBin = temEnvQual = temEnvQuant = 0;
  SMWSize = 1;
  for (double& code : ca_code) code = 0.0;
  ForgetNames();
  try {
    Import();
  } catch (...) {
    ReleaseImport();
    ForgetNames();
    throw;
  }
  ReleaseImport();
  ForgetNames();
}
