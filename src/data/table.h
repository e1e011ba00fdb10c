// Raw files of the import, recognised when their names are entered.
//
// A raw file is one of two kinds:
// - a plain matrix: whitespace-separated numbers, optionally followed by
//   label words, read in the orientation and counts the user gives;
// - a table: a header row and/or row names, fields separated by commas,
//   semicolons (then with decimal commas), tabs or blanks, optionally quoted,
//   with NA, NaN or empty cells for missing values, lines ended by LF or CRLF.
//   Such a table tells its own counts, labels and layout.
//
// A file with commas, semicolons or quotes is a table; a file separated by
// blanks or tabs is a table only when it has a header row (a first line of
// words over numbers) or row names (a first column of distinct words).
// A field quoted across a line end is not supported: every line is a row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum class RawKind { Plain, Table };

struct RawTable {
  char delimiter = ' ';  // ',', ';', '\t', or ' ' for runs of blanks and tabs
  bool decimalComma = false;
  bool header = false;
  bool shortHeader = false;  // the header names the data columns only
  bool hasRowNames = false;
  int rows = 0, cols = 0;
  std::vector<std::string> colNames;  // cols names when there is a header
  std::vector<std::string> rowNames;  // rows names when there are row names
  std::vector<int64_t> lines;         // line of the file of each row (from 1)
  // rows x cols, row by row.  Missing cells hold -999; a cell of a text
  // column holds the code of its state.
  std::vector<double> values;
  // The states of each column, in sorted order (state k has code k + 1);
  // empty for a numeric column.
  std::vector<std::vector<std::string>> states;
  int64_t missing = 0;

  double At(int r, int c) const { return values[static_cast<size_t>(r) * cols + c]; }
  bool IsText(int c) const { return !states[c].empty(); }
};

// What a plain matrix file holds: for each line with numbers, its line
// number and how many numbers it holds.
struct RawPlain {
  int64_t lines = 0;  // lines that are not blank
  int64_t numbers = 0, words = 0;
  std::vector<int64_t> numberLines;
  std::vector<int> numbersPerLine;
};

struct RawFile {
  RawKind kind = RawKind::Plain;
  RawTable table;
  RawPlain plain;
};

// Recognises text (the whole contents of file `name`) and, for a table,
// reads it.  blankTables: whether a file separated by blanks or tabs may be a
// table (not for lists of names, whose words would look like row names).
// False with the reason when the file cannot be read as either kind.
// keepValues false: the cells are checked but not kept (values stays empty;
// ReadTableValues reads them later), so that a large table is never held
// twice in memory.
bool RecogniseRawText(const std::string& text, bool blankTables, RawFile& out,
                      std::string& reason, bool keepValues = true);
// The same for a file (volumeName is not prefixed).
bool RecogniseRawFile(const char* path, bool blankTables, RawFile& out, std::string& reason,
                      bool keepValues = true);
// Reads the cells of table t from its file again, giving each to cell(row,
// column, value) (-999 missing, codes for text states).  False with the
// reason when the file no longer holds that table.
bool ReadTableValues(const char* path, const RawTable& t,
                     const std::function<void(int, int, double)>& cell, std::string& reason);

// One line saying what the file is and what it holds, e.g.
// "t.csv: table, 3 rows x 2 columns, header (a b), row names (x … z),
// comma-separated, 0 missing".
std::string RawFileSummary(const char* name, const RawFile& f);

// A whole field read as a number: optional sign, decimal point (or comma
// when decimalComma), exponent; finite.  No blanks, no hexadecimal.
bool ParseCellNumber(const char* begin, const char* end, bool decimalComma, double& value);
// Empty, NA, NaN (and the spreadsheet forms nan, NAN, #N/A).
bool IsMissingCell(const std::string& cell);
// True when a word is not a number but holds a digit ("Sp1", "2a", "1,5"):
// reading a number out of it would pull digits out of a word.
bool HoldsDigitInWord(const std::string& word);
