#include "simulation/stepfiles.h"

#include <cstdio>

#include "QELib/qelibDim.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/readers.h"
#include "shell/safefile.h"
#include "simulation/assembly.h"

namespace {

enum StepFile {
  kTraits,
  kEnv,
  kCwmExpected,
  kDistances,
  kProb,
  kMortality,
  kDispersal,
  kCommunity,
  kAge,
  kCwm,
  kStepFileCount
};

const char* const kNames[kStepFileCount] = {
    "TraitData.txt",     "EnvData.txt",
    "CWM_Expected.txt",  "Distances.txt",
    "Prob.txt",          "DensityDependence_AgeRelatedProb.txt",
    "DispersalProb.txt", "CommunityData.txt",
    "AverageAge.txt",    "CWM.txt"};

// "Step", "Site" and one column head per value of a per-site line.
void SiteHeader(FILE* fp, const char* title, int n, const char* prefix) {
  fprintf(fp, "%s\nStep\tSite\t", title);
  for (int i = 0; i < n; i++) fprintf(fp, "%s%d\t", prefix, i + 1);
  fprintf(fp, "\n");
}

void SiteLine(FILE* fp, int t, int s, int n, const double* values) {
  fprintf(fp, "%d\t%d\t", t, s + 1);
  for (int i = 0; i < n; i++) fprintf(fp, "%g\t", values[i]);
  fprintf(fp, "\n");
}

}  // namespace

struct StepFiles {
  FILE* fp[kStepFileCount];
  double* line;  // one site's values
  int lineSize;
};

StepFiles* OpenStepFiles(const AssemblyModel& m) {
  StepFiles* f = new StepFiles();
  for (int i = 0; i < kStepFileCount; i++) {
    f->fp[i] = SafeCreate(kNames[i], volumeName);
    if (f->fp[i] == nullptr) RaiseFailure(kFailOpen);
  }
  int most = m.N > m.K ? m.N : m.K;
  if (m.P > most) most = m.P;
  f->lineSize = most > 0 ? most : 1;
  f->line = dim1Double(f->lineSize);

  fprintf(f->fp[kTraits], "Traits of the OTUs (Z scores) in each simulated data set\n");
  FILE* env = f->fp[kEnv];
  fprintf(env, "Ecosystem variables of each site at each step\nStep\tSite\t");
  PrintPredictorLabels(env, m, "\t");
  fprintf(env, "\n");
  SiteHeader(f->fp[kCwmExpected],
             "Expected community trait means (Z scores) of each site at each step", m.K, "");
  SiteHeader(f->fp[kDistances],
             "Trait distances (capped and scaled) between each site's expected trait means and "
             "each OTU",
             m.N, "OTU");
  SiteHeader(f->fp[kProb], "Probability of survival of each OTU in the environment of each site",
             m.N, "OTU");
  fprintf(f->fp[kMortality],
          "Mortality trials: density and age-related survival of the individual drawn at each "
          "site\nStep\tSite\tOTU\tDensity\tpDensity\tAge\tpAge\tpEnvironment\tDied\n");
  fprintf(f->fp[kDispersal],
          "Colonization attempts: the OTU drawn at each site, its nearest distance to a site "
          "holding it and its dispersal probability\nStep\tSite\tOTU\tDistance\tpDispersal\t"
          "Arrived\tEstablished\n");
  fprintf(f->fp[kCommunity],
          "Abundances of the OTUs before and after mortality\nStep\tSite\t"
          "Stage\t");
  for (int j = 0; j < m.N; j++) fprintf(f->fp[kCommunity], "OTU%d\t", j + 1);
  fprintf(f->fp[kCommunity], "\n");
  SiteHeader(f->fp[kAge], "Average age (years) of the individuals of each OTU at each site", m.N,
             "OTU");
  SiteHeader(f->fp[kCwm], "Community weighted means of the traits (Z scores) at each step", m.K,
             "");
  return f;
}

void StepFilesNewDataSet(const AssemblyModel& m) {
  StepFiles* f = m.files;
  for (int i = 0; i < kStepFileCount; i++) fprintf(f->fp[i], "\nSIMULATED DATA %d\n", m.dataSet);
  PrintMatrixTab(f->fp[kTraits], m.N, m.K, m.B, sDigits);
}

void WriteConditions(const AssemblyModel& m, int t) {
  StepFiles* f = m.files;
  double* line = f->line;
  for (int s = 0; s < m.S; s++) {
    for (int p = 0; p < m.P; p++) line[p] = m.E[p][s];
    SiteLine(f->fp[kEnv], t, s, m.P, line);
    for (int k = 0; k < m.K; k++) line[k] = m.Texp[k][s];
    SiteLine(f->fp[kCwmExpected], t, s, m.K, line);
    SiteLine(f->fp[kDistances], t, s, m.N, m.dist[s]);
    SiteLine(f->fp[kProb], t, s, m.N, m.pEnv[s]);
  }
}

void WriteDispersal(StepFiles* f, int t, int s, int j, double nearest, double probability,
                    bool arrived, bool established) {
  fprintf(f->fp[kDispersal], "%d\t%d\t%d\t%g\t%g\t%d\t%d\n", t, s + 1, j + 1, nearest, probability,
          arrived ? 1 : 0, established ? 1 : 0);
}

void WriteMortality(StepFiles* f, int t, int s, int j, double density, double pDD, double years,
                    double pAge, double pEnv, bool died) {
  fprintf(f->fp[kMortality], "%d\t%d\t%d\t%g\t%g\t%g\t%g\t%g\t%d\n", t, s + 1, j + 1, density, pDD,
          years, pAge, pEnv, died ? 1 : 0);
}

void WriteCommunity(const AssemblyModel& m, int t, const char* stage) {
  FILE* fp = m.files->fp[kCommunity];
  for (int s = 0; s < m.S; s++) {
    fprintf(fp, "%d\t%d\t%s\t", t, s + 1, stage);
    for (int j = 0; j < m.N; j++) fprintf(fp, "%d\t", m.abund[s][j]);
    fprintf(fp, "\n");
  }
}

void WriteOutcome(const AssemblyModel& m, int t) {
  StepFiles* f = m.files;
  double* line = f->line;
  for (int s = 0; s < m.S; s++) {
    for (int j = 0; j < m.N; j++) line[j] = AverageAge(m, s, j, t);
    SiteLine(f->fp[kAge], t, s, m.N, line);
    for (int k = 0; k < m.K; k++) line[k] = m.cwm[k][s];
    SiteLine(f->fp[kCwm], t, s, m.K, line);
  }
}

void CloseStepFiles(StepFiles* f) {
  if (f == nullptr) return;
  int failed = -1;
  for (int i = 0; i < kStepFileCount; i++) {
    if (!SafeFinish(f->fp[i]) && failed < 0) failed = i;
  }
  free1D(f->line);
  delete f;
  if (failed >= 0) {
    ClearLine();
    fprintf(stderr, "\nfile %s ", kNames[failed]);
    RaiseFailure(kFailPrint);
  }
}
