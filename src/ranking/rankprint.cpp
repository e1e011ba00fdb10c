#include "ranking/rankprint.h"

#include <cstdarg>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "functional/settings.h"
#include "multivariate/cluster.h"
#include "numeric/regression.h"
#include "ranking/ranking.h"
#include "ranking/search.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/preferences.h"
#include "shell/readers.h"
#include "shell/safefile.h"

const char* TableLabel(const char* const* table, int size, int index) {
  if (index < 0 || index >= size) return "";
  return table[index];
}

RankFiles::~RankFiles() {
  SafeAbandon(fp);
  SafeAbandon(stru);
}

void OpenRankFiles(RankFiles& files, const char* structuresName) {
  // A worker of a spread ranking writes nothing: process 0 writes the files.
  if (rankSearchWorker) {
    files.fp = fopen("/dev/null", "w");
    if (files.fp == nullptr) RaiseFailure(kFailOpen);
    return;
  }
  files.fp = SafeCreate(whichChorder, volumeName);
  if (files.fp == nullptr) RaiseFailure(kFailOpen);
  if (saveStruct == 'y') {
    files.stru = SafeCreate(structuresName != nullptr ? structuresName : whichStructures, volumeName);
    if (files.stru == nullptr) RaiseFailure(kFailOpen);
  }
}

void CloseRankFiles(RankFiles& files) {
  if (rankSearchWorker) {
    if (files.fp != nullptr) fclose(files.fp);
    files.fp = nullptr;
    return;
  }
  const char* failedName = nullptr;
  if (files.stru != nullptr) {
    if (!SafeFinish(files.stru)) failedName = whichStructures;
    files.stru = nullptr;
  }
  if (!SafeFinish(files.fp)) failedName = whichChorder;
  files.fp = nullptr;
  if (failedName != nullptr) {
    fprintf(stderr, "\nfile %s ", failedName);
    RaiseFailure(kFailPrint);
  }
}

void PrintRankHeader(FILE* fp) {
  fprintf(fp, "%s\n\n", version);
  fprintf(fp, "%s\n", lineL);
  fprintf(fp, "TRAIT SUBSET OPTIMIZATION\n");
  fprintf(fp, "%s\n", lineL);
  TimeStamp(fp);
  fprintf(fp, "Session:        %s \n", sessionName);
  fprintf(fp, "Formatted data: %s \n", whichFormda);
}

void PrintTraitsConsidered(FILE* fp) {
  bool someZero = false;
  for (int k = 0; k < nch; k++)
    if (weight[k] == 0.0) someZero = true;
  if (!someZero) {
    fprintf(fp, "All traits were considered.\n");
    return;
  }
  fprintf(fp, "Traits that were considered:\n");
  for (int k = 0; k < nch; k++)
    if (weight[k] > 0.0) fprintf(fp, "%-3s", chLabel[k]);
  fprintf(fp, "\n");
}

void PrintPoolingLines(FILE* fp, bool partitionListed) {
  fprintf(fp, "Pooling of OTUs: %s\n", TableLabel(poolCSToptInfo, 2, poolCSTopt - 1));
  if (poolCSTopt != 2) return;
  if (clusMethPoolCSTs == 0) {
    if (partitionListed) {
      fprintf(fp, "Partition of OTUs into types specified by the user:\n");
      for (int i = 0; i < tcst; i++) fprintf(fp, "%d\t", partition_OTUs[i]);
      fprintf(fp, "\n");
    } else {
      fprintf(fp, "Clustering method defining types: none (groups were specified by the user).\n");
    }
  } else {
    fprintf(fp, "Clustering method defining types: %s\n", TableLabel(clusMethInfo, 6, clusMethPoolCSTs));
  }
}

void PrintPoolingAndOTULines(FILE* fp, bool partitionListed, const char* gower) {
  PrintPoolingLines(fp, partitionListed);
  if (poolCSTopt != 2) return;
  fprintf(fp, "Resemblance function between OTUs: %s\n",
          TableLabel(reseCSToptInfo, 2, reseCSTopt - 1));
  if (reseCSTopt == 1)
    fprintf(fp, "Gower %s modified to count matching absences in binary traits? %s\n", gower,
            YesNotInfo[countDoubleAbsence == 1 ? 1 : 0]);
}

void PrintApproachLines(FILE* fp) {
  fprintf(fp, "Trait-based approach: %s\n", TableLabel(traitBasedOptInfo, 2, traitBasedOpt - 1));
  fputs(optUnitTotalAdjust1
                  ? "Community data matrix W adjusted to unit totals prior to trait convergence "
                    "evaluation.\n"
                  : "Community data matrix W NOT adjusted to unit totals prior to trait "
                    "convergence evaluation.\n",
        fp);
  fputs(optUnitTotalAdjust2
                  ? "Community data matrix W adjusted to unit totals prior to evaluation.\n"
                  : "Community data matrix W NOT adjusted to unit totals prior to evaluation.\n",
        fp);
}

void PrintIntermediateColumns(FILE* fp, const char* what) {
  if (printRankIntermedResults != 'y') return;
  fprintf(fp, "\n%-*s\t", sDigits + 6, "TRC");
  fprintf(fp, "%s", what);
}

void PrintReseOrFactorLine(FILE* fp) {
  if (opt_ro == 1)
    fprintf(fp, "Resemblance option between communities: %s\n",
            TableLabel(rese_optInfo, 10, rese_opt - 1));
  else
    fprintf(fp,
            "For partial matrix correlations, the factor (f) for limiting the number of "
            "predictors in PCA regression in relation to sample size n (number of predictors = "
            "n/f): %g\n",
            overfitFactorPCARegr);
}

void PrintLabels0(FILE* fp, const int* traits, int k, const char* fmt) {
  for (int t = 0; t < k; t++) fprintf(fp, fmt, chLabel[traits[t]]);
}

std::string Formatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::vector<char> buffer(size > 0 ? size + 1 : 1, '\0');
  vsnprintf(buffer.data(), buffer.size(), format, args);
  va_end(args);
  return std::string(buffer.data());
}
