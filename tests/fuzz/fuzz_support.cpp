#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "shell/console.h"
#include "data/dataset.h"
#include "data/formda.h"
#include "shell/shell.h"

namespace fs = std::filesystem;

static FILE* gNull = nullptr;
static std::string gScratch;
static int gHome = -1;

InScratch::InScratch() {
  if (chdir(gScratch.c_str()) != 0) abort();
}

InScratch::~InScratch() {
  if (fchdir(gHome) != 0) abort();
}

void FuzzInit() {
  static bool done = false;
  if (done) return;
  done = true;
  // Memory first, so that the scratch files cost no disk writes.
  const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  std::string tmpl = (base / "quilta-fuzz-XXXXXX").string();
  if (mkdtemp(tmpl.data()) == nullptr) abort();
  gScratch = tmpl;
  atexit([] {
    std::error_code ec;
    fs::remove_all(gScratch, ec);
  });
  gHome = open(".", O_RDONLY | O_DIRECTORY);
  if (gHome < 0) abort();
  InitGlobals();
  gNull = fopen("/dev/null", "w");
  const int fd = open("/dev/null", O_WRONLY);
  if (gNull == nullptr || fd < 0) abort();
  // Standard output (dialogue and bells) to /dev/null at the descriptor;
  // the readers' messages go to the stderr stream, which is pointed at
  // /dev/null as well.  Descriptor 2 stays open for the sanitizers.
  fflush(stdout);
  dup2(fd, 1);
  close(fd);
  stderr = gNull;
  out = stdout;
}

void WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  FILE* fp = fopen(name.c_str(), "wb");
  if (fp == nullptr) abort();
  if (size > 0 && fwrite(data, 1, size, fp) != size) abort();
  if (fclose(fp) != 0) abort();
}

void WriteInput(const std::string& name, const std::string& text) {
  WriteInput(name, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

std::string ReadText(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void SetAnswers(const std::string& answers) {
  WriteInput(".answers", answers);
  if (freopen(".answers", "r", stdin) == nullptr) abort();
  in_ = stdin;
}

void SplitAtMarker(const std::string& input, std::string& first, std::string& rest) {
  const std::string marker = "\n%%\n";
  const size_t at = input.find(marker);
  if (at == std::string::npos) {
    first = input;
    rest.clear();
    return;
  }
  first = input.substr(0, at + 1);
  rest = input.substr(at + marker.size());
}

void FuzzCheckFailed(const char* what, const char* file, int line) {
  dprintf(2, "\nFUZZ_CHECK failed: %s (%s:%d)\n", what, file, line);
  abort();
}

void ReleaseDataSet() {
  if (chLabel != nullptr || reLabel != nullptr) FreeGlobals2();
  tcst = nch = ncsm = nenv = nSpp = nClados = 0;
  hasPhylogeny = hasTraitGroups = 0;
}

bool LoadFormda(const std::string& name) {
  snprintf(whichFormda, sizeof whichFormda, "%s", name.c_str());
  return Orderly([] { OpenFormda(1); });
}

std::string WithoutStamps(const std::string& text) {
  static const char* const kDays[] = {"Mon ", "Tue ", "Wed ", "Thu ", "Fri ", "Sat ", "Sun "};
  std::istringstream in(text);
  std::string line, kept;
  while (std::getline(in, line)) {
    bool stamp = line.size() == 24;
    if (stamp) {
      stamp = false;
      for (const char* d : kDays) stamp = stamp || line.compare(0, 4, d) == 0;
    }
    if (!stamp) kept += line + "\n";
  }
  return kept;
}
