// Figures and the temporary files they are drawn into: a figure appears
// whole or not at all, and no temporary file is left behind.
#include "shell/figures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "shell/safefile.h"
#include "test_support.h"

namespace fs = std::filesystem;

namespace {

TEST(SafeTemp, HiddenBesideTheFileAndInstalledOrRemoved) {
  TempDir dir;
  const std::string path = dir.file("f.svg");
  WriteFile(path, "old");
  const std::string temp = SafeTempPath(path.c_str());
  ASSERT_FALSE(temp.empty());
  EXPECT_EQ(fs::path(temp).parent_path(), fs::path(path).parent_path());
  EXPECT_EQ(fs::path(temp).filename().string().rfind(".f.svg.", 0), 0u);
  WriteFile(temp, "new");
  EXPECT_EQ(ReadFile(path), "old");
  ASSERT_TRUE(SafeInstallTemp(temp, path.c_str()));
  EXPECT_EQ(ReadFile(path), "new");
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"f.svg"}));

  // A target that cannot be replaced (a non-empty directory): the temporary
  // file goes, the target stays.
  fs::create_directory(dir.file("d"));
  WriteFile(dir.file("d/x"), "x");
  const std::string t2 = SafeTempPath(dir.file("d").c_str());
  ASSERT_FALSE(t2.empty());
  EXPECT_FALSE(SafeInstallTemp(t2, dir.file("d").c_str()));
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"d", "f.svg"}));
  const std::string t3 = SafeTempPath(path.c_str());
  SafeDiscardTemp(t3);
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"d", "f.svg"}));
  // No directory to put it in: nothing to install.
  EXPECT_TRUE(SafeTempPath(dir.file("none/f.svg").c_str()).empty());
}

TEST(Figures, DrawnWholeReplacingTheOldOne) {
  if (!FiguresAvailable()) GTEST_SKIP() << "built without PLplot";
  TempDir dir;
  const std::string path = dir.file("h.svg");
  WriteFile(path, "old");
  const double v[] = {0.1, 0.4, -0.2, 0.3, 0.5};
  const NullHistogram h = MakeNullHistogram(v, 5, 0.1, true);
  FigureNullHistogram(path.c_str(), h, 0.1, true, "r(TE) = 0.1", "#3 & <x>", "r(TE)");
  const std::string svg = ReadFile(path);
  EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
  EXPECT_NE(svg.find("</svg>"), std::string::npos);
  // Labels come from the user's data: markup in them stays text.
  // (written as character references, '#' once).
  EXPECT_NE(svg.find("&#x23;&#x33;&#x20;&#x26;&#x20;&#x3c;&#x78;&#x3e;"), std::string::npos);
  EXPECT_EQ(svg.find("<x>"), std::string::npos);
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"h.svg"}));
  // A figure that cannot be written is given up without a trace.
  FigureRejectionRates(dir.file("none/r.svg").c_str(), {{"r(TE)", 0.5, 0.3, 0.7}}, 0.05, "t",
                       "x");
  EXPECT_EQ(Listing(dir.path), (std::set<std::string>{"h.svg"}));
}

}  // namespace
