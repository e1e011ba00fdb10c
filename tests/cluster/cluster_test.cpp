// The real binary under an MPI launcher (mpiexec with 2, 3 or 4 processes on
// this machine, loopback only): every results file the same as from one
// process for the functional analysis (each congruence measure, both null
// models), a ranking of each criterion family and the simulation, with and
// without the intermediate results; the workers must each have answered
// some of the work.  Then the faults: a worker killed in the middle of a
// permutation test, and the end of the input.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../functional/session_data.h"
#include "../simulation/sim_session.h"
#include "test_support.h"

using namespace session;
namespace fs = std::filesystem;

namespace {

// A run under the launcher: its status and streams, and what each process
// reported of its jobs (process, job time, communication time, answers).
struct MpiRun {
  RunResult run;
  std::vector<std::vector<double>> processes;
  // Whether every worker answered at least one range or data set.
  bool EveryWorkerAnswered() const {
    if (processes.size() < 2) return false;
    for (size_t p = 1; p < processes.size(); p++)
      if (processes[p].size() < 4 || processes[p][3] < 1) return false;
    return true;
  }
};

std::string LauncherCommand(const std::string& dir, const std::string& in, const std::string& out,
                            const std::string& err, int np, int timeoutSeconds,
                            const std::string& times) {
  return "cd '" + dir + "' && OMPI_MCA_btl_tcp_if_include=lo OMPI_MCA_oob_tcp_if_include=lo " +
         "QUILTA_CLUSTER_TIMES='" + times + "' timeout " + std::to_string(timeoutSeconds) + " " +
         QUILTA_MPIEXEC + " -n " + std::to_string(np) + " '" + QUILTA_BIN + "' < '" + in +
         "' > '" + out + "' 2> '" + err + "'";
}

MpiRun RunMpi(const std::string& dir, const std::string& input, int np, int timeoutSeconds = 120) {
  TempDir streams;
  const std::string in = streams.file("stdin"), out = streams.file("stdout"),
                    err = streams.file("stderr"), times = streams.file("times");
  WriteFile(in, input);
  const int raw =
      std::system(LauncherCommand(dir, in, out, err, np, timeoutSeconds, times).c_str());
  MpiRun r;
  r.run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.run.out = ReadFile(out);
  r.run.err = ReadFile(err);
  std::istringstream lines(ReadFile(times));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::vector<double> v;
    double x;
    while (fields >> x) v.push_back(x);
    r.processes.push_back(v);
  }
  return r;
}

// Every file of dir (the hidden ones too), texts without their time lines.
std::map<std::string, std::string> Snapshot(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : Listing(dir)) files[name] = Stable(ReadFile(dir + "/" + name));
  return files;
}

// Removes every file of dir that is not in keep.
void KeepOnly(const std::string& dir, const std::map<std::string, std::string>& keep) {
  for (const std::string& name : Listing(dir))
    if (keep.count(name) == 0) fs::remove(dir + "/" + name);
}

// The files of a one-process run against those of the same answers under
// the launcher with np processes, from the same starting files.
void ExpectSameFiles(const std::string& dir, const std::string& answers, int np,
                     bool expectSpread = true) {
  SCOPED_TRACE("processes: " + std::to_string(np));
  const auto start = Snapshot(dir);
  RunResult alone = RunQuilta(dir, answers);
  ASSERT_EQ(alone.status, 0) << alone.err;
  const auto one = Snapshot(dir);
  KeepOnly(dir, start);
  MpiRun many = RunMpi(dir, answers, np);
  ASSERT_EQ(many.run.status, 0) << many.run.err;
  const auto several = Snapshot(dir);
  EXPECT_GT(one.size(), start.size());
  for (const auto& [name, text] : one) {
    auto it = several.find(name);
    ASSERT_NE(it, several.end()) << name;
    EXPECT_TRUE(text == it->second) << name;
  }
  EXPECT_EQ(one.size(), several.size());
  // Standard output is the dialogue of process 0 alone (the progress lines
  // aside, which depend on timing).
  EXPECT_EQ(CountOf(alone.out, "Type option"), CountOf(many.run.out, "Type option"));
  if (expectSpread && np > 1) {
    EXPECT_TRUE(many.EveryWorkerAnswered()) << many.run.err;
  }
  KeepOnly(dir, start);
}

// A data set for the ranking: 24 OTUs in 4 types, 8 quantitative traits,
// 10 communities, 2 variables, phylogenetic similarities.
Data RankingData() {
  Data d;
  unsigned x = 12345;
  auto next = [&x] {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % 1000 / 100.0;
  };
  d.traits.clear();
  d.traitTypes.assign(8, 3);
  for (int k = 1; k <= 8; k++) d.traits.push_back("t" + std::to_string(k));
  d.B.assign(24, std::vector<double>(8));
  d.W.assign(24, std::vector<double>(10));
  for (auto& row : d.B)
    for (double& v : row) v = next();
  for (auto& row : d.W)
    for (double& v : row) v = next() > 5 ? std::floor(next()) : 0;
  d.envTypes = {3, 3};
  d.E.assign(2, std::vector<double>(10));
  for (auto& row : d.E)
    for (double& v : row) v = next();
  d.F.assign(24, std::vector<double>(24));
  for (int i = 0; i < 24; i++)
    for (int j = 0; j < 24; j++) d.F[i][j] = 1.0 / (1 + std::abs(i - j));
  return d;
}

}  // namespace

// Each congruence measure under both null models (and the restricted taxa
// shuffle) on the example data with its phylogeny: the results file, the
// companion files and the figures the same from 1 process and from 3 (and
// from 2 and 4, and 1 under the launcher, for the first).  Then the random-
// data file, which process 0 writes alone: the same, and each iteration
// shows its own permuted matrices.
TEST(Cluster, FunctionalAnalysisSameFilesAsOneProcess) {
  TempDir dir;
  ImportExampleVariableKinds(dir);
  std::string nesting;
  for (int i = 0; i < 40; i++) nesting += std::to_string(i % 5 + 1) + " ";
  const std::string taxa = "y\n199\nt\n0\n2\n77\n", site = "y\n199\ns\n2\n77\n";
  const std::string restricted = "y\n199\nt\n1\nk\n" + nesting + "\n2\n77\n";
  struct Run {
    std::string session, tests, measure;
  };
  const std::vector<Run> runs = {
      {"demo", taxa, "1\n6\n"},    {"demo", site, "1\n10\n"}, {"demo", restricted, "1\n8\n"},
      {"quant", taxa, "2\n"},      {"quant", site, "3\n"},    {"quant", restricted, "4\n"},
      {"nominal", taxa, "5\n6\n"}, {"nominal", site, "5\n6\n"}};
  auto answers = [](const Run& r, const std::string& preferences) {
    return "S\n" + preferences + "M\n1\nC\nO\n" + r.session + "\nV\nH\ny\n1\n" + r.tests +
           r.measure + "1\n1\ny\n1\ny\ny\n\nC\nC\nX\n";
  };
  for (const Run& r : runs) {
    SCOPED_TRACE(r.session + " " + r.tests + r.measure);
    ExpectSameFiles(dir.path, answers(r, ""), 3);
  }
  for (int np : {1, 2, 4}) ExpectSameFiles(dir.path, answers(runs[0], ""), np, np > 1);

  // The random-data file (significant digits 6, random data kept).
  const std::string withRandomData = answers({"demo", "y\n9\nt\n0\n2\n77\n", "1\n6\n"}, "F\n6\ny\n");
  ExpectSameFiles(dir.path, withRandomData, 3, false);
  ASSERT_EQ(RunQuilta(dir.path, withRandomData).status, 0);
  const std::string rda = ReadFile(dir.file("demoRDa.txt"));
  std::vector<std::string> firstRows;
  for (size_t pos = rda.find("\nRandom matrix T:\n"); pos != std::string::npos;
       pos = rda.find("\nRandom matrix T:\n", pos + 1)) {
    const size_t row = pos + 18;
    firstRows.push_back(rda.substr(row, rda.find('\n', row) - row));
  }
  ASSERT_EQ(firstRows.size(), 8u);
  for (size_t i = 1; i < firstRows.size(); i++) EXPECT_NE(firstRows[i], firstRows[i - 1]) << i;
}

// A ranking of each criterion family: trait convergence (10), both
// patterns (1), beta divergence in the absolute mode (17), the phylogenetic
// criteria (12, and 15 with its two lists), with every subset printed for
// some; 255 subsets each.
TEST(Cluster, RankingSameFilesAsOneProcess) {
  TempDir dir;
  MakeSession(dir, RankingData());
  std::string types;
  for (int i = 0; i < 24; i++) types += std::to_string(i % 4 + 1) + " ";
  auto answers = [&types](int criterion, const std::string& intermediate) {
    const std::string dialog =
        criterion == 10 ? "10\n1\n1\n1\n"
                        : std::to_string(criterion) + "\nk\n" + types + "\n1\n1\n6\n1\n1\ny\n";
    return "S\nM\n1\nC\nO\ns\nV\nK\n" + dialog + "1\n8\n" + intermediate + "\n\nC\nC\nX\n";
  };
  for (const auto& [criterion, intermediate] :
       std::vector<std::pair<int, std::string>>{
           {10, "n"}, {10, "y"}, {1, "n"}, {17, "y"}, {12, "n"}, {15, "n"}, {15, "y"}}) {
    SCOPED_TRACE("criterion " + std::to_string(criterion) + " " + intermediate);
    ExpectSameFiles(dir.path, answers(criterion, intermediate), 3);
  }
  ExpectSameFiles(dir.path, answers(1, "y"), 2);
}

// The simulation: 24 data sets (rates only), 6 with every block and the
// step files, 2 with the simulated data files, and one data set whose
// permutations are spread.
TEST(Cluster, SimulationSameFilesAsOneProcess) {
  TempDir dir;
  sim_session::WriteInputs(dir);
  sim_session::SimRun run;
  run.evaluation = "y\n24\n0.05\n";
  ExpectSameFiles(dir.path, run.Text(), 3);
  run.analysis = "1\n1\ny\ny\n";  // every block and the step files
  run.evaluation = "y\n6\n0.05\n";
  ExpectSameFiles(dir.path, run.Text(), 3);
  run.analysis = "1\n1\ny\nn\n";
  run.evaluation = "y\n2\n0.05\n";
  run.measure = "4\n";  // regression
  ExpectSameFiles(dir.path, run.Text(), 2);
  run.measure = "1\n6\n";
  run.tests = "y\n999\nt\n0\n2\n4242\n";
  run.evaluation = "n\nn\n";
  ExpectSameFiles(dir.path, run.Text(), 3);
}

// A worker killed outright in the middle of a long permutation test: the
// launcher ends the run at once, process 0 says why, the session files are
// as before and no temporary file is left.  The end of the input ends every
// process (the launcher returns), with the failure's message and status.
TEST(Cluster, FaultsEndEveryProcess) {
  TempDir dir;
  ImportExampleVariableKinds(dir);
  // Procrustes with 99999 permutations: about a minute on one process.
  const std::string answers =
      "S\nM\n1\nC\nO\nquant\nV\nH\ny\n1\ny\n99999\nt\n0\n2\n77\n2\n1\n1\ny\n1\ny\ny\n\nC\nC\nX\n";
  const auto imported = Snapshot(dir.path);

  TempDir streams;
  const std::string in = streams.file("in"), out = streams.file("out"), err = streams.file("err");
  WriteFile(in, answers);
  const pid_t launcher = fork();
  ASSERT_GE(launcher, 0);
  if (launcher == 0) {
    execl("/bin/sh", "sh", "-c",
          LauncherCommand(dir.path, in, out, err, 3, 300, streams.file("times")).c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  // Wait for a worker (a quilta of this directory with rank 1) to be busy,
  // then kill it.
  pid_t worker = 0, first = 0;
  const auto start = std::chrono::steady_clock::now();
  while ((worker == 0 || first == 0) &&
         std::chrono::steady_clock::now() - start < std::chrono::seconds(60)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    for (const auto& e : fs::directory_iterator("/proc")) {
      const std::string pid = e.path().filename().string();
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code ec;
      if (fs::read_symlink(e.path() / "cwd", ec).string() != dir.path) continue;
      if (ReadFile(e.path().string() + "/comm").rfind("quilta", 0) != 0) continue;
      const std::string env = ReadFile(e.path().string() + "/environ");
      for (const char* rank : {"OMPI_COMM_WORLD_RANK=", "PMI_RANK="}) {
        if (env.find(rank + std::string("1") + '\0') != std::string::npos) worker = std::stoi(pid);
        if (env.find(rank + std::string("0") + '\0') != std::string::npos) first = std::stoi(pid);
      }
    }
  }
  ASSERT_GT(worker, 0);
  ASSERT_GT(first, 0);
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_EQ(kill(worker, SIGKILL), 0);
  const auto killed = std::chrono::steady_clock::now();
  int raw = 0;
  waitpid(launcher, &raw, 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - killed).count();
  EXPECT_LT(seconds, 20.0);
  EXPECT_NE(raw, 0);
  // Process 0 says why: stopped by the launcher (a signal it can catch) or
  // a failed exchange with the dead process; the launcher names the
  // process that died in any case.
  const std::string message = ReadFile(err);
  EXPECT_TRUE(message.find("quilta: stopped by the MPI launcher: another process of this run") !=
                  std::string::npos ||
              message.find("another process of this run has probably ended") !=
                  std::string::npos)
      << message;
  EXPECT_TRUE(Holds(message, "9 (Killed)"));
  // Process 0 is gone (its temporary files are another run's to remove).
  for (int k = 0; k < 100 && kill(first, 0) == 0; k++)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // The session files as they were, no results file; the preferences file
  // was written before the analysis.  A temporary file can be left only if
  // the launcher's kill came before the clean-up: the next start removes it.
  ASSERT_EQ(RunQuilta(dir.path, "X\n").status, 0);
  auto after = Snapshot(dir.path);
  EXPECT_EQ(after.erase("QUILTA.prf"), 1u);
  EXPECT_EQ(after, imported);

  // End of the input in the session menu: every process ends.
  MpiRun cut = RunMpi(dir.path, "O\nquant\nV\n", 3, 60);
  EXPECT_EQ(cut.run.status, 1) << cut.run.err;
  EXPECT_TRUE(Holds(cut.run.err, "\nEND OF FILE !!!\n"));
  EXPECT_EQ(CountOf(cut.run.out, "Main menu:"), 1);
  after = Snapshot(dir.path);
  after.erase("QUILTA.prf");
  EXPECT_EQ(after, imported);
}

// A launcher that does not speak to this MPI library (srun without its MPI
// option): each process would see itself alone and write the same files.
// Process 0 runs the session alone and says so; the others end at once,
// writing nothing.
TEST(Cluster, LauncherOfAnotherLibraryRunsProcessZeroAlone) {
  TempDir dir, streams;
  MakeSession(dir, Data{});
  WriteFile(streams.file("in"), InSession("H", "k\n1 2 3\n1\nn\n1\n6\n1\n1\n1\ny\nn\n"));
  for (int rank : {1, 0}) {
    const std::string cmd = "cd '" + dir.path + "' && SLURM_STEP_NUM_TASKS=3 SLURM_PROCID=" +
                            std::to_string(rank) + " timeout 60 '" + QUILTA_BIN + "' < '" +
                            streams.file("in") + "' > '" + streams.file("out") + "' 2> '" +
                            streams.file("err") + "'";
    const int raw = std::system(cmd.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 0) << rank;
    if (rank == 1) {
      EXPECT_EQ(ReadFile(streams.file("out")), "");
      EXPECT_FALSE(FileExists(dir.file("sPrinda.txt")));
    } else {
      EXPECT_TRUE(Holds(ReadFile(streams.file("err")), "the session runs in this one process"));
      EXPECT_TRUE(FileExists(dir.file("sPrinda.txt")));
    }
  }
}
