#include "functional/fcore.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "functional/traits.h"
#include "multivariate/cluster.h"
#include "multivariate/congruence.h"
#include "multivariate/ordination.h"
#include "multivariate/resemblance.h"
#include "numeric/linalg.h"
#include "numeric/regression.h"
#include "numeric/sparse.h"
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

// ---- resemblance between communities --------------------------------------

void FcoreEuclidean(int m, int p, double** X, double** D) {
  for (int i = 0; i < m; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < m; j++) {
      double sum = 0.0;
      for (int k = 0; k < p; k++) {
        const double a = X[i][k], b = X[j][k];
        if (IsMissing(a) || IsMissing(b)) continue;
        const double d = a - b;
        sum += d * d;
      }
      D[i][j] = D[j][i] = sum > 0.0 ? std::sqrt(sum) : 0.0;
    }
  }
}

void FcoreCommunityResemblance(int m, int cols, double** X, double** D, int code,
                               double** work) {
  if (code == 3) {
    FcoreEuclidean(m, cols, X, D);
  } else if (code == 2) {
    AbsValFunctionMV(m, cols, X, D);
    UpperToLowerMatrix(m, D);
  } else if (code == 18 && !AnyMissingValue(m, cols, X)) {
    NormalizeRowsMV(m, cols, X, work);
    FcoreEuclidean(m, cols, work, D);
  } else {
    ResemblanceLib(m, cols, X, D, 1, code, 0, nullptr, 0, 0, 0, false);
  }
}

// The options without a measure of their own (7 relative Euclidean
// distance, 9 relative absolute value function) take the plain distance, as
// the resemblance between communities of the scaling-up analysis does; any
// other such option takes the Euclidean distance so that no unfilled matrix
// is ever read.
static int CommunityReseCode(int reseOpt) {
  int code = TranslateReseOpt_QUILTA_VARIMO(reseOpt);
  if (code != 0) return code;
  return reseOpt == 9 ? 2 : 3;
}

// ---- matrix correlation on centred upper halves ----------------------------

static void AllocUpper(int m, UpperHalf& u) {
  const int len = m > 1 ? m * (m - 1) / 2 : 0;
  u.m = m;
  u.raw = dim1Double(len);
  u.dev = dim1Double(len);
}

static void FreeUpper(UpperHalf& u) {
  free1D(u.raw);
  free1D(u.dev);
  u.raw = u.dev = nullptr;
}

// The deviations are those MatrixCorr forms when the other matrix has no
// missing value, in the same order, so the correlation has its digits.
static void SetUpperFromRaw(UpperHalf& u, int len) {
  u.missing = false;
  double s = 0.0;
  for (int k = 0; k < len; k++) {
    if (IsMissing(u.raw[k])) {
      u.missing = true;
      continue;
    }
    s += u.raw[k];
  }
  u.ss = 0.0;
  if (u.missing || len == 0) return;
  const double mean = s / len;
  for (int k = 0; k < len; k++) {
    const double d = u.raw[k] - mean;
    u.dev[k] = d;
    u.ss += d * d;
  }
}

static void SetUpper(UpperHalf& u, double** D) {
  const int m = u.m;
  int k = 0;
  for (int i = 0; i < m; i++)
    for (int j = i + 1; j < m; j++) u.raw[k++] = D[i][j];
  SetUpperFromRaw(u, k);
}

// Matrix correlation of two resemblance matrices between the same m
// communities, with the two-community rule for m = 2.
static double Mantel(const UpperHalf& a, const UpperHalf& b) {
  const int m = a.m;
  if (m < 2) return 0.0;
  if (m == 2) return TwoCommunityCorr(a.raw[0], b.raw[0]);
  const int len = m * (m - 1) / 2;
  if (a.missing || b.missing) return PairsCorr(len, a.raw, b.raw);
  if (a.ss == 0.0 || b.ss == 0.0) return 0.0;
  double sab = 0.0;
  for (int k = 0; k < len; k++) sab += a.dev[k] * b.dev[k];
  return sab / std::sqrt(a.ss * b.ss);
}

// ---- the context -------------------------------------------------------------

static double** SymmetricCopy(int n, double** M) {
  double** C = dim2Double(n, n);
  for (int i = 0; i < n; i++) {
    C[i][i] = M[i][i];
    for (int j = i + 1; j < n; j++) C[i][j] = C[j][i] = M[i][j];
  }
  return C;
}

// The dissimilarity a Rao entropy reads from one element of its resemblance
// matrix; a missing element takes no part (0).
static double RaoDissimilarity(double element, bool isDissimilarity, bool squareRoot) {
  if (IsMissing(element)) return 0.0;
  double d = isDissimilarity ? element : 1.0 - element;
  if (squareRoot) d = d > 0.0 ? std::sqrt(d) : 0.0;
  return d;
}

static void BuildRao(FcoreContext& ctx) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n;
  bool anyExcluded = false;
  for (int i = 0; i < n; i++)
    if (in.weightOTUs[i] != 1) anyExcluded = true;
  // Without restriction a pair counts when either OTU is selected: the sum
  // over all pairs less the sum over pairs of unselected OTUs.
  ctx.raoRows = !in.restrictRaoWithin && anyExcluded ? 2 : 1;
  ctx.raoV = dim2Double(ctx.raoRows * m, n);
  ctx.raoScale = dim1Double(m);
  ctx.raoNone = static_cast<bool*>(dim1D(sizeof(bool), m > 0 ? m : 1));
  // S itself turns into the dissimilarities when nothing reads it again (the
  // caller's consent; no ro(BF), no pairwise loop): n x n doubles saved.
  const bool inPlace = in.mayOverwriteS && !ctx.phyl && ctx.fastRao;
  ctx.ownRaoD = !inPlace || ctx.ownS;
  ctx.raoD = inPlace ? ctx.S : dim2Double(n, n);
  for (int i = 0; i < n; i++)
    for (int j = 0; j < n; j++)
      ctx.raoD[i][j] = RaoDissimilarity(ctx.S[i][j], false, in.sqrtRaoTraits);
  if (inPlace) {
    ctx.S = nullptr;
    ctx.ownS = false;
  }
  if (ctx.phyl) {
    // Dissimilarities without missing values and without square roots are
    // F itself.
    ctx.ownRaoDp = in.sqrtRaoPhyl || !in.phylIsDissimilarity || AnyMissingValue(n, n, ctx.F) ||
                   !IsDenseMatrix(n, n, ctx.F);
    ctx.raoDp = ctx.ownRaoDp ? dim2Double(n, n) : ctx.F;
    if (ctx.ownRaoDp)
      for (int i = 0; i < n; i++)
        for (int j = 0; j < n; j++)
          ctx.raoDp[i][j] = RaoDissimilarity(ctx.F[i][j], in.phylIsDissimilarity, in.sqrtRaoPhyl);
  }
  for (int c = 0; c < m; c++) {
    double A = 0.0;
    for (int i = 0; i < n; i++)
      if (!IsMissing(in.W[c][i])) A += in.W[c][i];
    ctx.raoNone[c] = !(A > 0.0);
    ctx.raoScale[c] = 1.0;
    if (ctx.raoNone[c]) continue;
    double sumP = 0.0, sumW = 0.0, sumOut = 0.0;
    for (int i = 0; i < n; i++) {
      const double x = in.W[c][i];
      const double pi = IsMissing(x) ? 0.0 : x / A;
      const int w = in.weightOTUs[i];
      sumP += pi;
      if (in.restrictRaoWithin) {
        ctx.raoV[c][i] = w * pi;
        sumW += w * pi;
      } else {
        ctx.raoV[c][i] = pi;
        if (w != 1) sumOut += pi;
        if (ctx.raoRows == 2) ctx.raoV[m + c][i] = w != 1 ? pi : 0.0;
      }
    }
    if (in.scaleAdjust) {
      // Pair weights summed over all pairs: SW with the pair weights, SP
      // without; no pair with a selected OTU leaves the entropy at 0.
      const double SP = sumP * sumP;
      const double SW = in.restrictRaoWithin ? sumW * sumW : SP - sumOut * sumOut;
      if (!(SW > 0.0))
        ctx.raoNone[c] = true;
      else
        ctx.raoScale[c] = SW / SP;
    }
  }
}

// Dense products (through the optimised BLAS) or sums over the OTUs present
// in each community.  The dense products reuse what they read from memory
// at the full speed of the processor; a sum over present OTUs reads a row
// of B, U or Q for each present OTU, and two elements of the
// dissimilarities for each pair of them.  Measured on survey-like data
// (bench_structures), the sums pay below about 20 % of non-zero
// performances for T, X and P, and while the pairs of present OTUs are
// fewer than about a twelfth of the dense product's terms for the
// entropies.
static void ChoosePaths(FcoreContext& ctx) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n;
  SparseRowsBuild(m, n, ctx.Wp, ctx.wpSparse);
  SparseRowsBuild(ctx.raoRows * m, n, ctx.raoV, ctx.raoRowsSparse);
  const double dense = static_cast<double>(m) * n;
  const double present = static_cast<double>(SparseRowsCount(ctx.wpSparse));
  const double pairs = SparseRowsPairs(ctx.raoRowsSparse) / 2.0;
  const double raoDense = static_cast<double>(ctx.raoRows) * m * n * n;
  // Each part on its own forced path, or the cheaper one.
  const FcorePath raoPath = in.entropyPath != FcorePath::kAutomatic ? in.entropyPath : in.path;
  ctx.sparseXP = in.path == FcorePath::kAutomatic ? present * 5.0 < dense
                                                  : in.path == FcorePath::kSparse;
  ctx.sparseRao = raoPath == FcorePath::kAutomatic ? pairs * 12.0 < raoDense
                                                   : raoPath == FcorePath::kSparse;
  // With the structures from the present OTUs their digits already differ
  // from the dense products' by rounding: the distances between
  // communities then come from the Gram matrix too (a dense product instead
  // of m^2/2 differences per column).
  ctx.gramDistances = ctx.sparseXP;
  if (!ctx.sparseXP) ctx.wpSparse = SparseRows();
  if (ctx.sparseRao) {
    SparseRowsTranspose(ctx.raoRowsSparse, ctx.raoColumns);
    free2D(ctx.raoV, ctx.raoRows * m);
    ctx.raoV = nullptr;
  } else {
    ctx.raoRowsSparse = SparseRows();
  }
}

void FcoreBuild(const FcoreInput& input, FcoreContext& ctx) {
  ctx = FcoreContext();
  ctx.in = input;
  FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n, p = in.p;
  ctx.phyl = in.phylogeny && in.F != nullptr && in.Q != nullptr;
  if (!ctx.phyl) in.h = 0;
  ctx.env = in.q > 0 && in.E != nullptr && (in.optRo != 1 || in.DE != nullptr);
  ctx.distances = in.optRo == 1 || in.optRo == 5;
  ctx.reseCode = CommunityReseCode(in.reseOpt);
  ctx.K = p + in.g + in.h;

  // A matrix already symmetric is read where it is (n x n doubles saved).
  ctx.ownS = !IsSymmetricMatrix(n, in.S);
  ctx.S = ctx.ownS ? SymmetricCopy(n, in.S) : in.S;
  ctx.ownF = ctx.phyl && !IsSymmetricMatrix(n, in.F);
  ctx.F = ctx.phyl ? (ctx.ownF ? SymmetricCopy(n, in.F) : in.F) : nullptr;

  // B with the traits left out of T as 0, U and Q: what the products read.
  ctx.Bsel = dim2Double(n, p > 0 ? p : 1);
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++) ctx.Bsel[i][k] = in.traitSelect[k] == 1 ? in.B[i][k] : 0.0;
  ctx.fastT = true;
  for (int i = 0; i < n; i++)
    for (int k = 0; k < p; k++)
      if (in.traitSelect[k] == 1 && IsMissing(in.B[i][k])) ctx.fastT = false;
  ctx.fastXP = !AnyMissingValue(m, n, in.W) && !AnyMissingValue(n, in.g, in.U) &&
               !(ctx.phyl && AnyMissingValue(n, in.h, in.Q));
  // The weighted performances: W itself when every weight is 1 and no
  // performance is missing.
  bool plain = !AnyMissingValue(m, n, in.W);
  for (int i = 0; i < n && plain; i++) plain = in.weightOTUs[i] == 1;
  ctx.ownWp = !plain;
  ctx.Wp = plain ? in.W : dim2Double(m, n);
  ctx.divisor = dim1Double(m);
  for (int c = 0; c < m; c++) {
    double sumA = 0.0, sumWA = 0.0;
    for (int i = 0; i < n; i++) {
      const double a = IsMissing(in.W[c][i]) ? 0.0 : in.W[c][i];
      const double wa = in.weightOTUs[i] * a;
      if (ctx.ownWp) ctx.Wp[c][i] = wa;
      sumA += a;
      sumWA += wa;
    }
    ctx.divisor[c] = in.scaleAdjust && sumA != 0.0 && sumWA != 0.0 ? sumWA / sumA : 1.0;
  }

  // The adjusted entropies exclude pairs with a missing resemblance from
  // their weight sums, which depend on the permutation: the pairwise loop.
  ctx.fastRao = !(in.scaleAdjust && AnyMissingValue(n, n, ctx.S));
  ctx.fastRaoPhyl = ctx.phyl && !(in.scaleAdjust && AnyMissingValue(n, n, ctx.F));
  BuildRao(ctx);
  ChoosePaths(ctx);
  // The dense products read their matrices as one block each.
  ctx.U = in.U;
  ctx.Q = in.Q;
  if (!ctx.sparseXP && ctx.fastXP) {
    if (n > 0 && in.g > 0 && !IsDenseMatrix(n, in.g, in.U)) ctx.U = ctx.ownU = CopyOf(n, in.g, in.U);
    if (ctx.phyl && n > 0 && in.h > 0 && !IsDenseMatrix(n, in.h, in.Q))
      ctx.Q = ctx.ownQ = CopyOf(n, in.h, in.Q);
  }

  ctx.Bn = dim2Double(n, p > 0 ? p : 1);
  NormalizeColsMV(n, p, in.B, ctx.Bn);

  // Fixed resemblances between communities and between OTUs.
  auto fixed = [&](UpperHalf& u, double** D) {
    AllocUpper(m, u);
    if (D != nullptr) SetUpper(u, D);
  };
  fixed(ctx.de, ctx.env ? in.DE : nullptr);
  fixed(ctx.dy1, in.DY1);
  fixed(ctx.dy2, in.DY2);
  // Layout of the statistics vector.
  const int q = in.q;
  ctx.regBase = kStatCount;
  ctx.total = kStatCount;
  if (in.optRo == 4 && ctx.env) ctx.total = ctx.regBase + (p + 2) * (1 + q);
  ctx.anovaBase = ctx.total;
  if (in.optRo == 5 && ctx.env) {
    ctx.total = ctx.anovaBase + q * (5 + p);
    // The group of a community is the integer part of the factor's value; a
    // community whose value is missing takes no part in that factor.
    ctx.groups = dim2Dint(q, m);
    ctx.included = dim2Dint(q, m);
    for (int f = 0; f < q; f++)
      for (int c = 0; c < m; c++) {
        const bool missing = IsMissing(in.E[c][f]);
        ctx.groups[f][c] = missing ? 0 : ToInt(in.E[c][f]);
        ctx.included[f][c] =
            !missing && (in.relSelect == nullptr || in.relSelect[c] == 1) ? 1 : 0;
      }
  }
}

void FcoreRelease(FcoreContext& ctx) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n;
  if (ctx.ownS) free2D(ctx.S, n);
  if (ctx.ownF) free2D(ctx.F, n);
  free2D(ctx.Bsel, n);
  free2D(ctx.ownU, n);
  free2D(ctx.ownQ, n);
  if (ctx.ownWp) free2D(ctx.Wp, m);
  free1D(ctx.divisor);
  free2D(ctx.raoV, ctx.raoRows * m);
  if (ctx.ownRaoD) free2D(ctx.raoD, n);
  if (ctx.ownRaoDp) free2D(ctx.raoDp, n);
  free1D(ctx.raoScale);
  free1D(ctx.raoNone);
  free2D(ctx.Bn, n);
  for (UpperHalf* u : {&ctx.de, &ctx.dy1, &ctx.dy2}) FreeUpper(*u);
  free2D(ctx.groups, in.q);
  free2D(ctx.included, in.q);
  CovariateBasisFree(ctx.baseT);
  CovariateBasisFree(ctx.baseX);
  CovariateBasisFree(ctx.baseP);
  free2D(ctx.EresT, m);
  free2D(ctx.EresX, m);
  free2D(ctx.EresP, m);
  ctx = FcoreContext();
}

void FcoreSetObserved(FcoreContext& ctx, const FcoreWorkspace& obs) {
  const FcoreInput& in = ctx.in;
  if (ctx.observedSet || !(in.optRo == 2 || in.optRo == 3) || !ctx.phyl || !ctx.env) return;
  const int m = in.m;
  auto build = [&](CovariateBasis& b, int cols, const int* select, double** M, double**& Eres) {
    double** Z = dim2Double(m, cols > 0 ? cols : 1);
    int c = 0;
    for (int j = 0; j < cols; j++) {
      if (select != nullptr && select[j] != 1) continue;
      for (int i = 0; i < m; i++) Z[i][c] = M[i][j];
      c++;
    }
    CovariateBasisBuild(m, c, Z, in.overfitFactor, b);
    free2D(Z, m);
    if (b.q > 0) {
      Eres = dim2Double(m, in.q);
      CovariateResiduals(b, in.q, in.E, Eres);
    }
  };
  build(ctx.baseT, in.p, in.traitSelect, obs.T, ctx.EresT);
  build(ctx.baseX, in.g, nullptr, obs.X, ctx.EresX);
  build(ctx.baseP, in.h, nullptr, obs.P, ctx.EresP);
  ctx.observedSet = true;
}

// ---- workspaces ----------------------------------------------------------------

FcoreWorkspace* FcoreNewWorkspace(const FcoreContext& ctx) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n, p = in.p, g = in.g, h = in.h, q = in.q;
  FcoreWorkspace* ws = new FcoreWorkspace();
  ws->T = dim2Double(m, p);
  ws->X = dim2Double(m, g);
  ws->R = dim2Double(m, 1);
  ws->P = dim2Double(m, h);
  ws->Rp = dim2Double(m, 1);
  if (ctx.distances) {
    ws->DT = dim2Double(m, m);
    ws->DX = dim2Double(m, m);
    ws->DR = dim2Double(m, m);
    ws->DP = dim2Double(m, m);
    ws->DRp = dim2Double(m, m);
    for (UpperHalf* u : {&ws->uT, &ws->uX, &ws->uR, &ws->uP, &ws->uRp}) AllocUpper(m, *u);
  }
  if (ctx.sparseRao) {
    QuadraticScratchInit(ctx.raoRowsSparse, n, ws->quadraticScratch);
    ws->quadratic.assign(2 * ctx.raoRows * m, 0.0);
  }
  ws->rowOf = dim1Dint(static_cast<int>(SparseRowsCount(ctx.wpSparse)));
  // The scratch of the dense products only on their path.
  ws->Ws = dim2Double(m, ctx.sparseXP ? 1 : n);
  ws->Vs = dim2Double(ctx.raoRows * m, ctx.sparseRao ? 1 : n);
  ws->H = dim2Double(ctx.raoRows * m, ctx.sparseRao ? 1 : n);
  ws->Hp = dim2Double(ctx.raoRows * m, ctx.sparseRao || !ctx.phyl ? 1 : n);
  // Permuted copies only for the products with missing values.
  if (!ctx.fastT) ws->Brnd = dim2Double(n, p);
  if (!ctx.fastXP) {
    ws->Urnd = dim2Double(n, g);
    ws->Qrnd = dim2Double(n, h);
  }
  if (!ctx.fastRao || (ctx.phyl && !ctx.fastRaoPhyl)) {
    ws->Srnd = dim2Double(n, n);
    ws->Frnd = dim2Double(n, n);
  }
  int widest = p > g ? p : g;
  if (h > widest) widest = h;
  ws->work = dim2Double(m, widest);
  ws->Xt = dim2Double(widest, m);
  ws->Dk = dim2Double(m, m);
  ws->BnRnd = dim2Double(n, p);
  if (in.optRo == 4 && ctx.env) {
    ws->regY = dim2Double(m, p + 2);
    ws->regE = dim2Double(m, q);
    ws->regB = dim2Double(q, p + 2);
    ws->regYhat = dim2Double(m, p + 2);
    ws->regB0 = dim1Double(p + 2);
    ws->regR2 = dim1Double(p + 2);
    ws->regSS = dim1Double(p + 2);
    ws->regResponse = dim1Dint(p + 2);
  }
  if (in.optRo == 2 || in.optRo == 3) {
    const int wide = n > q ? n : q;
    ws->Z = dim2Double(m, p + 1 + h);
    ws->RA = dim2Double(m, widest > q ? widest : q);
    ws->RB = dim2Double(m, wide > h ? wide : h);
  }
  return ws;
}

void FcoreFreeWorkspace(const FcoreContext& ctx, FcoreWorkspace* ws) {
  if (ws == nullptr) return;
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n, q = in.q;
  for (double** M : {ws->T, ws->X, ws->R, ws->P, ws->Rp, ws->DT, ws->DX, ws->DR, ws->DP,
                     ws->DRp, ws->Ws, ws->work, ws->Dk, ws->regY, ws->regYhat, ws->Z,
                     ws->RA, ws->RB})
    free2D(M, m);
  free2D(ws->Vs, ctx.raoRows * m);
  free2D(ws->H, ctx.raoRows * m);
  free2D(ws->Hp, ctx.raoRows * m);
  for (double** M : {ws->Brnd, ws->Urnd, ws->Qrnd, ws->Srnd, ws->Frnd, ws->BnRnd}) free2D(M, n);
  free2D(ws->Xt, in.p > in.g ? in.p : in.g);
  free2D(ws->regE, m);
  free2D(ws->regB, q);
  for (UpperHalf* u : {&ws->uT, &ws->uX, &ws->uR, &ws->uP, &ws->uRp}) FreeUpper(*u);
  for (void* v : {static_cast<void*>(ws->rowOf),
                  static_cast<void*>(ws->regB0),
                  static_cast<void*>(ws->regR2), static_cast<void*>(ws->regSS),
                  static_cast<void*>(ws->regResponse)})
    free1D(v);
  delete ws;
}

// ---- structures -------------------------------------------------------------------

// The squared differences of one community (value xi) with the following
// ones (col, len values) added to a.  The widest vector unit of the
// processor is chosen when the program starts; every lane does the same
// operations in the same order (no fused multiply-add), so the sums do not
// depend on the processor.
__attribute__((target_clones("avx512f", "avx2", "default"))) static void AddSquaredDifferences(
    int len, double xi, const double* __restrict col, double* __restrict a) {
  for (int j = 0; j < len; j++) {
    const double d = col[j] - xi;
    a[j] += d * d;
  }
}

// Euclidean distances between the rows of X (m x p, no missing value) into
// the strict upper half, row by row: for each pair the variables are summed
// in order, as in the full matrix.  Xt (p x m) is scratch.
static void EuclideanUpper(int m, int p, double** X, double** Xt, double* upper) {
  for (int i = 0; i < m; i++)
    for (int k = 0; k < p; k++) Xt[k][i] = X[i][k];
  // A few communities at a time, so that each variable's row is read once
  // for all of them (their sums held in about half a megabyte).
  const int block = std::max(8, std::min(64, 65536 / (m > 0 ? m : 1)));
  std::vector<double*> a(block);
  double* next = upper;
  for (int i0 = 0; i0 < m; i0 += block) {
    const int rows = m - i0 < block ? m - i0 : block;
    for (int r = 0; r < rows; r++) {
      const int len = m - (i0 + r) - 1;
      a[r] = next;
      next += len;
      for (int j = 0; j < len; j++) a[r][j] = 0.0;
    }
    for (int k = 0; k < p; k++) {
      const double* row = Xt[k];
      for (int r = 0; r < rows; r++) {
        const int i = i0 + r;
        AddSquaredDifferences(m - i - 1, row[i], row + i + 1, a[r]);
      }
    }
    for (int r = 0; r < rows; r++) {
      const int len = m - (i0 + r) - 1;
      for (int j = 0; j < len; j++) a[r][j] = a[r][j] > 0.0 ? std::sqrt(a[r][j]) : 0.0;
    }
  }
}

static void AbsUpper(int m, double** R, double* upper) {
  int k = 0;
  for (int i = 0; i < m; i++)
    for (int j = i + 1; j < m; j++) {
      const double a = R[i][0], b = R[j][0];
      upper[k++] = IsMissing(a) || IsMissing(b) ? 0.0 : std::fabs(a - b);
    }
}

static void FullFromUpper(int m, const double* upper, double** D) {
  int k = 0;
  for (int i = 0; i < m; i++) {
    D[i][i] = 0.0;
    for (int j = i + 1; j < m; j++) D[i][j] = D[j][i] = upper[k++];
  }
}

// The resemblance of the rows of M (m x cols) into u, and into the full
// matrix D when full is set (D is scratch otherwise).
// Euclidean distances from the Gram matrix G = M M' (a dense product,
// the upper half):
// d_ij^2 = G_ii + G_jj - 2 G_ij, negative rounding taken as 0.  Identical
// rows give the same products and distance 0.  G (m x m) is scratch.
static void GramUpper(int m, int cols, double** M, double** G, double* upper) {
  DenseGram(m, cols, M, G);
  int k = 0;
  for (int i = 0; i < m; i++)
    for (int j = i + 1; j < m; j++) {
      const double d2 = G[i][i] + G[j][j] - 2.0 * G[i][j];
      upper[k++] = d2 > 0.0 ? std::sqrt(d2) : 0.0;
    }
}

static void Resemblance(const FcoreContext& ctx, int m, int cols, double** M, int code,
                        bool full, double** D, FcoreWorkspace& ws, UpperHalf& u) {
  const bool euclidean = code == 3 || code == 18;
  if (euclidean && !AnyMissingValue(m, cols, M)) {
    double** rows = M;
    if (code == 18) {
      NormalizeRowsMV(m, cols, M, ws.work);
      rows = ws.work;
    }
    if (ctx.gramDistances && cols >= 64)
      GramUpper(m, cols, rows, ws.Dk, u.raw);
    else
      EuclideanUpper(m, cols, rows, ws.Xt, u.raw);
    SetUpperFromRaw(u, m * (m - 1) / 2);
    if (full) FullFromUpper(m, u.raw, D);
    return;
  }
  FcoreCommunityResemblance(m, cols, M, D, code, ws.work);
  SetUpper(u, D);
}

static void EntropyResemblance(int m, double** R, bool full, double** D, UpperHalf& u) {
  AbsUpper(m, R, u.raw);
  SetUpperFromRaw(u, m * (m - 1) / 2);
  if (full) FullFromUpper(m, u.raw, D);
}

// The community resemblance matrices: their upper halves always, the full
// matrices for the analysis of variance and for the observed data (the
// site shuffle and the random-data file read them).
static void CommunityDistances(const FcoreContext& ctx, bool full, FcoreWorkspace& ws) {
  const FcoreInput& in = ctx.in;
  const int m = in.m;
  Resemblance(ctx, m, in.p, ws.T, 3, full, ws.DT, ws, ws.uT);
  Resemblance(ctx, m, in.g, ws.X, ctx.reseCode, full, ws.DX, ws, ws.uX);
  EntropyResemblance(m, ws.R, full, ws.DR, ws.uR);
  if (ctx.phyl) {
    Resemblance(ctx, m, in.h, ws.P, ctx.reseCode, full, ws.DP, ws, ws.uP);
    EntropyResemblance(m, ws.Rp, full, ws.DRp, ws.uRp);
  }
}

// OTU i of the permuted data is OTU list[i] - 1 of the observed data; the
// products read the permuted OTUs through the observed rows by moving the
// performances instead: community c's performance of OTU i goes to the
// column of OTU list[i] - 1.
static void ScatterColumns(int rows, int n, double** from, const int* list, double** to) {
  for (int c = 0; c < rows; c++) {
    const double* src = from[c];
    double* dst = to[c];
    if (list == nullptr) {
      memcpy(dst, src, sizeof(double) * n);
    } else {
      for (int i = 0; i < n; i++) dst[list[i] - 1] = src[i];
    }
  }
}

static void PermuteRows(int rows, int cols, double** from, const int* list, double** to) {
  for (int i = 0; i < rows; i++)
    memcpy(to[i], from[list != nullptr ? list[i] - 1 : i], sizeof(double) * cols);
}

static void PermuteSquare(int n, double** from, const int* list, double** to) {
  for (int i = 0; i < n; i++) {
    const double* row = from[list != nullptr ? list[i] - 1 : i];
    for (int j = 0; j < n; j++) to[i][j] = row[list != nullptr ? list[j] - 1 : j];
  }
}

static void Entropies(const FcoreContext& ctx, const int* list, FcoreWorkspace& ws) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n;
  const bool fast = ctx.fastRao && (!ctx.phyl || ctx.fastRaoPhyl);
  if (fast && ctx.sparseRao) {
    // Over the pairs of OTUs present in each community.
    double* q0 = ws.quadratic.data();
    double* q1 = q0 + ctx.raoRows * m;
    SparseQuadraticForms(ctx.raoRowsSparse, ctx.raoColumns, list, ctx.raoD, ctx.raoDp, n,
                         ws.quadraticScratch, q0, q1);
    for (int c = 0; c < m; c++) {
      double r = q0[c], rp = ctx.phyl ? q1[c] : 0.0;
      if (ctx.raoRows == 2) {
        r -= q0[m + c];
        if (ctx.phyl) rp -= q1[m + c];
      }
      if (ctx.raoNone[c]) r = rp = 0.0;
      ws.R[c][0] = r / ctx.raoScale[c];
      ws.Rp[c][0] = rp / ctx.raoScale[c];
    }
    return;
  }
  if (fast) {
    const int rows = ctx.raoRows * m;
    ScatterColumns(rows, n, ctx.raoV, list, ws.Vs);
    DenseProd(false, false, rows, n, n, 1.0, ws.Vs, ctx.raoD, 0.0, ws.H);
    if (ctx.phyl) DenseProd(false, false, rows, n, n, 1.0, ws.Vs, ctx.raoDp, 0.0, ws.Hp);
    for (int c = 0; c < m; c++) {
      double r = 0.0, rp = 0.0;
      for (int a = 0; a < n; a++) {
        r += ws.H[c][a] * ws.Vs[c][a];
        if (ctx.phyl) rp += ws.Hp[c][a] * ws.Vs[c][a];
      }
      if (ctx.raoRows == 2)
        for (int a = 0; a < n; a++) {
          r -= ws.H[m + c][a] * ws.Vs[m + c][a];
          if (ctx.phyl) rp -= ws.Hp[m + c][a] * ws.Vs[m + c][a];
        }
      if (ctx.raoNone[c]) r = rp = 0.0;
      ws.R[c][0] = r / ctx.raoScale[c];
      ws.Rp[c][0] = rp / ctx.raoScale[c];
    }
    return;
  }
  // Pairwise loop on permuted copies.
  PermuteSquare(n, ctx.S, list, ws.Srnd);
  for (int c = 0; c < m; c++)
    ws.R[c][0] = RaoIndex_Weight(n, in.W[c], ws.Srnd, false, in.sqrtRaoTraits, in.weightOTUs,
                                 in.restrictRaoWithin, in.scaleAdjust);
  if (ctx.phyl) {
    PermuteSquare(n, ctx.F, list, ws.Frnd);
    for (int c = 0; c < m; c++)
      ws.Rp[c][0] =
          RaoIndex_Weight(n, in.W[c], ws.Frnd, in.phylIsDissimilarity, in.sqrtRaoPhyl,
                          in.weightOTUs, in.restrictRaoWithin, in.scaleAdjust);
  }
}

// Y (m x cols) = the permuted weighted performances times M (n x cols): a
// sum over each community's present OTUs, or the dense product of Ws (the
// performances with their columns permuted, formed by the caller).
static void Product(const FcoreContext& ctx, FcoreWorkspace& ws, double** M, int cols,
                    double** Y) {
  if (cols <= 0) return;
  if (ctx.sparseXP)
    SparseRowsTimes(ctx.wpSparse, ws.rowOf, M, 0, cols, Y, 0);
  else
    DenseProd(false, false, ctx.in.m, cols, ctx.in.n, 1.0, ws.Ws, M, 0.0, Y);
}

void FcoreStructures(const FcoreContext& ctx, const int* list, FcoreWorkspace& ws) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n, p = in.p, g = in.g, h = in.h;
  ws.otuList = list;
  // T, X and P: the permuted weighted performances times B, U and Q, then
  // the scale adjustment of each community.  Missing values follow the
  // rules of the weighted products.
  if (ctx.fastT || ctx.fastXP) {
    if (ctx.sparseXP)
      SparseRowsMapRows(ctx.wpSparse, list, ws.rowOf);
    else
      ScatterColumns(m, n, ctx.Wp, list, ws.Ws);
  }
  auto adjust = [&](double** Y, int cols) {
    for (int c = 0; c < m; c++) {
      const double d = ctx.divisor[c];
      if (d != 1.0)
        for (int k = 0; k < cols; k++) Y[c][k] /= d;
    }
  };
  if (ctx.fastT) {
    Product(ctx, ws, ctx.Bsel, p, ws.T);
    adjust(ws.T, p);
  } else {
    PermuteRows(n, p, in.B, list, ws.Brnd);
    MatrixProdSelectMV_Adjust_Weight(m, n, n, p, in.W, ws.Brnd, ws.T, in.traitSelect,
                                     in.weightOTUs, in.scaleAdjust);
  }
  if (ctx.fastXP) {
    Product(ctx, ws, ctx.U, g, ws.X);
    adjust(ws.X, g);
    if (ctx.phyl) {
      Product(ctx, ws, ctx.Q, h, ws.P);
      adjust(ws.P, h);
    }
  } else {
    PermuteRows(n, g, in.U, list, ws.Urnd);
    MatrixProdMV_Weight(m, n, n, g, in.W, ws.Urnd, ws.X, in.weightOTUs, in.scaleAdjust);
    if (ctx.phyl) {
      PermuteRows(n, h, in.Q, list, ws.Qrnd);
      MatrixProdMV_Weight(m, n, n, h, in.W, ws.Qrnd, ws.P, in.weightOTUs, in.scaleAdjust);
    }
  }
  NormalizeCols(m, p, ws.T, ws.T);
  Entropies(ctx, list, ws);
  if (ctx.distances) CommunityDistances(ctx, list == nullptr || in.optRo == 5, ws);
  // The column-normalised B of this permutation (Procrustes and RV ro(BF)).
  if (ctx.phyl && in.optRo >= 2 && in.optRo <= 3) PermuteRows(n, p, ctx.Bn, list, ws.BnRnd);
}

static void GatherSquare(int m, double** from, const int* list, double** to) {
  for (int c = 0; c < m; c++) {
    const double* row = from[list[c] - 1];
    for (int d = 0; d < m; d++) to[c][d] = row[list[d] - 1];
  }
}

void FcoreSiteShuffle(const FcoreContext& ctx, const FcoreWorkspace& obs, const int* list,
                      FcoreWorkspace& ws) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, n = in.n;
  PermuteRows(m, in.p, obs.T, list, ws.T);
  PermuteRows(m, in.g, obs.X, list, ws.X);
  PermuteRows(m, 1, obs.R, list, ws.R);
  if (ctx.phyl) {
    PermuteRows(m, in.h, obs.P, list, ws.P);
    PermuteRows(m, 1, obs.Rp, list, ws.Rp);
  }
  if (ctx.distances) {
    // The resemblance of two permuted rows is that of the rows themselves.
    const bool full = in.optRo == 5;
    auto gather = [&](double** from, double** to, UpperHalf& u) {
      if (full) {
        GatherSquare(m, from, list, to);
        SetUpper(u, to);
        return;
      }
      int k = 0;
      for (int c = 0; c < m; c++) {
        const double* row = from[list[c] - 1];
        for (int d = c + 1; d < m; d++) u.raw[k++] = row[list[d] - 1];
      }
      SetUpperFromRaw(u, k);
    };
    gather(obs.DT, ws.DT, ws.uT);
    gather(obs.DX, ws.DX, ws.uX);
    gather(obs.DR, ws.DR, ws.uR);
    if (ctx.phyl) {
      gather(obs.DP, ws.DP, ws.uP);
      gather(obs.DRp, ws.DRp, ws.uRp);
    }
  }
  // OTU-level matrices stay in place.
  ws.otuList = nullptr;
  if (ctx.phyl && in.optRo >= 2 && in.optRo <= 3) PermuteRows(n, in.p, ctx.Bn, nullptr, ws.BnRnd);
}

// ---- statistics -------------------------------------------------------------------

void FcoreStatisticKinds(const FcoreContext& ctx, bool haveY1, bool haveY2, int* tested,
                         int* absolute) {
  const FcoreInput& in = ctx.in;
  for (int k = 0; k < ctx.total; k++) {
    tested[k] = 0;
    absolute[k] = in.twoTailed ? 1 : 0;
  }
  for (int k : {kStatXE_T, kStatXE_TR, kStatXY_T, kStatXY_T2, kStatPX_T, kStatTE_P, kStatXE_P,
                kStatXE_TP, kStatPE_T, kStatPE_X})
    absolute[k] = 1;
  const int p = in.p, q = in.q;
  if (in.optRo == 4 && ctx.env) {
    // r-squares compare signed values, coefficients absolute values.
    for (int r = 0; r < p + 2; r++) {
      const bool used = r < p ? in.traitSelect[r] == 1 : (r == p || ctx.phyl);
      for (int f = 0; f <= q; f++) {
        tested[ctx.regBase + r * (1 + q) + f] = used ? 1 : 0;
        absolute[ctx.regBase + r * (1 + q) + f] = f > 0 ? 1 : 0;
      }
    }
  }
  if (in.optRo == 5 && ctx.env) {
    // Pseudo-F values compare signed values.
    for (int k = ctx.anovaBase; k < ctx.total; k++) {
      const int rel = k - ctx.anovaBase;
      int used = 1;
      if (rel >= q && rel < q + p * q) used = in.traitSelect[(rel - q) / q] == 1;
      const int block = rel < q ? 0 : rel < q + p * q ? 1 : 2 + (rel - q - p * q) / q;
      if ((block == 3 || block == 5) && !ctx.phyl) used = 0;  // P and Rp
      tested[k] = used;
      absolute[k] = 0;
    }
  }
  if (in.optRo < 1 || in.optRo > 3) return;
  if (ctx.env)
    for (int k : {kStatXE, kStatTE, kStatXE_T, kStatRE, kStatXE_TR}) tested[k] = 1;
  if (haveY1)
    for (int k : {kStatTY, kStatXY, kStatXY_T}) tested[k] = 1;
  if (haveY2)
    for (int k : {kStatTY2, kStatXY2, kStatXY_T2}) tested[k] = 1;
  if (ctx.phyl) {
    for (int k : {kStatPT, kStatPX, kStatPX_T}) tested[k] = 1;
    if (in.optRo == 1 || (in.phylScores != nullptr && in.nPhylAxes > 0)) tested[kStatBF] = 1;
    if (ctx.env)
      for (int k : {kStatPE, kStatTE_P, kStatXE_P, kStatXE_TP, kStatPE_T, kStatPE_X, kStatFE})
        tested[k] = 1;
  }
}

namespace {

// A covariate of a partial Procrustes or RV coefficient.
struct Block {
  int cols;
  const int* select;
  double** M;
};

double Coef(const FcoreContext& ctx, int rows, const Block& a, const Block& b) {
  if (ctx.in.optRo == 2) return ProcrustesCoeff(rows, a.cols, b.cols, a.M, b.M);
  return RVcoeff(rows, a.cols, b.cols, a.M, b.M);
}

// The statistics of the Mantel measure.  q holds the structures of this
// iteration, o the observed ones (the same for the observed iteration).  T,
// X and R take part as permuted; the correlations that test P against E, T
// or X (ro(PE), ro(PT), ro(PE.T), ro(PE.X)) keep T and X observed; ro(PX)
// and ro(PX.T) take X, T and P permuted together (U and Q under the same
// permutation); the correlations that remove P (ro(TE.P), ro(XE.P),
// ro(XE.TP)) keep P observed.
void MantelStatistics(const FcoreContext& ctx, const FcoreWorkspace& o, FcoreWorkspace& q,
                      const int* tested, double* st) {
  const UpperHalf& DE = ctx.de;
  const double rXT = Mantel(q.uX, q.uT);
  q.rXT = rXT;
  double rTE = 0, rXE = 0;
  if (ctx.env) {
    rTE = Mantel(q.uT, DE);
    rXE = Mantel(q.uX, DE);
    st[kStatTE] = rTE;
    st[kStatXE] = rXE;
    st[kStatXE_T] = PartialCorrelation(rXE, rXT, rTE);
    const double rRE = Mantel(q.uR, DE);
    const double rXR = Mantel(q.uX, q.uR);
    const double rTR = Mantel(q.uT, q.uR);
    st[kStatRE] = rRE;
    const double xeR = PartialCorrelation(rXE, rXR, rRE);
    const double teR = PartialCorrelation(rTE, rTR, rRE);
    const double xtR = PartialCorrelation(rXT, rXR, rTR);
    st[kStatXE_TR] = PartialCorrelation(xeR, xtR, teR);
  }
  if (tested[kStatTY]) {
    st[kStatTY] = Mantel(q.uT, ctx.dy1);
    st[kStatXY] = Mantel(q.uX, ctx.dy1);
    st[kStatXY_T] = PartialCorrelation(st[kStatXY], rXT, st[kStatTY]);
  }
  if (tested[kStatTY2]) {
    st[kStatTY2] = Mantel(q.uT, ctx.dy2);
    st[kStatXY2] = Mantel(q.uX, ctx.dy2);
    st[kStatXY_T2] = PartialCorrelation(st[kStatXY2], rXT, st[kStatTY2]);
  }
  if (!ctx.phyl) return;
  const int n = ctx.in.n;
  const double bf = n < 2 ? 0.0 : PermutedPairsCorr(n, ctx.S, q.otuList, ctx.F);
  st[kStatBF] = ctx.in.phylIsDissimilarity ? -bf : bf;
  st[kStatPT] = Mantel(q.uP, o.uT);
  st[kStatPX] = Mantel(q.uP, q.uX);
  st[kStatPX_T] = PartialCorrelation(st[kStatPX], Mantel(q.uP, q.uT), rXT);
  if (!ctx.env) return;
  const double rPE = Mantel(q.uP, DE);
  st[kStatPE] = rPE;
  st[kStatFE] = Mantel(q.uRp, DE);
  // P permuted, T and X observed.
  st[kStatPE_T] = PartialCorrelation(rPE, st[kStatPT], Mantel(o.uT, DE));
  st[kStatPE_X] = PartialCorrelation(rPE, Mantel(q.uP, o.uX), Mantel(o.uX, DE));
  // T and X permuted, P observed.
  const double rEPobs = Mantel(o.uP, DE);
  const double rTP = Mantel(q.uT, o.uP);
  const double rXP = Mantel(q.uX, o.uP);
  const double teP = PartialCorrelation(rTE, rTP, rEPobs);
  const double xeP = PartialCorrelation(rXE, rXP, rEPobs);
  const double xtP = PartialCorrelation(rXT, rXP, rTP);
  st[kStatTE_P] = teP;
  st[kStatXE_P] = xeP;
  st[kStatXE_TP] = PartialCorrelation(xeP, xtP, teP);
}

// Procrustes or RV between the community-by-variable matrices themselves,
// with the same roles of the observed and permuted structures.  A partial
// coefficient is the coefficient of the residuals of both matrices on the
// principal components of the covariates; the components of T, of T with R
// and of T with the observed P are formed once per iteration, those of the
// observed T, X and P (and E's residuals on them) once per run.
void MatrixStatistics(const FcoreContext& ctx, const FcoreWorkspace& o, FcoreWorkspace& q,
                      const int* tested, double* st) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, method = in.optRo;
  const Block T{in.p, in.traitSelect, q.T}, X{in.g, nullptr, q.X}, R{1, nullptr, q.R};
  const Block E{in.q, nullptr, in.E};
  const double rXT = Coef(ctx, m, X, T);
  q.rXT = rXT;

  // Covariates gathered column by column (selected columns only).
  auto build = [&](CovariateBasis& b, std::initializer_list<const Block*> blocks) {
    int cols = 0;
    for (const Block* z : blocks)
      for (int j = 0; j < z->cols; j++) {
        if (z->select != nullptr && z->select[j] != 1) continue;
        for (int i = 0; i < m; i++) q.Z[i][cols] = z->M[i][j];
        cols++;
      }
    CovariateBasisBuild(m, cols, q.Z, in.overfitFactor, b);
  };
  // Without any covariate column there is nothing to remove: the
  // coefficient of the two matrices themselves.
  auto partial = [&](const CovariateBasis& b, const Block& a, const Block& c) {
    if (b.q == 0) return Coef(ctx, m, a, c);
    return PartialCoefficient(b, a.cols, c.cols, a.M, c.M, method);
  };
  // A partial coefficient on fixed components, E's residuals given.
  auto partialFixed = [&](const CovariateBasis& b, double** Eres, const Block& a) {
    if (b.q == 0) return Coef(ctx, m, a, E);
    CovariateResiduals(b, a.cols, a.M, q.RA);
    const Block ra{a.cols, nullptr, q.RA}, re{in.q, nullptr, Eres};
    return Coef(ctx, m, ra, re);
  };

  CovariateBasis bT, bTR, bTP;
  bool haveT = false;
  auto needT = [&] {
    if (!haveT) build(bT, {&T});
    haveT = true;
  };
  if (ctx.env) {
    st[kStatTE] = Coef(ctx, m, T, E);
    st[kStatXE] = Coef(ctx, m, X, E);
    needT();
    st[kStatXE_T] = partial(bT, X, E);
    st[kStatRE] = Coef(ctx, m, R, E);
    build(bTR, {&T, &R});
    st[kStatXE_TR] = partial(bTR, X, E);
  }
  if (tested[kStatTY]) {
    const Block Y{in.n, nullptr, in.Y1};
    st[kStatTY] = Coef(ctx, m, T, Y);
    st[kStatXY] = Coef(ctx, m, X, Y);
    needT();
    st[kStatXY_T] = partial(bT, X, Y);
  }
  if (tested[kStatTY2]) {
    const Block Y{in.n, nullptr, in.Y2};
    st[kStatTY2] = Coef(ctx, m, T, Y);
    st[kStatXY2] = Coef(ctx, m, X, Y);
    needT();
    st[kStatXY_T2] = partial(bT, X, Y);
  }
  if (ctx.phyl) {
    const Block P{in.h, nullptr, q.P}, Rp{1, nullptr, q.Rp};
    const Block Tobs{in.p, in.traitSelect, o.T}, Pobs{in.h, nullptr, o.P};
    if (tested[kStatBF]) {
      const Block Bn{in.p, nullptr, q.BnRnd}, scores{in.nPhylAxes, nullptr, in.phylScores};
      st[kStatBF] = Coef(ctx, in.n, Bn, scores);
    }
    st[kStatPT] = Coef(ctx, m, Tobs, P);
    st[kStatPX] = Coef(ctx, m, X, P);
    needT();
    st[kStatPX_T] = partial(bT, X, P);
    if (ctx.env) {
      st[kStatPE] = Coef(ctx, m, E, P);
      // The observed components: from the run, or formed here for the
      // observed iteration itself.
      CovariateBasis localT, localX, localP;
      const Block Xobs{in.g, nullptr, o.X};
      if (!ctx.observedSet) {
        build(localT, {&Tobs});
        build(localX, {&Xobs});
        build(localP, {&Pobs});
      }
      const CovariateBasis& fT = ctx.observedSet ? ctx.baseT : localT;
      const CovariateBasis& fX = ctx.observedSet ? ctx.baseX : localX;
      const CovariateBasis& fP = ctx.observedSet ? ctx.baseP : localP;
      auto eres = [&](const CovariateBasis& b, double** given) {
        if (given != nullptr || b.q == 0) return given;
        CovariateResiduals(b, in.q, in.E, q.RB);
        return q.RB;
      };
      st[kStatPE_T] = partialFixed(fT, eres(fT, ctx.EresT), P);
      st[kStatPE_X] = partialFixed(fX, eres(fX, ctx.EresX), P);
      double** eP = eres(fP, ctx.EresP);
      st[kStatTE_P] = partialFixed(fP, eP, T);
      st[kStatXE_P] = partialFixed(fP, eP, X);
      build(bTP, {&T, &Pobs});
      st[kStatXE_TP] = partial(bTP, X, E);
      st[kStatFE] = Coef(ctx, m, Rp, E);
      CovariateBasisFree(localT);
      CovariateBasisFree(localX);
      CovariateBasisFree(localP);
    }
  }
  CovariateBasisFree(bT);
  CovariateBasisFree(bTR);
  CovariateBasisFree(bTP);
}

// Regression of each selected trait (a column of T), of R and of Rp on the
// selected environmental variables: r-square and coefficients.
void RegressionStatistics(const FcoreContext& ctx, FcoreWorkspace& s, double* vals,
                          double* intercept) {
  const FcoreInput& in = ctx.in;
  const int m = in.m, q = in.q;
  int nResp = 0;
  for (int k = 0; k < in.p; k++)
    if (in.traitSelect[k] == 1) {
      for (int c = 0; c < m; c++) s.regY[c][nResp] = s.T[c][k];
      s.regResponse[nResp++] = k;
    }
  for (int c = 0; c < m; c++) s.regY[c][nResp] = s.R[c][0];
  s.regResponse[nResp++] = in.p;
  if (ctx.phyl) {
    for (int c = 0; c < m; c++) s.regY[c][nResp] = s.Rp[c][0];
    s.regResponse[nResp++] = in.p + 1;
  }
  // The regression centres its predictors in place: it gets a fresh copy.
  for (int c = 0; c < m; c++) memcpy(s.regE[c], in.E[c], sizeof(double) * q);
  regression(m, nResp, q, s.regY, s.regE, s.regB, s.regB0, s.regYhat, s.regR2, s.regSS, false,
             nullptr, 0, false);
  for (int j = 0; j < nResp; j++) {
    const int r = s.regResponse[j];
    double* block = vals + ctx.regBase + r * (1 + q);
    // A constant response leaves nothing to explain: r-square 0.
    block[0] = s.regSS[j] > 0.0 ? s.regR2[j] : 0.0;
    for (int f = 0; f < q; f++) block[1 + f] = s.regB[f][j];
    if (intercept) intercept[r] = s.regB0[j];
  }
}

// Pseudo-F of the between-groups against the within-groups sum of squares.
// Without within-group variation the ratio has no finite value: it is
// +infinity when the groups differ (complete separation; a random value
// counts only when it too is infinite) and 0 when there is no variation at
// all.
double PseudoF(double between, double total) {
  const double within = total - between;
  if (within > 0.0) return between / within;
  return between > 0.0 ? HUGE_VAL : 0.0;
}

double FactorF(const FcoreContext& ctx, double** D, int f) {
  double between = 0.0, total = 0.0;
  BetweenGrSqDissim(ctx.in.m, D, ctx.groups[f], &between, &total, ctx.included[f], false);
  return PseudoF(between, total);
}

void AnovaStatistics(const FcoreContext& ctx, FcoreWorkspace& s, double* vals) {
  const FcoreInput& in = ctx.in;
  const int q = in.q;
  double* v = vals + ctx.anovaBase;
  for (int f = 0; f < q; f++) v[f] = FactorF(ctx, s.DT, f);
  v += q;
  for (int k = 0; k < in.p; k++) {
    if (in.traitSelect[k] == 1) {
      EucliDistMVSelectOne(in.m, in.p, s.T, s.Dk, k + 1);
      for (int f = 0; f < q; f++) v[k * q + f] = FactorF(ctx, s.Dk, f);
    }
  }
  v += in.p * q;
  for (int f = 0; f < q; f++) v[f] = FactorF(ctx, s.DX, f);
  v += q;
  if (ctx.phyl)
    for (int f = 0; f < q; f++) v[f] = FactorF(ctx, s.DP, f);
  v += q;
  for (int f = 0; f < q; f++) v[f] = FactorF(ctx, s.DR, f);
  v += q;
  if (ctx.phyl)
    for (int f = 0; f < q; f++) v[f] = FactorF(ctx, s.DRp, f);
}

}  // namespace

void FcoreStatistics(const FcoreContext& ctx, const FcoreWorkspace& obs, FcoreWorkspace& ws,
                     const int* tested, double* vals, double* intercept) {
  for (int k = 0; k < ctx.total; k++) vals[k] = 0.0;
  ws.rXT = 0.0;
  const int opt = ctx.in.optRo;
  if (opt == 1) MantelStatistics(ctx, obs, ws, tested, vals);
  if (opt == 2 || opt == 3) MatrixStatistics(ctx, obs, ws, tested, vals);
  if (opt == 4 && ctx.env) RegressionStatistics(ctx, ws, vals, intercept);
  if (opt == 5 && ctx.env) AnovaStatistics(ctx, ws, vals);
}
