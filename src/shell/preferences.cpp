#include "shell/preferences.h"

#include "functional/export.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "QELib/qelibDim.h"
#include "numeric/regression.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/input.h"
#include "shell/readers.h"
#include "shell/safefile.h"

const char QUILTAPrefsName[] = "QUILTA.prf";
const char versionPref[] = "18Nov2016";
// The largest factor of the PCA regression: the largest single-precision number.
static constexpr double kMaxOverfitFactor = 3.4028234663852886e+38;

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

void ReadPreferences() {
  // No file: the defaults stay in force.
  FILE* fp = fopen(QUILTAPrefsName, "r");
  if (fp == nullptr) return;
  // A file without the current tag (an empty one included) is left unused.
  char tag[64];
  if (fscanf(fp, "%63s", tag) != 1 || strcmp(tag, versionPref) != 0) {
    fclose(fp);
    return;
  }
  const char* name = QUILTAPrefsName;
  freadck(fp, "%d", &isHierarchicalPref, name);
  freadck(fp, "%f", &scatterHSize, name);
  freadck(fp, "%f", &scatterVSize, name);
  freadck(fp, "%d", &scatterPointSize, name);
  freadck(fp, "%f", &profileHSize, name);
  freadck(fp, "%f", &profileVSize, name);
  freadck(fp, "%d", &profileType, name);
  drawProfPtsOpt = ScanChar(fp, "y n", name);
  freadck(fp, "%d", &profilePointSize, name);
  freadck(fp, "%f", &treeHSize, name);
  freadck(fp, "%f", &treeVSize, name);
  freadck(fp, "%d", &sDigits, name);
  freadck(fp, "%d", &maxColsPrint, name);
  freadck(fp, "%d", &maxComponents, name);
  saveStruct = ScanChar(fp, "y n", name);
  saveRndData = ScanChar(fp, "y n", name);
  showMemory = ScanChar(fp, "y n", name);
  freadck(fp, "%d", &countDoubleAbsence, name);
  freadck(fp, "%d", &sqrtDissimOpt_RaoTraits, name);
  freadck(fp, "%d", &sqrtDissimOpt_RaoPhyl, name);
  freadck(fp, "%d", &BealsIncludeOpt, name);
  // The factor divides the number of communities; the dialog takes it from
  // 1 up, and so does the file (not a number, infinity or less than 1 is
  // malformed).
  double factor = 0.0;
  freadck(fp, "%lf", &factor, name);
  if (!(factor >= 1.0 && factor <= kMaxOverfitFactor)) {
    fclose(fp);
    fprintf(stderr, "\nfile %s ", name);
    fputc(7, stdout);
    fflush(stdout);
    RaiseFailure(kFailEndOfFile);
  }
  overfitFactorPCARegr = factor;
  freadck(fp, "%d", &twoTailedTestMantel, name);
  freadck(fp, "%d", &nProcessors, name);
  // After the time stamp a line "TSV n" may follow: the companion files are
  // turned off (it is written only then, so that the file keeps its usual
  // lines otherwise).
  writeTSV = 'y';
  char line[128];
  while (fgets(line, sizeof line, fp) != nullptr)
    if (strncmp(line, "TSV ", 4) == 0) writeTSV = line[4] == 'n' ? 'n' : 'y';
  fclose(fp);
}

// Written whole under a temporary name and put in place at the end, so that
// a failure leaves the previous file (or none) and never a partial one.
void WritePreferences() {
  SafeWriter w(QUILTAPrefsName);
  w.Put("%s\n", versionPref);
  w.Put("%d\n", isHierarchicalPref);
  w.Put("%f\n", scatterHSize);
  w.Put("%f\n", scatterVSize);
  w.Put("%d\n", scatterPointSize);
  w.Put("%f\n", profileHSize);
  w.Put("%f\n", profileVSize);
  w.Put("%d\n", profileType);
  w.Put("%c\n", drawProfPtsOpt);
  w.Put("%d\n", profilePointSize);
  w.Put("%f\n", treeHSize);
  w.Put("%f\n", treeVSize);
  w.Put("%d\n", sDigits);
  w.Put("%d\n", maxColsPrint);
  w.Put("%d\n", maxComponents);
  w.Put("%c\n", saveStruct);
  w.Put("%c\n", saveRndData);
  w.Put("%c\n", showMemory);
  w.Put("%d\n", countDoubleAbsence);
  w.Put("%d\n", sqrtDissimOpt_RaoTraits);
  w.Put("%d\n", sqrtDissimOpt_RaoPhyl);
  w.Put("%d\n", BealsIncludeOpt);
  w.Put("%g\n", overfitFactorPCARegr);
  w.Put("%d\n", twoTailedTestMantel);
  w.Put("%d\n", nProcessors);
  TimeStamp(w.fp);
  if (writeTSV == 'n') w.Put("TSV n\n");
  w.Close();
}

// A yes/no answer.
static bool AnswerYes() { return ReadCharIn("y n") == 'y'; }

void SetPreferences() {
  for (;;) {
    Menu("PREFERENCES");
    fprintf(out,
            "Set preferences of: \n"
            "   F  output files \n"
            "   G  Gower index\n"
            "   R  Rao entropy\n"
            "   B  Beals smoothing\n"
            "   O  PCA regression\n"
            "   T  permutaton tests based on Mantel correlations\n"
            "   M  Multiprocessor use\n"
            "   C  return to main menu \n"
            "Type option: ");
    const int option = toupper(ReadCharIn("F E G R B O M C T"));
    switch (option) {
      case 'F':
        fprintf(out, "%s\n", lineL);
        fprintf(out, "Number of significant digits on printouts (enter zero for default):\n");
        sDigits = ToInt(ReadNumberIn("%d\n", "-", 0.0, 2147483647.0));
        if (sDigits == 0) sDigits = 6;
        fprintf(out, "Save tables and resemblances generated by randomization? y/n ");
        saveRndData = AnswerYes() ? 'y' : 'n';
        break;
      case 'E':
        // The output files' own questions (F) and the menu stay as they are,
        // so that scripted sessions answer them as before; the switch of the
        // companion files has a letter of its own, accepted though not
        // listed (like A in the main menu).
        fprintf(out,
                "Write tab-separated companion files of the results (for R and Python, default "
                "is yes)? y/n ");
        writeTSV = AnswerYes() ? 'y' : 'n';
        break;
      case 'G':
        fprintf(out,
                "Modify Gower similarity index to count matching absences in binary traits "
                "(default is yes)? y/n ");
        countDoubleAbsence = AnswerYes() ? 1 : 0;
        break;
      case 'R':
        fprintf(out,
                "Use squared root dissimilarities for computing Rao entropy based on traits "
                "(default is yes)? y/n ");
        sqrtDissimOpt_RaoTraits = AnswerYes() ? 1 : 0;
        fprintf(out,
                "Use squared root dissimilarities for computing Rao entropy based on phylogeny "
                "(default is no)? y/n ");
        sqrtDissimOpt_RaoPhyl = AnswerYes() ? 1 : 0;
        break;
      case 'B':
        fprintf(out,
                "Use target OTU value for estimating its own abundance by Beals smoothing "
                "(default is yes)? y/n ");
        BealsIncludeOpt = AnswerYes() ? 1 : 0;
        break;
      case 'O':
        fprintf(out,
                "Specify the factor for limiting the number of predictors in PCA regression in "
                "relation to sample size n (default is 2, i.e., the maximum number of "
                "predictors (PCA axes) will be n/2): ");
        overfitFactorPCARegr = ReadNumberIn("%g\n", "-", 1.0, kMaxOverfitFactor);
        break;
      case 'T':
        fprintf(out,
                "Generate two-tailed p-values for Mantel correlations (default is yes: "
                "two-tailed)? y/n ");
        twoTailedTestMantel = AnswerYes() ? 1 : 0;
        break;
      case 'M':
        fprintf(out,
                "Specify the maximum number of processors to be used (enter zero for default, "
                "which is the maximum available): ");
        nProcessors = ToInt(ReadNumberIn("%d\n", "-", 0.0, 2147483647.0));
        break;
      default:  // 'C'
        WritePreferences();
        return;
    }
  }
}
