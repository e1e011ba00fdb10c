#include "shell/safefile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <memory>
#include <vector>

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
constexpr int kMaxLive = 32;
char gLive[kMaxLive][PATH_MAX];
volatile sig_atomic_t gLiveUsed[kMaxLive];
struct sigaction gPrevious[NSIG];
const char* gNote = nullptr;  // written on an interrupt (SetInterruptNote)

void RemoveLive() {
  for (int k = 0; k < kMaxLive; k++)
    if (gLiveUsed[k]) unlink(gLive[k]);
}

void OnSignal(int sig) {
  RemoveLive();
  if (gNote != nullptr) {
    ssize_t written = write(2, gNote, strlen(gNote));
    (void)written;
  }
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

}  // namespace

void RemoveTemporariesNow() { RemoveLive(); }

void SetInterruptNote(const char* text) {
  gNote = text;
  InstallHandlers();
}

namespace {

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

// The host name as it goes into a temporary file's name: no dots or
// slashes, at most 32 characters.
const std::string& HostTag() {
  static std::string tag;
  if (tag.empty()) {
    char host[256] = {0};
    if (gethostname(host, sizeof host - 1) != 0 || host[0] == '\0') strcpy(host, "host");
    for (char* c = host; *c != '\0' && tag.size() < 32; c++)
      tag += (*c == '.' || *c == '/' || *c == '@') ? '-' : *c;
  }
  return tag;
}

// Creates a new, empty temporary file next to path, with the old file's
// permissions (or those a new file gets); its name is
// ".<name>.<pid>@<host>.XXXXXX", so that a later run can tell whether the
// process that made it is still alive.  Returns the open descriptor, or -1.
int CreateTemporary(const std::string& path, std::string& temp) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string tmpl = dir + "." + base + "." + std::to_string(static_cast<long>(getpid())) + "@" +
                     HostTag() + ".XXXXXX";
  const int fd = mkstemp(tmpl.data());
  if (fd < 0) return -1;
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
  temp = tmpl;
  Register(temp);
  return fd;
}

FILE* OpenTemporary(const std::string& path, std::string& temp) {
  const int fd = CreateTemporary(path, temp);
  if (fd < 0) return nullptr;
  FILE* fp = fdopen(fd, "w");
  if (fp == nullptr) {
    close(fd);
    unlink(temp.c_str());
    Unregister(temp);
    temp.clear();
  }
  return fp;
}

// Makes a rename in the directory of path durable.  Some file systems
// refuse to sync a directory; the rename itself has then still happened.
void SyncDirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

// Puts the finished temporary file in place of path; false (and no
// temporary file left) when the rename fails.
bool Install(const std::string& temp, const std::string& path) {
  const bool ok = rename(temp.c_str(), path.c_str()) == 0;
  if (ok)
    SyncDirectoryOf(path);
  else
    unlink(temp.c_str());
  Unregister(temp);
  return ok;
}

// Flushes, syncs and checks the stream, then closes it; true when every
// byte reached the file.
bool Finish(FILE* fp) {
  bool ok = fflush(fp) == 0 && !ferror(fp);
  ok = ok && fsync(fileno(fp)) == 0;
  return (fclose(fp) == 0) && ok;
}
}  // namespace

// ---- temporary files handed to other writers, not installed --------------------

void SafeDiscardTemp(const std::string& temp) {
  if (temp.empty()) return;
  unlink(temp.c_str());
  Unregister(temp);
}

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
    bool ok = Finish(fp);
    if (ok) {
      ok = Install(f.temp, f.path);
    } else {
      unlink(f.temp.c_str());
      Unregister(f.temp);
    }
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

// ---- streams known by their FILE* only ------------------------------------------

namespace {
// The files opened by SafeCreate and not yet finished.  Opened and closed
// from the dialogue's thread only.
std::vector<std::unique_ptr<SafeFile>>& OpenStreams() {
  static std::vector<std::unique_ptr<SafeFile>> streams;
  return streams;
}

std::unique_ptr<SafeFile> TakeStream(FILE* fp) {
  auto& streams = OpenStreams();
  for (size_t k = 0; k < streams.size(); k++)
    if (streams[k]->fp == fp) {
      std::unique_ptr<SafeFile> f = std::move(streams[k]);
      streams.erase(streams.begin() + static_cast<long>(k));
      return f;
    }
  return nullptr;
}
}  // namespace

FILE* SafeCreate(const char* name, const char* directory) {
  auto f = std::make_unique<SafeFile>();
  FILE* fp = SafeOpen(*f, name, directory, "w");
  if (fp != nullptr) OpenStreams().push_back(std::move(f));
  return fp;
}

bool SafeFinish(FILE* fp) {
  if (fp == nullptr) return false;
  std::unique_ptr<SafeFile> f = TakeStream(fp);
  if (f == nullptr) return fclose(fp) == 0;  // a stream not made by SafeCreate
  return SafeClose(*f);
}

void SafeAbandon(FILE* fp) {
  if (fp == nullptr) return;
  std::unique_ptr<SafeFile> f = TakeStream(fp);
  if (f == nullptr)
    fclose(fp);
  else
    SafeDiscard(*f);
}

// ---- temporary files handed to other writers ------------------------------------

std::string SafeTempPath(const char* path) {
  std::string temp;
  const int fd = CreateTemporary(Resolved(path), temp);
  if (fd < 0) return std::string();
  close(fd);
  return temp;
}

bool SafeInstallTemp(const std::string& temp, const char* path) {
  if (temp.empty()) return false;
  const int fd = open(temp.c_str(), O_RDWR);
  bool ok = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    unlink(temp.c_str());
    Unregister(temp);
    return false;
  }
  return Install(temp, Resolved(path));
}

// ---- temporary files left by killed runs ----------------------------------------

namespace {
// The command name of a process ("" when it is not running or cannot be
// seen).
std::string CommandOf(const std::string& pid) {
  FILE* fp = fopen(("/proc/" + pid + "/comm").c_str(), "r");
  if (fp == nullptr) return std::string();
  char comm[64] = {0};
  const bool got = fgets(comm, sizeof comm, fp) != nullptr;
  fclose(fp);
  if (!got) return std::string();
  comm[strcspn(comm, "\n")] = '\0';
  return comm;
}

// True when pid is a running process of this program (or one whose name
// cannot be read, which is then given the benefit of the doubt).
bool IsRunningInstance(const std::string& pid) {
  const long id = strtol(pid.c_str(), nullptr, 10);
  if (id <= 0) return false;
  if (id == static_cast<long>(getpid())) return true;
  if (kill(static_cast<pid_t>(id), 0) != 0 && errno == ESRCH) return false;
  static const std::string self = CommandOf("self");
  const std::string comm = CommandOf(pid);
  if (comm.empty() || self.empty()) return access("/proc/self/comm", R_OK) != 0;
  return comm == self;
}

// The process id in a temporary file's name made on this host
// (".<name>.<pid>@<host>.XXXXXX"), or "" when the name is not one.
std::string TemporaryOwner(const char* entry) {
  const std::string name(entry);
  if (name.size() < 2 || name[0] != '.') return std::string();
  const size_t dot = name.rfind('.');
  if (dot == 0 || name.size() - dot - 1 != 6) return std::string();
  for (size_t k = dot + 1; k < name.size(); k++)
    if (!isalnum(static_cast<unsigned char>(name[k]))) return std::string();
  const size_t ownerDot = name.rfind('.', dot - 1);
  if (ownerDot == std::string::npos || ownerDot < 2) return std::string();
  const std::string owner = name.substr(ownerDot + 1, dot - ownerDot - 1);
  const size_t at = owner.find('@');
  if (at == std::string::npos || at == 0 || owner.substr(at + 1) != HostTag()) return std::string();
  for (size_t k = 0; k < at; k++)
    if (!isdigit(static_cast<unsigned char>(owner[k]))) return std::string();
  return owner.substr(0, at);
}
}  // namespace

int RemoveStaleTemporaries(const char* directory) {
  const std::string dir = directory != nullptr && directory[0] != '\0' ? directory : ".";
  DIR* d = opendir(dir.c_str());
  if (d == nullptr) return 0;
  int removed = 0;
  while (const dirent* e = readdir(d)) {
    const std::string pid = TemporaryOwner(e->d_name);
    if (pid.empty() || IsRunningInstance(pid)) continue;
    const std::string path = dir + "/" + e->d_name;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    if (unlink(path.c_str()) == 0) removed++;
  }
  closedir(d);
  return removed;
}

void ReportStaleTemporaries(FILE* stream, const char* directory) {
  const int removed = RemoveStaleTemporaries(directory);
  if (removed > 0)
    fprintf(stream, "\n%d temporary file%s left by an interrupted run removed\n", removed,
            removed == 1 ? "" : "s");
}
