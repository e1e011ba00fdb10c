// Recognition of raw files: any text is either refused with a reason or read
// as a plain matrix or a table whose parts agree with each other.
#include <string>

#include "data/table.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FuzzInit();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  InScratch scratch;
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (bool blankTables : {true, false}) {
    RawFile f;
    std::string reason;
    if (!RecogniseRawText(text, blankTables, f, reason)) {
      FUZZ_CHECK(!reason.empty());
      continue;
    }
    FUZZ_CHECK(!RawFileSummary("x", f).empty());
    if (f.kind == RawKind::Plain) {
      FUZZ_CHECK(f.plain.numberLines.size() == f.plain.numbersPerLine.size());
      continue;
    }
    const RawTable& t = f.table;
    FUZZ_CHECK(t.rows > 0 && t.cols > 0);
    FUZZ_CHECK(t.values.size() == static_cast<size_t>(t.rows) * t.cols);
    FUZZ_CHECK(t.lines.size() == static_cast<size_t>(t.rows));
    FUZZ_CHECK(!t.hasRowNames || t.rowNames.size() == static_cast<size_t>(t.rows));
    FUZZ_CHECK(!t.header || t.colNames.size() == static_cast<size_t>(t.cols));
    int64_t missing = 0;
    for (int r = 0; r < t.rows; r++)
      for (int c = 0; c < t.cols; c++) {
        const double v = t.At(r, c);
        missing += v == -999.0 ? 1 : 0;
        // A text cell holds the code of one of its column's states.
        if (t.IsText(c))
          FUZZ_CHECK(v == -999.0 ||
                     (v >= 1 && v <= static_cast<double>(t.states[c].size()) && v == int(v)));
      }
    FUZZ_CHECK(missing == t.missing);
    // Read again from the file without keeping the values, the cells are
    // the same.
    if (!blankTables) continue;
    WriteInput("t.txt", text);
    RawFile again;
    FUZZ_CHECK(RecogniseRawFile("t.txt", true, again, reason, false));
    FUZZ_CHECK(again.table.values.empty() && again.table.missing == t.missing);
    bool same = true;
    auto cell = [&](int r, int c, double v) { same = same && v == t.At(r, c); };
    FUZZ_CHECK(ReadTableValues("t.txt", again.table, cell, reason) && same);
  }
  return 0;
}
