// Nothing of a session is lost when a file cannot be written: the
// formatted data, track and preferences files are replaced only by complete
// new ones, and a failed append to a results file is undone.
//
// The end-to-end cases run the program in a small file system that is full
// (a tmpfs mounted by the test), which needs root; they are skipped
// otherwise.
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "data_test_util.h"
#include "shell/console.h"
#include "shell/safefile.h"

namespace fs = std::filesystem;

namespace {

// A small tmpfs mounted at dir/disk for the life of the object.
struct SmallDisk {
  std::string path;
  bool mounted = false;
  explicit SmallDisk(const TempDir& dir) : path(dir.file("disk")) {
    if (geteuid() != 0) return;
    fs::create_directory(path);
    mounted = mount("tmpfs", path.c_str(), "tmpfs", 0, "size=512k") == 0;
  }
  ~SmallDisk() {
    if (mounted) umount2(path.c_str(), MNT_DETACH);
  }
  std::string file(const std::string& name) const { return path + "/" + name; }
  // Fills every free block with a file of its own (not one of the session).
  void Fill() const {
    FILE* fp = fopen((path + "/.filler").c_str(), "w");
    ASSERT_NE(fp, nullptr);
    setvbuf(fp, nullptr, _IONBF, 0);
    const std::string block(4096, 'x');
    while (fwrite(block.data(), 1, block.size(), fp) == block.size()) {
    }
    while (fputc('x', fp) != EOF) {
    }
    fclose(fp);
  }
};

#define SKIP_WITHOUT_DISK(disk)                                                   \
  if (!(disk).mounted) GTEST_SKIP() << "needs root to mount a small file system"

// A full track file for the small data set, as the functional analysis
// leaves it (no partitions).
const char kFullTrack[] =
    "sFormda.txt\n07Jul17\n"
    "NULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\nNULL\n"
    "NULL\nNULL\n"
    "0\n1\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n6\n1\n1\n"
    "1 2 \n0 0 \n3 2 \n3\n1\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n0\n\n\n0 0 \n1\n0\n0\n\n\n\n"
    "1 1 1 \n0\n0\n0\n2\n0\n1\n";

// The functional analysis of session s: types from the keyboard, fuzzy,
// no tests, Mantel on Euclidean distances, everything selected.
std::string AnalysisAnswers(const std::string& prindaMode) {
  return "O\ns\nV\nH\nk\n1 2 3\n1\nn\n1\n6\n1\n1\n1\ny\nn\n" + prindaMode + "C\nC\nX\n";
}

// The preferences that turn the companion files of the results off (they
// are written apart, each on its own, and would add their own complaints on
// a full disk).
void NoCompanionFiles(const SmallDisk& disk) {
  ASSERT_EQ(RunQuilta(disk.path, "S\nE\nn\nC\nX\n").status, 0);
}

void ExpectFailedWrite(const RunResult& r, const std::string& file) {
  EXPECT_EQ(r.status, 1);
  EXPECT_TRUE(Holds(r.err, "\nfile " + file + " "));
  EXPECT_TRUE(Holds(r.err, "FAIL TO PRINT ON FILE !!!"));
}

}  // namespace

// Rewriting in place: new contents, the old permissions, no file left over;
// through a symbolic link the target gets the contents and the link stays.
// Abandoned (a failure raised while writing), the old file is untouched.
TEST(SafeWriter, ReplacesWholeOrNotAtAll) {
  TempDir dir;
  const std::string path = dir.file("a.txt");
  WriteFile(path, "old\n");
  chmod(path.c_str(), 0640);
  {
    SafeWriter w(path.c_str());
    w.Put("new %d\n", 1);
    EXPECT_EQ(ReadFile(path), "old\n");  // nothing visible before the end
    w.Close();
  }
  EXPECT_EQ(ReadFile(path), "new 1\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(Listing(dir.path), std::set<std::string>{"a.txt"});

  EXPECT_EQ(FailureOf([&] {
              SafeWriter w(path.c_str());
              w.Put("half");
              RaiseFailure(kFailEndOfFile);
            }),
            kFailEndOfFile);
  EXPECT_EQ(ReadFile(path), "new 1\n");
  EXPECT_EQ(Listing(dir.path), std::set<std::string>{"a.txt"});

  fs::create_directory(dir.file("real"));
  WriteFile(dir.file("real/b.txt"), "old\n");
  fs::create_symlink("real/b.txt", dir.file("link.txt"));
  {
    SafeWriter w(dir.file("link.txt").c_str());
    w.Put("through the link\n");
    w.Close();
  }
  EXPECT_TRUE(fs::is_symlink(dir.file("link.txt")));
  EXPECT_EQ(ReadFile(dir.file("real/b.txt")), "through the link\n");
  EXPECT_EQ(Listing(dir.file("real")), std::set<std::string>{"b.txt"});

  // A directory that does not exist: the file cannot be created, code 4.
  EXPECT_EQ(FailureOf([&] { SafeWriter w(dir.file("none/c.txt").c_str()); }), kFailOpen);
}

// Starting without a preferences file on a full disk leaves none behind;
// an existing one (with its companion-file line) stays byte for byte.
TEST(FullDisk, PreferencesAreKeptOrNotCreated) {
  TempDir dir;
  SmallDisk disk(dir);
  SKIP_WITHOUT_DISK(disk);
  disk.Fill();
  const auto before = Listing(disk.path);
  RunResult r = RunQuilta(disk.path, "S\nC\nX\n");
  ExpectFailedWrite(r, "QUILTA.prf");
  EXPECT_EQ(Listing(disk.path), before);

  TempDir dir2;
  SmallDisk disk2(dir2);
  ASSERT_TRUE(disk2.mounted);
  ASSERT_EQ(RunQuilta(disk2.path, "S\nE\nn\nC\nX\n").status, 0);
  const std::string prefs = ReadFile(disk2.file("QUILTA.prf"));
  ASSERT_TRUE(Holds(prefs, "\nTSV n\n"));
  disk2.Fill();
  const auto before2 = Listing(disk2.path);
  r = RunQuilta(disk2.path, "S\nF\n9\nn\nC\nX\n");
  ExpectFailedWrite(r, "QUILTA.prf");
  EXPECT_EQ(ReadFile(disk2.file("QUILTA.prf")), prefs);
  EXPECT_EQ(Listing(disk2.path), before2);
}

// A session given new data on a full disk keeps its old formatted data
// file; the analysis that cannot save the track file keeps the old one.
TEST(FullDisk, FormattedDataAndTrackAreKept) {
  TempDir dir;
  SmallDisk disk(dir);
  SKIP_WITHOUT_DISK(disk);
  const std::string formda = SmallFormda().Text();
  WriteFile(disk.file("sFormda.txt"), formda);
  WriteFile(disk.file("sTrk.txt"), "");  // data never chosen: the dialog runs
  WriteFile(disk.file("b.txt"), "1 2\n3 4\n");
  WriteFile(disk.file("w.txt"), "1 0\n0 1\n");
  disk.Fill();
  auto before = Listing(disk.path);
  RunResult r = RunQuilta(disk.path, "O\ns\n1\nb.txt\n0\nw.txt\n0\n0\n2\n1\n1\n2\nk\n3\ny\n0\n"
                                     "2\n1\n2\nC\nX\n");
  ExpectFailedWrite(r, "sFormda.txt");
  EXPECT_EQ(ReadFile(disk.file("sFormda.txt")), formda);
  EXPECT_EQ(ReadFile(disk.file("sTrk.txt")), "");
  EXPECT_EQ(Listing(disk.path), before);

  // The results go to a file outside the full disk (through a link), the
  // track file the analysis saves at its end cannot be written.
  TempDir dir2;
  SmallDisk disk2(dir2);
  ASSERT_TRUE(disk2.mounted);
  WriteFile(disk2.file("sFormda.txt"), formda);
  WriteFile(disk2.file("sTrk.txt"), kFullTrack);
  WriteFile(dir2.file("results.txt"), "");
  fs::create_symlink(dir2.file("results.txt"), disk2.file("sPrinda.txt"));
  NoCompanionFiles(disk2);
  disk2.Fill();
  before = Listing(disk2.path);
  r = RunQuilta(disk2.path, AnalysisAnswers("w\n"));
  ExpectFailedWrite(r, "sTrk.txt");
  EXPECT_TRUE(Holds(ReadFile(dir2.file("results.txt")), "Matrix T with trait averages"));
  EXPECT_EQ(ReadFile(disk2.file("sTrk.txt")), kFullTrack);
  EXPECT_EQ(ReadFile(disk2.file("sFormda.txt")), formda);
  EXPECT_EQ(Listing(disk2.path), before);
}

// The companion files of the results on a full disk: those of the previous
// analysis stay byte for byte, none is left empty or half written.
TEST(FullDisk, CompanionFilesAreKept) {
  TempDir dir;
  SmallDisk disk(dir);
  SKIP_WITHOUT_DISK(disk);
  WriteFile(disk.file("sFormda.txt"), SmallFormda().Text());
  WriteFile(disk.file("sTrk.txt"), kFullTrack);
  WriteFile(dir.file("results.txt"), "");
  fs::create_symlink(dir.file("results.txt"), disk.file("sPrinda.txt"));
  ASSERT_EQ(RunQuilta(disk.path, AnalysisAnswers("w\n")).status, 0);
  std::map<std::string, std::string> companions;
  for (const auto& name : Listing(disk.path))
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tsv") == 0)
      companions[name] = ReadFile(disk.file(name));
  ASSERT_GE(companions.size(), 2u);
  const std::string track = ReadFile(disk.file("sTrk.txt"));
  disk.Fill();
  const auto before = Listing(disk.path);
  RunResult r = RunQuilta(disk.path, AnalysisAnswers("w\n"));
  EXPECT_TRUE(Holds(r.err, "can't write the companion file"));
  EXPECT_TRUE(Holds(ReadFile(dir.file("results.txt")), "Matrix T with trait averages"));
  for (const auto& [name, text] : companions) EXPECT_EQ(ReadFile(disk.file(name)), text) << name;
  EXPECT_EQ(ReadFile(disk.file("sTrk.txt")), track);
  EXPECT_EQ(Listing(disk.path), before);
}

// Results appended to a previous file on a full disk: the file keeps what
// it held, and the track file is not touched.
TEST(FullDisk, FailedAppendKeepsThePreviousResults) {
  TempDir dir;
  SmallDisk disk(dir);
  SKIP_WITHOUT_DISK(disk);
  WriteFile(disk.file("sFormda.txt"), SmallFormda().Text());
  WriteFile(disk.file("sTrk.txt"), kFullTrack);
  // Exactly one block, so that nothing can be added without a new one.
  const std::string previous = "previous results\n" + std::string(4096 - 17, '.');
  WriteFile(disk.file("sPrinda.txt"), previous);
  NoCompanionFiles(disk);
  disk.Fill();
  const auto before = Listing(disk.path);
  RunResult r = RunQuilta(disk.path, AnalysisAnswers("a\n"));
  ExpectFailedWrite(r, "sPrinda.txt");
  EXPECT_EQ(ReadFile(disk.file("sPrinda.txt")), previous);
  EXPECT_EQ(ReadFile(disk.file("sTrk.txt")), kFullTrack);
  EXPECT_EQ(Listing(disk.path), before);
}

// Interrupted while the results are being written (a long permutation
// test), the program removes the file it was writing: the previous results
// stay as they were and no temporary file is left.
TEST(Interrupt, LeavesThePreviousResultsAndNoTemporaryFile) {
  TempDir dir;
  WriteFile(dir.file("sFormda.txt"), SmallFormda().Text());
  WriteFile(dir.file("sTrk.txt"), kFullTrack);
  WriteFile(dir.file("sPrinda.txt"), "previous results\n");
  WriteFile(dir.file("answers"), "O\ns\nV\nH\nk\n1 2 3\n1\ny\n100000000\ns\n2\n7\n1\n6\n1\n1\n1\n"
                                 "y\nn\nw\nC\nC\nX\n");
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.path.c_str()) != 0 || !freopen("answers", "r", stdin) ||
        !freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr))
      _exit(127);
    execl(QUILTA_BIN, QUILTA_BIN, static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for the results to be under way: the temporary file shows.
  auto writing = [&] {
    for (const auto& name : Listing(dir.path))
      if (name.rfind(".sPrinda.txt.", 0) == 0) return true;
    return false;
  };
  for (int k = 0; k < 600 && !writing(); k++) usleep(50000);
  EXPECT_TRUE(writing());
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
  EXPECT_FALSE(writing());
  EXPECT_EQ(ReadFile(dir.file("sPrinda.txt")), "previous results\n");
}
