#include "shell/shell.h"

#include <gsl/gsl_errno.h>
#include <malloc.h>
#include <omp.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <new>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "data/import.h"
#include "data/track.h"
#include "functional/scalingUp.h"
#include "ranking/ranking.h"
#include "shell/cluster.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/input.h"
#include "shell/preferences.h"
#include "shell/readers.h"
#include "shell/safefile.h"
#include "simulation/simulation.h"

// Runs one piece of work under a failure catcher: a failure raised inside it
// ends the process with the code's message (see HandleFailure).
template <class F>
static void WithCatcher(F work) {
  try {
    work();
  } catch (const QuiltaFailure& f) {
    HandleFailure(f.code);
  } catch (const std::bad_alloc&) {
    HandleFailure(kFailMemory);
  }
}

void mainInit() {
  gsl_set_error_handler_off();
  // Blocks of up to 32 MB come from the heap and stay with the process when
  // freed, so that the next analysis step reuses pages already in memory
  // instead of having the system clear fresh ones (a large run allocates
  // and frees its working matrices many times).  Larger blocks still go
  // back to the system at once.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
  InitGlobals();
  InitIFLibG();
  fprintf(out, "%s\n%s\n\n%s\n", lineL, version, lineL);
  ReportStaleTemporaries(out, volumeName);
  // The catcher of everything the main menu runs outside a session: the
  // preferences file and dialog, the assembly simulation, and the main menu's
  // own questions.  A session has its own catcher (IFSession).
  WithCatcher([] { MainMenu(); });
  exit(0);  // not reached: the main menu ends the process
}

void InitGlobals() {
  in_ = stdin;
  out = stdout;
  biplotCorrThreshold = 0.6f;
  isHierarchicalPref = 0;
  scatterHSize = scatterVSize = profileHSize = profileVSize = treeHSize = treeVSize = 0;
  profilePointSize = scatterPointSize = 0;
  profileType = 1;
  drawProfPtsOpt = 'n';
  sDigits = 6;
  saveStruct = 'n';
  saveRndData = 'n';
  showMemory = 'n';
  countDoubleAbsence = 1;
  sqrtDissimOpt_RaoTraits = 1;
  sqrtDissimOpt_RaoPhyl = 0;
  maxColsPrint = 2147483647;
  maxComponents = 6;
  nGroups = nPart = nCstGroups = nPartCst = 0;
  rndTestOpt = 0;
  whichLevelGrCST = 1;
  SMWSize = 1;
  nProcessors = 0;
}

// With the preference at 0 a process takes its share of the processors:
// all of them alone, its part of the node under an MPI launcher.
void SetThreadCount() {
  omp_set_num_threads(nProcessors > 0 ? nProcessors : ClusterProcessorShare());
}

static void SetStructuresName() {
  if (saveStruct == 'y') CatName(whichStructures, sizeof whichStructures, sessionName, "Str.txt");
}

void MainMenu() {
  ReadPreferences();
  ClearLine();
  for (;;) {
    fprintf(out, "\n\n\n\n%s\n%s\n", version, lineL);
    fprintf(out,
            "Main menu:\n   N  start new session\n   O  attach to old session\n"
            "   S  set preferences\n   X  exit \n%s\nType option: ",
            lineL);
    int option = toupper(ReadCharIn("N O S A X"));
    fprintf(out, "\n\n");
    SetThreadCount();
    AdjustClocks_Event();
    if (option == 'N' || option == 'O') {
      fprintf(out, "Enter session name: ");
      ReadStringIn("%s\n", tempName, sizeof tempName);
      snprintf(sessionShortName, sizeof sessionShortName, "%.51s", tempName);
      volumeName[0] = '\0';
      snprintf(sessionName, sizeof sessionName, "%s", sessionShortName);
      CatName(whichTrack, sizeof whichTrack, sessionName, "Trk.txt");
      // A new session of an existing name keeps the old track file aside.
      const bool kept = option == 'O' || BackUpTrack(whichTrack, sessionName);
      FILE* fp = kept ? fopenck(whichTrack, volumeName, option == 'O' ? "r+" : "w") : nullptr;
      if (fp == nullptr) {
        Wait();
      } else {
        fclose(fp);
        IFSession();
      }
    } else if (option == 'A') {
      WithCatcher([] { IFAssemblyRulesSimulation_EnvFeedback_TypeI_II_Error(); });
    } else if (option == 'S') {
      SetPreferences();
    } else if (option == 'X') {
      fflush(stdout);
      exit(0);
    }
    SetStructuresName();
  }
}

// Reads the name of the session's formatted data file from the track file;
// false when the track file is empty.
static bool ReadFormdaNameFromTrack() {
  FILE* fp = fopenck(whichTrack, volumeName, "r");
  if (fp == nullptr) RaiseFailure(kFailOpen);
  char word[64];
  bool found = fscanf(fp, "%63s", word) == 1;
  fclose(fp);
  if (found) snprintf(whichFormda, sizeof whichFormda, "%s", word);
  return found;
}

static void AnalysisMenu() {
  for (;;) {
    if (dirtyOrig == 1) {
      FreeGlobals2();
      OpenFormda(1);
      ReadTrack();
    }
    Menu("ANALYSIS OF COMMUNITY STRUCTURES");
    fprintf(out,
            "Options:\n   H  functional analysis \n"
            "   K  ranking traits (find optimal trait subset) \n"
            "   C  return to session menu \nType option: ");
    optmain = toupper(ReadCharIn("H K C"));
    fprintf(out, "\n");
    if (optmain == 'H') {
      IFHierarchicalAccum();
      dirtyOrig = 1;
    } else if (optmain == 'K') {
      IFChOrderSearch();
      dirtyOrig = 1;
    } else {
      return;
    }
  }
}

void IFSession() {
  WithCatcher([] {
    ReportStaleTemporaries(out, volumeName);
    SetStructuresName();
    if (!ReadFormdaNameFromTrack()) {
      if (SetFormda() != 0) return;
    }
    OpenFormda(1);
    ReadTrack();
    for (;;) {
      Menu("SESSION MENU");
      fprintf(out,
              "Options:\n   V  analysis of community structures\n   S  set preferences\n"
              "   C  return to main menu \nType option: ");
      optmain1 = toupper(ReadCharIn("V S C"));
      fprintf(out, "\n\n");
      if (optmain1 == 'V')
        AnalysisMenu();
      else if (optmain1 == 'S')
        SetPreferences();
      SetStructuresName();
      if (optmain1 == 'C') break;
    }
    FreeGlobals1();
    FreeGlobals2();
  });
}

void FreeGlobals1() {
  strcpy(whichPrinda, "NULL");
  strcpy(whichEnvPrinda, "NULL");
  hasHier = hasCstRese = hasCstClus = hasNRese = hasPRese = hasProbN = hasRo = hasProbRo = 0;
  hasEnvRese = hasScores = hasReClus = hasAOCScor = hasEnvScores = hasEnvRank = 0;
  hasComplexity = hasVelocity = hasRoVelComplex = hasRoVelComplexPROB = 0;
  nPart = nGroups = nPartCst = nCstGroups = 0;
  whichLevelGrCST = 1;
}
