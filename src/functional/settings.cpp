#include "functional/settings.h"

#include <cstdio>
#include <cctype>
#include <cstring>
#include <ctime>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "multivariate/cluster.h"
#include "numeric/stats.h"
#include "shell/console.h"
#include "shell/input.h"
#include "shell/readers.h"

int OTUsTypesAreSpecies = 0;
int reseCSTopt = 1;
int optRndTests = 0;
int niter = 0;
int optWeightedNullModel = 0;
int optTaxaSiteShuffle = 't';
int optRestrictPermutNullModel = 0;
int* nestingMembershipOTUs = nullptr;
int seedOpt = 1;
unsigned long rseed = 0;
int opt_ro = 1;
int whichObj = 'r';
int restrictRaoWithinOpt = 0;
int keepAdditivity = 1;
int optUnitTotalAdjust1 = 1;
int optUnitTotalAdjust2 = 0;
int includePhylogeny = 0;
int* partition_OTUs_Phyl = nullptr;
int nTaxa = 0;
int fuzzyPhyl = 0;
int optCoVariable = 0;
int printDetail = 0;
char prindaMode[3] = "w";
int printNRese = 'n', printReseFree = 'n', printPRese = 'n';
int opt_struct = 0;
int nMinTraitsChRank = 0, nMaxTraitsChRank = 0, nMinCSTGroupsChRank = 0,
    nMaxCSTGroupsChRank = 0;
time_t time0 = 0;

const char* const traitBasedOptInfo[] = {"1 (composition of types)",
                                         "2 (trait averages at community level)"};
const char* const poolCSToptInfo[] = {"1 (monothetic)", "2 (polythetic)"};
const char* const reseCSToptInfo[] = {"1 (Gower index)", "2 (Euclidean distance)"};
const char* const YesNotInfo[] = {"not", "yes"};
const char* const fuzzyInfo[] = {"none (crisp)", "fuzzy global", "fuzzy pairwise",
                                 "fuzzy (fuzzy belonging of OTUs to types)"};
const char* const opt_roInfo[] = {"matrix correlation (Mantel)", "Procrustes (traceW)",
                                  "RV coefficient (Escoufier 1973)"};
const char* const rese_optInfo[] = {"1 (information divergence within rows)",
                                    "2 (information divergence mutual)",
                                    "3 (cross product uncentered data)",
                                    "4 (cross product centered data)",
                                    "5 (correlation coefficient)",
                                    "6 (Euclidean distance)",
                                    "7 (relative Euclidean distance)",
                                    "8 (absolute value function)",
                                    "9 (relative absolute value function)",
                                    "10 (chord distance)"};

// y/n questions of this dialog read the keyboard stream directly.
static int AskYesNo(const char* question) {
  fprintf(out, "%s", question);
  return ScanChar(in_, "y n", "keyboard");
}

// One 0/1 answer per item ("%-3d" answers), into sel.
static void ReadSelection(int n, int* sel) {
  for (int i = 0; i < n; i++) sel[i] = ToInt(ReadNumberIn("%-3d", "0 1"));
}

static bool AnySelected(int n, const int* sel) {
  for (int i = 0; i < n; i++)
    if (sel[i] > 0) return true;
  return false;
}

// Type of each OTU = number (from 1) of the species it belongs to.  An OTU
// that belongs to no species keeps label 0, a type of its own.
static void TypesFromSpecies() {
  for (int i = 0; i < tcst; i++) {
    partition_OTUs[i] = 0;
    for (int s = 0; s < nSpp; s++)
      if (cstSppMap[i][s] == '1') {
        partition_OTUs[i] = s + 1;
        break;
      }
  }
}

void ReadGroupMembershipFile(FILE* fp, const char* name, int n, int* groups) {
  for (int i = 0; i < n; i++) {
    int v = 0;
    if (freadck1(fp, "%d", &v, name) != 1) return;  // fp closed at its end
    groups[i] = v;
  }
  fclose(fp);
}

void ReadNestingFile(FILE* fp, const char* name, int n, int* groups) {
  for (int i = 0; i < n; i++) {
    double v = 0.0;
    if (freadck1(fp, "%lf", &v, name) != 1) return;  // fp closed at its end
    groups[i] = ToInt(v);
  }
  fclose(fp);
}

// Group memberships of the OTUs from a file or from the keyboard; a file
// that cannot be opened makes the question come again.
static void ReadGroupMemberships() {
  for (;;) {
    fprintf(out, "Read group memberships from file (f) or from the keyboard (k)? f/k ");
    int c = ScanChar(in_, "f k", "keyboard");
    if (c == 'f') {
      char name[100];
      fprintf(out, "Enter name of file containing group memberships: ");
      if (ScanString(in_, 99, name, nullptr, 0, "keyboard") == nullptr) continue;
      FILE* fp = fopenck(name, volumeName, "r");
      if (fp == nullptr) continue;
      ReadGroupMembershipFile(fp, name, tcst, partition_OTUs);
      return;
    }
    fprintf(out, "Enter the group of each OTU:\n");
    fprintf(out, "OTU:    ");
    for (int i = 0; i < tcst; i++) fprintf(out, "\t%d", i + 1);
    fprintf(out, "\nGroups: ");
    for (int i = 0; i < tcst; i++) partition_OTUs[i] = ToInt(ScanNumber(in_, "keyboard", nullptr));
    return;
  }
}

// Nesting groups of the OTUs for restricted permutations.  A file that
// cannot be opened makes the question come again, as for the types.
static void ReadNestingMemberships() {
  fprintf(out,
          "Specify the nesting criterion (for each OTU, enter the group to which it belongs):\n");
  for (;;) {
    fprintf(out, "Read nesting group memberships from file (f) or from the keyboard (k)? f/k ");
    int c = ScanChar(in_, "f k", "keyboard");
    if (c == 'f') {
      char name[100];
      fprintf(out, "Enter name of file containing nesting group memberships: ");
      if (ScanString(in_, 99, name, nullptr, 0, "keyboard") == nullptr) continue;
      FILE* fp = fopenck(name, volumeName, "r");
      if (fp == nullptr) continue;
      ReadNestingFile(fp, name, tcst, nestingMembershipOTUs);
      return;
    }
    fprintf(out, "Enter the nesting group of each OTU:\n");
    fprintf(out, "OTU:            ");
    for (int i = 0; i < tcst; i++) fprintf(out, "\t%d", i + 1);
    fprintf(out, "\nNesting groups: ");
    for (int i = 0; i < tcst; i++)
      nestingMembershipOTUs[i] = ToInt(ScanNumber(in_, "keyboard", nullptr));
    return;
  }
}

static void AskSeed() {
  fprintf(out, "\nInitialization of the random number generator: \n");
  fprintf(out, "   1  automatic (taken from the clock)\n");
  fprintf(out, "   2  specified by the user\n");
  fprintf(out, "Type option no.: ");
  seedOpt = ToInt(ReadNumberIn("%d\n", "1 2"));
  if (seedOpt == 2) {
    fprintf(out, "\nEnter seed (integer in the 0 to %u interval):\n", 4294967295u);
    rseed = static_cast<unsigned long>(ReadNumberIn("%u\n", "-", 0.0, 4294967295.0));
  } else {
    rseed = static_cast<unsigned long>(time(nullptr));
  }
}

static void AskPermutationTests() {
  fprintf(out, "\nPerform randomization tests of final statistics? y/n ");
  if (ScanChar(in_, "y n", "keyboard") != 'y') {
    if (optmain == 'A') AskSeed();
    return;
  }
  optRndTests = 1;
  fprintf(out, "Enter number of iterations in permutation tests of final statistics: ");
  niter = ToInt(ReadNumberIn("%d\n", "-", 0.0, 2147483647.0));
  optWeightedNullModel = 0;
  fprintf(out,
          "Null model based on taxa (t) shuffle, which is recommended, or site (s) suffle? t/s ");
  optTaxaSiteShuffle = ScanChar(in_, "t s", "keyboard");
  if (optTaxaSiteShuffle == 't') {
    fprintf(out,
            "OTU permutation restrictions: \n\t(0) none\n\t(1) permutations restricted within "
            "groups of OTUs to be specified\n\t\tEnter option: ");
    optRestrictPermutNullModel = ToInt(ScanNumber(in_, "keyboard", "0 1"));
    if (optRestrictPermutNullModel == 1) {
      free1D(nestingMembershipOTUs);
      nestingMembershipOTUs = dim1Dint(tcst);
      ReadNestingMemberships();
    }
  }
  AskSeed();
}

// True when the congruence measure answered cannot be used.
static bool MeasureRefused(int answer) {
  if (optmain == 'H') {
    if ((answer == 2 || answer == 3 || answer == 4) && temEnvQual == 1) return true;
    if (answer == 5 && temEnvQuant == 1) return true;
    if ((answer == 4 || answer == 5) && !optRndTests) return true;
  } else if (optmain == 'K') {
    // The ranking offers no regression or analysis of variance (they are
    // not listed without tests): refused as in the functional analysis.
    if (answer == 4 || answer == 5) return true;
    bool structNeedsE = opt_struct == 1 || opt_struct == 9 || opt_struct == 10 ||
                        opt_struct == 16 || opt_struct == 17;
    if ((answer == 2 || answer == 3) && temEnvQual == 1 && structNeedsE) return true;
  }
  return false;
}

static void AskCongruenceMeasure() {
  for (;;) {
    fprintf(out, "\nMeasuring congruence using\n");
    fprintf(out, "  1 matrix correlation (Mantel)\n");
    fprintf(out,
            "  2 Procrustes (traceW, cannot be used if matrix E contains nominal variables)\n");
    fprintf(out,
            "  3 RV coefficient (Escoufier 1973, cannot be used if matrix E contains nominal "
            "variables)\n");
    if (optRndTests) {
      fprintf(out,
              "  4 linear regression (cannot be used if matrix E contains nominal variables)\n");
      fprintf(out,
              "  5 analysis of variance (cannot be used if matrix E defining groups contains "
              "quantitative variables) \n");
    }
    fprintf(out, "Type option no.: ");
    int answer = ToInt(ReadNumberIn("%d\n", "1 2 3 4 5 "));
    if (MeasureRefused(answer)) continue;
    opt_ro = answer;
    return;
  }
}

static void AskEnvironmentalVariables() {
  for (int j = 0; j < nenv; j++) eVarSelect[j] = 1;
  if (nenv <= 0) return;
  fprintf(out, "\nVariables in matrix E to be considered in the analysis:\n");
  fprintf(out, "   1  all variables \n");
  fprintf(out, "   2  select variables \n");
  fprintf(out, "Type option no.: ");
  if (ToInt(ReadNumberIn("%d\n", "1 2")) != 2) return;
  fprintf(out, "Select variables:\n");
  fprintf(out, "(enter 0 for exclusion or 1 for inclusion)\n");
  for (int j = 0; j < nenv; j++) fprintf(out, "%s ", envLabel[j]);
  fprintf(out, "\n");
  ReadSelection(nenv, eVarSelect);
}

// Trait selection into traitSelect and weight.  A selection without any
// trait leaves nothing to analyse and is asked again.
static void AskTraits(int* traitSelect) {
  for (;;) {
    fprintf(out, "\nTraits in matrix B to be used in the analysis:\n");
    fprintf(out, "   1  all traits \n");
    fprintf(out, "   2  select traits \n");
    fprintf(out, "Type option no.: ");
    if (ToInt(ReadNumberIn("%d\n", "1 2")) == 2) {
      fprintf(out, "Select traits:\n");
      fprintf(out, "(enter 0 for exclusion or 1 for inclusion)\n");
      for (int k = 0; k < nch; k++) fprintf(out, "%s ", chLabel[k]);
      fprintf(out, "\n");
      ReadSelection(nch, traitSelect);
      if (nch > 0 && !AnySelected(nch, traitSelect)) {
        fprintf(out, "At least one trait must be selected.\n");
        continue;
      }
    } else {
      for (int k = 0; k < nch; k++) traitSelect[k] = 1;
    }
    for (int k = 0; k < nch; k++) weight[k] = traitSelect[k] > 0 ? 1.0 : 0.0;
    return;
  }
}

// Each selected trait's weight divided by the number of selected traits of
// its group, so that every trait group weighs as much as one trait.
static void AskTraitGroupWeights(const int* traitSelect, int* groupCount, int* groupLabels) {
  fprintf(out, "Set weights for traits inversely proportional to effective trait group sizes? y/n ");
  if (ScanChar(in_, "y n", "keyboard") != 'y') return;
  int nGroupsSel = 0;
  CountGroupsSelect(nch, traitGroups, traitSelect, &nGroupsSel, groupLabels);
  for (int g = 0; g < nGroupsSel; g++) {
    groupCount[g] = 0;
    for (int k = 0; k < nch; k++)
      if (traitSelect[k] == 1 && traitGroups[k] == groupLabels[g]) groupCount[g]++;
    if (groupCount[g] == 0) continue;
    for (int k = 0; k < nch; k++)
      if (traitGroups[k] == groupLabels[g]) weight[k] /= groupCount[g];
  }
}

static void AskOTUs() {
  restrictRaoWithinOpt = 0;
  keepAdditivity = 1;
  if (optmain == 'K') {
    for (int i = 0; i < tcst; i++) weight_OTUs[i] = 1;
    return;
  }
  for (;;) {
    fprintf(out,
            "\nOTUs in matrix B to be used in the analysis (useful for partitioning community "
            "structure):\n");
    fprintf(out, "   1  all OTUs \n");
    fprintf(out, "   2  select OTUs \n");
    fprintf(out, "Type option no.: ");
    if (ToInt(ReadNumberIn("%d\n", "1 2")) != 2) {
      for (int i = 0; i < tcst; i++) weight_OTUs[i] = 1;
      return;
    }
    fprintf(out, "Enter 0 for exclusion or 1 for inclusion for %d OTUs\n", tcst);
    ReadSelection(tcst, weight_OTUs);
    if (tcst > 0 && !AnySelected(tcst, weight_OTUs)) {
      // With no OTU left every structure would be empty.
      fprintf(out, "At least one OTU must be selected.\n");
      continue;
    }
    break;
  }
  restrictRaoWithinOpt =
      AskYesNo("Restrict fuzzy-weighting and diversity measures to within subset of selected "
               "OTUs? y/n ") == 'y';
  keepAdditivity = AskYesNo("Keep additivity of partitioning in fuzzy-weighting, community "
                            "weighted means and diversity measures? y/n ") == 'y';
}

void SettingsHierarchy() {
  const int nTraits = nch > 0 ? nch : 1;
  int* traitSelect = dim1Dint(nTraits);
  int* groupCount = dim1Dint(nTraits);
  int* groupLabels = dim1Dint(nTraits);
  optWeightedNullModel = 0;
  Menu("FUNCTIONAL ANALYSIS SETTINGS");
  part = 1;

  const bool rankingStruct10 = optmain == 'K' && opt_struct == 10;
  if (rankingStruct10) {
    traitBasedOpt = 2;
    poolCSTopt = 0;
    optRndTests = 0;
  } else {
    if (optmain != 'K') fprintf(out, "\nTrait-based scaling-up from population to communities:");
    traitBasedOpt = 1;
    poolCSTopt = 2;
    clusMethPoolCSTs = 0;
    fprintf(out, "\nThe partition of OTUs into types should be specified.\n");

    // Types of OTUs.
    OTUsTypesAreSpecies = 0;
    if (nSpp > 0 &&
        AskYesNo("Wish to use as OTUs types the species specified in the session's formatted "
                 "file? y/n ") == 'y') {
      OTUsTypesAreSpecies = 1;
      TypesFromSpecies();
    }
    if (optmain != 'A' && !OTUsTypesAreSpecies) ReadGroupMemberships();
    int nTypes = 0;
    CountGroupsNew(tcst, partition_OTUs, &nTypes, nullptr);
    if (nch > 0) nGrPoly[0] = nTypes;

    reseCSTopt = 1;

    // Fuzziness.
    if (part == 1 && poolCSTopt == 2) {
      fprintf(out, "\nFuzzy set adjustment:\n");
      fprintf(out, "   0  no adjustment (crisp belonging of OTUs to types)\n");
      fprintf(out, "   1  fuzzy types (fuzzy belonging of OTUs to types)\n");
      fprintf(out, "Type option no.: ");
      if (ToInt(ReadNumberIn("%d\n", "0 1")) == 1) {
        fuzzy = 3;
        fuzziness = 1.0;
      } else {
        fuzzy = 0;
      }
    } else {
      fuzzy = 0;
    }

    // Permutation tests.  The restriction is asked afresh each run.
    optRndTests = 0;
    optRestrictPermutNullModel = 0;
    if (optmain != 'K') AskPermutationTests();
  }

  AskCongruenceMeasure();

  if (opt_ro == 1 || opt_ro == 5) {
    whichObj = 'r';
    if (!(optmain == 'K' && (opt_struct == 10 || opt_struct == 16))) {
      fprintf(out, "\nSpecify resemblance function between communities:");
      SettingsRese();
    }
  }

  for (int c = 0; c < ncsm; c++) relSelect[c] = 1;

  if (optmain != 'A') AskEnvironmentalVariables();

  if (traitBasedOpt == 3) {
    GetPrindaMode(whichPrinda);
  } else {
    AskTraits(traitSelect);
    if (hasTraitGroups) AskTraitGroupWeights(traitSelect, groupCount, groupLabels);
    AskOTUs();

    if (traitBasedOpt == 1) {
      optUnitTotalAdjust2 =
          AskYesNo("\nStandardize community data matrix (matrix W) to unit total in each "
                   "community? y/n ") == 'y';
    } else {
      optUnitTotalAdjust2 = 0;
    }

    // Phylogeny: the data set's own phylogeny is always considered.
    if (hasPhylogeny)
      includePhylogeny = 1;
    else if (optmain == 'H' || optmain == 'K')
      includePhylogeny = 0;
    if (includePhylogeny) {
      free1D(partition_OTUs_Phyl);
      partition_OTUs_Phyl = dim1Dint(tcst > 0 ? tcst : 1);
      for (int i = 0; i < tcst; i++) partition_OTUs_Phyl[i] = partition_OTUs[i];
      CountGroupsNew(tcst, partition_OTUs_Phyl, &nTaxa, nullptr);
      fuzzyPhyl = 1;
    }

    isHierarchical = 0;
    for (int k = 0; k < nch; k++) nchor[k] = k + 1;
    if (nch >= 2)
      for (int k = 1; k < nch; k++) nGrPoly[k] = 2;
    optCoVariable = 0;

    if (optmain != 'K') {
      printDetail =
          AskYesNo("\nInclude detailed results of the analysis in the printout y/n ") == 'y';
      GetPrindaMode(whichPrinda);
    }
  }

  free1D(traitSelect);
  free1D(groupCount);
  free1D(groupLabels);
}

void SettingsRese() {
  if (whichObj == 'r') {
    SettingReseFunction(&rese_opt);
  } else if (whichObj == 'c') {
    SettingReseFunction(reseCstOpt);
    SettingWhichLevel(&whichLevelCst);
  }
  if (optmain == 'A' || optmain == 'H' || optmain == 'K') return;
  fprintf(out, "\nPrintout:\n");
  if (whichObj == 'r') {
    printNRese = AskYesNo("   - nominal resemblances y/n  ");
    printReseFree =
        AskYesNo("   - nominal resemblances free format (matrix upper half, no diagonal) y/n  ");
  } else if (whichObj == 'c') {
    printNRese = AskYesNo("   - resemblances y/n  ");
    printReseFree =
        AskYesNo("   - resemblances free format (matrix upper half, no diagonal) y/n  ");
    return;
  }
  if (fuzzy == 0 && nch >= 2 && poolCSTopt == 1 && isHierarchical == 1)
    printPRese = AskYesNo("   - partial resemblances y/n  ");
  else
    printPRese = 'n';
}

void SettingReseFunction(int* option) {
  for (;;) {
    fprintf(out, "\nResemblance function option:\n");
    fprintf(out, "\t6   Euclidean distance\n");
    fprintf(out, "\t10  chord distance\n");
    fprintf(out, "Type option no.: ");
    int answer = ToInt(ReadNumberIn("%d\n", "6 7 8 9 10"));
    if (part != 1 && (answer == 1 || answer == 2)) {
      fputc(7, out);
      fprintf(out, "Data partitioned. Information divergence not available.\n");
      continue;
    }
    *option = answer;
    return;
  }
}

void GetPrindaMode(const char* fileName) {
  char path[160];
  CatName(path, sizeof path, volumeName, fileName);
  FILE* fp = fopen(path, "r");
  if (fp == nullptr) {
    strcpy(prindaMode, "w");
    return;
  }
  fclose(fp);
  fprintf(out, "\nThis session has a previous %s file.\n", fileName);
  fprintf(out, "Options:\n");
  fprintf(out, "   w  erase file and create a new one\n");
  fprintf(out, "   a  append results to same file\n");
  fprintf(out, "Type option: ");
  int c = ScanChar(in_, "W A", "input");
  strcpy(prindaMode, toupper(c) == 'W' ? "w" : "a");
}
