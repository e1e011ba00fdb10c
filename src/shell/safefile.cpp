#include "shell/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "shell/console.h"
#include "shell/failure.h"

// ---- temporary files removed on an interrupt or an exit ---------------------

// The temporary files being written, for the signal handler and the exit
// handler: fixed storage, so that the handler only reads it and unlinks.
namespace {
constexpr int kMaxLive = 8;
char gLive[kMaxLive][PATH_MAX];
volatile sig_atomic_t gLiveUsed[kMaxLive];
struct sigaction gPrevious[NSIG];

void RemoveLive() {
  for (int k = 0; k < kMaxLive; k++)
    if (gLiveUsed[k]) unlink(gLive[k]);
}

void OnSignal(int sig) {
  RemoveLive();
  sigaction(sig, &gPrevious[sig], nullptr);
  raise(sig);
}

void InstallHandlers() {
  static bool done = false;
  if (done) return;
  done = true;
  atexit(RemoveLive);
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, &gPrevious[sig]);
    // A signal ignored before (nohup) stays ignored.
    if (gPrevious[sig].sa_handler == SIG_IGN) sigaction(sig, &gPrevious[sig], nullptr);
  }
}

// When every slot is taken the file goes without the interrupt clean-up;
// the destructors still remove it on every other path.
void Register(const std::string& temp) {
  InstallHandlers();
  if (temp.size() >= PATH_MAX) return;
  for (int k = 0; k < kMaxLive; k++)
    if (!gLiveUsed[k]) {
      memcpy(gLive[k], temp.c_str(), temp.size() + 1);
      gLiveUsed[k] = 1;
      return;
    }
}

void Unregister(const std::string& temp) {
  for (int k = 0; k < kMaxLive; k++)
    if (gLiveUsed[k] && temp == gLive[k]) gLiveUsed[k] = 0;
}

void Bell() {
  fputc(7, stdout);
  fflush(stdout);
}

// The file a path names: a symbolic link is followed, so that the link
// stays and its target gets the new contents.
std::string Resolved(const std::string& path) {
  struct stat st;
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string target(real);
  free(real);
  return target;
}

// Opens a new temporary file next to path, with the old file's permissions
// (or those a new file gets).
FILE* OpenTemporary(const std::string& path, std::string& temp) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmpl = dir + "." + base + ".XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return nullptr;
  struct stat st;
  mode_t mode;
  if (stat(path.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = umask(0);
    umask(mask);
    mode = 0666 & ~mask;
  }
  fchmod(fd, mode);
  FILE* fp = fdopen(fd, "w");
  if (fp == nullptr) {
    close(fd);
    unlink(tmpl.c_str());
    return nullptr;
  }
  temp = tmpl;
  Register(temp);
  return fp;
}

// Flushes, syncs and checks the stream, then closes it; true when every
// byte reached the file.
bool Finish(FILE* fp) {
  bool ok = fflush(fp) == 0 && !ferror(fp);
  ok = ok && fsync(fileno(fp)) == 0;
  return (fclose(fp) == 0) && ok;
}
}  // namespace

// ---- SafeFile -------------------------------------------------------------------

SafeFile::~SafeFile() { SafeDiscard(*this); }

FILE* SafeOpen(SafeFile& f, const char* name, const char* directory, const char* mode) {
  SafeDiscard(f);
  f.name = name;
  f.path = Resolved(directory != nullptr ? std::string(directory) + name : std::string(name));
  f.temp.clear();
  f.oldSize = -1;
  struct stat st;
  const bool exists = stat(f.path.c_str(), &st) == 0;
  if (mode[0] == 'a' && exists) {
    f.fp = fopen(f.path.c_str(), "a");
    if (f.fp != nullptr) {
      struct stat now;
      f.oldSize = fstat(fileno(f.fp), &now) == 0 ? static_cast<long long>(now.st_size) : -1;
    }
  } else if (exists && access(f.path.c_str(), W_OK) != 0) {
    // A file its owner made read-only is not replaced behind its back.
    f.fp = nullptr;
  } else if (exists && !S_ISREG(st.st_mode)) {
    // A device or a pipe: nothing to keep.
    f.fp = fopen(f.path.c_str(), mode);
  } else {  // a new file, or a file rewritten whole
    f.fp = OpenTemporary(f.path, f.temp);
  }
  if (f.fp == nullptr) {
    fprintf(stderr, "\ncan't open %s \n",
            directory != nullptr ? (std::string(directory) + name).c_str() : name);
    Bell();
  }
  return f.fp;
}

// An append that does not complete is undone: the file is cut back to its
// old length once the stream is closed (closing may still write what was
// buffered).
static void CutBack(const SafeFile& f) {
  if (truncate(f.path.c_str(), static_cast<off_t>(f.oldSize)) != 0) {
    // Nothing more can be done: the old contents are still at the start.
  }
}

bool SafeClose(SafeFile& f) {
  if (f.fp == nullptr) return false;
  FILE* fp = f.fp;
  f.fp = nullptr;
  if (!f.temp.empty()) {
    const bool ok = Finish(fp) && rename(f.temp.c_str(), f.path.c_str()) == 0;
    if (!ok) unlink(f.temp.c_str());
    Unregister(f.temp);
    f.temp.clear();
    return ok;
  }
  const bool ok = Finish(fp);
  if (!ok && f.oldSize >= 0) CutBack(f);
  return ok;
}

void SafeDiscard(SafeFile& f) {
  if (f.fp == nullptr) return;
  fclose(f.fp);
  f.fp = nullptr;
  if (!f.temp.empty()) {
    unlink(f.temp.c_str());
    Unregister(f.temp);
    f.temp.clear();
  } else if (f.oldSize >= 0) {
    CutBack(f);
  }
}

// ---- SafeWriter -----------------------------------------------------------------

SafeWriter::SafeWriter(const char* fileName) {
  fp = SafeOpen(file, fileName, volumeName, "w");
  if (fp == nullptr) RaiseFailure(kFailOpen);
}

void SafeWriter::Failed() {
  SafeDiscard(file);
  fp = nullptr;
  ClearLine();
  fflush(stdout);
  fprintf(stderr, "\nfile %s ", file.name.c_str());
  Bell();
  RaiseFailure(kFailPrint);
}

void SafeWriter::Put(const char* format, ...) {
  va_list ap;
  va_start(ap, format);
  const int n = vfprintf(fp, format, ap);
  va_end(ap);
  if (n < 0 || ferror(fp)) Failed();
}

void SafeWriter::Write(const char* data, size_t n) {
  if (n > 0 && (fwrite(data, 1, n, fp) != n || ferror(fp))) Failed();
}

void SafeWriter::Close() {
  if (fp == nullptr) return;
  fp = nullptr;
  if (!SafeClose(file)) Failed();
}
