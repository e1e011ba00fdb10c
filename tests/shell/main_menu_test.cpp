// The real binary at its main menu: banner, refusals, session names, the
// failure exit when the input ends early.
#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

static const std::string kLine(70, '-');
static const std::string kTitle =
    "CHARACTER-BASED COMMUNITY ANALYSIS                    QUILTA v.2.11.21";
static const std::string kBanner = kLine + "\n" + kTitle + "\n\n" + kLine + "\n";
static const std::string kMainMenu = "\n\n\n\n" + kTitle + "\n" + kLine +
                                     "\nMain menu:\n   N  start new session\n"
                                     "   O  attach to old session\n   S  set preferences\n"
                                     "   X  exit \n" +
                                     kLine + "\nType option: ";
static const std::string kEndOfFile = "\nEND OF FILE !!!\n\nQuit and restart QUILTA.\n\a";

static bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

TEST(MainMenu, BannerMenuExitAndOldSessionWithoutTrackFile) {
  TempDir dir;
  RunResult r = RunQuilta(dir.path, "X\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, kBanner + kMainMenu + "\n\n");
  EXPECT_EQ(r.err, "");

  r = RunQuilta(dir.path, "O\nnosuch\nX\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "\ncan't open nosuchTrk.txt \n");
  EXPECT_EQ(r.out, kBanner + kMainMenu + "\n\nEnter session name: \a" + kMainMenu + "\n\n");
  EXPECT_FALSE(FileExists(dir.file("nosuchTrk.txt")));
}

// End of input after every answer of the menus is walked in
// end_of_input_test; here the input that is empty from the start.
TEST(MainMenu, RefusedLettersThenAcceptedAndNoInputAtAll) {
  TempDir dir;
  // M and ? are refused; A (unlisted) is accepted and opens the assembly
  // simulation, whose first question meets the end of the input.
  RunResult r = RunQuilta(dir.path, "M ?\nA\n");
  const std::string refusals =
      "\nIncorrect input = m. Reenter.\nAccepted input: N O S A X\n"
      "\nIncorrect input = ?. Reenter.\nAccepted input: N O S A X\n";
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.substr(0, refusals.size()), refusals);
  EXPECT_TRUE(EndsWith(r.err, kEndOfFile)) << r.err;
  EXPECT_EQ(CountOf(r.out, "Main menu:"), 1);
  EXPECT_TRUE(Holds(r.out, "Specify the number of communities (sites): "));

  r = RunQuilta(dir.path, "");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "\nfile input " + kEndOfFile);
}

TEST(MainMenu, NewSessionNamesAreCutTo51Characters) {
  TempDir dir;
  // A name longer than any buffer: cut, and the rest is not taken as menu
  // answers (4 leaves the data dialog for the main menu).
  RunResult r = RunQuilta(dir.path, "N\n" + std::string(300, 'N') + "\n4\nX\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(CountOf(r.out, "Enter session name: "), 1);
  EXPECT_TRUE(FileExists(dir.file(std::string(51, 'N') + "Trk.txt")));
}
