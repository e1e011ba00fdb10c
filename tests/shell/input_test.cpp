// Keyboard input routines and the partition dialogs, driven through in_ (and
// standard input for the questions that read the keyboard directly).
#include "shell/input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "QELib/qelibDim.h"
#include "data/dataset.h"
#include "data/track.h"
#include "shell/console.h"
#include "test_support.h"

TEST(ReadLongInput, KeyboardOrFileUntilConfirmed) {
  TempDir dir;
  WriteFile(dir.file("short.txt"), "4 5");
  ConsoleScript console("a b c alpha beta gamma 1 2 3");
  // Labels: a refused set, then a confirmed one, cut to 4 characters.
  SetStandardInput("k\nn\nk\ny\n");
  char** labels = dim2Dchar(3, 5);
  EXPECT_EQ(ReadLongInput(3, 4, labels, "group labels"), 1);
  EXPECT_STREQ(labels[0], "alph");
  EXPECT_STREQ(labels[2], "gamm");
  const std::string ask = "Read input from file (f) or from the keyboard (k)? f/k \n";
  EXPECT_EQ(console.Dialogue(), ask + "Enter group labels:\tAre these correct? y/n " + ask +
                                    "Enter group labels:\tAre these correct? y/n ");
  free2D(labels, 3);

  // Values: a missing file, a file with too few values (asked again), the keyboard.
  SetStandardInput("f\n" + dir.file("none.txt") + "\nf\n" + dir.file("short.txt") +
                   "\ny\nk\ny\n");
  int values[3];
  CapturedStream err(stderr);
  EXPECT_EQ(ReadLongInput(3, values, "nesting levels", nullptr), 1);
  EXPECT_EQ(values[0], 1);
  EXPECT_EQ(values[2], 3);
  const std::string errors = err.Text();
  EXPECT_TRUE(Holds(errors, "can't open " + dir.file("none.txt")));
  EXPECT_TRUE(Holds(errors, "End of file " + dir.file("short.txt")));
}

TEST(SettingAnyGroups, CountsPerGroupInObjectOrder) {
  // 2 groups, default labels, ordered; 3 + 3 is refused, then 3 + 2.
  ConsoleScript console("2\n1\ny\n3 3\n3 2\n");
  int nGroups = 0, partition[5] = {0};
  char** labels = dim2Dchar(5, 5);
  SettingAnyGroups(5, &nGroups, partition, labels, "communities");
  EXPECT_EQ(nGroups, 2);
  EXPECT_EQ(std::vector<int>(partition, partition + 5), (std::vector<int>{1, 1, 1, 2, 2}));
  EXPECT_STREQ(labels[1], "2");
  const std::string dialogue = console.Dialogue();
  EXPECT_EQ(CountOf(dialogue, "\nError!! Reenter!!\n"), 1);
  EXPECT_TRUE(Holds(dialogue, "\nGroups:            1   2   \nNumber of communities: "));
  free2D(labels, 5);
}

// Runs the body in a fresh directory holding a cluster record "clus.txt".
class ClusterRecord : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = getcwd(nullptr, 0);
    ASSERT_EQ(chdir(dir_.path.c_str()), 0);
    snprintf(whichReClus, sizeof whichReClus, "clus.txt");
  }
  void TearDown() override {
    EXPECT_EQ(chdir(saved_), 0);
    free(saved_);
    snprintf(whichReClus, sizeof whichReClus, "NULL");
  }
  std::vector<int> Partition(int n, int k) {
    std::vector<int> p(static_cast<size_t>(n));
    GetPartition(n, k, p.data(), 'r');
    return p;
  }
  int FailureWith(const std::string& record) {
    WriteFile("clus.txt", record);
    return FailureOf([&] { Partition(5, 1); });
  }
  TempDir dir_;
  char* saved_ = nullptr;
};

TEST_F(ClusterRecord, FusionsUntilKGroups) {
  // Fusions: {1,2}, {4,5}, {1,2,3}, all.
  WriteFile("clus.txt", "0.1 2 1 2\n0.2 2 4 5\n0.3 3 1 2 3\n0.5 5 1 2 3 4 5\n");
  EXPECT_EQ(Partition(5, 2), (std::vector<int>{1, 1, 1, 2, 2}));
  EXPECT_EQ(Partition(5, 3), (std::vector<int>{1, 1, 2, 3, 3}));  // renumbered 1..k
  EXPECT_EQ(Partition(5, 5), (std::vector<int>{1, 2, 3, 4, 5}));
  // A record naming one representative per merged cluster: {4,5}, then 3 with 5.
  WriteFile("clus.txt", "0.1 2 4 5\n0.2 2 3 5\n");
  EXPECT_EQ(Partition(5, 3), (std::vector<int>{1, 2, 3, 3, 3}));
}

TEST_F(ClusterRecord, MalformedRecordsFail) {
  CapturedStream err(stderr);
  EXPECT_EQ(FailureWith("0.1 2 1 7\n"), kFailEndOfFile);  // object 7 of 5
  EXPECT_EQ(FailureWith("0.1 2 1 2\n0.2 2 3"), kFailEndOfFile);  // cut short
  EXPECT_EQ(FailureWith(""), kFailEndOfFile);
  EXPECT_TRUE(Holds(err.Text(), "\nfile clus.txt "));
  remove("clus.txt");
  CapturedStream err2(stderr);
  EXPECT_EQ(FailureOf([&] { Partition(5, 1); }), kFailOpen);
  EXPECT_TRUE(Holds(err2.Text(), "can't open clus.txt"));
}
