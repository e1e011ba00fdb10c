#include "data/warnings.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "data/dataset.h"
#include "shell/console.h"
#include "shell/safefile.h"

namespace {

std::set<std::string> printed;  // every text put on the error stream
std::vector<std::string> dataWarnings, analysisWarnings;

std::string Format(const char* format, va_list args) {
  char buf[1024];
  vsnprintf(buf, sizeof buf, format, args);
  return buf;
}

void Raise(std::vector<std::string>& kept, const std::string& text) {
  if (printed.insert(text).second) {
    fprintf(stderr, "Warning: %s\n", text.c_str());
    fflush(stderr);
  }
  for (const std::string& k : kept)
    if (k == text) return;
  kept.push_back(text);
}

bool Missing(double v) { return v == -999.0; }

// The checks shared by the traits (B, OTUs as rows) and the variables
// (E, communities as rows): column j of an rows x cols matrix.
// unit names the rows, one and many ("OTU", "OTUs").
void CheckColumn(double** M, int rows, int j, int type, const char* what, const char* label,
                 const char* unit, const char* units) {
  int present = 0;
  bool notBinary = false, notInteger = false, constant = true;
  double first = 0.0;
  std::set<double> states;
  for (int i = 0; i < rows; i++) {
    const double v = M[i][j];
    if (Missing(v)) continue;
    if (present == 0) first = v;
    if (v != first) constant = false;
    present++;
    if (v != 0.0 && v != 1.0) notBinary = true;
    if (v != std::floor(v)) notInteger = true;
    states.insert(v);
  }
  if (present == 0) return;
  if (type == 1 && notBinary)
    Warn("%s %s is dichotomous but holds values other than 0 and 1 (%d states): give it the "
         "type nominal, or recode it to 0/1",
         what, label, (int)states.size());
  if (type == 4 && notInteger)
    Warn("%s %s is ordinal but holds values that are not whole numbers: give it the type "
         "quantitative, or recode its ranks",
         what, label);
  // Two states are a natural nominal trait however few the OTUs.
  if (type == 2 && 2 * (int)states.size() > present && states.size() > 2)
    Warn("%s %s is nominal with %d states for %d %s: it is probably quantitative; check its "
         "type",
         what, label, (int)states.size(), present, units);
  if (type == 3 && constant && present > 1)
    Warn("%s %s is quantitative but has the same value in every %s: it carries no "
         "information; leave it out or give it weight 0",
         what, label, unit);
}

}  // namespace

void Warn(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Raise(dataWarnings, text);
}

void WarnAnalysis(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Raise(analysisWarnings, text);
}

void ClearDataWarnings() { dataWarnings.clear(); }
void ClearAnalysisWarnings() { analysisWarnings.clear(); }

std::vector<std::string> KeptWarnings() {
  std::vector<std::string> all = dataWarnings;
  all.insert(all.end(), analysisWarnings.begin(), analysisWarnings.end());
  return all;
}

void WriteWarningsFileNamed(const char* fileName) {
  const std::vector<std::string> all = KeptWarnings();
  if (all.empty()) {
    remove((std::string(volumeName) + fileName).c_str());
    return;
  }
  SafeWriter w(fileName);
  for (const std::string& line : all) w.Put("%s\n", line.c_str());
  w.Close();
}

void WriteWarningsFile(const char* session) {
  WriteWarningsFileNamed((std::string(session) + "Warnings.txt").c_str());
}

// Negative performances are looked for in the raw W of an import only: a
// formatted data file may hold the changes between communities the session
// computed ("compute change between communities"), where a decrease is a
// negative value by design.  The warnings of the import are kept while the
// same formatted data file is loaded again after each analysis.
// "a, b and c"; beyond ten names the first ten and "and k others".
static std::string NameList(const std::vector<std::string>& names) {
  const size_t shown = names.size() > 10 ? 10 : names.size();
  std::string text;
  for (size_t k = 0; k < shown; k++) {
    if (k > 0) text += k + 1 == shown && shown == names.size() ? " and " : ", ";
    text += names[k];
  }
  if (shown < names.size()) text += " and " + std::to_string(names.size() - shown) + " others";
  return text;
}

void WarnAboutDataSet(bool imported) {
  static std::string checked;  // the formatted data file last checked
  if (imported || checked != whichFormda) ClearDataWarnings();
  checked = whichFormda;
  for (int j = 0; j < nch; j++)
    if (chtype != nullptr && csm_Float != nullptr)
      CheckColumn(csm_Float, tcst, j, chtype[j], "trait", chLabel[j], "OTU", "OTUs");
  for (int j = 0; j < nenv; j++) {
    if (env == nullptr || envVarType == nullptr) break;
    CheckColumn(env, ncsm, j, envVarType[j], "variable", envLabel[j], "community",
                "communities");
    int missing = 0;
    for (int c = 0; c < ncsm; c++) missing += Missing(env[c][j]) ? 1 : 0;
    if (2 * missing > ncsm)
      Warn("variable %s is missing (-999) in %d of the %d communities: its results rest on "
           "few communities; leave it out or complete it",
           envLabel[j], missing, ncsm);
  }
  if (cadat == nullptr) return;
  bool negative = false;
  for (int i = 0; i < tcst && !negative; i++)
    for (int c = 0; c < ncsm; c++)
      if (cadat[i][c] < 0.0 && !Missing(cadat[i][c])) {
        negative = true;
        break;
      }
  if (negative && imported)
    Warn("matrix W holds negative performances: community weights of OTUs are meant to be "
         "0 or more; check W");
  // Present means a nonzero performance (a change may be negative).
  auto present = [](double v) { return v != 0.0 && !Missing(v); };
  // One warning for all the OTUs (communities) concerned, the first ten
  // named: a survey of thousands of OTUs may have hundreds that occur
  // nowhere.
  std::vector<std::string> absent, empty;
  for (int i = 0; i < tcst; i++) {
    bool found = false;
    for (int c = 0; c < ncsm && !found; c++) found = present(cadat[i][c]);
    if (!found) absent.push_back(std::to_string(i + 1));
  }
  for (int c = 0; c < ncsm; c++) {
    bool found = false;
    for (int i = 0; i < tcst && !found; i++) found = present(cadat[i][c]);
    if (!found) empty.push_back(reLabel[c]);
  }
  auto warn = [](const std::vector<std::string>& names, const char* one, const char* several) {
    if (!names.empty()) Warn(names.size() == 1 ? one : several, NameList(names).c_str());
  };
  warn(absent, "OTU %s occurs in no community: it takes no part in T or X; leave it out",
       "OTUs %s occur in no community: they take no part in T or X; leave them out");
  warn(empty, "community %s holds no OTU: its T, X and diversities are undefined; leave it out",
       "communities %s hold no OTU: their T, X and diversities are undefined; leave them out");
}
