#include "test_support.h"

#include "shell/console.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string tmpl = (fs::temp_directory_path() / "quilta-test-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  path = made ? made : tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(path, ec);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream o(path, std::ios::binary);
  o << text;
}

bool FileExists(const std::string& path) { return fs::exists(path); }

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  return names;
}

RunResult RunQuilta(const std::string& dir, const std::string& input, int timeoutSeconds) {
  // The streams live outside dir, so that the run directory holds only what
  // the program writes (and may be a full or read-only file system).
  TempDir streams;
  const std::string in = streams.file("stdin"), out = streams.file("stdout"),
                    err = streams.file("stderr");
  WriteFile(in, input);
  // A time limit turns a hang into a failed test instead of a stuck suite.
  std::string cmd = "cd '" + dir + "' && timeout " + std::to_string(timeoutSeconds) + " '" +
                    QUILTA_BIN "' < '" + in + "' > '" + out + "' 2> '" + err + "'";
  int raw = std::system(cmd.c_str());
  RunResult r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = ReadFile(out);
  r.err = ReadFile(err);
  return r;
}

std::string WithoutTimeStamps(const std::string& text) {
  static const std::regex stamp(
      R"(^(Mon|Tue|Wed|Thu|Fri|Sat|Sun) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9]\d \d\d:\d\d:\d\d \d{4}$)");
  std::istringstream in(text);
  std::string line, result;
  while (std::getline(in, line))
    if (!std::regex_match(line, stamp)) result += line + "\n";
  return result;
}

int CountOf(const std::string& text, const std::string& needle) {
  if (needle.empty()) return 0;
  int n = 0;
  for (size_t pos = text.find(needle); pos != std::string::npos;
       pos = text.find(needle, pos + needle.size()))
    n++;
  return n;
}

testing::AssertionResult Holds(const std::string& text, const std::string& needle) {
  if (text.find(needle) == std::string::npos)
    return testing::AssertionFailure() << "no \"" << needle << "\" in:\n" << text;
  return testing::AssertionSuccess() << "\"" << needle << "\" found in:\n" << text;
}

int WalkEndOfInput(const std::function<void(const TempDir&)>& setup,
                   const std::vector<std::string>& answers, const std::string& reached,
                   size_t firstCut) {
  int runs = 0;
  for (size_t cut = firstCut; cut <= answers.size(); cut++) {
    std::string input;
    for (size_t k = 0; k < cut; k++) input += answers[k] + "\n";
    TempDir dir;
    setup(dir);
    // A dialog that loops at the end of its input is killed well before the
    // suite's own limit.
    RunResult r = RunQuilta(dir.path, input, 60);
    runs++;
    SCOPED_TRACE("answers:\n" + input);
    EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
    if (cut == answers.size()) {
      EXPECT_EQ(r.status, 0) << r.err;
      EXPECT_NE(r.out.find(reached), std::string::npos) << reached;
    } else {
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find("\nEND OF FILE !!!\n"), std::string::npos) << r.err;
    }
    if (::testing::Test::HasFailure()) break;  // one failing cut tells enough
  }
  return runs;
}

CapturedStream::CapturedStream(FILE* stream) : stream_(stream) {
  fflush(stream_);
  std::string tmpl = (fs::temp_directory_path() / "quilta-capture-XXXXXX").string();
  int fd = mkstemp(tmpl.data());
  path_ = tmpl;
  savedFd_ = dup(fileno(stream_));
  dup2(fd, fileno(stream_));
  close(fd);
}

CapturedStream::~CapturedStream() { Text(); }

std::string CapturedStream::Text() {
  if (savedFd_ < 0) return ReadFile(path_);
  fflush(stream_);
  dup2(savedFd_, fileno(stream_));
  close(savedFd_);
  savedFd_ = -1;
  std::string text = ReadFile(path_);
  fs::remove(path_);
  path_.clear();
  return text;
}

FILE* TextStream(const std::string& text) {
  FILE* fp = tmpfile();
  fwrite(text.data(), 1, text.size(), fp);
  rewind(fp);
  return fp;
}

ConsoleScript::ConsoleScript(const std::string& input)
    : savedIn_(in_), savedOut_(out), in_file_(TextStream(input)), out_file_(tmpfile()) {
  in_ = in_file_;
  out = out_file_;
}

ConsoleScript::~ConsoleScript() {
  in_ = savedIn_;
  out = savedOut_;
  fclose(in_file_);
  fclose(out_file_);
}

std::string ConsoleScript::Dialogue() {
  fflush(out_file_);
  rewind(out_file_);
  std::string s;
  for (int c; (c = fgetc(out_file_)) != EOF;) s += static_cast<char>(c);
  fseek(out_file_, 0, SEEK_END);  // back to writing
  return s;
}

void SetStandardInput(const std::string& text) {
  static const std::string path =
      (fs::temp_directory_path() / ("quilta-stdin-" + std::to_string(getpid()))).string();
  WriteFile(path, text);
  if (freopen(path.c_str(), "r", stdin) == nullptr) abort();
  fs::remove(path);  // the open stream keeps the text
}
