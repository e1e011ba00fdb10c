#include "data/subset.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/checks.h"
#include "data/datafile.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "data/import.h"
#include "data/track.h"
#include "shell/console.h"
#include "shell/input.h"
#include "shell/readers.h"

using Indexes = std::vector<int>;

// ---- pooling, change and moving windows -----------------------------------

void ConcentrateGroups(int nRows, int nCols, double** X, double** Y, int nRowGroups,
                       const int* rowGroup, int nColGroups, const int* colGroup, int mode) {
  const size_t cells = static_cast<size_t>(nRowGroups) * static_cast<size_t>(nColGroups);
  std::vector<double> sum(cells, 0.0);
  std::vector<long long> members(cells, 0), present(cells, 0);
  double total = 0.0;
  for (int r = 0; r < nRows; r++) {
    const int g = rowGroup[r];
    if (g < 1 || g > nRowGroups) continue;
    for (int c = 0; c < nCols; c++) {
      const int h = colGroup[c];
      if (h < 1 || h > nColGroups) continue;
      const size_t k = static_cast<size_t>(g - 1) * nColGroups + (h - 1);
      members[k]++;
      if (IsMissing(X[r][c])) continue;
      sum[k] += X[r][c];
      present[k]++;
      total += X[r][c];
    }
  }
  double averages = 0.0;
  for (int g = 0; g < nRowGroups; g++)
    for (int h = 0; h < nColGroups; h++) {
      const size_t k = static_cast<size_t>(g) * nColGroups + h;
      double y = 0.0;  // a block without cells
      if (members[k] > 0) y = present[k] > 0 ? sum[k] / static_cast<double>(present[k]) : kMissing;
      Y[g][h] = y;
      if (!IsMissing(y)) averages += y;
    }
  if (mode != 1 || averages == 0.0) return;
  const double factor = total / averages;
  for (int g = 0; g < nRowGroups; g++)
    for (int h = 0; h < nColGroups; h++)
      if (!IsMissing(Y[g][h])) Y[g][h] *= factor;
}

void ReleveChange(int nCommunities, double** X, double** Y, int nRows, int nUnits,
                  const int* unit) {
  // Missing cells are flagged apart, so that a change that happens to equal
  // the missing-value code on the way is not taken for one.
  std::vector<char> missing(static_cast<size_t>(nRows) * static_cast<size_t>(nUnits), 0);
  for (int r = 0; r < nRows; r++)
    for (int u = 0; u < nUnits; u++) Y[r][u] = 0.0;
  for (int i = 0; i < nCommunities; i++) {
    const int u = unit[i] - 1;
    if (u < 0 || u >= nUnits) continue;
    for (int r = 0; r < nRows; r++) {
      if (IsMissing(X[r][i]))
        missing[static_cast<size_t>(r) * nUnits + u] = 1;
      else
        Y[r][u] = X[r][i] - Y[r][u];
    }
  }
  for (int r = 0; r < nRows; r++)
    for (int u = 0; u < nUnits; u++)
      if (missing[static_cast<size_t>(r) * nUnits + u]) Y[r][u] = kMissing;
}

void SplitMovingWinPool(int nRows, int nCols, double** X, double** Y, int size, int* count,
                        bool byRows) {
  const int n = byRows ? nRows : nCols;  // communities
  const int other = byRows ? nCols : nRows;
  *count = size >= 1 && size <= n ? n - size + 1 : 0;
  for (int k = 0; k < *count; k++)
    for (int v = 0; v < other; v++) {
      double sum = 0.0;
      int present = 0;
      for (int c = k; c < k + size; c++) {
        const double x = byRows ? X[c][v] : X[v][c];
        if (IsMissing(x)) continue;
        sum += x;
        present++;
      }
      (byRows ? Y[k][v] : Y[v][k]) = present > 0 ? sum / present : kMissing;
    }
}

// ---- dialog helpers -------------------------------------------------------

static int AskOption(const char* accepted) { return ToInt(ReadNumberIn("%d\n", accepted)); }

static int AskCount(const char* prompt, int max) {
  fprintf(out, "%s", prompt);
  return ToInt(ReadNumberIn("%d\n", "-", 1.0, static_cast<double>(max)));
}

// True for "keep the same".
static bool KeepSame(const char* heading) {
  fprintf(out, "%s   1  keep the same \n   2  modify \nType option no.: ", heading);
  return AskOption("1 2") == 1;
}

static Indexes AllOf(int n) {
  Indexes all(static_cast<size_t>(n));
  std::iota(all.begin(), all.end(), 0);
  return all;
}

// A table of n labels (kLabelSize characters each) that releases itself.
struct LabelTable {
  std::vector<std::vector<char>> store;
  std::vector<char*> rows;
  explicit LabelTable(int n) : store(static_cast<size_t>(n), std::vector<char>(kLabelSize, '\0')) {
    for (auto& s : store) rows.push_back(s.data());
  }
};

// Positions among the m labels `names` of n labels typed by the user, in the
// order typed.  Traits, communities and variables are all identified this
// way, with the confirmation of the label reader.  A label that names no
// entry, or names one already named, refuses the whole list, which is asked
// again (an entry kept twice would be a duplicated trait, community or
// variable).  Among equal labels in the file the first is the one named.
static Indexes IdentifyByLabel(int n, char** names, int m, const char* prompt, const char* what,
                               const char* error) {
  LabelTable typed(n);
  Indexes picked(static_cast<size_t>(n));
  for (;;) {
    fprintf(out, "%s", prompt);
    ReadLongInput(n, kLabelSize - 1, typed.rows.data(), what);
    std::vector<char> used(static_cast<size_t>(m), 0);
    bool ok = true;
    for (int i = 0; i < n && ok; i++) {
      int k = 0;
      while (k < m && strcmp(typed.rows[i], names[k]) != 0) k++;
      ok = k < m && !used[k];
      if (ok) used[k] = 1, picked[i] = k;
    }
    if (ok) return picked;
    // Refusals are part of the dialogue: they go where the questions go.
    fprintf(out, "%s", error);
  }
}

// OTUs by their position on file (from 1), in the order typed; each at most
// once.
static Indexes IdentifyOtus(int n) {
  std::vector<int> typed(static_cast<size_t>(n));
  for (;;) {
    fprintf(out, "Identify the OTUs by their position on file: \n");
    ReadLongInput(n, typed.data(), "OTUs", nullptr);
    std::vector<char> used(static_cast<size_t>(tcst), 0);
    bool ok = true;
    for (int i = 0; i < n && ok; i++) {
      const int p = typed[i] - 1;
      ok = p >= 0 && p < tcst && !used[p];
      if (ok) used[p] = 1;
    }
    if (ok) {
      for (int& p : typed) p--;
      return typed;
    }
    fprintf(out, "Error!! Enter again. \n");
  }
}

// ---- choices of the subsetting dialog -------------------------------------

// What becomes of the communities.
struct CommunityPlan {
  int option = 1;                    // menu option 1 to 5
  Indexes kept;                      // communities kept, in their new order
  int nNew = 0;                      // communities after the transformation (3 to 5)
  std::vector<Indexes> members;      // kept communities making up each new one
  std::vector<std::string> labels;   // labels of the new communities (3, 4)
  std::vector<int> partition;        // group or unit (from 1) of each community (3, 4)
};

static std::vector<Indexes> MembersOf(const std::vector<int>& partition, int nGroups) {
  std::vector<Indexes> members(static_cast<size_t>(nGroups));
  for (size_t c = 0; c < partition.size(); c++)
    if (partition[c] >= 1 && partition[c] <= nGroups) members[partition[c] - 1].push_back(int(c));
  return members;
}

// Takes the partition just defined in slot 0 (groupRel, grLabel, nGroups).
static void TakePartition(CommunityPlan& plan) {
  plan.partition.assign(groupRel, groupRel + ncsm);
  plan.nNew = nGroups;
  for (int g = 0; g < nGroups; g++) plan.labels.emplace_back(grLabel[g]);
  plan.members = MembersOf(plan.partition, nGroups);
}

static void UseSlotZero() {
  whichPart = 0;
  groupRel = groupRelP[0];
  grLabel = grLabelP[0];
}

// Option 3.  False when no group was defined (nothing to pool into).
static bool PoolingGroups(CommunityPlan& plan) {
  UseSlotZero();
  SettingAnyGroups(ncsm, &nGroups, groupRel, grLabel, "communities");
  if (nGroups < 1) {
    fprintf(out, "\nAt least one group is needed to pool the communities.\n");
    return false;
  }
  TakePartition(plan);
  return true;
}

// Option 4.
static void ChangeUnits(CommunityPlan& plan) {
  fprintf(out, "\nTo compute change each vegetation unit must have two communities.\n");
  fprintf(out, "A formda file will be created with the vegetation units.\n");
  fprintf(out,
          "The new communities will contain differences between the 2nd and\n1st communities in "
          "each unit.\n");
  if (nenv > 0)
    fprintf(out,
            "\nThe new communities will contain changes in the environmental variables as "
            "well.\n");
  fprintf(out,
          "The user will inform how communities are ordered, but 2nd communities must\nallways "
          "come after 1st ones.\n");
  UseSlotZero();
  SettingNewReleves(ncsm, &nGroups, groupRel, grLabel);
  TakePartition(plan);
}

// Option 5.
static void MovingWindow(CommunityPlan& plan) {
  fprintf(out,
          "\nThe community set must conform a spatial or temporal series\n (see Ludwig & "
          "Cornelius 1987, Ecology v.68).\n");
  fprintf(out,
          "A formda file will be created by pooling communities according to\n the selected "
          "split moving-window size.\n");
  int size = 0;
  for (;;) {
    fprintf(out, "\nEnter the size of the split moving-window (must be even): ");
    size = ToInt(ReadNumberIn("%d\n", "-", 1.0, static_cast<double>(ncsm)));
    if (size % 2 == 0) break;
    fprintf(out, "\b\nEnter again. Must be even.");
  }
  SMWSize = size / 2;
  plan.nNew = ncsm - SMWSize + 1;
  for (int k = 0; k < plan.nNew; k++) {
    Indexes window(static_cast<size_t>(SMWSize));
    std::iota(window.begin(), window.end(), k);
    plan.members.push_back(window);
  }
}

// The Communities menu; a refused option shows it again.
static CommunityPlan ChooseCommunities() {
  CommunityPlan plan;
  for (;;) {
    fprintf(out,
            "Communities:\n   1  keep the same \n   2  modify \n   3  pool according to groups \n"
            "   4  compute change between communities\n"
            "   5  pool for split moving-window edge detection (spatial or temporal series)\n"
            "Type option no.: ");
    const int option = AskOption("1 2 3 4 5");
    if (option == 4 && temEnvQual)
      fprintf(out,
              "\b\nWarning! Change in environmental variables that are qualitative\nwill result "
              "in a binary variable: 1 if there is change, 0 if there is not.\n");
    if (option == 4 && ncsm % 2 != 0) {
      fprintf(out,
              "\b\nThis option is not possible, for the number of communities must be even.\n");
      continue;
    }
    if ((option == 3 || option == 5) && temEnvBin)
      fprintf(out,
              "\b\nWarning! Binary environmental variables will be averaged, and therefore will "
              "become quantitative.\n");
    if (option == 3 && temEnvQual) {
      fprintf(out,
              "\b\nThis option not allowed with this data: pooling environmental variables that "
              "are qualitative is not possible.\n");
      continue;
    }
    // A single community has no even window size to offer.
    if (option == 5 && ncsm < 2) {
      fprintf(out, "\b\nThis option is not possible, for there must be at least 2 communities.\n");
      continue;
    }
    plan = CommunityPlan{};
    plan.option = option;
    if (option == 2) {
      const int n = AskCount("Enter new number of communities:    ", ncsm);
      plan.kept = IdentifyByLabel(n, reLabel, ncsm, "Identify the communities by their labels: \n",
                                  "communities", "Error!! Enter again. \n");
      return plan;
    }
    plan.kept = AllOf(ncsm);
    if (option == 3 && !PoolingGroups(plan)) continue;
    if (option == 4) ChangeUnits(plan);
    if (option == 5) MovingWindow(plan);
    return plan;
  }
}

// The environmental variables kept, with the kind of the whole set adjusted
// to them.  "Keep the same" keeps the set exactly as it is.
static Indexes ChooseVariables() {
  fprintf(out, "%s\n", lineL);
  if (KeepSame("Environmental variables:\n")) return AllOf(nenv);
  const int n = AskCount("Enter new number of environmental variables: ", nenv);
  Indexes kept = IdentifyByLabel(n, envLabel, nenv, "Identify the variables by their labels: \n",
                                 "environmental variables", "Error!! Enter again. \n");
  if (optEnvVarType == 5) {
    // Kinds counted as the import dialog counts them for a set of several
    // types: ordinal variables go with the quantitative ones.
    int bin = 0, qual = 0, quant = 0;
    for (int j : kept) {
      bin |= envVarType[j] == 1;
      qual |= envVarType[j] == 2;
      quant |= envVarType[j] == 3 || envVarType[j] == 4;
    }
    temEnvBin = bin, temEnvQual = qual, temEnvQuant = quant;
    if (bin + qual + quant < 2) optEnvVarType = qual ? 3 : (quant ? 2 : 4);
  }
  if (optEnvVarType == 2 && n == 1) optEnvVarType = 1;
  return kept;
}

// ---- building the new data set --------------------------------------------

// The kind flags as loading a file computes them from the variable types.
static void SetEnvironmentFlags() {
  temEnvBin = temEnvQual = temEnvQuant = 0;
  for (int j = 0; j < nenv; j++) {
    if (envVarType[j] == 1) temEnvBin = 1;
    if (envVarType[j] == 2) temEnvQual = 1;
    if (envVarType[j] == 3) temEnvQuant = 1;
  }
}

// ncst and emptyReleves of the communities in memory: OTUs with a positive
// value (pooled averages) or with a nonzero one (everything else).
static void RecountCommunities(bool positive) {
  emptyReleves = 0;
  for (int c = 0; c < ncsm; c++) {
    int n = 0;
    for (int o = 0; o < tcst; o++)
      if (positive ? cadat[o][c] > 0.0 : cadat[o][c] != 0.0) n++;
    ncst[c] = n;
    if (n == 0) emptyReleves++;
  }
}

// Replaces the data set by the kept traits, OTUs, communities and variables.
// The phylogeny follows the kept OTUs: F keeps their rows and columns in the
// new order (the clade matrix their rows).  The species keep their names;
// the maps keep the kept OTUs' rows and the kept communities' columns.  The
// working arrays of the analyses go with the old data set: the session
// reloads the file written from this one.
static void KeepSubset(const Indexes& traits, const Indexes& otus, const Indexes& comms,
                       const Indexes& vars) {
  const int nT = int(traits.size()), nO = int(otus.size()), nC = int(comms.size()),
            nV = int(vars.size());
  char** labels = dim2Dchar(nT, kLabelSize);
  int* types = dim1Dint(nT);
  int* states = dim1Dint(nT);
  double* ranges = dim1Double(nT);
  int* groups = dim1Dint(nT);
  for (int t = 0; t < nT; t++) {
    const int j = traits[t];
    snprintf(labels[t], kLabelSize, "%s", chLabel[j]);
    types[t] = chtype[j], states[t] = onsta[j], ranges[t] = chrange[j], groups[t] = traitGroups[j];
  }
  double** B = dim2Double(nO, nT);
  double** W = dim2Double(nO, nC);
  for (int o = 0; o < nO; o++) {
    for (int t = 0; t < nT; t++) B[o][t] = csm_Float[otus[o]][traits[t]];
    for (int c = 0; c < nC; c++) W[o][c] = cadat[otus[o]][comms[c]];
  }
  char** communityLabels = dim2Dchar(nC, kLabelSize);
  for (int c = 0; c < nC; c++) snprintf(communityLabels[c], kLabelSize, "%s", reLabel[comms[c]]);
  double** E = nullptr;
  char** variableLabels = nullptr;
  int* variableTypes = nullptr;
  if (nV > 0) {
    E = dim2Double(nC, nV);
    variableLabels = dim2Dchar(nV, kLabelSize);
    variableTypes = dim1Dint(nV);
    for (int v = 0; v < nV; v++) {
      snprintf(variableLabels[v], kLabelSize, "%s", envLabel[vars[v]]);
      variableTypes[v] = envVarType[vars[v]];
      for (int c = 0; c < nC; c++) E[c][v] = env[comms[c]][vars[v]];
    }
  }
  double** F = nullptr;
  if (phylogenyRese != nullptr) {
    F = dim2Double(nO, nO);
    for (int a = 0; a < nO; a++)
      for (int b = 0; b < nO; b++) F[a][b] = phylogenyRese[otus[a]][otus[b]];
  }
  double** clades = nullptr;
  if (phylogenyData != nullptr) {
    clades = dim2Double(nO, nClados);
    for (int o = 0; o < nO; o++)
      for (int k = 0; k < nClados; k++) clades[o][k] = phylogenyData[otus[o]][k];
  }
  char** relMap = nullptr;
  char** otuMap = nullptr;
  if (nSpp > 0) {
    relMap = dim2Dchar(nSpp, nC + 1);
    otuMap = dim2Dchar(nO, nSpp + 1);
    for (int s = 0; s < nSpp; s++)
      for (int c = 0; c < nC; c++) relMap[s][c] = sppRelMap[s][comms[c]];
    for (int o = 0; o < nO; o++)
      for (int s = 0; s < nSpp; s++) otuMap[o][s] = cstSppMap[otus[o]][s];
  }
  // Kept as they are: the species names and the clade types.
  char** names = spp;
  int* cladeTypes = phylogenyVarType;
  spp = nullptr;
  phylogenyVarType = nullptr;
  FreeGlobals2();

  nch = nT, tcst = nO, ncsm = nC, nenv = nV;
  chLabel = labels, chtype = types, onsta = states, chrange = ranges, traitGroups = groups;
  csm_Float = B, cadat = W, reLabel = communityLabels, ncst = dim1Dint(nC);
  env = E, envLabel = variableLabels, envVarType = variableTypes;
  phylogenyRese = F, phylogenyData = clades, phylogenyVarType = cladeTypes;
  spp = names, sppRelMap = relMap, cstSppMap = otuMap;
}

// True when some OTU has a performance other than 0 somewhere.
static bool AnyOtuPresent() {
  for (int o = 0; o < tcst; o++)
    for (int c = 0; c < ncsm; c++)
      if (std::fabs(cadat[o][c]) >= 1e-13) return true;
  return false;
}

// CheckData(1), which removes the OTUs absent from every community, unless
// it would remove them all: a data set needs at least one OTU, so then every
// OTU is kept (and said so).
static void CheckKeepingSomeOtu() {
  if (AnyOtuPresent()) {
    CheckData(1);
    return;
  }
  fprintf(out, "\nNo OTU occurs in any community: no OTU is removed.\n");
}

// Pooling, change or moving window: W, E, the species occurrences, the
// labels and the counts of the new communities replace those of the kept
// ones.
static void TransformCommunities(const CommunityPlan& plan) {
  const int nNew = plan.nNew;
  double** W = dim2Double(tcst, nNew);
  double** E = nenv > 0 ? dim2Double(nNew, nenv) : nullptr;
  if (plan.option == 3) {
    // Each OTU (each variable) its own row (column) group.
    const Indexes self = [] {
      Indexes v(static_cast<size_t>(std::max(tcst, nenv)));
      std::iota(v.begin(), v.end(), 1);
      return v;
    }();
    ConcentrateGroups(tcst, ncsm, cadat, W, tcst, self.data(), nNew, plan.partition.data(), 2);
    if (nenv > 0)
      ConcentrateGroups(ncsm, nenv, env, E, nNew, plan.partition.data(), nenv, self.data(), 2);
  } else if (plan.option == 4) {
    ReleveChange(ncsm, cadat, W, tcst, nNew, plan.partition.data());
    if (nenv > 0) {  // on E transposed: variables as rows
      double** Et = dim2Double(nenv, ncsm);
      double** Yt = dim2Double(nenv, nNew);
      for (int c = 0; c < ncsm; c++)
        for (int j = 0; j < nenv; j++) Et[j][c] = env[c][j];
      ReleveChange(ncsm, Et, Yt, nenv, nNew, plan.partition.data());
      for (int u = 0; u < nNew; u++)
        for (int j = 0; j < nenv; j++) E[u][j] = Yt[j][u];
      free2D(Et, nenv);
      free2D(Yt, nenv);
    }
  } else {
    int count = 0;
    SplitMovingWinPool(tcst, ncsm, cadat, W, SMWSize, &count, false);
    if (nenv > 0) SplitMovingWinPool(ncsm, nenv, env, E, SMWSize, &count, true);
  }
  // Changes are kept as computed: W may become negative.  Averaged binary
  // variables are quantitative; the change of a nominal variable is binary:
  // 1 where it changed, 0 where it did not (missing stays missing).  Nominal
  // variables are averaged by the moving window like the others (only
  // pooling refuses them), and a binary variable's change (-1, 0, 1) stays
  // binary.  The kind of the whole set (optEnvVarType) is left as the
  // variables chosen made it; the kind flags follow the new types.
  for (int j = 0; j < nenv; j++) {
    if (plan.option != 4 && envVarType[j] == 1) envVarType[j] = 3;
    if (plan.option == 4 && envVarType[j] == 2) {
      envVarType[j] = 1;
      for (int u = 0; u < nNew; u++)
        if (!IsMissing(E[u][j])) E[u][j] = E[u][j] != 0.0 ? 1.0 : 0.0;
    }
  }
  // A species occurs in a new community when it occurs in any of its members.
  if (nSpp > 0) {
    char** occurs = dim2Dchar(nSpp, nNew + 1);
    for (int s = 0; s < nSpp; s++)
      for (int k = 0; k < nNew; k++) {
        occurs[s][k] = '0';
        for (int c : plan.members[k])
          if (sppRelMap[s][c] == '1') occurs[s][k] = '1';
      }
    free2D(sppRelMap, nSpp);
    sppRelMap = occurs;
  }
  char** labels = dim2Dchar(nNew, kLabelSize);
  for (int k = 0; k < nNew; k++)
    snprintf(labels[k], kLabelSize, "%s",
             plan.option == 5 ? reLabel[k] : plan.labels[k].c_str());

  free2D(cadat, tcst);
  cadat = W;
  if (nenv > 0) free2D(env, ncsm);
  env = E;
  free2D(reLabel, ncsm);
  reLabel = labels;
  free1D(ncst);
  ncst = dim1Dint(nNew);
  ncsm = nNew;
  RecountCommunities(plan.option != 4);
}

// The source session's settings and partitions, when it has saved any, so
// that its cluster-analysis records can define groups.  The data set keeps
// the file's own moving-window size, and the names of this session's files
// stay this session's.
static void ReadSourceTrack() {
  char track[64];
  CatName(track, sizeof track, tempSession, "Trk.txt");
  FILE* fp = fopen((std::string(volumeName) + track).c_str(), "r");  // quiet probe
  if (fp == nullptr) return;
  int c;
  while ((c = fgetc(fp)) != EOF && isspace(c)) {
  }
  fclose(fp);
  if (c == EOF) return;  // empty: no data chosen, no settings
  char savedTrack[64], savedFormda[64];
  snprintf(savedTrack, sizeof savedTrack, "%s", whichTrack);
  snprintf(savedFormda, sizeof savedFormda, "%s", whichFormda);
  const int windowSize = SMWSize;
  snprintf(whichTrack, sizeof whichTrack, "%s", track);
  try {
    ReadTrack();
  } catch (...) {
    snprintf(whichTrack, sizeof whichTrack, "%s", savedTrack);
    throw;
  }
  snprintf(whichTrack, sizeof whichTrack, "%s", savedTrack);
  snprintf(whichFormda, sizeof whichFormda, "%s", savedFormda);
  SMWSize = windowSize;
}

// Writes the data set as this session's formatted data file titled with the
// source's name(s).
static void WriteSessionFile(const char* title) {
  snprintf(dataName, sizeof dataName, "%s", title);
  CatName(whichFormda, sizeof whichFormda, sessionName, "Formda.txt");
  WriteFormda(tcst, whichFormda, dataName, csm_Float, cadat);
}

int PickSomeFormda() {
  char source[64];
  snprintf(source, sizeof source, "%s", whichFormda);
  OpenFormda(1);
  ClearLine();
  ReadSourceTrack();

  Menu("GETTING DATA FROM ANOTHER SESSION");
  Indexes traits = AllOf(nch);
  if (!KeepSame("Traits:\n")) {
    const int n = AskCount("Enter new number of traits: ", nch);
    traits = IdentifyByLabel(n, chLabel, nch, "Identify the traits by their labels: \n", "traits",
                             "\nError!! Enter again. \n");
  }
  fprintf(out, "%s\n", lineL);
  Indexes otus = AllOf(tcst);
  if (!KeepSame("Populations:\n"))
    otus = IdentifyOtus(AskCount("Enter new number of OTUs:   ", tcst));
  fprintf(out, "%s\n", lineL);
  const CommunityPlan plan = ChooseCommunities();
  const Indexes vars = nenv > 0 ? ChooseVariables() : Indexes{};

  KeepSubset(traits, otus, plan.kept, vars);
  // Trimming and the checks come before the communities are transformed.
  fprintf(out, "Trim OTUs absent in all communities? y/n ");
  if (ScanChar(stdin, "y n", "keyboard") == 'y')
    CheckKeepingSomeOtu();
  else
    RecountCommunities(false);
  if (plan.option >= 3) TransformCommunities(plan);
  SetEnvironmentFlags();
  if (plan.option == 5) {
    fprintf(out, "\nA formda file for this session, with %d communities, has been created.\n",
            ncsm);
    fprintf(out,
            "\nThe first new community is the average of the first %d communities in the "
            "series,\n the second new one is an average of the %d communities starting at the "
            "second\n community in the series, and so on.\n",
            SMWSize, SMWSize);
    fprintf(out,
            "\nReleve labels correspond to the labels of the first\n %d previous communities in "
            "the series.\n",
            ncsm);
  }
  WriteSessionFile(source);
  if (emptyReleves > 0) {
    fprintf(out, "\nWarning!! There are %d empty communities!!\n", emptyReleves);
    fprintf(out, "Inspect file %s\n", whichFormda);
  }
  return 1;
}

void SettingNewReleves(int n, int* nUnits, int* unit, char** labels) {
  const int k = n / 2;
  *nUnits = k;
  fprintf(out,
          "\nLabels for new communities: \n   1  given by default \n   2  specify new labels \n"
          "Type option no.: ");
  if (AskOption("1 2") == 1) {
    for (int u = 0; u < k; u++) snprintf(labels[u], kGroupLabelSize, "%d", (u + 1) % 10000);
  } else {
    do {
      fprintf(out, "\nEnter labels (max. 4 alphanumeric characters):\n");
      for (int u = 0; u < k; u++) fprintf(out, "%2d ", u + 1);
      fprintf(out, "\n");
      for (int u = 0; u < k; u++) ReadStringIn("%4s ", labels[u], kGroupLabelSize);
      fprintf(out, "Are these correct? y/n ");
    } while (ReadCharIn("y n") != 'y');
  }
  fprintf(out,
          "\nOrder of the communities in the formda file: \n"
          "   1  all 2nd communities are after all 1st communities, in the same order \n"
          "   2  each 2nd community follows the corresponding 1st community \n"
          "Type option no.: ");
  const bool halves = AskOption("1 2") == 1;
  // With an odd n the last community belongs to no unit.
  for (int i = 0; i < n; i++) {
    if (i >= 2 * k)
      unit[i] = 0;
    else
      unit[i] = halves ? i % k + 1 : i / 2 + 1;
  }
}

// ---- merging --------------------------------------------------------------

// A row-pointer table read from the second file, released with the merge
// unless handed over to the data set.
template <class T>
struct Table {
  T** rows;
  int n;
  Table(T** r, int count) : rows(r), n(count) {}
  ~Table() { free2D(rows, n); }
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  T** Take() {
    T** r = rows;
    rows = nullptr;
    return r;
  }
};

static int Refuse(const char* message) {
  fprintf(out, "%s", message);
  return 0;
}

static bool FirstHasLabel(const char* label) {
  for (int c = 0; c < ncsm; c++)
    if (strcmp(reLabel[c], label) == 0) return true;
  return false;
}

// A community label of the second session equal to one of the first session
// gets a "b" appended (labels of at most 9 characters).  False when a longer
// label is met, or when the appended label would still equal a label of
// either session: the merge is then refused.
static bool RenameSecondLabels(int n, char** second) {
  for (int i = 0; i < n; i++) {
    if (!FirstHasLabel(second[i])) continue;
    if (strlen(second[i]) > 9) return false;
    const std::string renamed = std::string(second[i]) + "b";
    if (FirstHasLabel(renamed.c_str())) return false;
    for (int j = 0; j < n; j++)
      if (j != i && renamed == second[j]) return false;
    memcpy(second[i], renamed.c_str(), renamed.size() + 1);  // at most 10 characters
  }
  return true;
}

static std::string Joined(const char* a, const char* b) {
  std::string s = std::string(a) + " " + b;
  if (s.size() > 319) s.resize(319);
  return s;
}

// The second file is read item by item and each item checked against the
// first data set as it comes; the first refusal ends the merge.  Its
// phylogeny, trait groups and moving-window size are not carried over; the
// counts of OTUs per community are recounted by the checks.
int MergeFormda(const char* secondFile) {
  DataReader r(secondFile);
  char text[320];
  r.Line(text, 319, true);  // its title
  const std::string title = Joined(dataName, secondFile);

  if (r.Count(1) != nch) return Refuse("\nThe number of traits do not match.\n\n");
  for (int j = 0; j < nch; j++) {
    r.Label(text, kLabelSize - 1);
    if (strcmp(text, chLabel[j]) != 0)
      return Refuse("\nLabels for traits do not match (or their order).\n\n");
  }
  for (int j = 0; j < nch; j++)
    if (r.Int(1, 4) != chtype[j]) return Refuse("\nTrait types do not match.\n\n");
  for (int j = 0; j < nch; j++) r.Double();        // ranges
  for (int j = 0; j < nch; j++) r.Int(0, INT_MAX);  // numbers of states

  const int ncsm2 = r.Count(1);
  Table<char> labels2(dim2Dchar(ncsm2, kLabelSize), ncsm2);
  for (int c = 0; c < ncsm2; c++) r.Label(labels2.rows[c], kLabelSize - 1);
  if (!RenameSecondLabels(ncsm2, labels2.rows)) {
    fprintf(out, "\b\nThere are releve labels in the second session that are identical to\n");
    fprintf(out, "labels in the first session. Change them (or reduce the second\n");
    fprintf(out, "session labels length to %d letters or digits) and try again.\n", 9);
    return 0;
  }
  const int tcst2 = r.Count(1);
  r.Fits(tcst2, nch);
  r.Fits(tcst2, ncsm2);
  for (int c = 0; c < ncsm2; c++) r.Int();  // OTUs per community
  for (double code : ca_code)
    if (r.Double() != code)
      return Refuse("\nTranslating values for cover-abundance scale codes do not match.\n\n");
  Table<double> B2(dim2Double(tcst2, nch), tcst2), W2(dim2Double(tcst2, ncsm2), tcst2);
  ReadFormdaMatrices(r, r.Token(), tcst2, nch, ncsm2, B2.rows, W2.rows);

  const int nenv2 = r.Count(0);
  r.Fits(ncsm2, nenv2);
  if (nenv2 != nenv) return Refuse("\nThe number of environmental variables do not match.\n\n");
  Table<double> E2(nenv > 0 ? dim2Double(ncsm2, nenv) : nullptr, ncsm2);
  Table<char> envLabels2(nenv > 0 ? dim2Dchar(nenv, kLabelSize) : nullptr, nenv);
  char envName2[320] = "";
  if (nenv > 0) {
    std::vector<int> types2(static_cast<size_t>(nenv));
    int kind2 = 0;
    const bool typed = ReadFormdaEnvironment(r, nenv, ncsm2, E2.rows, envLabels2.rows,
                                             types2.data(), &kind2, envName2);
    if (typed && (kind2 != optEnvVarType || !std::equal(types2.begin(), types2.end(), envVarType)))
      return Refuse("\nThe types of environmental variables do not match.\n\n");
    for (int j = 0; j < nenv; j++)
      if (strcmp(envLabels2.rows[j], envLabel[j]) != 0)
        return Refuse("\nLabels for environmental variables do not match.\n\n");
  }

  const int nSpp2 = r.Count(0);
  r.FitsChars(nSpp2, ncsm2);
  r.FitsChars(tcst2, nSpp2);
  if ((nSpp > 0) != (nSpp2 > 0))
    return Refuse(
        "\nOne session has species names and the other not.\nBoth files must have or not have "
        "species names.\n\n");
  Table<char> names2(nSpp2 > 0 ? dim2Dchar(nSpp2, kSpeciesSize) : nullptr, nSpp2);
  Table<char> rel2(nSpp2 > 0 ? dim2Dchar(nSpp2, ncsm2 + 1) : nullptr, nSpp2);
  Table<char> otu2(nSpp2 > 0 ? dim2Dchar(tcst2, nSpp2 + 1) : nullptr, tcst2);
  char sppFile2[64];
  if (nSpp2 > 0)
    ReadFormdaSpecies(r, nSpp2, ncsm2, tcst2, sppFile2, names2.rows, rel2.rows, otu2.rows);
  // Whether the second file has a phylogeny (only to say that it is dropped).
  bool phylogeny2 = false;
  std::string word;
  int flag = 0;
  if (r.NextToken(word) && (word != "SMW" || r.NextToken(word)) && r.TryInt(flag))
    phylogeny2 = flag == 1;
  r.Close();

  // The joined tables: the first session's OTUs and communities first, the
  // second session's after them; an OTU is absent (0) from the other
  // session's communities, a species does not occur ('0') in them, and each
  // OTU belongs to the species its own file gives it.
  const int t1 = tcst, c1 = ncsm, s1 = nSpp;
  const int nT = t1 + tcst2, nC = c1 + ncsm2, nS = s1 + nSpp2;
  double** B = dim2Double(nT, nch);
  double** W = dim2Double(nT, nC);
  for (int o = 0; o < nT; o++) {
    const bool first = o < t1;
    for (int j = 0; j < nch; j++) B[o][j] = first ? csm_Float[o][j] : B2.rows[o - t1][j];
    for (int c = 0; c < (first ? c1 : ncsm2); c++)
      W[o][first ? c : c1 + c] = first ? cadat[o][c] : W2.rows[o - t1][c];
  }
  char** labels = dim2Dchar(nC, kLabelSize);
  for (int c = 0; c < nC; c++)
    snprintf(labels[c], kLabelSize, "%s", c < c1 ? reLabel[c] : labels2.rows[c - c1]);
  double** E = nullptr;
  if (nenv > 0) {
    E = dim2Double(nC, nenv);
    for (int c = 0; c < nC; c++)
      for (int j = 0; j < nenv; j++) E[c][j] = c < c1 ? env[c][j] : E2.rows[c - c1][j];
  }
  char** names = nullptr;
  char** relMap = nullptr;
  char** otuMap = nullptr;
  if (nS > 0) {
    names = dim2Dchar(nS, kSpeciesSize);
    relMap = dim2Dchar(nS, nC + 1);
    otuMap = dim2Dchar(nT, nS + 1);
    for (int s = 0; s < nS; s++) {
      snprintf(names[s], kSpeciesSize, "%s", s < s1 ? spp[s] : names2.rows[s - s1]);
      for (int c = 0; c < nC; c++) {
        const bool same = (s < s1) == (c < c1);
        relMap[s][c] = !same ? '0' : (s < s1 ? sppRelMap[s][c] : rel2.rows[s - s1][c - c1]);
      }
    }
    for (int o = 0; o < nT; o++)
      for (int s = 0; s < nS; s++) {
        const bool same = (o < t1) == (s < s1);
        otuMap[o][s] = !same ? '0' : (o < t1 ? cstSppMap[o][s] : otu2.rows[o - t1][s - s1]);
      }
  }
  const std::string environment = Joined(envName, envName2);
  const bool phylogeny1 = hasPhylogeny != 0;

  // Kept as they are: the traits and the variables' labels and types.
  char** traitLabels = chLabel;
  int *types = chtype, *states = onsta, *groups = traitGroups, *variableTypes = envVarType;
  double* ranges = chrange;
  char** variableLabels = envLabel;
  chLabel = envLabel = nullptr;
  chtype = onsta = traitGroups = envVarType = nullptr;
  chrange = nullptr;
  FreeGlobals2();

  tcst = nT, ncsm = nC, nSpp = nS;
  chLabel = traitLabels, chtype = types, onsta = states, chrange = ranges, traitGroups = groups;
  csm_Float = B, cadat = W, reLabel = labels, ncst = dim1Dint(nC);
  env = E, envLabel = variableLabels, envVarType = variableTypes;
  spp = names, sppRelMap = relMap, cstSppMap = otuMap;
  // Neither session's phylogeny covers the joined OTUs.
  hasPhylogeny = 0, phylogenyMatrixType = 0, nClados = 0;
  if (nenv > 0) snprintf(envName, sizeof envName, "%s", environment.c_str());

  if (nSpp > 0) {
    CheckSpeciesMerge();
    CheckCSTsSameSpecies();
  }
  CheckKeepingSomeOtu();
  if (phylogeny1 || phylogeny2)
    fprintf(out,
            "\nThe merged data set has no phylogeny: neither session's covers all its OTUs.\n");
  WriteSessionFile(title.c_str());
  return 1;
}
