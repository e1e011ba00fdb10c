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
  freadck(fp, "%lf", &overfitFactorPCARegr, name);
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

void WritePreferences() {
  FILE* fp = fopenck(QUILTAPrefsName, volumeName, "w");
  if (fp == nullptr) RaiseFailure(kFailOpen);
  int failed = 0;
  auto check = [&failed](int written) {
    if (written < 0) failed = 1;
  };
  check(fprintf(fp, "%s\n", versionPref));
  check(fprintf(fp, "%d\n", isHierarchicalPref));
  check(fprintf(fp, "%f\n", scatterHSize));
  check(fprintf(fp, "%f\n", scatterVSize));
  check(fprintf(fp, "%d\n", scatterPointSize));
  check(fprintf(fp, "%f\n", profileHSize));
  check(fprintf(fp, "%f\n", profileVSize));
  check(fprintf(fp, "%d\n", profileType));
  check(fprintf(fp, "%c\n", drawProfPtsOpt));
  check(fprintf(fp, "%d\n", profilePointSize));
  check(fprintf(fp, "%f\n", treeHSize));
  check(fprintf(fp, "%f\n", treeVSize));
  check(fprintf(fp, "%d\n", sDigits));
  check(fprintf(fp, "%d\n", maxColsPrint));
  check(fprintf(fp, "%d\n", maxComponents));
  check(fprintf(fp, "%c\n", saveStruct));
  check(fprintf(fp, "%c\n", saveRndData));
  check(fprintf(fp, "%c\n", showMemory));
  check(fprintf(fp, "%d\n", countDoubleAbsence));
  check(fprintf(fp, "%d\n", sqrtDissimOpt_RaoTraits));
  check(fprintf(fp, "%d\n", sqrtDissimOpt_RaoPhyl));
  check(fprintf(fp, "%d\n", BealsIncludeOpt));
  check(fprintf(fp, "%g\n", overfitFactorPCARegr));
  check(fprintf(fp, "%d\n", twoTailedTestMantel));
  check(fprintf(fp, "%d\n", nProcessors));
  TimeStamp(fp);
  if (writeTSV == 'n') check(fprintf(fp, "TSV n\n"));
  // Buffered text reaches the disk only at the close: check both.
  if (ferror(fp)) failed = 1;
  if (fclose(fp) != 0) failed = 1;
  if (failed) {
    fprintf(stderr, "\nfile %s ", QUILTAPrefsName);
    RaiseFailure(kFailPrint);
  }
}

// A yes/no answer.
static bool AnswerYes() { return ReadCharIn("y n") == 'y'; }

void SetPreferences() {
  for (;;) {
    Menu("PREFERENCES");
    fprintf(out,
            "Set preferences of: \n"
            "   F  output files \n"
            "   E  tab-separated companion files of the results (for R and Python)\n"
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
        // The output files' own questions (F) stay as they are, so that
        // scripted sessions answer them as before; the switch has its letter.
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
        overfitFactorPCARegr = ReadNumberIn("%g\n", "-", 1.0, 3.4028234663852886e+38);
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
