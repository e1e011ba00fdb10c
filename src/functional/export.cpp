#include "functional/export.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "functional/nullfigures.h"
#include "functional/permtest.h"
#include "functional/printout.h"
#include "data/track.h"
#include "functional/settings.h"
#include "shell/console.h"
#include "shell/numtext.h"
#include "shell/preferences.h"
#include "shell/safefile.h"

int writeTSV = 'y';

std::string TsvNumber(double x) {
  if (std::isnan(x)) return "NA";
  if (std::isinf(x)) return x > 0 ? "Inf" : "-Inf";
  std::string text;
  AppendG(text, x, 17);
  return text;
}

FILE* OpenTsv(const std::string& name) {
  // Written whole under a temporary name and then renamed, so that a
  // companion file is never seen empty or cut short.
  FILE* fp = SafeCreate(name.c_str(), volumeName);
  if (fp == nullptr) {
    ClearLine();
    fprintf(stderr, "\ncan't write the companion file %s\n", name.c_str());
  }
  return fp;
}

void CloseTsv(FILE* fp, const std::string& name) {
  if (fp == nullptr) return;
  if (!SafeFinish(fp)) {
    ClearLine();
    fprintf(stderr, "\ncan't write the companion file %s\n", name.c_str());
  }
}

namespace {

// One table: a header row, then rows of cells.
struct Table {
  std::vector<std::string> header;
  std::vector<std::vector<std::string>> rows;
  void Write(const std::string& name) const {
    FILE* fp = OpenTsv(name);
    if (fp == nullptr) return;
    auto line = [fp](const std::vector<std::string>& cells) {
      for (size_t k = 0; k < cells.size(); k++) fprintf(fp, k == 0 ? "%s" : "\t%s", cells[k].c_str());
      fputc('\n', fp);
    };
    line(header);
    for (const auto& r : rows) line(r);
    CloseTsv(fp, name);
  }
};

const char* MeasureName(int measure) {
  static const char* const kNames[] = {"Mantel", "Procrustes", "RV", "regression", "ANOVA"};
  return measure >= 1 && measure <= 5 ? kNames[measure - 1] : "none";
}

std::string NullModel() {
  if (!optRndTests) return "none";
  if (optTaxaSiteShuffle == 's') return "site shuffle";
  if (optRestrictPermutNullModel == 1) return "taxa shuffle within groups";
  return "taxa shuffle";
}

// The labels of the selected variables.
std::vector<std::string> FactorLabels() {
  std::vector<std::string> labels;
  for (int v = 0; v < nenv; v++)
    if (eVarSelect[v] == 1) labels.push_back(envLabel[v]);
  return labels;
}

// A community-by-column table: the community label first.  Written a row at
// a time (these tables can hold millions of cells, formatted by the team of
// threads), in the layout of Table.
void CommunityTable(const std::string& name, int m, const std::vector<std::string>& columns,
                    const std::vector<int>& which, double** M) {
  FILE* fp = OpenTsv(name);
  if (fp == nullptr) return;
  std::string line = "community";
  for (const auto& c : columns) line += '\t' + c;
  line += '\n';
  fwrite(line.data(), 1, line.size(), fp);
  WriteRows(fp, m, static_cast<long long>(m) * which.size(), "CommunityTable",
            [&](int c, std::string& row) {
              row = reLabel[c];
              for (int j : which) {
                row += '\t';
                const double x = M[c][j];
                if (std::isfinite(x))
                  AppendG(row, x, 17);
                else
                  row += TsvNumber(x);
              }
              row += '\n';
            });
  CloseTsv(fp, name);
}

}  // namespace

void WriteFunctionalTsv(const ScalingUpReport& r) {
  if (writeTSV == 'n') return;
  const PermTest_FunctionalPhyl_Correl_Input* t = r.test;
  const std::string session = sessionName;
  const std::vector<std::string> factors = FactorLabels();
  const bool tested = r.tested;

  // Results: one row per statistic.
  Table res;
  res.header = {"statistic", "value", "p_value", "measure", "null_model", "permutations", "seed"};
  // The tested statistics that get a figure of their null distribution.
  std::vector<NullFigureItem> figures;
  const bool drawn = tested && !t->nullValues.empty();
  auto add = [&](const std::string& name, double value, double p, bool formed, int kept) {
    if (drawn && formed) figures.push_back({name, value, p, kept});
    res.rows.push_back({name, formed ? TsvNumber(value) : "NA",
                        tested ? (formed ? TsvNumber(p) : "NA") : "", MeasureName(opt_ro),
                        NullModel(), tested ? std::to_string(niter) : "",
                        tested ? std::to_string(rseed) : ""});
  };
  auto stat = [&](const char* name, int k, bool formed) {
    add(name, t->statistics[k], t->probabilities[k], formed, k);
  };
  std::vector<int> selected;
  for (int k = 0; k < nch; k++)
    if (r.traitSelect[k] == 1) selected.push_back(k);
  if (opt_ro >= 1 && opt_ro <= 3) {
    stat("r(TE)", kStatTE, r.hasEnv);
    stat("r(XE)", kStatXE, r.hasEnv);
    stat("r(XE.T)", kStatXE_T, r.hasEnv);
    stat("r(RE)", kStatRE, r.hasEnv);
    stat("r(XE.TR)", kStatXE_TR, r.hasEnv);
    stat("r(TY)", kStatTY, true);
    stat("r(XY)", kStatXY, true);
    stat("r(XY_T)", kStatXY_T, true);
    const bool ph = r.phylogeny, phe = r.phylogeny && r.hasEnv;
    stat("ro(BF)", kStatBF, ph);
    stat("ro(PE)", kStatPE, phe);
    stat("ro(PT)", kStatPT, ph);
    stat("ro(PX)", kStatPX, ph);
    stat("ro(PX.T)", kStatPX_T, ph);
    stat("ro(TE.P)", kStatTE_P, phe);
    stat("ro(XE.P)", kStatXE_P, phe);
    stat("ro(XE.TP)", kStatXE_TP, phe);
    stat("ro(PE.T)", kStatPE_T, phe);
    stat("ro(PE.X)", kStatPE_X, phe);
    stat("r(FE)", kStatFE, phe);
  }
  // Regression: r-square and coefficients of each response.
  Table reg;
  reg.header = {"response", "factor", "coefficient", "p_value", "r_square", "r_square_p_value",
                "intercept"};
  if (opt_ro == 4 && r.hasEnv) {
    std::vector<std::pair<std::string, int>> responses;
    for (int k : selected) responses.push_back({chLabel[k], k});
    responses.push_back({"functional diversity", nch});
    if (r.phylogeny) responses.push_back({"phylogenetic diversity", nch + 1});
    const int q = static_cast<int>(factors.size());
    for (const auto& [label, row] : responses) {
      const int at = t->nullRegBase + row * (1 + q);
      add("r2(" + label + ")", t->regrR2[row], t->regrR2Prob[row], true, at);
      for (size_t f = 0; f < factors.size(); f++) {
        add("coeff(" + label + "," + factors[f] + ")", t->regrCoeff[row][f],
            t->regrCoeffProb[row][f], true, at + 1 + static_cast<int>(f));
        reg.rows.push_back({label, factors[f], TsvNumber(t->regrCoeff[row][f]),
                            tested ? TsvNumber(t->regrCoeffProb[row][f]) : "",
                            TsvNumber(t->regrR2[row]),
                            tested ? TsvNumber(t->regrR2Prob[row]) : "",
                            TsvNumber(t->regrIntercept[row])});
      }
    }
  }
  // Analysis of variance: pseudo-F of each response and factor.
  Table anova;
  anova.header = {"response", "factor", "pseudo_F", "p_value"};
  if (opt_ro == 5 && r.hasEnv) {
    // The kept pseudo-F values: T, each trait, X, P, Rf, Rp, q factors each.
    const int q = static_cast<int>(factors.size());
    auto block = [&](const std::string& label, const double* F, const double* P, int slot) {
      for (size_t f = 0; f < factors.size(); f++) {
        add("F(" + label + "," + factors[f] + ")", F[f], P[f], true,
            t->nullAnovaBase + slot * q + static_cast<int>(f));
        anova.rows.push_back(
            {label, factors[f], TsvNumber(F[f]), tested ? TsvNumber(P[f]) : ""});
      }
    };
    const int p = r.nTraits;
    block("T", t->anovaT, t->anovaTProb, 0);
    for (int k : selected) block(chLabel[k], t->anovaTrait[k], t->anovaTraitProb[k], 1 + k);
    block("X", t->anovaX, t->anovaXProb, 1 + p);
    if (r.phylogeny) block("P", t->anovaP, t->anovaPProb, 2 + p);
    block("Rf", t->anovaR, t->anovaRProb, 3 + p);
    if (r.phylogeny) block("Rp", t->anovaRp, t->anovaRpProb, 4 + p);
  }
  res.Write(session + "Results.tsv");
  if (!figures.empty()) WriteNullFigures(session, figures, *t, NullModel());
  if (opt_ro == 4) reg.Write(session + "Regression.tsv");
  if (opt_ro == 5) anova.Write(session + "Anova.tsv");

  // Community-level tables.
  const int m = r.nComm;
  std::vector<std::string> labels;
  for (int k : selected) labels.push_back(chLabel[k]);
  CommunityTable(session + "CWM.tsv", m, labels, selected, r.T);
  labels.clear();
  std::vector<int> columns;
  for (int k = 0; k < r.nTypes; k++) {
    labels.push_back(OTUsTypesAreSpecies && k < nSpp ? std::string(spp[k])
                                                     : "type" + std::to_string(r.typeLabels[k]));
    columns.push_back(k);
  }
  CommunityTable(session + "Composition.tsv", m, labels, columns,
                 fuzzy == 3 ? r.X : r.crispPooled);
  if (r.phylogeny) {
    labels.clear();
    columns.clear();
    std::vector<int> taxa(partition_OTUs_Phyl, partition_OTUs_Phyl + r.nOTUs);
    std::sort(taxa.begin(), taxa.end());
    taxa.erase(std::unique(taxa.begin(), taxa.end()), taxa.end());
    for (int k = 0; k < r.nTaxa; k++) {
      labels.push_back("taxon" + std::to_string(k < static_cast<int>(taxa.size()) ? taxa[k] : k + 1));
      columns.push_back(k);
    }
    CommunityTable(session + "PhylComposition.tsv", m, labels, columns, r.P);
  }
  Table div;
  div.header = {"community", "gini_simpson", "rao_traits", "functional_redundancy"};
  if (r.phylogeny) {
    div.header.push_back("rao_phylogeny");
    div.header.push_back("phylogenetic_redundancy");
  }
  for (int c = 0; c < m; c++) {
    std::vector<std::string> row{reLabel[c], TsvNumber(r.D[c]), TsvNumber(r.Rf[c]),
                                 TsvNumber(Fmax(0.0, r.D[c] - r.Rf[c]))};
    if (r.phylogeny) {
      row.push_back(TsvNumber(r.Rp[c]));
      row.push_back(TsvNumber(Fmax(0.0, r.D[c] - r.Rp[c])));
    }
    div.rows.push_back(row);
  }
  div.Write(session + "Diversity.tsv");
}
