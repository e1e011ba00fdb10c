#include "functional/fcore.h"

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "multivariate/ordination.h"
#include "multivariate/resemblance.h"
#include "numeric/stats.h"
#include "shell/preferences.h"

double** CopyOf(int rows, int cols, double** M) {
  double** C = dim2Double(rows, cols > 0 ? cols : 1);
  for (int i = 0; i < rows; i++)
    for (int j = 0; j < cols; j++) C[i][j] = M[i][j];
  return C;
}

void EnvironmentalDistance(int m, int q, double** E, const int* types, double** DE) {
  if (q <= 0) return;
  const bool euclidean = optEnvVarType == 1 || optEnvVarType == 2 || optEnvVarType == 4 ||
                         (optEnvVarType == 5 && temEnvQual == 0);
  if (euclidean) {
    if (optEnvVarType != 1) CorrAdj(m, q, E, E);
    EucliDistMV(m, q, E, DE);
    UpperToLowerMatrix(m, DE);
  } else {
    // Gower ranks ordinal variables in the matrix it reads: work on a copy.
    double** work = CopyOf(m, q, E);
    double** S = dim2Double(m, m);
    GowerMVOpt(m, q, types, work, S, nullptr, nullptr, countDoubleAbsence);
    ProbToDissim(m, S, DE);
    free2D(S, m);
    free2D(work, m);
  }
}
