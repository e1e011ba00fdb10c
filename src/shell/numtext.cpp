#include "shell/numtext.h"

#include <charconv>
#include <cmath>
#include <cstdio>

// printf itself, for what the fast path leaves out.
static int AppendPrintf(std::string& out, double x, int width, int precision) {
  const int n = snprintf(nullptr, 0, "%*.*g", width, precision, x);
  if (n <= 0) return 0;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(n) + 1);
  snprintf(&out[at], static_cast<size_t>(n) + 1, "%*.*g", width, precision, x);
  out.resize(at + static_cast<size_t>(n));
  return n;
}

int AppendG(std::string& out, double x, int precision) {
  // Infinities, NaN and unusual precisions go to the C library.
  if (!std::isfinite(x) || precision < 1 || precision > 40) return AppendPrintf(out, x, 0, precision);
  // std::to_chars in the general format with a precision gives the
  // characters of printf's %.*g in the C locale; 64 characters hold any
  // double at 40 significant digits.
  char text[64];
  auto [end, ec] = std::to_chars(text, text + sizeof text, x, std::chars_format::general, precision);
  if (ec != std::errc()) return AppendPrintf(out, x, 0, precision);
  out.append(text, end);
  return static_cast<int>(end - text);
}

int AppendGWidth(std::string& out, double x, int width, int precision) {
  if (width < 0) return AppendPrintf(out, x, width, precision);  // left-justified
  const size_t at = out.size();
  const int n = AppendG(out, x, precision);
  if (width <= n) return n;
  out.insert(at, static_cast<size_t>(width - n), ' ');
  return width;
}
