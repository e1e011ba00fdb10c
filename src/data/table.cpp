#include "data/table.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <unordered_set>

namespace {

constexpr double kMissingCell = -999.0;

struct Line {
  std::string_view text;
  int64_t number;  // line of the file, from 1
};

// Lines that are not blank, without their line ends.  A lone carriage return
// ends a line too (old spreadsheet exports).
std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  int64_t number = 1;
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); i++) {
    const bool end = i == text.size();
    if (!end && text[i] != '\n' && text[i] != '\r') continue;
    std::string_view line = text.substr(start, i - start);
    if (line.find_first_not_of(" \t") != std::string_view::npos) lines.push_back({line, number});
    if (!end && text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') i++;
    number++;
    start = i + 1;
  }
  return lines;
}

struct Field {
  std::string text;
  bool quoted = false;
};

// The fields of one line.  Blanks around a field are dropped; a quoted field
// keeps its blanks and delimiters, "" standing for one quote.
void SplitFields(std::string_view line, char delimiter, std::vector<Field>& fields) {
  fields.clear();
  const bool blank = delimiter == ' ';
  auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
  size_t i = 0, n = line.size();
  if (blank)
    while (i < n && isBlank(line[i])) i++;
  for (;;) {
    Field f;
    while (!blank && i < n && line[i] == ' ') i++;
    if (i < n && line[i] == '"') {
      f.quoted = true;
      i++;
      while (i < n) {
        if (line[i] == '"') {
          if (i + 1 < n && line[i + 1] == '"') {
            f.text += '"';
            i += 2;
            continue;
          }
          i++;
          break;
        }
        f.text += line[i++];
      }
      // Anything between the closing quote and the delimiter belongs to the
      // field as well.
      while (i < n && (blank ? !isBlank(line[i]) : line[i] != delimiter)) f.text += line[i++];
    } else {
      size_t start = i;
      while (i < n && (blank ? !isBlank(line[i]) : line[i] != delimiter)) i++;
      f.text.assign(line.substr(start, i - start));
    }
    if (!blank || !f.quoted)
      while (!f.text.empty() && (f.text.back() == ' ' || (!blank && f.text.back() == '\t')))
        f.text.pop_back();
    fields.push_back(std::move(f));
    if (blank) {
      while (i < n && isBlank(line[i])) i++;
      if (i >= n) break;
    } else {
      if (i >= n) break;
      i++;  // the delimiter
    }
  }
}

// Occurrences of c in the line outside quotes.
size_t CountOutsideQuotes(std::string_view line, char c) {
  size_t count = 0;
  bool quoted = false;
  for (char x : line) {
    if (x == '"') quoted = !quoted;
    if (!quoted && x == c) count++;
  }
  return count;
}

enum class Cell { Missing, Number, Text };

Cell KindOf(const Field& f, bool decimalComma, double& value) {
  if (IsMissingCell(f.text)) return Cell::Missing;
  const char* b = f.text.data();
  if (ParseCellNumber(b, b + f.text.size(), decimalComma, value))
    return value == kMissingCell ? Cell::Missing : Cell::Number;
  return Cell::Text;
}

// A field that names something: text, or anything quoted (R quotes every
// name of a header, also one that reads as a number).
bool IsName(const Field& f, bool decimalComma) {
  double v;
  return f.quoted || KindOf(f, decimalComma, v) == Cell::Text;
}

std::string Describe(const std::vector<std::string>& names) {
  std::string s;
  if (names.size() <= 8) {
    for (size_t i = 0; i < names.size(); i++) s += (i ? " " : "") + names[i];
  } else {
    s = names[0] + " " + names[1] + " " + names[2] + " \u2026 " + names.back();
  }
  return s;
}

std::string LineRef(int64_t line) { return "line " + std::to_string(line); }

}  // namespace

bool IsMissingCell(const std::string& cell) {
  return cell.empty() || cell == "NA" || cell == "NaN" || cell == "nan" || cell == "NAN" ||
         cell == "#N/A";
}

bool ParseCellNumber(const char* begin, const char* end, bool decimalComma, double& value) {
  if (begin == end) return false;
  if (*begin == '+') begin++;
  if (begin == end || *begin == '+' || *begin == ' ') return false;
  char buffer[64];
  if (decimalComma) {
    const size_t n = static_cast<size_t>(end - begin);
    if (n >= sizeof buffer || memchr(begin, '.', n) != nullptr) {
      if (memchr(begin, ',', n) != nullptr) return false;  // 1.234,5 and the like
    } else {
      memcpy(buffer, begin, n);
      std::replace(buffer, buffer + n, ',', '.');
      begin = buffer;
      end = buffer + n;
    }
  }
  double v = 0.0;
  auto [p, ec] = std::from_chars(begin, end, v, std::chars_format::general);
  if (ec != std::errc() || p != end || !std::isfinite(v)) return false;
  value = v;
  return true;
}

bool HoldsDigitInWord(const std::string& word) {
  double v;
  if (ParseCellNumber(word.data(), word.data() + word.size(), false, v)) return false;
  return std::any_of(word.begin(), word.end(), [](char c) { return c >= '0' && c <= '9'; });
}

static void CountPlain(const std::vector<Line>& lines, RawPlain& p) {
  p.lines = static_cast<int64_t>(lines.size());
  std::vector<Field> fields;
  for (const Line& l : lines) {
    SplitFields(l.text, ' ', fields);
    int numbers = 0;
    for (const Field& f : fields) {
      double v;
      if (ParseCellNumber(f.text.data(), f.text.data() + f.text.size(), false, v))
        numbers++;
      else
        p.words++;
    }
    p.numbers += numbers;
    if (numbers > 0) {
      p.numberLines.push_back(l.number);
      p.numbersPerLine.push_back(numbers);
    }
  }
}

// The value of a cell of column j: -999 when missing, the code of its
// state in a text column, else its number; NaN for text in a numeric column.
static double CellValue(const RawTable& t, int j, const Field& f) {
  double v = 0.0;
  const Cell kind = KindOf(f, t.decimalComma, v);
  if (kind == Cell::Missing) return kMissingCell;
  if (t.IsText(j)) {
    const auto& states = t.states[j];
    auto at = std::lower_bound(states.begin(), states.end(), f.text);
    if (at == states.end() || *at != f.text) return std::nan("");
    return static_cast<double>(at - states.begin() + 1);
  }
  return kind == Cell::Number ? v : std::nan("");
}

static bool ReadWholeFile(const char* path, std::string& text) {
  FILE* fp = fopen(path, "rb");
  if (fp == nullptr) return false;
  char buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, fp)) > 0) text.append(buffer, n);
  fclose(fp);
  return true;
}

bool RecogniseRawText(const std::string& text, bool blankTables, RawFile& out,
                      std::string& reason, bool keepValues) {
  out = RawFile();
  if (text.find('\0') != std::string::npos) {
    reason = "it holds a NUL byte: it is not a text file";
    return false;
  }
  std::string_view body(text);
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);  // byte-order mark
  std::vector<Line> lines = SplitLines(body);
  if (lines.empty()) {
    reason = "it holds nothing";
    return false;
  }
  RawTable& t = out.table;
  // The delimiter is the first of ; tab , found outside quotes on the first
  // line: a semicolon first, since its tables write decimal commas.
  const std::string_view first = lines[0].text;
  const bool quotes = body.find('"') != std::string_view::npos;
  if (CountOutsideQuotes(first, ';') > 0)
    t.delimiter = ';';
  else if (CountOutsideQuotes(first, '\t') > 0)
    t.delimiter = '\t';
  else if (CountOutsideQuotes(first, ',') > 0)
    t.delimiter = ',';
  else
    t.delimiter = ' ';
  t.decimalComma = t.delimiter == ';';
  const bool delimited = t.delimiter == ';' || t.delimiter == ',';
  if (!blankTables && !delimited && !quotes) {
    CountPlain(lines, out.plain);
    return true;
  }

  std::vector<Field> f0, f1;
  SplitFields(lines[0].text, t.delimiter, f0);
  const size_t n0 = f0.size();
  size_t n1 = n0;
  if (lines.size() > 1) {
    SplitFields(lines[1].text, t.delimiter, f1);
    n1 = f1.size();
  }
  const bool dc = t.decimalComma;

  // Header: a first line of names (the first may be empty) over a line with
  // a number, or quoted, or in a comma or semicolon table; or a first line
  // one field shorter than the next.
  bool names0 = lines.size() > 1;
  for (size_t j = 0; j < n0 && names0; j++)
    names0 = IsName(f0[j], dc) || (j == 0 && f0[j].text.empty());
  bool number1 = false;
  for (const Field& f : f1) {
    double v;
    if (!f.quoted && KindOf(f, dc, v) == Cell::Number) number1 = true;
  }
  bool quoted0 = std::any_of(f0.begin(), f0.end(), [](const Field& f) { return f.quoted; });
  t.shortHeader = lines.size() > 1 && n1 == n0 + 1 && names0;
  t.header = t.shortHeader || (names0 && n0 == n1 && (number1 || quoted0 || delimited));
  const size_t width = t.header && !t.shortHeader ? n0 : n1;

  // Row names: with a short header, under an empty first header field, or a
  // first column of distinct words.
  const size_t firstRow = t.header ? 1 : 0;
  std::vector<Field> fields;
  if (t.shortHeader || (t.header && f0[0].text.empty() && n0 > 1)) {
    t.hasRowNames = true;
  } else if (width >= 2 && lines.size() > firstRow) {
    bool words = true;
    std::unordered_set<std::string> seen;
    for (size_t i = firstRow; i < lines.size() && words; i++) {
      SplitFields(lines[i].text, t.delimiter, fields);
      double v;
      words = !fields.empty() && KindOf(fields[0], dc, v) == Cell::Text &&
              seen.insert(fields[0].text).second;
    }
    t.hasRowNames = words;
  }
  if (!delimited && !quotes && !t.header && !t.hasRowNames) {
    CountPlain(lines, out.plain);
    return true;
  }
  out.kind = RawKind::Table;

  const size_t skip = t.hasRowNames ? 1 : 0;
  if (width <= skip) {
    reason = "a table needs at least one column of values besides its row names";
    return false;
  }
  t.cols = static_cast<int>(width - skip);
  if (t.header) {
    for (size_t j = t.shortHeader ? 0 : skip; j < n0; j++) t.colNames.push_back(f0[j].text);
  }
  const size_t nRows = lines.size() - firstRow;
  if (nRows == 0) {
    reason = "it holds a header row and no values";
    return false;
  }
  if (nRows > static_cast<size_t>(INT32_MAX) / 2 || t.cols > INT32_MAX / 2) {
    reason = "it is too large";
    return false;
  }
  t.rows = static_cast<int>(nRows);
  if (keepValues) t.values.assign(nRows * static_cast<size_t>(t.cols), 0.0);
  t.states.assign(static_cast<size_t>(t.cols), {});
  t.lines.reserve(nRows);
  if (t.hasRowNames) t.rowNames.reserve(nRows);
  std::vector<char> isText(static_cast<size_t>(t.cols), 0);
  for (size_t i = 0; i < nRows; i++) {
    const Line& l = lines[firstRow + i];
    SplitFields(l.text, t.delimiter, fields);
    if (fields.size() != width) {
      reason = LineRef(l.number) + " holds " + std::to_string(fields.size()) +
               " fields where the table has " + std::to_string(width);
      return false;
    }
    t.lines.push_back(l.number);
    if (t.hasRowNames) t.rowNames.push_back(fields[0].text);
    double* row = keepValues ? &t.values[i * static_cast<size_t>(t.cols)] : nullptr;
    for (int j = 0; j < t.cols; j++) {
      double v = 0.0;
      switch (KindOf(fields[skip + j], dc, v)) {
        case Cell::Missing:
          t.missing++;
          v = kMissingCell;
          break;
        case Cell::Number:
          break;
        case Cell::Text:
          isText[j] = 1;
          break;
      }
      if (row) row[j] = v;
    }
  }
  // Text columns: every cell that is not missing is a state, numbers
  // included; states are coded 1..k in sorted order.
  if (std::find(isText.begin(), isText.end(), 1) == isText.end()) return true;
  std::vector<std::set<std::string>> states(static_cast<size_t>(t.cols));
  for (size_t i = 0; i < nRows; i++) {
    SplitFields(lines[firstRow + i].text, t.delimiter, fields);
    for (int j = 0; j < t.cols; j++) {
      double v;
      if (isText[j] && KindOf(fields[skip + j], dc, v) != Cell::Missing)
        states[j].insert(fields[skip + j].text);
    }
  }
  for (int j = 0; j < t.cols; j++) t.states[j].assign(states[j].begin(), states[j].end());
  if (keepValues) {
    for (size_t i = 0; i < nRows; i++) {
      SplitFields(lines[firstRow + i].text, t.delimiter, fields);
      for (int j = 0; j < t.cols; j++)
        if (isText[j]) t.values[i * t.cols + j] = CellValue(t, j, fields[skip + j]);
    }
  }
  return true;
}

bool ReadTableValues(const char* path, const RawTable& t,
                     const std::function<void(int, int, double)>& cell, std::string& reason) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    reason = "it cannot be opened";
    return false;
  }
  std::string_view body(text);
  if (body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  std::vector<Line> lines = SplitLines(body);
  const size_t firstRow = t.header ? 1 : 0, skip = t.hasRowNames ? 1 : 0;
  const size_t width = static_cast<size_t>(t.cols) + skip;
  if (lines.size() != firstRow + static_cast<size_t>(t.rows)) {
    reason = "it has changed since its name was entered";
    return false;
  }
  std::vector<Field> fields;
  for (int i = 0; i < t.rows; i++) {
    SplitFields(lines[firstRow + i].text, t.delimiter, fields);
    if (fields.size() != width) {
      reason = "it has changed since its name was entered";
      return false;
    }
    for (int j = 0; j < t.cols; j++) {
      const double v = CellValue(t, j, fields[skip + j]);
      if (std::isnan(v)) {
        reason = "it has changed since its name was entered";
        return false;
      }
      cell(i, j, v);
    }
  }
  return true;
}

bool RecogniseRawFile(const char* path, bool blankTables, RawFile& out, std::string& reason,
                      bool keepValues) {
  std::string text;
  if (!ReadWholeFile(path, text)) {
    reason = "it cannot be opened";
    return false;
  }
  return RecogniseRawText(text, blankTables, out, reason, keepValues);
}

std::string RawFileSummary(const char* name, const RawFile& f) {
  char buf[160];
  std::string s = std::string(name) + ": ";
  if (f.kind == RawKind::Plain) {
    const RawPlain& p = f.plain;
    snprintf(buf, sizeof buf, "plain matrix, %lld lines, %lld numbers",
             static_cast<long long>(p.lines), static_cast<long long>(p.numbers));
    s += buf;
    if (!p.numbersPerLine.empty()) {
      auto [lo, hi] = std::minmax_element(p.numbersPerLine.begin(), p.numbersPerLine.end());
      if (*lo == *hi)
        snprintf(buf, sizeof buf, " (%d a line)", *lo);
      else
        snprintf(buf, sizeof buf, " (%d to %d a line)", *lo, *hi);
      s += buf;
    }
    snprintf(buf, sizeof buf, ", %lld other words", static_cast<long long>(p.words));
    return s + buf;
  }
  const RawTable& t = f.table;
  snprintf(buf, sizeof buf, "table, %d rows x %d columns", t.rows, t.cols);
  s += buf;
  s += t.header ? ", header (" + Describe(t.colNames) + ")" : ", no header";
  if (t.hasRowNames) {
    std::string rn = t.rowNames.size() == 1 ? t.rowNames[0]
                                            : t.rowNames.front() + " \u2026 " + t.rowNames.back();
    s += ", row names (" + rn + ")";
  } else {
    s += ", no row names";
  }
  static const std::map<char, const char*> kDelimiter = {{',', "comma-separated"},
                                                         {';', "semicolon-separated"},
                                                         {'\t', "tab-separated"},
                                                         {' ', "blank-separated"}};
  s += std::string(", ") + kDelimiter.at(t.delimiter);
  if (t.decimalComma) s += " with decimal commas";
  snprintf(buf, sizeof buf, ", %lld missing", static_cast<long long>(t.missing));
  return s + buf;
}
