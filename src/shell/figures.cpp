#include "shell/figures.h"

#include <cstdio>

#include "shell/console.h"

#ifdef QUILTA_HAVE_PLPLOT

#include <plplot.h>

#include <algorithm>
#include <cmath>

#include "shell/safefile.h"

namespace {

// Colour map 0 entries shared by every figure.
enum Colour { kWhite = 0, kInk = 1, kBar = 2, kTail = 3, kMark = 4, kGrid = 5 };

bool gPlotFailed = false;

// PLplot's fatal errors come here instead of ending the process: the figure
// is given up, the run goes on.
int OnPlotError(PLCHAR_VECTOR message) {
  gPlotFailed = true;
  fprintf(stderr, "\nfigure not drawn: %s\n", message);
  return 0;
}

// Text handed to PLplot: '#' starts its escape sequences and is doubled.
std::string Plain(const std::string& s) {
  std::string out;
  for (char c : s) {
    out += c;
    if (c == '#') out += '#';
  }
  return out;
}

// One figure under construction: begun on a temporary file next to path,
// installed by Finish.
struct Figure {
  std::string path, temp;
  bool open = false;

  Figure(const char* name, int width, int height) : path(name) {
    temp = SafeTempPath(name);
    if (temp.empty()) {
      Report();
      return;
    }
    gPlotFailed = false;
    plsexit(OnPlotError);
    plsdev("svg");
    plsfnam(temp.c_str());
    plspage(0, 0, width, height, 0, 0);
    plscol0(kWhite, 255, 255, 255);
    plscol0(kInk, 0, 0, 0);
    plscol0(kBar, 158, 202, 225);
    plscol0(kTail, 203, 90, 60);
    plscol0(kMark, 8, 48, 107);
    plscol0(kGrid, 150, 150, 150);
    plinit();
    if (gPlotFailed) {
      Abandon();
      return;
    }
    open = true;
    pladv(0);
    plschr(0.0, 1.15);
    plwidth(1.0);
  }
  Figure(const Figure&) = delete;
  Figure& operator=(const Figure&) = delete;
  ~Figure() {
    if (open) Finish();
  }

  void Report() const {
    ClearLine();
    fprintf(stderr, "\ncan't write the figure %s\n", path.c_str());
  }
  void Abandon() {
    plend();
    SafeDiscardTemp(temp);
    Report();
    open = false;
  }
  void Finish() {
    open = false;
    plend();
    bool ok = false;
    if (gPlotFailed)
      SafeDiscardTemp(temp);
    else
      ok = SafeInstallTemp(temp, path.c_str());
    if (!ok) Report();
  }
};

void Titles(const std::string& title, const std::string& subtitle, const std::string& x,
            const std::string& y, double yDisp) {
  plcol0(kInk);
  plschr(0.0, 1.3);
  plmtex("t", subtitle.empty() ? 1.6 : subtitle.size() > 90 ? 3.9 : 3.4, 0.5, 0.5,
         Plain(title).c_str());
  plschr(0.0, 0.95);
  if (subtitle.size() > 90) {
    // Two lines, broken at the blank nearest the middle.
    size_t cut = subtitle.rfind(' ', subtitle.size() / 2);
    if (cut == std::string::npos) cut = subtitle.find(' ');
    if (cut == std::string::npos) cut = subtitle.size();
    plmtex("t", 2.4, 0.5, 0.5, Plain(subtitle.substr(0, cut)).c_str());
    if (cut < subtitle.size()) plmtex("t", 1.0, 0.5, 0.5, Plain(subtitle.substr(cut + 1)).c_str());
  } else if (!subtitle.empty()) {
    plmtex("t", 1.4, 0.5, 0.5, Plain(subtitle).c_str());
  }
  plschr(0.0, 1.15);
  plmtex("b", 3.2, 0.5, 0.5, Plain(x).c_str());
  if (!y.empty()) plmtex("l", yDisp, 0.5, 0.5, Plain(y).c_str());
}

void Box(double x0, double x1, double y0, double y1, int colour) {
  const PLFLT x[4] = {x0, x0, x1, x1}, y[4] = {y0, y1, y1, y0};
  plcol0(colour);
  plfill(4, x, y);
}

void Segment(double x0, double y0, double x1, double y1, int colour, double width, int style) {
  const PLFLT x[2] = {x0, x1}, y[2] = {y0, y1};
  plcol0(colour);
  plwidth(width);
  pllsty(style);
  plline(2, x, y);
  plwidth(1.0);
  pllsty(1);
}

// The height and width of a character in millimetres and of the viewport.
void Metrics(double& charMm, double& vpWidthMm, double& vpHeightMm) {
  PLFLT def, ht;
  plgchr(&def, &ht);
  PLFLT xmin, xmax, ymin, ymax;
  plgspa(&xmin, &xmax, &ymin, &ymax);
  PLFLT vx0, vx1, vy0, vy1;
  plgvpd(&vx0, &vx1, &vy0, &vy1);
  charMm = ht;
  vpWidthMm = (xmax - xmin) * (vx1 - vx0);
  vpHeightMm = (ymax - ymin) * (vy1 - vy0);
}

}  // namespace

bool FiguresAvailable() { return true; }

void FigureNullHistogram(const char* path, const NullHistogram& h, double observed,
                         bool twoTailed, const std::string& title,
                         const std::string& subtitle, const std::string& xTitle) {
  Figure fig(path, 800, 560);
  if (!fig.open) return;
  const int bins = static_cast<int>(h.counts.size());
  double x0 = h.lo, x1 = h.lo + bins * h.width;
  if (twoTailed) {
    x0 = std::min(x0, -std::fabs(observed));
    x1 = std::max(x1, std::fabs(observed));
  }
  const double pad = 0.03 * (x1 - x0);
  int top = 1;
  for (int c : h.counts) top = std::max(top, c);
  plvpor(0.12, 0.96, 0.13, 0.84);
  plwind(x0 - pad, x1 + pad, 0.0, top * 1.08);
  for (int k = 0; k < bins; k++) {
    if (h.counts[k] == 0) continue;
    const double a = h.lo + k * h.width, b = a + h.width;
    Box(a, b, 0.0, h.counts[k], kBar);
    if (h.extreme[k] > 0) Box(a, b, 0.0, h.extreme[k], kTail);
  }
  Segment(observed, 0.0, observed, top * 1.08, kMark, 2.5, 1);
  if (twoTailed && observed != 0.0) Segment(-observed, 0.0, -observed, top * 1.08, kMark, 1.5, 2);
  plcol0(kInk);
  plbox("bcnst", 0.0, 0, "bcnstv", 0.0, 0);
  Titles(title, subtitle, xTitle, "Frequency", 4.2);
  fig.Finish();
}

void FigureRankingCurve(const char* path, const std::vector<int>& sizes,
                        const std::vector<double>& values,
                        const std::vector<std::string>& labels, const std::string& title,
                        const std::string& subtitle, const std::string& yTitle) {
  Figure fig(path, 800, 680);
  if (!fig.open) return;
  const size_t n = sizes.size();
  if (n == 0) {
    fig.Finish();
    return;
  }
  double lo = values[0], hi = values[0];
  size_t longest = 0;
  for (size_t i = 0; i < n; i++) {
    lo = std::min(lo, values[i]);
    hi = std::max(hi, values[i]);
    longest = std::max(longest, labels[i].size());
  }
  if (!(hi > lo)) {
    lo -= 0.5;
    hi += 0.5;
  }
  plvpor(0.12, 0.96, 0.13, 0.88);
  // Room above the highest point for the longest label, written upwards.
  double charMm, wMm, hMm;
  plschr(0.0, 1.0);
  Metrics(charMm, wMm, hMm);
  // The labels' size: 0.85 of the text's, smaller (down to 0.5) when the
  // longest label would take more than 60 % of the height.
  const double ems = 0.6 * longest + 2.5;  // a character is about 0.6 of its height wide
  const double labelScale = std::clamp(0.6 * hMm / (ems * charMm), 0.5, 0.85);
  charMm *= labelScale;
  const double need = std::min(0.75, ems * charMm / hMm);
  const double span = (hi - lo) / (1.0 - need - 0.05);
  const double y0 = lo - 0.05 * span, y1 = y0 + span;
  const double xa = sizes.front() - 0.6, xb = sizes.back() + 0.6;
  plwind(xa, xb, y0, y1);
  std::vector<PLFLT> x(n), y(n);
  for (size_t i = 0; i < n; i++) {
    x[i] = sizes[i];
    y[i] = values[i];
  }
  plcol0(kBar);
  plwidth(2.0);
  plline(static_cast<PLINT>(n), x.data(), y.data());
  plwidth(1.0);
  plcol0(kMark);
  plschr(0.0, 1.2);
  plstring(static_cast<PLINT>(n), x.data(), y.data(), "#(728)");
  plcol0(kInk);
  plschr(0.0, labelScale);
  const double lift = 1.2 * charMm / hMm * span;
  for (size_t i = 0; i < n; i++)
    plptex(x[i], y[i] + lift, 0.0, 1.0, 0.0, Plain(labels[i]).c_str());
  plschr(0.0, 1.15);
  plbox("bcnst", 1.0, 0, "bcnstv", 0.0, 0);
  Titles(title, subtitle, "Number of traits in the subset", yTitle, 4.6);
  fig.Finish();
}

void FigureRejectionRates(const char* path, const std::vector<RateRow>& rows, double alpha,
                          const std::string& title, const std::string& xTitle) {
  const int n = static_cast<int>(rows.size());
  const int height = std::max(320, 140 + 26 * n);
  Figure fig(path, 800, height);
  if (!fig.open) return;
  size_t longest = 4;
  double right = alpha;
  for (const RateRow& r : rows) {
    longest = std::max(longest, r.name.size());
    right = std::max(right, r.hi);
  }
  right = std::min(1.04, right * 1.15 + 0.01);
  // The left margin holds the names of the tests.
  const double left = std::min(0.55, 0.04 + 0.0105 * longest);
  plvpor(left, 0.96, 80.0 / height, 1.0 - 55.0 / height);
  plwind(0.0, right, 0.4, n + 0.6);
  Segment(alpha, 0.4, alpha, n + 0.6, kMark, 1.5, 2);
  for (int i = 0; i < n; i++) {
    const double y = n - i;
    Segment(rows[i].lo, y, rows[i].hi, y, kInk, 1.5, 1);
    Segment(rows[i].lo, y - 0.15, rows[i].lo, y + 0.15, kInk, 1.5, 1);
    Segment(rows[i].hi, y - 0.15, rows[i].hi, y + 0.15, kInk, 1.5, 1);
    const PLFLT px[1] = {rows[i].rate}, py[1] = {y};
    plcol0(kTail);
    plstring(1, px, py, "#(728)");
    plcol0(kInk);
    plschr(0.0, 1.0);
    plmtex("lv", 1.0, (y - 0.4) / (n + 0.2), 1.0, Plain(rows[i].name).c_str());
    plschr(0.0, 1.15);
  }
  plcol0(kInk);
  plbox("bcnst", 0.0, 0, "bc", 0.0, 0);
  Titles(title, "", xTitle, "", 0.0);
  fig.Finish();
}

#else  // no plotting library in this build

namespace {
void SayWhy() {
  static bool said = false;
  if (said) return;
  said = true;
  ClearLine();
  fprintf(stderr, "\nfigures not written: this build has no plotting library (PLplot)\n");
}
}  // namespace

bool FiguresAvailable() {
  SayWhy();
  return false;
}
void FigureNullHistogram(const char*, const NullHistogram&, double, bool, const std::string&,
                         const std::string&, const std::string&) {
  SayWhy();
}
void FigureRankingCurve(const char*, const std::vector<int>&, const std::vector<double>&,
                        const std::vector<std::string>&, const std::string&,
                        const std::string&, const std::string&) {
  SayWhy();
}
void FigureRejectionRates(const char*, const std::vector<RateRow>&, double, const std::string&,
                          const std::string&) {
  SayWhy();
}

#endif
