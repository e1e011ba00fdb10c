#include "simulation/simreport.h"

#include "functional/export.h"

#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/track.h"
#include "functional/permtest.h"
#include "functional/printout.h"
#include "functional/settings.h"
#include "multivariate/ordination.h"
#include "numeric/plotdata.h"
#include "numeric/stats.h"
#include "shell/console.h"
#include "shell/failure.h"
#include "shell/figures.h"
#include "shell/preferences.h"
#include "shell/readers.h"
#include "shell/safefile.h"
#include "simulation/assembly.h"
#include "simulation/simanalysis.h"

namespace {

void Matrix(FILE* fp, int rows, int cols, double** M) {
  if (rows > 0 && cols > 0) PrintMatrix(fp, rows, cols, M, sDigits, 0);
}

void Ints(FILE* fp, int n, const int* v) { PrintVectorTab(fp, n, v, nullptr); }

void Reals(FILE* fp, int n, const double* v) { PrintVectorTab(fp, n, v, sDigits, nullptr); }

const char* Label(const AssemblyModel& m, int p) {
  static char label[32];
  PredictorLabel(m, p, label, sizeof label);
  return label;
}

// Label of the f-th selected predictor.
const char* SelectedLabel(const AssemblyModel& m, const SimAnalysis& a, int f) {
  for (int p = 0, n = 0; p < m.P; p++)
    if (a.predSelect[p] == 1 && n++ == f) return Label(m, p);
  return "";
}

const char* BealsTarget() {
  return BealsIncludeOpt ? "(abundance of target OTU included in its own estimation):\n"
                         : "(abundance of target OTU NOT included in its own estimation):\n";
}

// Texts of the correlation tests, as the statistic lines of a data set show
// them and the final report names them; the tests on the Beals smoothing by
// cross products (the record's second Beals matrix) are r(TZ), r(XZ) and
// r(XZ.T).  Only the tests of the chosen measure are counted: the eleven
// correlations for measures 1 to 3, the regressions for 4 and the analyses
// of variance for 5.
// them ("%s=\t%g\tP=\t%g\n") and as the final report shows the rates
// ("%s\tP=\t%g\n").  The Beals tests come under their own headings.
const char* CorrelationText(int stat) {
  switch (stat) {
    case kStatTE:
      return "Convergence (TCAP): r(TE)";
    case kStatXE:
      return "Both TCAP and Divergence (TDAP): r(XE)";
    case kStatXE_T:
      return "TDAP: r(XE.T)";
    case kStatRE:
      return "Alpha divergence (correlation between environmental variables and Rao entropy): "
             "r(RE)";
    case kStatXE_TR:
      return "Beta divergence: r(XE.TR)";
    case kStatTY:
      return "r(TY)";
    case kStatXY:
      return "r(XY)";
    case kStatXY_T:
      return "r(XY_T)";
    case kStatTY2:
      return "r(TZ)";
    case kStatXY2:
      return "r(XZ)";
    case kStatXY_T2:
      return "r(XZ.T)";
    default:
      return "";
  }
}

void BealsHeading(FILE* fp, int stat) {
  if (stat == kStatTY)
    fprintf(fp,
            "\nCorrelations with Beals smoothed community matrix (Y) considering OTU's "
            "co-occurences weighted by their abundances according to DeCaceres&Legendre (2008) "
            "%s",
            BealsTarget());
  else if (stat == kStatTY2)
    fprintf(fp,
            "\nCorrelations with Beals smoothed community matrix (Z) considering the cross "
            "products of OTU's abundances in their co-occurences %s",
            BealsTarget());
}

// One line per test: with the statistic and its probability for a data set
// (rates == nullptr), or with the rejection rate in the final report.
void PrintTests(FILE* fp, const AssemblyModel& m, const SimAnalysis& a, const double* rates) {
  const PermTest_FunctionalPhyl_Correl_Input* rec = a.rec;
  const size_t n = a.tests.size();
  bool headed[SimTest::kAnovaR + 1] = {};
  for (size_t i = 0; i < n; i++) {
    const SimTest& t = a.tests[i];
    const double p = rates ? rates[i] : TestProbability(a, t);
    const char* factor = SelectedLabel(m, a, t.factor);
    double value = 0.0;
    const char* heading = nullptr;
    char text[160];
    switch (t.kind) {
      case SimTest::kCorrelation:
        BealsHeading(fp, t.index);
        value = rec->statistics[t.index];
        snprintf(text, sizeof text, "%s", CorrelationText(t.index));
        break;
      case SimTest::kRSquare:
        heading =
            "\n\nREGRESSION MODELS\nFor each response variable, the r square, and "
            "regression coefficients for each environmental factor, and corresponding "
            "p-values are shown below:\n";
        value = rec->regrR2[t.index];
        if (t.index < a.K)
          snprintf(text, sizeof text, "\nTrait:\t%d\tr-square", t.index + 1);
        else
          snprintf(text, sizeof text, "\nFunctional diversity:\t\tr-square");
        break;
      case SimTest::kCoefficient:
        value = rec->regrCoeff[t.index][t.factor];
        snprintf(text, sizeof text, "Factor:\t%s\tcoeff", factor);
        break;
      case SimTest::kAnovaT:
        heading =
            "\n\nANALYSIS OF VARIANCE\nMANOVA using matrix T (community weighted means) "
            "as multivariate response:\n";
        value = rec->anovaT[t.factor];
        snprintf(text, sizeof text, "Factor:\t%s\tPseudo-F", factor);
        break;
      case SimTest::kAnovaTrait:
        heading =
            "ANOVA for each selected individual trait the pseudo-F (between/within "
            "groups sum of squares) and corresponding p-values are shown below:\n";
        value = rec->anovaTrait[t.index][t.factor];
        snprintf(text, sizeof text, "Trait:\t%d\tFactor:\t%s\tPseudo-F", t.index + 1, factor);
        break;
      case SimTest::kAnovaX:
        heading =
            "MANOVA using matrix X (fuzzy-weighted community composition using all "
            "selected traits) as multivariate response:\n";
        value = rec->anovaX[t.factor];
        snprintf(text, sizeof text, "Factor:\t%s\tPseudo-F", factor);
        break;
      case SimTest::kAnovaR:
        heading =
            "\nANOVA using Rao funtional diversity (using all selected traits) as "
            "univariate response:\n";
        value = rec->anovaR[t.factor];
        snprintf(text, sizeof text, "Factor:\t%s\tPseudo-F", factor);
        break;
    }
    // A section heading opens at the first test of its kind.
    if (heading != nullptr && !headed[t.kind]) fprintf(fp, "%s", heading);
    headed[t.kind] = true;
    if (rates)
      fprintf(fp, "%s\tP=\t%g\n", text, p);
    else
      fprintf(fp, "%s=\t%g\tP=\t%g\n", text, value, p);
    const bool lastCoefficient = t.kind == SimTest::kCoefficient &&
                                 (i + 1 == n || a.tests[i + 1].kind != SimTest::kCoefficient);
    if (!rates && lastCoefficient) fprintf(fp, "Intercept=\t%g\n", rec->regrIntercept[t.index]);
  }
}

// Correspondence analysis of the final community matrix, and the
// correlations of the community scores with the descriptors of the sites.
void PrintCorrespondence(FILE* fp, const AssemblyModel& m, const SimAnalysis& a) {
  const int S = m.S, N = m.N;
  double** W = dim2Double(S, N);
  double** D = dim2Double(S, N);
  double** C = dim2Double(S, S);
  double** vectors = dim2Double(S, S);
  double** scores = dim2Double(S, N);
  double* values = dim1Double(S);
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) W[s][j] = m.abund[s][j];
  DeviationsExpectationsMV(S, N, W, D);
  CrossProductMV(S, N, D, C);
  int kept = 0;
  bool ok = true;
  OrdinationLib_D(S, N, W, C, vectors, scores, &kept, values, &ok, 3, 0, 1);
  int axes = 0, above = 0;
  double positive = 0.0;
  for (int i = 0; i < S; i++) {
    if (values[i] > 0.0001) above++;
    if (values[i] > 0.0) positive += values[i];
  }
  while (axes < kept && values[axes] > 0.0001) axes++;

  fprintf(fp, "\nCorrespondence analysis of the final community matrix:");
  fprintf(fp, "\nNumber of eigenvalues >0.0001: \t%d", above);
  fprintf(fp, "\nEigenvalues:\n");
  Reals(fp, axes, values);
  fprintf(fp, "Percentages:\n");
  std::vector<double> percent(static_cast<size_t>(axes > 0 ? axes : 1));
  for (int i = 0; i < axes; i++) percent[i] = positive > 0.0 ? 100.0 * values[i] / positive : 0.0;
  Reals(fp, axes, percent.data());
  fprintf(fp, "OTU scores (%d OTUs x %d axes):\n", N, axes);
  double** otu = dim2Double(N, axes > 0 ? axes : 1);
  double** site = dim2Double(S, axes > 0 ? axes : 1);
  for (int x = 0; x < axes; x++) {
    for (int j = 0; j < N; j++) otu[j][x] = scores[x][j];
    for (int s = 0; s < S; s++) site[s][x] = vectors[x][s];
  }
  Matrix(fp, N, axes, otu);
  fprintf(fp, "Community scores (%d communities x %d axes):\n", S, axes);
  Matrix(fp, S, axes, site);

  // Descriptors of the sites, one row each.
  const int nDesc = 5 + m.K + 1 + m.P;
  double** desc = dim2Double(nDesc, S);
  for (int s = 0; s < S; s++) {
    desc[0][s] = m.individuals[s];
    desc[1][s] = AverageAge(m, s, N, m.steps);
    desc[2][s] = Richness(m, s);
    desc[3][s] = m.extinctions[s];
    desc[4][s] = m.colonizations[s];
    for (int k = 0; k < m.K; k++) desc[5 + k][s] = m.cwm[k][s];
    desc[5 + m.K][s] = a.rec->R[s][0];
    for (int p = 0; p < m.P; p++) desc[6 + m.K + p][s] = m.E[p][s];
  }
  fprintf(fp, "Correlations of the community scores on each axis with:\n");
  std::vector<double> axis(static_cast<size_t>(S));
  for (int d = 0; d < nDesc; d++) {
    if (d < 5) {
      static const char* const kNames[] = {"Total abundance", "Average age", "Richness",
                                           "Extinctions", "Colonizations"};
      fprintf(fp, "%s\t", kNames[d]);
    } else if (d < 5 + m.K) {
      fprintf(fp, "Trait mean %d\t", d - 4);
    } else if (d == 5 + m.K) {
      fprintf(fp, "Rao entropy\t");
    } else {
      fprintf(fp, "Ecosystem variable %s\t", Label(m, d - 6 - m.K));
    }
    for (int x = 0; x < axes; x++) {
      for (int s = 0; s < S; s++) axis[s] = site[s][x];
      fprintf(fp, "%g\t", Correlation2VecMV(S, axis.data(), desc[d]));
    }
    fprintf(fp, "\n");
  }
  free2D(desc, nDesc);
  free2D(site, S);
  free2D(otu, N);
  free1D(values);
  free2D(scores, S);
  free2D(vectors, S);
  free2D(C, S);
  free2D(D, S);
  free2D(W, S);
}

void PrintOTUParameters(FILE* fp, const AssemblyModel& m, const char* lead) {
  fprintf(fp,
          "%sOTU\tDispersal center\tDispersal slope\tSurvival center\tSurvival slope\t"
          "Density center\tDensity slope\tAge center\tAge slope\tMaximum lifespan\n",
          lead);
  for (int i = 0; i < m.N; i++)
    fprintf(fp, "%d\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t%g\t%d\n", i + 1, m.dispersal[i][0],
            m.dispersal[i][1], m.survival[i][0], m.survival[i][1], m.density[i][0], m.density[i][1],
            m.age[i][0], m.age[i][1], m.lifespan[i]);
}

}  // namespace

void PrintDataSetBlock(FILE* fp, const AssemblyModel& m, const SimAnalysis& a) {
  const int S = m.S, N = m.N, K = m.K;
  fprintf(fp, "\n\nSIMULATED DATA %d", m.dataSet);
  fprintf(fp, "\nTraits of %d OTUs (rows) standardised to Z scores (%d traits):\n", N, K);
  Matrix(fp, N, K, m.B);
  fprintf(fp, "Trait means before standardisation:\n");
  Reals(fp, K, m.traitMean);
  fprintf(fp, "Trait standard deviations before standardisation:\n");
  Reals(fp, K, m.traitSd);
  fprintf(fp, "Responsive traits (1 = some response parameter is not 0):\n");
  Ints(fp, K, m.responsive);
  PrintOTUParameters(fp, m, "\nParameters of the OTUs:\n");
  fprintf(fp, "\nSite coordinates (X and Y rows):\n");
  Matrix(fp, 2, S, m.coords);

  fprintf(fp, "\nFinal community matrix (%d communities x %d OTUs):\n", S, N);
  double** W = dim2Double(S, N);
  for (int s = 0; s < S; s++)
    for (int j = 0; j < N; j++) W[s][j] = m.abund[s][j];
  Matrix(fp, S, N, W);
  free2D(W, S);
  std::vector<int> richness(static_cast<size_t>(S));
  for (int s = 0; s < S; s++) richness[s] = Richness(m, s);
  if (m.recording)
    fprintf(fp, "\nOTU richness in each community when recording started (step %d):\n",
            m.recordStep);
  else
    fprintf(fp, "\nOTU richness in each community (recording never started):\n");
  Ints(fp, S, m.richStart);
  fprintf(fp, "Final OTU richness in each community:\n");
  Ints(fp, S, richness.data());
  fprintf(fp, "Number of colonizations in each community after recording started:\n");
  Ints(fp, S, m.colonizations);
  fprintf(fp, "Number of extinctions in each community after recording started:\n");
  Ints(fp, S, m.extinctions);

  fprintf(fp, "\nEcosystem variables at the final step (%d variables x %d communities):\n", m.P, S);
  Matrix(fp, m.P, S, m.E);
  fprintf(fp,
          "\nExpected community trait means at the final step (%d traits x %d communities, Z "
          "scores):\n",
          K, S);
  Matrix(fp, K, S, m.Texp);
  fprintf(fp, "\nAmount of extrapolation of the expected trait means beyond the trait ranges:\n");
  Matrix(fp, K, S, m.extrap);
  fprintf(fp,
          "\nCommunity weighted means at the final step (%d traits x %d communities, Z "
          "scores):\n",
          K, S);
  Matrix(fp, K, S, m.cwm);
  fprintf(fp, "\nRao entropy in each community:\n");
  std::vector<double> rao(static_cast<size_t>(S));
  for (int s = 0; s < S; s++) rao[s] = a.rec->R[s][0];
  Reals(fp, S, rao.data());
  PrintCorrespondence(fp, m, a);

  fprintf(fp, "\n\nStatistics and probabilities:\n");
  PrintTests(fp, m, a, nullptr);
}

// The rejection rates as a companion file for R and Python,
// "RejectionRates.tsv": one row per test.
static void WriteRatesTsv(const AssemblyModel& m, const SimAnalysis& a, const SimRunInfo& info) {
  if (writeTSV == 'n') return;
  const std::string name = "RejectionRates.tsv";
  FILE* fp = OpenTsv(name);
  if (fp == nullptr) return;
  fprintf(fp, "test\tresponse\tfactor\trejections\tdata_sets\trate\talpha\tpermutations\n");
  std::vector<RateRow> rows;
  for (size_t i = 0; i < a.tests.size(); i++) {
    const SimTest& t = a.tests[i];
    std::string test, response = "NA", factor = "NA";
    const std::string trait = "trait " + std::to_string(t.index + 1);
    switch (t.kind) {
      case SimTest::kCorrelation: {
        // The statistic's name: the printed text from "r(" on.
        const std::string text = CorrelationText(t.index);
        test = text.substr(text.rfind("r("));
        break;
      }
      case SimTest::kRSquare:
        test = "r_square";
        response = t.index < a.K ? trait : "functional diversity";
        break;
      case SimTest::kCoefficient:
        test = "coefficient";
        response = t.index < a.K ? trait : "functional diversity";
        factor = SelectedLabel(m, a, t.factor);
        break;
      case SimTest::kAnovaT:
      case SimTest::kAnovaTrait:
      case SimTest::kAnovaX:
      case SimTest::kAnovaR:
        test = "pseudo_F";
        response = t.kind == SimTest::kAnovaT       ? "T"
                   : t.kind == SimTest::kAnovaTrait ? trait
                   : t.kind == SimTest::kAnovaX     ? "X"
                                                    : "Rf";
        factor = SelectedLabel(m, a, t.factor);
        break;
    }
    fprintf(fp, "%s\t%s\t%s\t%lld\t%d\t%s\t%s\t%d\n", test.c_str(), response.c_str(),
            factor.c_str(), a.rejections[i], info.dataSets,
            TsvNumber(static_cast<double>(a.rejections[i]) / info.dataSets).c_str(),
            TsvNumber(info.alpha).c_str(), optRndTests ? niter : 0);
    // The figure's row: the test, its response and factor when it has them.
    std::string shown = test == "r_square" ? "r-square" : test == "pseudo_F" ? "pseudo-F" : test;
    if (response != "NA") shown += " " + response;
    if (factor != "NA") shown += " / " + factor;
    const RateInterval ci = WilsonInterval(a.rejections[i], info.dataSets);
    rows.push_back({shown, static_cast<double>(a.rejections[i]) / info.dataSets, ci.lo, ci.hi});
  }
  CloseTsv(fp, name);
  if (rows.empty() || !FiguresAvailable()) return;
  char title[160];
  snprintf(title, sizeof title, "Rejection rate of each test: %d data sets, alpha = %g",
           info.dataSets, info.alpha);
  const std::string svg = std::string(volumeName) + "RejectionRates.svg";
  FigureRejectionRates(svg.c_str(), rows, info.alpha, title,
                       "Rejection rate, with its 95 % Wilson score interval");
}

void PrintFinalReport(FILE* fp, const AssemblyModel& m, const SimAnalysis& a,
                      const SimRunInfo& info) {
  fprintf(fp, "\n\nSIMULATION OF COMMUNITY ASSEMBLY\n");
  fprintf(fp, "FINAL RESULTS\n");
  fprintf(fp, "%s\n", version);
  TimeStamp(fp);

  fprintf(fp, "\nNumber of communities (sites):\t%d\n", m.S);
  fprintf(fp, "Number of OTUs:\t%d\n", m.N);
  fprintf(fp, "Number of traits:\t%d\n", m.K);
  if (m.traitSource == 't')
    fprintf(fp, "Traits read from file %s\n", m.traitFile.c_str());
  else
    fprintf(fp,
            "Traits generated with %s distribution from the trait correlations of file %s%s%s\n",
            m.traitDistribution == 1 ? "uniform" : "normal", m.traitCorrFile.c_str(),
            m.traitSource == 'b' ? " and the OTU correlations of file " : "",
            m.traitSource == 'b' ? m.otuCorrFile.c_str() : "");
  const struct {
    const char* name;
    const CurveSpec* curve;
  } curves[] = {{"Dispersal kernel", &m.dispersalSpec},
                {"Survival by trait distance", &m.survivalSpec},
                {"Density dependence", &m.densitySpec},
                {"Age-related survivorship", &m.ageSpec}};
  for (const auto& c : curves) {
    if (c.curve->random)
      fprintf(fp, "%s: random centers %g to %g, slopes %g to %g\n", c.name, c.curve->centerMin,
              c.curve->centerMax, c.curve->slopeMin, c.curve->slopeMax);
    else
      fprintf(fp, "%s: parameters read from file %s\n", c.name, c.curve->file.c_str());
  }
  if (m.randomLifespan)
    fprintf(fp, "Maximum lifespan: random, %d to %d years\n", m.lifeMin, m.lifeMax);
  else
    fprintf(fp, "Maximum lifespan: read from file %s\n", m.lifespanFile.c_str());
  if (m.randomCoords)
    fprintf(fp, "Site coordinates: random\n");
  else
    fprintf(fp, "Site coordinates: read from file %s\n", m.coordFile.c_str());
  fprintf(fp, "Number of ecosystem factors:\t%d\n", m.F);
  if (m.envSource == 'e')
    fprintf(fp, "Initial ecosystem conditions read from file %s\n", m.envFile.c_str());
  else
    fprintf(fp,
            "Ecosystem factors generated with %s distribution from the correlations of file %s\n",
            m.envDistribution == 1 ? "uniform" : "normal", m.envCorrFile.c_str());
  fprintf(fp, "Double interactions between factors: %s\n", m.interactions ? "yes" : "no");
  fprintf(fp, "Response parameters read from file %s\n", m.responseFile.c_str());
  fprintf(fp, "Effect parameters read from file %s\n", m.effectFile.c_str());
  fprintf(fp, "Ecosystem variables used in the analysis:\t");
  for (int p = 0; p < m.P; p++)
    if (a.predSelect[p] == 1) fprintf(fp, "%s\t", Label(m, p));
  fprintf(fp, "\nMaximum average number of individuals per community:\t%d\n", m.maxAvg);
  fprintf(fp, "Duration of the simulation (years):\t%d\n", m.years);
  fprintf(fp, "Iterations per year:\t%d\n", m.perYear);
  fprintf(fp, "Threshold for recording richness, colonizations and extinctions:\t%g\n",
          m.threshold);
  fprintf(fp, "Fuzzy transformation: \t%s\n", fuzzy == 3 ? fuzzyInfo[3] : fuzzyInfo[0]);
  fprintf(fp, "Correlation function between matrices: \t%s\n", CongruenceLabel(opt_ro));
  if (opt_ro == 1 || opt_ro == 5)
    fprintf(fp, "Resemblance option between communities: %s\n",
            rese_opt >= 1 && rese_opt <= 10 ? rese_optInfo[rese_opt - 1] : "");
  if (optRndTests)
    fprintf(fp, "Null model based on %s shuffle\n", optTaxaSiteShuffle == 's' ? "site" : "taxa");
  fprintf(fp, "Random generator seed: %lu\n", rseed);

  // The permutations count is the number of iterations entered (the
  // observed one included), 0 without tests.
  fprintf(fp, "Number of simulated data sets:\t%d\n", info.dataSets);
  fprintf(fp, "Number of random permutations in each test:\t%d\n", optRndTests ? niter : 0);
  fprintf(fp, "Alpha threshold for Ho rejection:\t%g\n", info.alpha);
  fprintf(fp, "Elapsed time (seconds): %g\n", info.elapsed);

  fprintf(fp,
          "\n\nPROBABILITIES OF Ho REJECTION (type I error or power depending on the specified "
          "model context) based on %d tests using %d permutations each:",
          info.dataSets, optRndTests ? niter : 0);
  if (opt_ro >= 1 && opt_ro <= 3) fprintf(fp, "\n");
  std::vector<double> rates(a.tests.size());
  for (size_t i = 0; i < a.tests.size(); i++)
    rates[i] = static_cast<double>(a.rejections[i]) / info.dataSets;
  PrintTests(fp, m, a, rates.data());
  WriteRatesTsv(m, a, info);
}

void CloseChecked(FILE* fp, const char* name) {
  if (!SafeFinish(fp)) {
    ClearLine();
    fprintf(stderr, "\nfile %s ", name);
    RaiseFailure(kFailPrint);
  }
}

static FILE* Create(const char* name) {
  FILE* fp = SafeCreate(name, volumeName);
  if (fp == nullptr) RaiseFailure(kFailOpen);
  return fp;
}

// Labels "1", "2", ... on one line after a matrix.
static void NumberLabels(FILE* fp, int n) {
  for (int i = 0; i < n; i++) fprintf(fp, "%d\t", i + 1);
  fprintf(fp, "\n");
}

void WriteSimulatedFiles(const AssemblyModel& m) {
  FILE* fp = Create("B_Simulated.txt");
  PrintMatrixTab(fp, m.N, m.K, m.B, sDigits);
  NumberLabels(fp, m.K);
  CloseChecked(fp, "B_Simulated.txt");

  fp = Create("W_Simulated.txt");
  for (int s = 0; s < m.S; s++) {
    for (int j = 0; j < m.N; j++) fprintf(fp, "%d\t", m.abund[s][j]);
    fprintf(fp, "\n");
  }
  NumberLabels(fp, m.S);
  CloseChecked(fp, "W_Simulated.txt");

  fp = Create("E_Simulated.txt");
  for (int s = 0; s < m.S; s++) {
    for (int f = 0; f < m.F; f++) fprintf(fp, "%.*g\t", sDigits, m.E[f][s]);
    fprintf(fp, "\n");
  }
  NumberLabels(fp, m.F);
  CloseChecked(fp, "E_Simulated.txt");

  fp = Create("TraitTypes_Simulated.txt");
  for (int k = 0; k < m.K; k++) fprintf(fp, "3\t");
  fprintf(fp, "\n");
  CloseChecked(fp, "TraitTypes_Simulated.txt");

  fp = Create("OTUs_Simulated.txt");
  PrintOTUParameters(fp, m, "");
  CloseChecked(fp, "OTUs_Simulated.txt");
}
