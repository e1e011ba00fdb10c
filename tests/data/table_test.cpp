// Recognition of raw files: which files are tables, and what a table holds.
#include "data/table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

RawFile Recognise(const std::string& text, bool blankTables = true) {
  RawFile f;
  std::string reason;
  EXPECT_TRUE(RecogniseRawText(text, blankTables, f, reason)) << reason;
  return f;
}

std::string Refusal(const std::string& text) {
  RawFile f;
  std::string reason;
  EXPECT_FALSE(RecogniseRawText(text, true, f, reason));
  return reason;
}

// Files of numbers (with labels at the end) stay plain matrices, whatever
// blanks or tabs separate them; a header or row names make a table.
TEST(RawFiles, PlainMatricesAreNotTables) {
  RawFile f = Recognise("1\t0.5\n2\t1.5\n3\t2.5\nTa\tTb\n");
  EXPECT_EQ(f.kind, RawKind::Plain);
  EXPECT_EQ(f.plain.numbers, 6);
  EXPECT_EQ(f.plain.words, 2);
  EXPECT_EQ(f.plain.numbersPerLine, (std::vector<int>{2, 2, 2}));
  EXPECT_EQ(RawFileSummary("t.txt", f), "t.txt: plain matrix, 4 lines, 6 numbers (2 a line), 2 "
                                        "other words");
  // Species names, one per line, are not row names.
  EXPECT_EQ(Recognise("Festuca rubra\nPoa annua\n", false).kind, RawKind::Plain);
  EXPECT_EQ(Recognise("Ta Tb\n1 0.5\n2 1.5\n").kind, RawKind::Table);
  EXPECT_EQ(Recognise("O1 1 0.5\nO2 2 1.5\n").kind, RawKind::Table);
  // Repeated words in the first column are values, not names.
  EXPECT_EQ(Recognise("a 1\na 2\n").kind, RawKind::Plain);
}

TEST(RawFiles, TableLayouts) {
  // R's write.csv: quoted header with an empty first name, row names.
  RawFile f = Recognise("\"\",\"a b\",\"c\"\n\"x\",1,NA\n\"y\",-2.5e1,3\n");
  ASSERT_EQ(f.kind, RawKind::Table);
  const RawTable& t = f.table;
  EXPECT_TRUE(t.header && t.hasRowNames);
  EXPECT_EQ(t.colNames, (std::vector<std::string>{"a b", "c"}));
  EXPECT_EQ(t.rowNames, (std::vector<std::string>{"x", "y"}));
  EXPECT_EQ(t.values, (std::vector<double>{1, -999, -25, 3}));
  EXPECT_EQ(t.missing, 1);
  EXPECT_EQ(RawFileSummary("t.csv", f),
            "t.csv: table, 2 rows x 2 columns, header (a b c), row names (x \u2026 y), "
            "comma-separated, 1 missing");

  // write.csv2: semicolons and decimal commas; a CRLF file.
  f = Recognise("\"\";\"a\"\r\n\"x\";1,5\r\n\"y\";\r\n");
  EXPECT_TRUE(f.table.decimalComma);
  ASSERT_EQ(f.table.cols, 1);
  EXPECT_EQ(f.table.values, (std::vector<double>{1.5, -999}));

  // write.table with tabs: the header names the data columns only.
  f = Recognise("a\tb\nx\t1\t\ny\tNaN\t4\n");
  EXPECT_TRUE(f.table.shortHeader && f.table.hasRowNames);
  EXPECT_EQ(f.table.colNames, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(f.table.values, (std::vector<double>{1, -999, -999, 4}));
  EXPECT_EQ(f.table.lines, (std::vector<int64_t>{2, 3}));

  // A header without row names (readr, spreadsheets).
  f = Recognise("a,b\n1,2\n3,4\n");
  EXPECT_TRUE(f.table.header);
  EXPECT_FALSE(f.table.hasRowNames);
  EXPECT_EQ(f.table.cols, 2);
}

TEST(RawFiles, TextStatesAreCodedInSortedOrder) {
  RawFile f = Recognise("sp,h,form\nA,1,shrub\nB,2,NA\nC,3,ground\nD,4,shrub\n");
  const RawTable& t = f.table;
  EXPECT_FALSE(t.IsText(0));
  ASSERT_TRUE(t.IsText(1));
  EXPECT_EQ(t.states[1], (std::vector<std::string>{"ground", "shrub"}));
  EXPECT_EQ(t.At(0, 1), 2);
  EXPECT_EQ(t.At(1, 1), -999);
  EXPECT_EQ(t.At(2, 1), 1);
}

TEST(RawFiles, BrokenTablesAreRefusedWithTheLine) {
  EXPECT_EQ(Refusal("a,b\n1,2\n3\n"), "line 3 holds 1 fields where the table has 2");
  EXPECT_EQ(Refusal(std::string("1 2\0 3", 6)), "it holds a NUL byte: it is not a text file");
  EXPECT_EQ(Refusal(" \n\n"), "it holds nothing");
}

TEST(RawFiles, Cells) {
  double v = 0;
  auto number = [&](const char* s, bool comma = false) {
    return ParseCellNumber(s, s + strlen(s), comma, v);
  };
  EXPECT_TRUE(number("+1.5e2") && v == 150);
  EXPECT_TRUE(number("-0,25", true) && v == -0.25);
  for (const char* bad : {"1,5", "0x10", "inf", "nan", "1 2", "", "+", "1.5.2"})
    EXPECT_FALSE(number(bad)) << bad;
  EXPECT_FALSE(number("1.234,5", true));
  for (const char* word : {"Sp1", "R1", "2a", "1,5"}) EXPECT_TRUE(HoldsDigitInWord(word)) << word;
  for (const char* word : {"NA", "abc", "-3.5"}) EXPECT_FALSE(HoldsDigitInWord(word)) << word;
}

}  // namespace
