#include "ranking/structures.h"

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "functional/settings.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "ranking/rankprint.h"

void InitStructScratch(const RankData& d, StructScratch& s) {
  const int m = d.m, p = d.p;
  s.T = s.pool.Mat(m, p);
  s.D1 = s.pool.Mat(m, m);
  s.D2 = s.pool.Mat(m, m);
  s.Res = s.pool.Mat(m, m);
  if (d.C != nullptr && d.g > 0) {
    // Average trait of each type over its OTUs (the unmasked B).
    double** Ct = s.pool.Mat(d.g, d.n);
    TransposeMatrix(d.n, d.g, d.C, Ct);
    s.avg = s.pool.Mat(d.g, p);
    MatrixProdMV(d.g, d.n, d.n, p, Ct, d.B, s.avg);
    for (int t = 0; t < d.g; t++)
      for (int k = 0; k < p; k++)
        if (!IsMissing(s.avg[t][k]) && d.typeSize[t] > 0) s.avg[t][k] /= d.typeSize[t];
  }
}

void StructPreamble(FILE* fp, const RankData& d, const char* envHeading,
                    const char* traitHeading) {
  fprintf(fp, envHeading, d.m, d.q);
  PrintLowerHalfMatrixTab(fp, d.m, d.DE, sDigits);
  fprintf(fp, traitHeading, d.n, d.p);
  PrintMatrixTab(fp, d.n, d.p, d.B, sDigits);
}

void StructTraitMeans(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                      const int* traits, int k, const char* dtHeading) {
  const int m = d.m, p = d.p;
  fprintf(fp, "\nTraits:\t");
  PrintLabels0(fp, traits, k, "%s\t");
  for (int c = 0; c < m; c++)
    for (int j = 0; j < p; j++) s.T[c][j] = w.sel[j] ? d.Traw[c][j] : 0.0;
  fprintf(fp,
          optUnitTotalAdjust1
              ? "\nMatrix with trait averages at community level (%d communities x %d traits):\n"
              : "\nMatrix with trait totals at community level (%d communities x %d traits):\n",
          m, p);
  PrintMatrixTab(fp, m, p, s.T, sDigits);
  fprintf(fp,
          "\nMatrix with normalized traits at community level (%d communities x %d traits "
          "adjusted to unit length):\n",
          m, p);
  PrintMatrixTab(fp, m, p, w.T, sDigits);
  fputs(dtHeading, fp);
  FromPairs(m, w.dt.data(), s.D1);
  PrintLowerHalfMatrixTab(fp, m, s.D1, sDigits);
}

void StructSimilarity(FILE* fp, const RankData& d, const RankWork& w, const int* traits, int k,
                      const char* heading) {
  fprintf(fp, heading, d.n, k);
  fprintf(fp, "Traits:\t");
  PrintLabels0(fp, traits, k, "%s\t");
  fprintf(fp, "\n");
  PrintLowerHalfMatrixTab(fp, d.n, w.S, sDigits);
}

void StructSubset(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                  const int* traits, int k) {
  StructTraitMeans(fp, d, w, s, traits, k,
                   "Resemblance matrix between communities based on selected traits (matrix T):\n");
  StructSimilarity(fp, d, w, traits, k,
                   "\nSimilarity matrix between %d populations, based on %d traits:\n");
}

void StructGroupSizes(FILE* fp, const RankData& d) {
  fprintf(fp, "Group sizes:\t");
  for (int t = 0; t < d.g; t++) fprintf(fp, "%d\t", d.typeSize[t]);
  fprintf(fp, "\n");
}

void StructLevel(FILE* fp, const RankData& d, const RankWork& w, StructScratch& s,
                 const double* dr) {
  const int m = d.m, n = d.n, g = d.g;
  fprintf(fp, "\nPartition vector of %d populations in %d specified groups (types):\n", n, g);
  PrintVectorTab(fp, n, partition_OTUs, nullptr);
  fprintf(fp, "\nDegrees of belonging of %d populations (rows) in %d types (columns):\n", n, g);
  PrintMatrixTab(fp, n, g, d.fuzzyTypes ? w.U : d.C, sDigits);
  fprintf(fp, "\nDegrees of belonging (crisp) of %d populations (rows) in %d types (columns):\n",
          n, g);
  PrintMatrixTab(fp, n, g, d.C, sDigits);
  fprintf(fp, "\nGroup sizes:\n");
  PrintVectorTab(fp, g, d.typeSize, nullptr);
  fprintf(fp, "\nAverage trait matrix (%d types x %d traits):\n", g, d.p);
  PrintMatrixTab(fp, g, d.p, s.avg, sDigits);
  fprintf(fp, "\nPooled performance matrix X (%d communities x %d types):\n", m, g);
  PrintMatrixTab(fp, m, g, SubsetXMatrix(d, w), sDigits);
  if (dr != nullptr) {
    fprintf(fp,
            "\nResemblance matrix DR comparing communities based on their Rao entropy expressed "
            "as equivalent numbers of OTUs (Jost 2007): \n");
    FromPairs(m, dr, s.D2);
    PrintLowerHalfMatrixTab(fp, m, s.D2, sDigits);
  }
  if (opt_ro == 1) {
    fprintf(fp, "Resemblance matrix between communities based on composition of types (matrix X):\n");
    FromPairs(m, SubsetDXPairs(d, w), s.D2);
    PrintLowerHalfMatrixTab(fp, m, s.D2, sDigits);
  }
}

void StructResiduals(FILE* fp, const RankData& d, StructScratch& s, const double* a,
                     const double* b, const char* heading) {
  const int m = d.m;
  // Formed in work matrices: the resemblances keep their values.
  FromPairs(m, a, s.D1);
  FromPairs(m, b, s.D2);
  for (int i = 0; i < m; i++)
    for (int j = 0; j < m; j++) s.Res[i][j] = 0.0;
  ResidualsMatrixRegression(m, s.D1, s.D2, s.Res);
  for (int i = 0; i < m; i++)
    for (int j = i + 1; j < m; j++) s.Res[j][i] = s.Res[i][j];
  fputs(heading, fp);
  PrintMatrixTab(fp, m, m, s.Res, sDigits);
}
