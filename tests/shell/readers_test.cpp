// Checked readers: accepted lists and ranges, refusals, field and line
// reading, and what each reader does at the end of its stream.
#include "shell/readers.h"

#include <gtest/gtest.h>

#include <string>

#include "shell/console.h"
#include "test_support.h"

TEST(ScanChar, AcceptsListedCharactersAndRefusesOthers) {
  FILE* fp = TextStream(" \n\tY");
  EXPECT_EQ(ScanChar(fp, "y n", "f"), 'y');  // blanks and controls skipped, case ignored
  fclose(fp);

  fp = TextStream("x n");
  CapturedStream err(stderr), bell(stdout);
  EXPECT_EQ(ScanChar(fp, "y n", "f"), 'n');
  EXPECT_EQ(err.Text(), "\nIncorrect input = x. Reenter.\nAccepted input: y n\n");
  EXPECT_EQ(bell.Text(), "\a");
  fclose(fp);

  fp = TextStream(" \n\tQ  \n");
  EXPECT_EQ(ScanChar(fp, nullptr, "f"), 'q');  // no list: first non-blank
  CapturedStream err2(stderr), bell2(stdout);
  EXPECT_EQ(FailureOf([&] { ScanChar(fp, "y n", "data.txt"); }), kFailEndOfFile);
  EXPECT_EQ(err2.Text(), "\nfile data.txt ");  // no bell at the end of the stream
  EXPECT_EQ(bell2.Text(), "");
}

TEST(ScanNumber, ListsRangesAndRefusals) {
  FILE* fp = TextStream("abc 2 2.0 0.5 1 11 10 4 3");
  CapturedStream err(stderr), bell(stdout);
  EXPECT_EQ(ScanNumber(fp, "f", "1 2"), 2.0);  // letters passed over silently
  EXPECT_EQ(ScanNumber(fp, "f", "1 2 3"), 2.0);  // "2.0" equals 2
  EXPECT_EQ(ScanNumber(fp, "f", "-", 0.0, 1.0), 0.5);
  EXPECT_EQ(ScanNumber(fp, "f", "-", 0.0, 1.0), 1.0);  // bounds inclusive
  EXPECT_EQ(ScanNumber(fp, "f", "-", 1.0, 10.0), 10.0);
  EXPECT_EQ(ScanNumber(fp, "f", "1 2 3"), 3.0);
  EXPECT_EQ(err.Text(),
            "\nIncorrect input = 11. Reenter.\nAccepted input: 1 to 10\n"
            "\nIncorrect input = 4. Reenter.\nAccepted input: 1 2 3\n");
  EXPECT_EQ(bell.Text(), "\a\a");
  fclose(fp);
}

TEST(ScanNumber, EndOfStream) {
  // A file read without a list: -1 after "End of file"; the file is closed.
  FILE* fp = TextStream("7");
  CapturedStream err(stderr);
  EXPECT_EQ(ScanNumber(fp, "vals.txt", nullptr), 7.0);
  EXPECT_EQ(ScanNumber(fp, "vals.txt", nullptr), -1.0);
  EXPECT_EQ(err.Text(), "\nEnd of file vals.txt\n");

  // With a list a closed file cannot give an answer: failure code 2 (and the
  // stream is closed exactly once).
  fp = TextStream("5");
  CapturedStream err2(stderr);
  EXPECT_EQ(FailureOf([&] { ScanNumber(fp, "vals.txt", "1 2"); }), kFailEndOfFile);
  EXPECT_TRUE(Holds(err2.Text(), "\nfile vals.txt "));

  // The keyboard never returns -1: a dialog must not loop on an ended input.
  ConsoleScript console("");
  CapturedStream err3(stderr);
  EXPECT_EQ(FailureOf([] { ScanNumber(in_, "keyboard", nullptr); }), kFailEndOfFile);
  EXPECT_TRUE(Holds(err3.Text(), "\nfile keyboard "));
}

TEST(LineReaders, TabEndsAFieldButNotALine) {
  const std::string text = "\n  two words\tthird\r\nlast";
  char s[81];
  FILE* fp = TextStream(text);
  EXPECT_EQ(freadlineck(fp, 80, s, "f"), '\t');
  EXPECT_STREQ(s, "two words");
  EXPECT_EQ(freadlineck(fp, 80, s, "f"), '\r');
  EXPECT_STREQ(s, "third");
  EXPECT_EQ(freadlineck(fp, 3, s, "f"), 0);  // cut at n characters
  EXPECT_STREQ(s, "las");
  EXPECT_EQ(freadlineck(fp, 80, s, "f"), EOF);  // a last line without newline
  EXPECT_STREQ(s, "t");
  fclose(fp);

  fp = TextStream(text);
  EXPECT_EQ(freadlineckTEMP(fp, 80, s, "f"), '\r');
  EXPECT_STREQ(s, "two words third");
  fclose(fp);

  fp = TextStream(" \t\n\r\n");
  CapturedStream err(stderr), bell(stdout);
  EXPECT_EQ(FailureOf([&] { freadlineckTEMP(fp, 80, s, "title"); }), kFailEndOfFile);
  EXPECT_EQ(err.Text(), "\nfile title ");
  EXPECT_EQ(bell.Text(), "\a");
}
