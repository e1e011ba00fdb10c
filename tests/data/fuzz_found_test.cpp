// Inputs found by fuzzing the readers (tests/fuzz), kept as regression
// cases.
#include <gtest/gtest.h>

#include <string>

#include "data/datafile.h"
#include "data/subset.h"
#include "data/track.h"
#include "data_test_util.h"
#include "shell/console.h"

namespace {

const std::string kData =
    "t\n2\nT1 T2\n3 2\n0 0\n2 2\n2\nR1 R2\n2\n0 0\n0 0 0 0 0 0 0\n"
    "25Jun2016\n1 2\n3 4\n1 0\n0 1\n0\n0\nSMW 1\n0\n0\n";

// text with a NUL byte put in at position at.
std::string WithNul(const std::string& text, size_t at) {
  std::string s = text;
  s.insert(at, 1, '\0');
  return s;
}

}  // namespace

// A NUL byte cut a label or a name short in memory: the file loaded, but what
// the writer made of it no longer read back (an empty label vanished between
// tabs and shifted every later item).  A file holding one is not text and is
// refused as malformed, wherever the byte stands.
TEST(FuzzFound, NulBytesMakeAFileMalformed) {
  TempDir dir;
  for (const std::string& label : {std::string("T1"), std::string("R2"), std::string("SMW")}) {
    const std::string text = WithNul(kData, kData.find(label));
    EXPECT_EQ(FailureOf([&] { LoadFormdaText(dir, text); }), kFailEndOfFile) << label;
    EXPECT_TRUE(chLabel == nullptr && csm_Float == nullptr);
  }

  // The track file, read into a loaded data set.
  LoadFormdaText(dir, kData);
  const std::string track = "f.txt\n07Jul17\n";
  WriteFile(dir.file("sTrk.txt"), WithNul(track, 2));
  snprintf(whichTrack, sizeof whichTrack, "%s", dir.file("sTrk.txt").c_str());
  EXPECT_EQ(FailureOf([] { ReadTrack(); }), kFailEndOfFile);

  // The second file of a merge.
  WriteFile(dir.file("second.txt"), WithNul(kData, kData.find("R1")));
  EXPECT_EQ(FailureOf([&] { MergeFormda(dir.file("second.txt").c_str()); }), kFailEndOfFile);
  FreeGlobals2();

  // A raw file of the import.
  EXPECT_EQ(FailureOf([] { DataReader raw(TextStream(std::string("1 2\n3\0 4\n", 9)), "b.txt"); }),
            kFailEndOfFile);
}
