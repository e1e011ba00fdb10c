// A run killed outright (SIGKILL) at any point leaves every file it was
// rewriting either as it was or complete, and the next start removes the
// temporary files it left.
//
// The kill points are system calls of the run, counted by strace, which
// kills the program at the chosen call: deterministic, not timing luck.
// Skipped when strace cannot trace here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <regex>
#include <vector>

#include "data_test_util.h"

namespace fs = std::filesystem;

namespace {

// The names the program gives its temporary files.
bool IsTemporary(const std::string& name) {
  static const std::regex pattern(R"(^\..+\.[0-9]+@[^.]+\.[A-Za-z0-9]{6}$)");
  return std::regex_match(name, pattern);
}

// Every file in dir with its contents.
std::map<std::string, std::string> Contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::directory_iterator(dir))
    files[e.path().filename().string()] = ReadFile(e.path().string());
  return files;
}

int Temporaries(const std::string& dir) {
  int n = 0;
  for (const auto& e : fs::directory_iterator(dir)) n += IsTemporary(e.path().filename().string());
  return n;
}

// Runs quilta in dir under strace; with when > 0 the program is killed at
// the when-th call of syscall.  log (when not empty) receives the trace of
// syscall.  Returns the exit status (128 + signal when killed).
int Traced(const std::string& dir, const std::string& input, const std::string& syscall, int when,
           const std::string& log = "") {
  TempDir streams;
  WriteFile(streams.file("stdin"), input);
  std::string cmd = "cd '" + dir + "' && timeout 60 strace -f -qq -o '" +
                    (log.empty() ? std::string("/dev/null") : log) + "' -e trace=" + syscall;
  if (when > 0) cmd += " -e inject=" + syscall + ":signal=KILL:when=" + std::to_string(when);
  cmd += " '" QUILTA_BIN "' < '" + streams.file("stdin") + "' > /dev/null 2>&1";
  const int raw = std::system(cmd.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

int CallsOf(const std::string& dir, const std::string& input, const std::string& syscall) {
  TempDir logs;
  if (Traced(dir, input, syscall, 0, logs.file("log")) != 0) return -1;
  return CountOf(ReadFile(logs.file("log")), " " + syscall + "(");
}

// New preferences, then the functional analysis of session s (fuzzy, no
// tests, Mantel on Euclidean distances) with its results rewritten and
// its companion files.
const char kRun[] =
    "S\nF\n9\nn\nC\n"
    "O\ns\nV\nH\nk\n1 2 3\n1\nn\n1\n6\n1\n1\n1\ny\nn\nw\nC\nC\nX\n";

}  // namespace

namespace {

// What does not repeat from run to run: time stamps and elapsed times.
std::string Stable(const std::string& text) {
  static const std::regex elapsed(R"(Elapsed time \(seconds\): [0-9.e+-]+)");
  return std::regex_replace(WithoutTimeStamps(text), elapsed, "Elapsed time");
}

// Runs `run` from `state` (that of a complete run of it, so that a run
// killed anywhere must leave each file exactly so) and kills it at the
// renames, syncs and writes, each kind at about `points` calls spread over
// the run.  After each kill: every file is whole, and the next start
// (answers `next`, whose output must hold `opened`) removes the temporary
// files left and says how many.  Returns how many kills left some.
int KillEverywhere(const std::map<std::string, std::string>& state, const std::string& run,
                   int points, const std::string& next, const std::string& opened) {
  auto fresh = [&](const TempDir& dir) {
    for (const auto& [name, text] : state) WriteFile(dir.file(name), text);
  };
  int killed = 0, leftBehind = 0;
  for (const std::string syscall : {"rename", "fsync", "write"}) {
    int calls;
    {
      TempDir dir;
      fresh(dir);
      calls = CallsOf(dir.path, run, syscall);
    }
    EXPECT_GT(calls, 0) << syscall;
    const int stride = std::max(1, calls / points);
    for (int when = 1; when <= calls; when += stride) {
      SCOPED_TRACE(syscall + " " + std::to_string(when) + " of " + std::to_string(calls));
      TempDir dir;
      fresh(dir);
      EXPECT_EQ(Traced(dir.path, run, syscall, when), 128 + SIGKILL);
      killed++;
      for (const auto& [name, text] : Contents(dir.path)) {
        if (IsTemporary(name)) continue;
        EXPECT_TRUE(state.count(name)) << "new file " << name;
        if (state.count(name)) {
          EXPECT_EQ(Stable(text), Stable(state.at(name))) << name;
        }
      }
      const int temps = Temporaries(dir.path);
      leftBehind += temps > 0;
      RunResult r = RunQuilta(dir.path, next, 60);
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_TRUE(Holds(r.out, opened));
      EXPECT_EQ(Temporaries(dir.path), 0);
      if (temps > 0) {
        EXPECT_TRUE(Holds(r.out, "\n" + std::to_string(temps) + " temporary file" +
                                     (temps == 1 ? "" : "s") + " left by an interrupted run removed"));
      }
      EXPECT_EQ(Contents(dir.path).size(), state.size());
      if (::testing::Test::HasFailure()) return leftBehind;
    }
  }
  EXPECT_GE(killed, 3 * std::min(points, 10));
  return leftBehind;
}

bool CanTrace() {
  TempDir dir;
  return Traced(dir.path, "X\n", "rename", 0) == 0;
}

}  // namespace

// Preferences, track, results and companion files.
TEST(Kill, SessionFilesAreWholeAndTheNextStartCleansUp) {
  if (!CanTrace()) GTEST_SKIP() << "strace cannot trace here";
  TempDir ref;
  SmallFormda().MakeSession(ref, "s");
  WriteFile(ref.file("sPrinda.txt"), "previous results\n");
  ASSERT_EQ(RunQuilta(ref.path, kRun).status, 0);
  ASSERT_EQ(RunQuilta(ref.path, kRun).status, 0);
  const auto state = Contents(ref.path);
  int companions = 0;
  for (const auto& [name, text] : state) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tsv") == 0) companions++;
    ASSERT_FALSE(text.empty()) << name;
  }
  ASSERT_GE(companions, 2);
  ASSERT_TRUE(state.count("QUILTA.prf") && state.count("sTrk.txt") && state.count("sPrinda.txt"));
  EXPECT_GT(KillEverywhere(state, kRun, 24, "O\ns\nC\nX\n", "SESSION MENU"), 0);
}

// The simulation's outputs: final data, simulated matrices, the files of
// every step, the rejection rates.
TEST(Kill, SimulationFilesAreWholeAndTheNextStartCleansUp) {
  if (!CanTrace()) GTEST_SKIP() << "strace cannot trace here";
  TempDir ref;
  for (const char* name : {"simTraitCorr.txt", "simEnvCorr.txt", "simResponse.txt", "simEffect.txt"})
    WriteFile(ref.file(name), ReadFile(std::string(QUILTA_EXAMPLES) + "/" + name));
  // The example run, with one data set (so that the simulated matrices are
  // written, once) and its intermediate files kept.
  std::string answers = ReadFile(std::string(QUILTA_EXAMPLES) + "/simulation.answers");
  std::vector<std::string> lines;
  for (size_t at = 0, nl; at < answers.size(); at = nl + 1) {
    nl = answers.find('\n', at);
    if (nl == std::string::npos) nl = answers.size();
    lines.push_back(answers.substr(at, nl - at));
  }
  size_t x = lines.size() - 1;
  while (x > 0 && lines[x] != "X") x--;
  ASSERT_GE(x, 5u);
  ASSERT_EQ(lines[x - 2], "20");
  lines[x - 2] = "1";
  lines[x - 5] = "y";
  std::string run;
  for (const auto& l : lines) run += l + "\n";
  ASSERT_EQ(RunQuilta(ref.path, run).status, 0);
  const auto state = Contents(ref.path);
  ASSERT_TRUE(state.count("FinalSimulatedData.txt") && state.count("B_Simulated.txt") &&
              state.count("CommunityData.txt") && state.count("RejectionRates.tsv"));
  // Each traced run of the sanitizer build takes seconds: fewer points there.
#ifdef __SANITIZE_ADDRESS__
  const int points = 3;
#else
  const int points = 10;
#endif
  EXPECT_GT(KillEverywhere(state, run, points, "X\n", "Main menu:"), 0);
}

// A temporary file of a process still running is not touched; one whose
// process is gone, or that is running another program, is removed.
TEST(StaleTemporaries, OnlyThoseOfNoRunningInstanceGo) {
  TempDir dir;
  char host[256] = {0};
  gethostname(host, sizeof host - 1);
  std::string tag(host);
  for (char& c : tag)
    if (c == '.') c = '-';
  tag = tag.substr(0, 32);
  // A process of this program that lives through the test: one waiting at
  // the main menu on a pipe.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const pid_t alive = fork();
  ASSERT_GE(alive, 0);
  if (alive == 0) {
    dup2(fds[0], 0);
    close(fds[1]);
    if (!freopen("/dev/null", "w", stdout)) _exit(127);
    execl(QUILTA_BIN, QUILTA_BIN, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  const std::string live = ".sTrk.txt." + std::to_string(alive) + "@" + tag + ".aB3dE9";
  const std::string dead = ".sTrk.txt." + std::to_string(gone) + "@" + tag + ".Zz0123";
  // The test runner itself is running, but is not this program.
  const std::string other = ".x.tsv." + std::to_string(getpid()) + "@" + tag + ".q1w2e3";
  const std::string elsewhere = ".sTrk.txt." + std::to_string(gone) + "@otherhost.Zz0123";
  for (const auto& name : {live, dead, other, elsewhere, std::string(".hidden.txt"),
                           std::string("sTrk.txt")})
    WriteFile(dir.file(name), "x");
  // Wait for the exec to be done: the process is then named after the program.
  const std::string comm = "/proc/" + std::to_string(alive) + "/comm";
  for (int k = 0; k < 500 && ReadFile(comm) != "quilta\n"; k++) usleep(10000);
  EXPECT_EQ(ReadFile(comm), "quilta\n");
  RunResult r = RunQuilta(dir.path, "X\n", 60);
  close(fds[1]);
  waitpid(alive, nullptr, 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(Holds(r.out, "\n2 temporary files left by an interrupted run removed\n"));
  EXPECT_TRUE(FileExists(dir.file(live)));
  EXPECT_FALSE(FileExists(dir.file(dead)));
  EXPECT_FALSE(FileExists(dir.file(other)));
  EXPECT_TRUE(FileExists(dir.file(elsewhere)));
  EXPECT_TRUE(FileExists(dir.file(".hidden.txt")));
  EXPECT_TRUE(FileExists(dir.file("sTrk.txt")));
}
